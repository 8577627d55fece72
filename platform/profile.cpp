// Profile (INI) files: a section header "[name]" and key=value lines below it.
//
// A file is small, so both functions work on the whole file in memory. Reading walks the bytes
// once; writing splits them into lines that remember their own terminators, changes only the
// lines it must, and replaces the file in one rename, so a reader never sees half a file and a
// failed write leaves the old one whole. Bytes are bytes: names and values are compared and
// copied without any idea of an encoding, apart from ASCII letters comparing without case.
#include "platform/profile.h"

#ifdef _WIN32
#include <sys/stat.h>

#include <algorithm>

#include "platform/win32/winapi.h"
#undef ReplaceFile  // the system's macro; the name below is this file's own
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace {

using std::string;
using std::string_view;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Names are trimmed of blanks (and of a stray '\r' left by a file whose last line has no '\n').
string_view TrimName(string_view s) {
  auto trim = [](char c) { return IsBlank(c) || c == '\r'; };
  while (!s.empty() && trim(s.front())) s.remove_prefix(1);
  while (!s.empty() && trim(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(string_view a, string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// What one line of the file is.
enum class LineKind { kOther, kSection, kKey };

struct Parsed {
  LineKind kind = LineKind::kOther;
  string_view name;   // section or key name, trimmed
  string_view value;  // key lines only: everything after the first '='
};

Parsed ParseLine(string_view line) {
  Parsed p;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size() || line[i] == ';') return p;  // blank line or comment
  if (line[i] == '[') {
    string_view rest = line.substr(i + 1);
    size_t close = rest.find(']');
    p.kind = LineKind::kSection;
    p.name = TrimName(close == string_view::npos ? rest : rest.substr(0, close));
    return p;
  }
  size_t eq = line.find('=');
  if (eq == string_view::npos) return p;  // not a key: kept as it is, never matched
  p.kind = LineKind::kKey;
  p.name = TrimName(line.substr(0, eq));
  p.value = line.substr(eq + 1);
  return p;
}

// One line of a file: its text without the terminator, and the terminator itself ("\n",
// "\r\n", or empty for a last line without one), so untouched lines are written back as read.
struct Line {
  string text;
  string eol;
};

std::vector<Line> SplitLines(const string& data) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t nl = data.find('\n', start);
    if (nl == string::npos) {
      lines.push_back({data.substr(start), ""});
      break;
    }
    size_t end = nl;
    if (end > start && data[end - 1] == '\r') --end;
    lines.push_back({data.substr(start, end - start), data.substr(end, nl + 1 - end)});
    start = nl + 1;
  }
  return lines;
}

// A UTF-8 byte-order mark (left by some editors) must not hide the first section header.
string_view WithoutBom(string_view line) {
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  return line;
}

enum class ReadResult { kOk, kMissing, kFailed };

#ifdef _WIN32
// Windows: names are UTF-8, so the wide functions take them; the replace keeps the old file's
// attributes and security, which ReplaceFileW carries over itself.

std::wstring WidePath(const string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                              static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      out.data(), n);
  return out;
}

ReadResult ReadFile(const char* path, string& out) {
  out.clear();
  const std::wstring name = WidePath(path);
  if (name.empty()) return ReadResult::kFailed;
  // A directory cannot be opened this way, and a device or pipe is refused below.
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                      : ReadResult::kFailed;
  }
  LARGE_INTEGER size{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return ReadResult::kFailed;
  }
  if (size.QuadPart > 0) out.reserve(static_cast<size_t>(size.QuadPart));
  char buf[16384];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
      CloseHandle(h);
      out.clear();
      return ReadResult::kFailed;
    }
    if (got == 0) break;
    out.append(buf, got);
  }
  CloseHandle(h);
  return ReadResult::kOk;
}

#else
// Reads a regular file whole. A missing file is told apart from one that cannot be read (a
// directory, a device, a pipe, no permission), because a write may create the first but must
// never replace the second.
ReadResult ReadFile(const char* path, string& out) {
  out.clear();
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadResult::kFailed;
  }
  if (st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[16384];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      close(fd);
      out.clear();
      return ReadResult::kFailed;
    }
  }
  close(fd);
  return ReadResult::kOk;
}

#endif  // _WIN32

// The decimal number at the start of a value, after optional blanks and a sign; saturated to
// 32 bits. No digits read 0.
int32_t ParseInt(string_view v) {
  size_t i = 0;
  while (i < v.size() && IsBlank(v[i])) ++i;
  bool negative = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
  int64_t n = 0;
  constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    if (n < kLimit) n = n * 10 + (v[i] - '0');
  }
  if (n > kLimit) n = kLimit;
  if (negative) return static_cast<int32_t>(-n);  // -kLimit is INT32_MIN exactly
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

#ifdef _WIN32

// Replaces the file at path with data: a temporary file beside it, flushed to the disk, then
// put in the old one's place in one step. On any failure the temporary file is removed and the
// old file is as it was.
bool ReplaceFile(const string& path, const string& data, const struct stat* old) {
  const std::wstring target = WidePath(path);
  if (target.empty()) return false;
  const size_t sep = target.find_last_of(L"\\/");
  const std::wstring dir = sep == std::wstring::npos ? L"." : target.substr(0, sep);
  std::wstring base = sep == std::wstring::npos ? target : target.substr(sep + 1);
  if (base.size() > 200) base = L"profile";

  static unsigned counter = 0;
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = dir + L"\\." + base + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
          std::to_wstring(++counter) + L".tmp";
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < data.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 20));
    ok = WriteFile(h, data.data() + done, chunk, &wrote, nullptr) && wrote > 0;
    done += wrote;
  }
  ok = ok && FlushFileBuffers(h);
  ok = CloseHandle(h) && ok;
  if (ok) {
    // ReplaceFileW keeps the old file's attributes; a sharing conflict falls back to a move.
    if (!old || !ReplaceFileW(target.c_str(), tmp.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      ok = MoveFileExW(tmp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(tmp.c_str());
  return ok;
}

#else
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

// Replaces the file at path with data: a temporary file beside it, flushed to the disk, then
// renamed over the old one. On any failure the temporary file is removed and the old file is
// as it was.
bool ReplaceFile(const string& path, const string& data, const struct stat* old) {
  size_t slash = path.rfind('/');
  string dir = slash == string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  string base = slash == string::npos ? path : path.substr(slash + 1);
  if (base.size() > 200) base = "profile";  // keep the temporary name within NAME_MAX
  string prefix = (dir == "/" ? "" : dir) + "/." + base + ".";

  int fd = -1;
  string tmp;
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = prefix + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" +
          std::to_string(static_cast<unsigned long>(time(nullptr)) & 0xFFFF) + ".tmp";
    // Mode 0666 under the umask gives a new file its usual permissions.
    fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, data);
  if (ok && old) {
    // The new file keeps the old one's permissions (and owner, where we may set it).
    ok = fchmod(fd, old->st_mode & 07777) == 0;
    if (ok && (old->st_uid != geteuid() || old->st_gid != getegid()))
      (void)!fchown(fd, old->st_uid, old->st_gid);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);  // makes the rename itself durable; nothing to undo if it fails
    close(dfd);
  }
  return true;
}

#endif  // _WIN32

// Values and names that would break the line structure of the file are refused, not written:
// a line break anywhere, an '=' in a key, a key that would read back as a header or a comment.
bool SafeText(string_view s, bool is_key) {
  if (is_key && !s.empty() && (s.front() == '[' || s.front() == ';')) return false;
  for (char c : s) {
    if (c == '\n' || c == '\r') return false;
    if (is_key && c == '=') return false;
  }
  return true;
}

}  // namespace

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
  const UINT fallback = static_cast<UINT>(nDefault);
  if (!lpAppName || !lpKeyName || !lpFileName) return fallback;
  string data;
  if (ReadFile(lpFileName, data) != ReadResult::kOk) return fallback;

  const string_view section = TrimName(lpAppName), key = TrimName(lpKeyName);
  string_view rest = data;
  bool first = true, inside = false;
  while (!rest.empty()) {
    size_t nl = rest.find('\n');
    string_view line = rest.substr(0, nl);
    rest = nl == string_view::npos ? string_view{} : rest.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      line = WithoutBom(line);
      first = false;
    }

    Parsed p = ParseLine(line);
    if (p.kind == LineKind::kSection) {
      if (inside) break;  // the first section of that name is the only one read
      inside = SameName(p.name, section);
    } else if (inside && p.kind == LineKind::kKey && SameName(p.name, key)) {
      return static_cast<UINT>(ParseInt(p.value));
    }
  }
  return fallback;
}

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName) {
  if (!lpAppName || !lpFileName || !*lpFileName) return FALSE;
  const string_view section = TrimName(lpAppName);
  const string_view key = lpKeyName ? TrimName(lpKeyName) : string_view{};
  if (!SafeText(section, false) || section.find(']') != string_view::npos) return FALSE;
  if (lpKeyName && !SafeText(key, true)) return FALSE;
  if (lpString && !SafeText(lpString, false)) return FALSE;

  // A link is written through, not replaced by a plain file.
  string path = lpFileName;
#ifndef _WIN32
  struct stat lst;
  if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char* real = realpath(path.c_str(), nullptr);
    if (real) {
      path = real;
      free(real);
    }
  }
#endif

  string data;
  ReadResult rr = ReadFile(path.c_str(), data);
  if (rr == ReadResult::kFailed) return FALSE;
  struct stat st {};
  const bool exists = rr == ReadResult::kOk;
  if (exists) {
    // A read-only file stays as it is, even for a user whom the system would let replace it.
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
      return FALSE;
#else
    if (stat(path.c_str(), &st) != 0 || (st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0)
      return FALSE;
#endif
  }

  std::vector<Line> lines = SplitLines(data);
  string eol = "\r\n";  // a new file, or one without a line break yet
  for (const Line& l : lines) {
    if (!l.eol.empty()) {
      eol = l.eol;
      break;
    }
  }

  // Index of the first section of that name, its end (the next section header or the end of
  // the file), and a parsed view of each line.
  std::vector<Parsed> parsed;
  parsed.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i)
    parsed.push_back(ParseLine(i == 0 ? WithoutBom(lines[i].text) : string_view(lines[i].text)));
  auto find_section = [&](size_t from) -> size_t {
    for (size_t i = from; i < lines.size(); ++i)
      if (parsed[i].kind == LineKind::kSection && SameName(parsed[i].name, section)) return i;
    return lines.size();
  };
  auto section_end = [&](size_t head) {
    size_t i = head + 1;
    while (i < lines.size() && parsed[i].kind != LineKind::kSection) ++i;
    return i;
  };

  std::vector<bool> drop(lines.size(), false);
  size_t head = find_section(0);

  if (!lpKeyName) {
    // No key: the whole section goes, every copy of it, so that it reads as absent afterwards.
    for (size_t h = head; h < lines.size(); h = find_section(section_end(h)))
      for (size_t i = h; i < section_end(h); ++i) drop[i] = true;
  } else if (!lpString) {
    // No value: the key goes, with any duplicates in that section, so that it reads as absent.
    if (head < lines.size())
      for (size_t i = head + 1; i < section_end(head); ++i)
        if (parsed[i].kind == LineKind::kKey && SameName(parsed[i].name, key)) drop[i] = true;
  } else {
    const string value = lpString;
    bool done = false;
    if (head < lines.size()) {
      size_t end = section_end(head), last = head;
      for (size_t i = head + 1; i < end && !done; ++i) {
        if (parsed[i].kind == LineKind::kKey && SameName(parsed[i].name, key)) {
          // Rewritten in place; the file's own spelling of the name is kept.
          lines[i].text = string(parsed[i].name) + "=" + value;
          done = true;
        }
        if (parsed[i].kind != LineKind::kOther || !TrimName(lines[i].text).empty()) last = i;
      }
      if (!done) {
        // A new key goes after the section's last line that is not blank, so blank lines that
        // part it from the next section stay where they are.
        if (lines[last].eol.empty()) lines[last].eol = eol;
        lines.insert(lines.begin() + static_cast<long>(last) + 1,
                     Line{string(key) + "=" + value, eol});
        drop.insert(drop.begin() + static_cast<long>(last) + 1, false);
        done = true;
      }
    }
    if (!done) {
      if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
      lines.push_back({"[" + string(section) + "]", eol});
      lines.push_back({string(key) + "=" + value, eol});
      drop.resize(lines.size(), false);
    }
  }

  string out;
  out.reserve(data.size() + 64);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (drop[i]) continue;
    out += lines[i].text;
    out += lines[i].eol;
  }
  // Nothing to change (deleting what is not there, writing the value it already has): the file
  // is left alone, and a missing file is not created.
  if (out == data) return TRUE;
  return ReplaceFile(path, out, exists ? &st : nullptr) ? TRUE : FALSE;
}
