#include "settings-tool/fMain.h"

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>

#include "settings-tool/rules.h"

namespace {

// The dialog is laid out in twips, 15 to a pixel, with fixed positions: no layouts.
QRect Twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

template <typename W, typename Parent>
W* Control(Parent* parent, const char* name, const char* caption, QRect geometry) {
  W* w = new W(QString::fromUtf8(caption), parent);
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(geometry);
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
  setWindowTitle(QString::fromUtf8("Zorbilo 設定"));
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/settings-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/icons/settings-16.png"), QSize(16, 16));
  setWindowIcon(icon);
  // A fixed dialog: a title bar with a close button, no resizing, no help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(3510 / 15, 2220 / 15);
  // The captions are Japanese; a 12-pixel Gothic face is what the 15-twip geometry was made for.
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(12);
  setFont(font);

  frameScreen = Control<QGroupBox>(this, "frameScreen", "画面モード", Twips(90, 90, 3300, 750));
  optWindow =
      Control<QRadioButton>(frameScreen, "optWindow", "ウィンドウ", Twips(120, 300, 1200, 300));
  optFullScreen = Control<QRadioButton>(frameScreen, "optFullScreen", "フルスクリーン",
                                        Twips(1500, 300, 1500, 300));
  frameButton = Control<QGroupBox>(this, "frameButton", "マウスボタン", Twips(90, 930, 3300, 750));
  optLeft = Control<QRadioButton>(frameButton, "optLeft", "左クリック", Twips(120, 300, 1200, 300));
  optRight =
      Control<QRadioButton>(frameButton, "optRight", "右クリック", Twips(1500, 300, 1200, 300));
  chkShowFPS = Control<QCheckBox>(this, "chkShowFPS", "FPSを表示", Twips(210, 1800, 1200, 300));
  btnOK = Control<QPushButton>(this, "btnOK", "OK", Twips(2100, 1800, 1200, 330));

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
