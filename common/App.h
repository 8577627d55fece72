// The program folder: where the settings, high-score and media files lie.
#pragma once

#include <string>

struct AppObject {
  // Folder of the executable as it was started, without a trailing separator. For a symbolic
  // link this is the link's folder, not its target's. Tests may assign it.
  std::string Path;
  // Sets Path from the program's argv[0] (main calls this first).
  void Init(const char* argv0);
};

extern AppObject App;
