// The file-system side of the profile functions (see profile_io.h) on POSIX systems.
#include "platform/profile_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/profile_io_names.h"

namespace platform::profile_io {

using namespace names;

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

}  // namespace platform::profile_io
