// 設定: the settings tool. Shows the dialog; OK writes the file and ends the program.
#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/App.h"
#include "settings-tool/fMain.h"

namespace {

// Without a display Qt ends the program with abort() and a page about reinstalling plugins; a
// person who started the tool from a terminal is told plainly what is missing instead.
[[noreturn]] void NoDisplay() {
  std::fputs(
      "設定: cannot open a window: there is no display. Start it from a desktop session, or set "
      "DISPLAY (for example under Xvfb).\n",
      stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

// While the application object is made, Qt's messages are held back: when it cannot reach a
// display they are only the noise before its fatal one, which becomes ours; otherwise they are
// passed on as they came.
QtMessageHandler passOn = nullptr;
bool starting = false;
std::vector<std::pair<QtMsgType, QString>> held;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (starting && type == QtFatalMsg) NoDisplay();
  if (starting) {
    held.emplace_back(type, text);
    return;
  }
  if (passOn)
    passOn(type, context, text);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    NoDisplay();
  passOn = qInstallMessageHandler(OnQtMessage);
  starting = true;
  QApplication app(argc, argv);
  starting = false;
  for (const auto& [type, text] : held) OnQtMessage(type, QMessageLogContext(), text);
  held.clear();

  // Names the window's class (X11: "zorbilo-settings") and application id (Wayland) after the
  // desktop entry, so a desktop matches the window to it.
  QApplication::setApplicationName("zorbilo-settings");
  QGuiApplication::setDesktopFileName("zorbilo-settings");
  App.Init(argc > 0 ? argv[0] : nullptr);
  fMain form;  // Form_Load runs in the constructor, before the dialog shows
  form.show();
  app.exec();
  return 0;
}
