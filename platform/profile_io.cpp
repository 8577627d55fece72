// The file-system side of the profile functions (see profile_io.h): POSIX calls on Linux and
// the like, the wide-character Win32 API on Windows, behind the same few functions.
#include "platform/profile_io.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <string_view>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#endif

namespace platform::profile_io {

namespace {

using std::string;
using std::string_view;

constexpr int kLinkHops = 40;  // as the kernel allows before it calls it a loop
constexpr auto kLockPatience = std::chrono::seconds(5);

string FolderOf(const string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

string NameOf(const string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == string::npos ? path : path.substr(slash + 1);
}

// Temporary files are named ".NAME.PID-N-T.tmp" beside the file NAME, so that a later writer
// can tell which are its own kind and whether the process that made one is still there.
string TempPrefix(const string& name) {
  return "." + (name.size() > 200 ? string("profile") : name) + ".";  // within NAME_MAX
}

// The writer's process id in a temporary file's name, or 0 when the name is not one of ours.
unsigned long TempOwner(string_view entry, string_view prefix) {
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

string TempName(const string& path, unsigned long pid, unsigned counter) {
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
thread_local std::map<string, Held> held;

}  // namespace

#ifdef _WIN32

namespace {

std::wstring Wide(const string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

bool Alive(unsigned long pid) {
  if (pid == GetCurrentProcessId()) return false;  // not a write of ours: ours are under the lock
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
  bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

void RemoveStaleTemps(const string& path) {
  const string folder = FolderOf(path), prefix = TempPrefix(NameOf(path));
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(Wide(folder + "\\" + prefix + "*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const string name = Narrow(found.cFileName);
    const unsigned long pid = TempOwner(name, prefix);
    if (pid && !Alive(pid)) DeleteFileW(Wide(folder + "\\" + name).c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

}  // namespace

ReadResult ReadWhole(const string& path, string& out) {
  out.clear();
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                  : ReadResult::kFailed;
  }
  LARGE_INTEGER size{};
  ReadResult r = ReadResult::kFailed;
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
      static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes) {
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    size_t done = 0;
    r = ReadResult::kOk;
    while (done < out.size()) {
      if (!::ReadFile(h, out.data() + done, static_cast<DWORD>(out.size() - done), &got, nullptr)) {
        r = ReadResult::kFailed;
        break;
      }
      if (got == 0) break;
      done += got;
    }
    out.resize(done);
  }
  CloseHandle(h);
  if (r != ReadResult::kOk) out.clear();
  return r;
}

string WriteTarget(const string& path) {
  // A live link is written through: its target is where the new file goes.
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
  HANDLE h =
      CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  CloseHandle(h);
  if (n == 0 || n >= buf.size()) return path;
  buf.resize(n);
  // "\\?\C:\..." and "\\?\UNC\server\..." back to ordinary paths, which take '/' as well.
  if (buf.rfind(L"\\\\?\\UNC\\", 0) == 0)
    buf = L"\\\\" + buf.substr(8);
  else if (buf.rfind(L"\\\\?\\", 0) == 0)
    buf = buf.substr(4);
  return Narrow(buf);
}

bool MayReplace(const string& path) {
  DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES &&
         !(a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

bool Replace(const string& path, const string& data) {
  RemoveStaleTemps(path);
  static unsigned counter = 0;
  HANDLE h = INVALID_HANDLE_VALUE;
  string tmp;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = TempName(path, GetCurrentProcessId(), ++counter);
    h = CreateFileW(Wide(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < data.size();) {
    DWORD wrote = 0;
    ok =
        WriteFile(h, data.data() + done, static_cast<DWORD>(data.size() - done), &wrote, nullptr) &&
        wrote > 0;
    done += wrote;
  }
  ok = ok && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  ok = ok && MoveFileExW(Wide(tmp).c_str(), Wide(path).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(Wide(tmp).c_str());
  return ok;
}

string Acquire(const string& path) {
  string key = FolderOf(WriteTarget(path));
  Held& h = held[key];
  if (h.depth++ > 0) return key;
  // A named mutex per folder: the system releases it when its holder dies.
  uint64_t hash = 1469598103934665603ull;
  for (char c : key) {
    char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c == '/' ? '\\' : c;
    hash = (hash ^ static_cast<unsigned char>(lower)) * 1099511628211ull;
  }
  wchar_t name[64];
  swprintf(name, 64, L"Local\\zorbilo-profile-%016llx", static_cast<unsigned long long>(hash));
  HANDLE m = CreateMutexW(nullptr, FALSE, name);
  if (!m) return key;
  DWORD w =
      WaitForSingleObject(m, static_cast<DWORD>(std::chrono::milliseconds(kLockPatience).count()));
  if (w == WAIT_OBJECT_0 || w == WAIT_ABANDONED)
    h.handle = reinterpret_cast<intptr_t>(m);
  else
    CloseHandle(m);
  return key;
}

void Release(const string& key) {
  auto it = held.find(key);
  if (it == held.end() || --it->second.depth > 0) return;
  if (it->second.handle != -1) {
    HANDLE m = reinterpret_cast<HANDLE>(it->second.handle);
    ReleaseMutex(m);
    CloseHandle(m);
  }
  held.erase(it);
}

#else  // POSIX

namespace {

bool Alive(unsigned long pid) {
  if (pid > static_cast<unsigned long>(INT_MAX)) return false;
  // This process's writes run under the lock, one at a time: a file with our id is older.
  if (static_cast<pid_t>(pid) == getpid()) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

void RemoveStaleTemps(const string& path) {
  const string folder = FolderOf(path), prefix = TempPrefix(NameOf(path));
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const unsigned long pid = TempOwner(e->d_name, prefix);
    if (pid && !Alive(pid)) unlinkat(dirfd(d), e->d_name, 0);
  }
  closedir(d);
}

bool WriteAll(int fd, const string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ReadResult ReadWhole(const string& path, string& out) {
  out.clear();
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
    close(fd);
    return ReadResult::kFailed;
  }
  out.reserve(static_cast<size_t>(st.st_size));
  char buf[16384];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      if (out.size() > kMaxFileBytes) ok = false;  // it grew while we read it
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      ok = ok && n == 0;
    }
    if (n <= 0 || !ok) break;
  }
  close(fd);
  if (!ok) {
    out.clear();
    return ReadResult::kFailed;
  }
  return ReadResult::kOk;
}

string WriteTarget(const string& path) {
  string p = path;
  for (int hop = 0; hop < kLinkHops; ++hop) {
    struct stat st;
    if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    string target(static_cast<size_t>(PATH_MAX), '\0');
    ssize_t n = readlink(p.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return p;
    target.resize(static_cast<size_t>(n));
    // A relative target is relative to the link's own folder.
    p = target.front() == '/' ? target : FolderOf(p) + "/" + target;
  }
  return {};
}

bool MayReplace(const string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
         access(path.c_str(), W_OK) == 0;
}

bool Replace(const string& path, const string& data) {
  RemoveStaleTemps(path);
  struct stat old;
  const bool existed = stat(path.c_str(), &old) == 0;
  int fd = -1;
  string tmp;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = TempName(path, static_cast<unsigned long>(getpid()), ++counter);
    // Mode 0666 under the umask gives a new file its usual permissions.
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, data);
  if (ok && existed) {
    // The new file keeps the old one's permissions (and owner, where we may set it).
    ok = fchmod(fd, old.st_mode & 07777) == 0;
    if (ok && (old.st_uid != geteuid() || old.st_gid != getegid()))
      (void)!fchown(fd, old.st_uid, old.st_gid);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }
  int dfd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename itself durable; nothing to undo if it fails
    close(dfd);
  }
  return true;
}

string Acquire(const string& path) {
  string target = WriteTarget(path);
  string key = FolderOf(target.empty() ? path : target);
  Held& h = held[key];
  if (h.depth++ > 0) return key;
  // The folder itself carries the lock: it needs no file of its own, nor write permission,
  // and the system drops it when its holder dies.
  int fd = open(key.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return key;
  const auto give_up = std::chrono::steady_clock::now() + kLockPatience;
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > give_up) {
      close(fd);
      return key;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  h.handle = fd;
  return key;
}

void Release(const string& key) {
  auto it = held.find(key);
  if (it == held.end() || --it->second.depth > 0) return;
  if (it->second.handle != -1) close(static_cast<int>(it->second.handle));
  held.erase(it);
}

#endif

}  // namespace platform::profile_io
