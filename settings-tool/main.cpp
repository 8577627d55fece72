// 設定: the settings tool. Shows the dialog; OK writes the file and ends the program.
#include <QApplication>

#include "common/App.h"
#include "settings-tool/fMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
