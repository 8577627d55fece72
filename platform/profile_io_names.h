// What both systems' profile_io files share: the names of folders and of the temporary files a
// write leaves beside its file, and how deep this thread holds each folder's lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <string_view>

namespace platform::profile_io::names {

using std::string;
using std::string_view;

inline constexpr int kLinkHops = 40;  // as the kernel allows before it calls it a loop
inline constexpr auto kLockPatience = std::chrono::seconds(5);

inline string FolderOf(const string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

inline string NameOf(const string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == string::npos ? path : path.substr(slash + 1);
}

// Temporary files are named ".NAME.PID-N-T.tmp" beside the file NAME, so that a later writer
// can tell which are its own kind and whether the process that made one is still there.
inline string TempPrefix(const string& name) {
  return "." + (name.size() > 200 ? string("profile") : name) + ".";  // within NAME_MAX
}

// The writer's process id in a temporary file's name, or 0 when the name is not one of ours.
inline unsigned long TempOwner(string_view entry, string_view prefix) {
  constexpr string_view kSuffix = ".tmp";
  if (entry.size() <= prefix.size() + kSuffix.size() || entry.substr(0, prefix.size()) != prefix ||
      entry.substr(entry.size() - kSuffix.size()) != kSuffix)
    return 0;
  string_view middle = entry.substr(prefix.size(), entry.size() - prefix.size() - kSuffix.size());
  unsigned long pid = 0;
  int numbers = 0;
  bool digit = false;
  for (char c : middle) {
    if (c >= '0' && c <= '9') {
      if (numbers == 0 && pid < 1'000'000'000ul)
        pid = pid * 10 + static_cast<unsigned long>(c - '0');
      digit = true;
    } else if (c == '-' && digit && numbers < 2) {
      ++numbers, digit = false;
    } else {
      return 0;
    }
  }
  return numbers == 2 && digit ? pid : 0;
}

inline string TempName(const string& path, unsigned long pid, unsigned counter) {
  string folder = FolderOf(path);
  return (folder == "/" ? "" : folder) + "/" + TempPrefix(NameOf(path)) + std::to_string(pid) +
         "-" + std::to_string(counter) + "-" +
         std::to_string(static_cast<unsigned long>(time(nullptr)) & 0xFFFF) + ".tmp";
}

// Locks held by this thread, by folder: how deep, and the system's handle of the lock.
struct Held {
  int depth = 0;
  intptr_t handle = -1;
};
inline thread_local std::map<string, Held> held;

}  // namespace platform::profile_io::names
