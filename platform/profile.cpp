// Profile (INI) files: a section header "[name]" and key=value lines below it.
//
// A file is small (one larger than profile_io::kMaxFileBytes reads as absent and is never
// written), so both functions work on the whole file in memory. Reading walks the bytes once;
// writing splits them into lines that remember their own terminators, changes only the lines it
// must, and replaces the file in one rename, so a reader never sees half a file and a
// failed write leaves the old one whole. Bytes are bytes: names and values are compared and
// copied without any idea of an encoding, apart from ASCII letters comparing without case.
#include "platform/profile.h"

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile_io.h"

namespace profile_io = platform::profile_io;

namespace {

using std::string;
using std::string_view;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

string_view TrimName(string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
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

// The next line of data from at: its text and its terminator. A line ends at CR LF, LF or a
// lone CR, as the classic profile functions read them; the last line may have none.
void NextLine(string_view data, size_t& at, string_view& text, string_view& eol) {
  size_t end = data.find_first_of("\r\n", at);
  if (end == string_view::npos) end = data.size();
  size_t next = end;
  if (next < data.size()) next += data.compare(next, 2, "\r\n") == 0 ? 2 : 1;
  text = data.substr(at, end - at);
  eol = data.substr(end, next - end);
  at = next;
}

// One line of a file: its text without the terminator, and the terminator itself ("\n",
// "\r\n", "\r", or empty for a last line without one), so untouched lines are written back as
// read.
struct Line {
  string text;
  string eol;
};

std::vector<Line> SplitLines(const string& data) {
  std::vector<Line> lines;
  string_view text, eol;
  for (size_t at = 0; at < data.size();) {
    NextLine(data, at, text, eol);
    lines.push_back({string(text), string(eol)});
  }
  return lines;
}

// A UTF-8 byte-order mark (left by some editors) must not hide the first section header.
string_view WithoutBom(string_view line) {
  if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  return line;
}

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

namespace {

UINT ReadInt(LPCSTR lpAppName, LPCSTR lpKeyName, UINT fallback, LPCSTR lpFileName) {
  string data;
  if (profile_io::ReadWhole(lpFileName, data) != profile_io::ReadResult::kOk) return fallback;

  const string_view section = TrimName(lpAppName), key = TrimName(lpKeyName);
  string_view line, eol;
  bool inside = false;
  for (size_t at = 0; at < data.size();) {
    NextLine(data, at, line, eol);
    if (line.data() == data.data()) line = WithoutBom(line);

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

BOOL WriteString(string_view section, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
  const string_view key = lpKeyName ? TrimName(lpKeyName) : string_view{};
  // A link is written through, not replaced by a plain file; so is a link to nothing yet.
  const string path = profile_io::WriteTarget(lpFileName);
  if (path.empty()) return FALSE;

  string data;
  const profile_io::ReadResult rr = profile_io::ReadWhole(path, data);
  if (rr == profile_io::ReadResult::kFailed) return FALSE;
  const bool exists = rr == profile_io::ReadResult::kOk;
  if (exists && !profile_io::MayReplace(path)) return FALSE;

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
    // A lone CR now followed by an empty LF line would read back as one CR LF, losing that line
    // (a line inserted or dropped put them side by side): the CR becomes a CR LF of its own.
    if (!out.empty() && out.back() == '\r' && lines[i].text.empty() && lines[i].eol == "\n")
      out += '\n';
    out += lines[i].text;
    out += lines[i].eol;
  }
  // Nothing to change (deleting what is not there, writing the value it already has): the file
  // is left alone, and a missing file is not created.
  if (out == data) return TRUE;
  return profile_io::Replace(path, out) ? TRUE : FALSE;
}

}  // namespace

// Neither function lets an exception out: running out of memory reads the default, or fails
// the write with the file as it was.

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
  const UINT fallback = static_cast<UINT>(nDefault);
  if (!lpAppName || !lpKeyName || !lpFileName) return fallback;
  try {
    return ReadInt(lpAppName, lpKeyName, fallback, lpFileName);
  } catch (...) {
    return fallback;
  }
}

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName) {
  if (!lpAppName || !lpFileName || !*lpFileName) return FALSE;
  const string_view section = TrimName(lpAppName);
  if (!SafeText(section, false) || section.find(']') != string_view::npos) return FALSE;
  if (lpKeyName && !SafeText(TrimName(lpKeyName), true)) return FALSE;
  if (lpString && !SafeText(lpString, false)) return FALSE;
  try {
    // Read, change and replace as one step: another process's write waits, and is not lost.
    const platform::ProfileLock lock(lpFileName);
    return WriteString(section, lpKeyName, lpString, lpFileName);
  } catch (...) {
    return FALSE;
  }
}

namespace platform {

ProfileLock::ProfileLock(LPCSTR path) {
  if (!path || !*path) return;
  try {
    key_ = profile_io::Acquire(path);
    held_ = true;
  } catch (...) {
  }
}

ProfileLock::~ProfileLock() {
  if (held_) profile_io::Release(key_);
}

}  // namespace platform
