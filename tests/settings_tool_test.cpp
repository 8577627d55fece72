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
    QCOMPARE(f->size(), QSize(234, 148));
    QCOMPARE(f->minimumSize(), f->maximumSize());
    const QList<QSize> sizes = f->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(QFontInfo(f->font()).family().contains(QStringLiteral("IPA")));

    struct Row {
      QWidget* w;
      const char* name;
      const char* kind;
      QWidget* container;
      const char* caption;
      QRect geometry;  // pixels: the design's twips / 15
    };
    // clang-format off
    const Row rows[] = {
        {f->frameScreen, "frameScreen", "QGroupBox", f.get(), "画面モード", {6, 6, 220, 50}},
        {f->optWindow, "optWindow", "QRadioButton", f->frameScreen, "ウィンドウ", {8, 20, 80, 20}},
        {f->optFullScreen, "optFullScreen", "QRadioButton", f->frameScreen, "フルスクリーン", {100, 20, 100, 20}},
        {f->frameButton, "frameButton", "QGroupBox", f.get(), "マウスボタン", {6, 62, 220, 50}},
        {f->optLeft, "optLeft", "QRadioButton", f->frameButton, "左クリック", {8, 20, 80, 20}},
        {f->optRight, "optRight", "QRadioButton", f->frameButton, "右クリック", {100, 20, 80, 20}},
        {f->chkShowFPS, "chkShowFPS", "QCheckBox", f.get(), "FPSを表示", {14, 120, 80, 20}},
        {f->btnOK, "btnOK", "QPushButton", f.get(), "OK", {140, 120, 80, 22}},
    };
    // clang-format on
    for (const Row& r : rows) {
      QVERIFY2(r.w, r.name);
      QCOMPARE(r.w->objectName(), QString::fromLatin1(r.name));
      QCOMPARE(r.w->metaObject()->className(), r.kind);
      QCOMPARE(r.w->parentWidget(), r.container);
      QCOMPARE(r.w->geometry(), r.geometry);
      QCOMPARE(r.w->property(qobject_cast<QGroupBox*>(r.w) ? "title" : "text").toString(),
               QString::fromUtf8(r.caption));
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

  // What the dialog shows for a file (window or full screen, left or right, and the check
  // box's state: 0 unchecked, 1 grayed, 2 checked), and what OK leaves after some clicks.
  void openClickOk_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QByteArray>("clicks");
    QTest::addColumn<QByteArray>("after");
    const QByteArray none = "<missing>";
    QTest::newRow("no file, all off: none made")
        << none << QByteArray("WL0") << QByteArray() << none;
    QTest::newRow("empty file") << QByteArray() << QByteArray("WL0") << QByteArray()
                                << QByteArray();
    QTest::newRow("only other sections")
        << QByteArray("[Other]\nFullScreen=1\nRClick=1\n") << QByteArray("WL0") << QByteArray()
        << QByteArray("[Other]\nFullScreen=1\nRClick=1\n");
    QTest::newRow("no file, only the keys that are on")
        << none << QByteArray("WL0") << QByteArray("r") << QByteArray("[Setting]\r\nRClick=1\r\n");
    QTest::newRow("no file, written in order")
        << none << QByteArray("WL0") << QByteArray("crf")
        << QByteArray("[Setting]\r\nFullScreen=1\r\nRClick=1\r\nShowFPS=1\r\n");
    QTest::newRow("5 and 2 select, saved as 1")
        << QByteArray("[Setting]\nFullScreen=5\nRClick=2\nNoLayer=1\n") << QByteArray("FR0")
        << QByteArray() << QByteArray("[Setting]\nFullScreen=1\nRClick=1\nNoLayer=1\n");
    QTest::newRow("all off deletes, the rest untouched")
        << QByteArray(
               "; by hand\r\n[Setting]\r\nFullScreen=1\r\n  NoLayer = 3 ; mine\r\n"
               "RClick=-1\r\nShowFPS=1\r\n\r\n[Other]\r\nShowFPS=1\r\n")
        << QByteArray("FR2") << QByteArray("wlc")
        << QByteArray(
               "; by hand\r\n[Setting]\r\n  NoLayer = 3 ; mine\r\n\r\n[Other]\r\nShowFPS=1\r\n");
    QTest::newRow("no change normalises")
        << QByteArray("[setting]\r\nfullscreen=-3\r\nRClick=0\r\nNoLayer=1\r\nShowFPS=01\r\n")
        << QByteArray("FL2") << QByteArray()
        << QByteArray("[setting]\r\nfullscreen=1\r\nNoLayer=1\r\nShowFPS=1\r\n");
    const char* fps[][2] = {{"0", "WL0"}, {"1", "WL2"},  {"2", "WL1"},  {"3", "WL2"},
                            {"7", "WL2"}, {"-1", "WL2"}, {"yes", "WL0"}};
    for (auto& [value, state] : fps)
      QTest::addRow("ShowFPS=%s", value)
          << "[Setting]\nShowFPS=" + QByteArray(value) + "\n"
          << QByteArray(state) << QByteArray()
          << QByteArray(state[2] == '0' ? "[Setting]\n" : "[Setting]\nShowFPS=1\n");
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
