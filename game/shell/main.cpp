// Zorbilo: one form, started, run until it unloads.
#include "common/App.h"
#include "game/shell/fMain.h"

int main(int argc, char** argv) {
  (void)argc;
  App.Init(argv[0]);
  fMain form;
  form.Form_Load();
  return platform::RunMessageLoop(form);
}
