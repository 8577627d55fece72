// The program folder. Both programs keep their files beside themselves, so the folder is the one
// the program was started from: a symbolic link's folder, not its target's, which lets a user
// keep a folder of links to an installed game with settings and scores of their own.
#include "common/App.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// A folder's text without a trailing separator; the root folder becomes "", so that appending
// "/name" still gives "/name".
std::string WithoutTrailingSlash(std::string s) {
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

std::string FolderOf(const fs::path& file) {
  return WithoutTrailingSlash(file.lexically_normal().parent_path().string());
}

std::string ProcSelfExeFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return ".";
  return FolderOf(exe);
}

bool CurrentFolder(fs::path& out) {
  std::error_code ec;
  out = fs::current_path(ec);
  return !ec && out.is_absolute();
}

bool IsExecutableFile(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(p.c_str(), X_OK) == 0;
}

}  // namespace

AppObject App{ProcSelfExeFolder()};

void AppObject::Init(const char* argv0) {
  const std::string name = argv0 ? argv0 : "";
  fs::path cwd;
  const bool have_cwd = CurrentFolder(cwd);

  if (name.find('/') != std::string::npos) {
    fs::path p(name);
    if (p.is_absolute()) {
      Path = FolderOf(p);
      return;
    }
    if (have_cwd) {
      Path = FolderOf(cwd / p);
      return;
    }
  } else if (!name.empty()) {
    // Started by name: the shell found it the way execvp does, along PATH.
    const char* env = std::getenv("PATH");
    std::string list = env ? env : "";
    size_t start = 0;
    while (env && start <= list.size()) {
      size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      std::string dir = list.substr(start, colon - start);
      start = colon + 1;
      fs::path folder = dir.empty() ? fs::path(".") : fs::path(dir);
      if (folder.is_relative()) {
        if (!have_cwd) continue;
        folder = cwd / folder;
      }
      fs::path candidate = folder / name;
      if (IsExecutableFile(candidate.string())) {
        Path = FolderOf(candidate);
        return;
      }
    }
  }
  Path = ProcSelfExeFolder();
}
