// The settings dialog against hand-written settings files, on Qt's offscreen platform.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

#include "common/App.h"
#include "common/Settings.h"
#include "settings-tool/fMain.h"
#include "settings_tool_cases.h"

namespace {

QByteArray Slurp(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return f.readAll();
}

void Spit(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Clicks controls by letter: w f (screen), l r (button), c (check box).
void Click(fMain& f, const QByteArray& which) {
  for (char c : which) {
    QAbstractButton* b = f.chkShowFPS;
    if (c == 'w') b = f.optWindow;
    if (c == 'f') b = f.optFullScreen;
    if (c == 'l') b = f.optLeft;
    if (c == 'r') b = f.optRight;
    b->click();
  }
}

QByteArray Shown(const fMain& f) {
  QByteArray s;
  s += f.optFullScreen->isChecked() ? 'F' : f.optWindow->isChecked() ? 'W' : '?';
  s += f.optRight->isChecked() ? 'R' : f.optLeft->isChecked() ? 'L' : '?';
  s += char('0' + f.chkShowFPS->checkState());
  return s;
}

// Confirms a dialog opened on full screen and right click after switching every option off.
int OkAsNobody(fMain& form) {
  if (Shown(form) != "FR0") return 3;
  Click(form, "wlc");
  form.btnOK_Click();
  return form.result() == QDialog::Accepted ? 0 : 4;
}

}  // namespace

class SettingsTool : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir;
  QString ini;

  // A dialog opened on the current file, as the program opens it.
  std::unique_ptr<fMain> Open() { return std::make_unique<fMain>(); }

 private slots:
  void init() {
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    chmod(QFile::encodeName(dir->path()).constData(), 0755);
    App.Path = QFile::encodeName(dir->path()).toStdString();
    ini = dir->filePath(QStringLiteral("Zorbilo.ini"));
  }

  void theDialogAsDesigned() {
    auto f = Open();  // no file: the design's own states stay
    QCOMPARE(f->windowTitle(), QString::fromUtf8("Zorbilo 設定"));
    QCOMPARE(f->size(),
             QSize(tool_cases::kClientWidthTwips / 15, tool_cases::kClientHeightTwips / 15));
    QCOMPARE(f->minimumSize(), f->maximumSize());
    const QList<QSize> sizes = f->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(QFontInfo(f->font()).family().contains(QStringLiteral("IPA")));

    // Each control by name: its Qt kind, its container and caption, its pixels at 15 twips.
    const char* kinds[] = {"QGroupBox",    "QRadioButton", "QRadioButton", "QGroupBox",
                           "QRadioButton", "QRadioButton", "QCheckBox",    "QPushButton"};
    QWidget* const members[] = {f->frameScreen, f->optWindow, f->optFullScreen, f->frameButton,
                                f->optLeft,     f->optRight,  f->chkShowFPS,    f->btnOK};
    int i = 0;
    for (const tool_cases::Control& c : tool_cases::kDesign) {
      QWidget* w = f->findChild<QWidget*>(QString::fromLatin1(c.name));
      QVERIFY2(w, c.name);
      QCOMPARE(w, members[i]);
      QWidget* container =
          *c.container ? f->findChild<QWidget*>(QString::fromLatin1(c.container)) : f.get();
      QCOMPARE(w->metaObject()->className(), kinds[i++]);
      QCOMPARE(w->parentWidget(), container);
      QCOMPARE(w->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
      QCOMPARE(w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString(),
               QString::fromUtf8(c.caption));
    }
    QCOMPARE(Shown(*f), QByteArray("WL0"));
    QVERIFY(!f->chkShowFPS->isTristate());

    // Tab order among the controls that take the focus, in the table's order.
    QList<QWidget*> order;
    QWidget* w = f->optWindow;
    do {
      if (w->focusPolicy() & Qt::TabFocus) order << w;
      w = w->nextInFocusChain();
    } while (w != f->optWindow);
    QCOMPARE(order, (QList<QWidget*>{f->optWindow, f->optFullScreen, f->optLeft, f->optRight,
                                     f->chkShowFPS, f->btnOK}));
  }

  void optionsExcludeEachOtherOnlyWithinTheirFrame() {
    auto f = Open();
    Click(*f, "f");
    QCOMPARE(Shown(*f), QByteArray("FL0"));
    Click(*f, "r");
    QCOMPARE(Shown(*f), QByteArray("FR0"));
    Click(*f, "w");
    QCOMPARE(Shown(*f), QByteArray("WR0"));
  }

  // What the dialog shows for a file, and what OK leaves after some clicks.
  void openClickOk_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QByteArray>("clicks");
    QTest::addColumn<QByteArray>("after");
    for (const auto& c : tool_cases::OpenClickOkCases())
      QTest::newRow(c.name.c_str())
          << QByteArray::fromStdString(c.before) << QByteArray::fromStdString(c.shown)
          << QByteArray::fromStdString(c.clicks) << QByteArray::fromStdString(c.after);
  }
  void openClickOk() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, clicks);
    QFETCH(QByteArray, after);
    if (before != "<missing>") Spit(ini, before);
    auto f = Open();
    QCOMPARE(Shown(*f), shown);
    Click(*f, clicks);
    f->btnOK_Click();
    QCOMPARE(Slurp(ini), after);
  }

  void grayedBoxTurnsTwoStateWhenClicked() {
    Spit(ini, "[Setting]\nShowFPS=2\n");
    auto f = Open();
    QByteArray states;
    for (int i = 0; i < 4; ++i) {
      states += Shown(*f).right(1);
      Click(*f, "c");
    }
    QCOMPARE(states,
             QByteArray("1202"));  // grayed, checked, unchecked, checked: never grayed again
  }

  void closingWithoutOkChangesNothing() {
    const QByteArray before = "[Setting]\nRClick=1\nNoLayer=1\n";
    for (bool esc : {false, true}) {
      Spit(ini, before);
      auto f = Open();
      f->show();
      QVERIFY(QTest::qWaitForWindowExposed(f.get()));
      Click(*f, "flc");
      if (esc)
        QTest::keyClick(f.get(), Qt::Key_Escape);
      else
        f->close();  // as the title bar's close button does
      QVERIFY(!f->isVisible());
      f.reset();
      QCOMPARE(Slurp(ini), before);
    }
    QFile::remove(ini);
    Open()->close();
    QVERIFY(!QFile::exists(ini));
  }

  void pressingOkOrEnterWritesAndCloses() {
    for (bool enter : {false, true}) {
      auto f = Open();
      f->show();
      QVERIFY(QTest::qWaitForWindowExposed(f.get()));
      Click(*f, enter ? "r" : "f");
      if (enter)
        QTest::keyClick(f.get(), Qt::Key_Return);
      else
        QTest::mouseClick(f->btnOK, Qt::LeftButton);
      QVERIFY(!f->isVisible());
      QCOMPARE(f->result(), int(QDialog::Accepted));
    }
    QCOMPARE(Slurp(ini), QByteArray("[Setting]\r\nFullScreen=1\r\nRClick=1\r\n"));
  }

  void readOnlyFolderFailsSilently() {
    const QByteArray before = "[Setting]\r\nFullScreen=1\r\nRClick=1\r\nNoLayer=1\r\n";
    Spit(ini, before);
    const QByteArray folder = QFile::encodeName(dir->path());
    chmod(folder.constData(), 0555);
    if (geteuid() == 0) {
      // Root may write anywhere: the dialog runs in a child that gives root up.
      QProcess child;
      child.start(QCoreApplication::applicationFilePath(), {"--ok-as-nobody", dir->path()});
      QVERIFY(child.waitForFinished(60000));
      QCOMPARE(child.exitCode(), 0);
    } else {
      QCOMPARE(OkAsNobody(*Open()), 0);
    }
    chmod(folder.constData(), 0755);
    QCOMPARE(Slurp(ini), before);
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Zorbilo.ini"});
  }

  void whatTheToolWritesTheGameReads() {
    for (int i = 0; i < 8; ++i) {
      const bool full = i & 1, right = i & 2, fps = i & 4;
      Spit(ini, "[Setting]\r\nFullScreen=-1\r\nNoLayer=1\r\nShowFPS=2\r\nRClick=9\r\n");
      auto f = Open();
      Click(*f, QByteArray(full ? "f" : "w") + (right ? "r" : "l") + (fps ? "" : "cc"));
      f->btnOK_Click();
      QCOMPARE(settings::IsOn(settings::Read(settings::kFullScreen)), full);
      QCOMPARE(settings::IsOn(settings::Read(settings::kRClick)), right);
      QCOMPARE(settings::IsOn(settings::Read(settings::kShowFPS)), fps);
      QCOMPARE(settings::Read(settings::kNoLayer), 1);
      QCOMPARE(Shown(*Open()),
               QByteArray(full ? "F" : "W") + (right ? "R" : "L") + (fps ? "2" : "0"));
    }
  }
};

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--ok-as-nobody") == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 2;
    int child_argc = 1;
    QApplication app(child_argc, argv);
    App.Path = argv[2];
    fMain form;
    return OkAsNobody(form);
  }
  QApplication app(argc, argv);
  SettingsTool tc;
  return QTest::qExec(&tc, argc, argv);
}

#include "settings_tool_test.moc"
