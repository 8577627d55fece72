#include "settings-tool/fMain.h"

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>

#include "settings-tool/design.h"
#include "settings-tool/rules.h"

namespace {

// The dialog is laid out in twips, 15 to a pixel, with fixed positions: no layouts.
template <typename W>
W* Make(int index, QWidget* parent) {
  const tool::Control& c = tool::kControls[index];
  W* w = new W(QString::fromUtf8(c.caption), parent);
  w->setObjectName(QString::fromLatin1(c.name));
  w->setGeometry(QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
  return w;
}

}  // namespace

// The icon lives in a static library, whose resources are linked in only when asked for.
static void InitIcons() {
  Q_INIT_RESOURCE(settings);
}

fMain::fMain(QWidget* parent) : QDialog(parent) {
  InitIcons();
  setObjectName(QStringLiteral("fMain"));
  setWindowTitle(QString::fromUtf8(tool::kCaption));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/settings-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/icons/settings-16.png"), QSize(16, 16));
  setWindowIcon(icon);
  // A fixed dialog: a title bar with a close button, no resizing, no help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(tool::kClientWidth / 15, tool::kClientHeight / 15);
  // The captions are Japanese; a 12-pixel Gothic face is what the 15-twip geometry was made for.
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(12);
  setFont(font);

  frameScreen = Make<QGroupBox>(tool::kFrameScreen, this);
  optWindow = Make<QRadioButton>(tool::kOptWindow, frameScreen);
  optFullScreen = Make<QRadioButton>(tool::kOptFullScreen, frameScreen);
  frameButton = Make<QGroupBox>(tool::kFrameButton, this);
  optLeft = Make<QRadioButton>(tool::kOptLeft, frameButton);
  optRight = Make<QRadioButton>(tool::kOptRight, frameButton);
  chkShowFPS = Make<QCheckBox>(tool::kChkShowFPS, this);
  btnOK = Make<QPushButton>(tool::kBtnOK, this);

  // The frames draw their caption across the top border line, so the option buttons sit in
  // the middle of the frame where the geometry puts them.
  const QString frameStyle = QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
      "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0px 2px; }");
  frameScreen->setStyleSheet(frameStyle);
  frameButton->setStyleSheet(frameStyle);

  // Option buttons that share a frame exclude each other (Qt's auto-exclusion by parent).
  optWindow->setChecked(true);
  optLeft->setChecked(true);
  chkShowFPS->setCheckState(Qt::Unchecked);
  btnOK->setDefault(true);  // Enter confirms; Esc closes without writing, like the close button

  setTabOrder(optWindow, optFullScreen);
  setTabOrder(optFullScreen, optLeft);
  setTabOrder(optLeft, optRight);
  setTabOrder(optRight, chkShowFPS);
  setTabOrder(chkShowFPS, btnOK);

  // The grayed state is only shown for a value of 2 found in the file; once the user clicks
  // the box it is an ordinary two-state box again.
  connect(chkShowFPS, &QCheckBox::clicked, this, [this] {
    if (chkShowFPS->checkState() != Qt::PartiallyChecked) chkShowFPS->setTristate(false);
  });
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });

  Form_Load();
}

void fMain::Form_Load() {
  // Setting an option off changes nothing in its group: the design's selection stays.
  const tool::Choice c = tool::Load();
  optFullScreen->setChecked(c.fullScreen);
  optRight->setChecked(c.rightClick);
  if (c.showFps == tool::Check::kGrayed) {
    chkShowFPS->setCheckState(Qt::PartiallyChecked);  // makes the box three-state for now
  } else {
    chkShowFPS->setTristate(false);
    chkShowFPS->setCheckState(c.showFps == tool::Check::kChecked ? Qt::Checked : Qt::Unchecked);
  }
}

void fMain::btnOK_Click() {
  tool::Choice c;
  c.fullScreen = optFullScreen->isChecked();
  c.rightClick = optRight->isChecked();
  c.showFps = chkShowFPS->checkState() == Qt::Unchecked ? tool::Check::kUnchecked
              : chkShowFPS->checkState() == Qt::Checked ? tool::Check::kChecked
                                                        : tool::Check::kGrayed;
  tool::Save(c);
  accept();  // the only window: closing it ends the program
}
