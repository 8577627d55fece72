// Fuzzes the profile reader and writer: any file content, any section, key and value.
// Invariants: nothing crashes; after a write, a read returns what was written, and every other
// line of the file is unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/media_files.h"

namespace {

// The file lives in a folder of its own, removed at exit; run.sh also points TMPDIR into its
// work folder, which goes even when a crash skips the exit.
std::string Path() {
  static const media_files::TempDir dir;
  if (dir.path().empty()) std::abort();
  return dir.path() + "/f.ini";
}

// Lines as the profile functions see them: ended by CR LF, LF or a lone CR.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(at, end - at));
    at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return out;
}

// A name or value the format can hold: printable, no brackets, '=', ';' or blanks at the ends.
std::string Word(const uint8_t*& d, size_t& n, size_t maxLen, bool value) {
  std::string w;
  size_t len = n ? (*d++ % (maxLen + 1)) : 0;
  if (n) --n;
  static const char alphabet[] =
      "abcXYZ019-_.~ +ハ";  // includes a multi-byte character and an inner blank
  while (len-- && n) {
    char c = alphabet[*d++ % (sizeof(alphabet) - 1)];
    --n;
    w += c;
  }
  while (!w.empty() && w.front() == ' ') w.erase(0, 1);
  while (!w.empty() && w.back() == ' ') w.pop_back();
  if (w.empty() && !value) w = "k";
  return w;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "key=..." with blanks allowed around the name, compared without regard to case.
bool IsKeyLine(const std::string& line, const std::string& key) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  std::string name = line.substr(0, eq);
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
  return Lower(name) == Lower(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t split = data[0] * 4u % size;
  std::string content(reinterpret_cast<const char*>(data + 1), split > 0 ? split - 1 : 0);
  const uint8_t* d = data + split;
  size_t n = size - split;
  std::string section = Word(d, n, 12, false), key = Word(d, n, 12, false);
  std::string value = Word(d, n, 20, true);
  bool number = n && (*d & 1);
  if (number) value = std::to_string(static_cast<int32_t>(size * 7919u) - 50000);

  {
    std::ofstream f(Path(), std::ios::binary | std::ios::trunc);
    f << content;
  }
  const std::string& file = Path();
  GetPrivateProfileIntA(section.c_str(), key.c_str(), 5, file.c_str());
  GetPrivateProfileIntA(nullptr, key.c_str(), 5, file.c_str());
  GetPrivateProfileIntA(section.c_str(), nullptr, 5, nullptr);

  // Only files whose lines the format can tell apart are checked line by line.
  const bool plain = content.find('\0') == std::string::npos;
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()))
    std::abort();  // a writable temporary folder: a write must succeed

  if (number &&
      static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key.c_str(), 5, file.c_str())) !=
          std::stoi(value))
    std::abort();

  std::ifstream in(file, std::ios::binary);
  std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (plain) {
    // Every line of the old file is still there, in order, but for the one key line rewritten;
    // what is new is that line and perhaps a section header.
    std::vector<std::string> a = Lines(content), b = Lines(after);
    size_t i = 0, j = 0;
    while (j < b.size()) {
      if (i < a.size() && a[i] == b[j]) {
        ++i, ++j;
      } else if (i < a.size() && IsKeyLine(a[i], key) && IsKeyLine(b[j], key)) {
        ++i, ++j;  // the key rewritten in place
      } else if (IsKeyLine(b[j], key) || (!b[j].empty() && b[j][0] == '[') || b[j].empty()) {
        ++j;  // the key, its new section or a separating blank line, added
      } else {
        std::abort();
      }
    }
    for (; i < a.size(); ++i)
      if (!a[i].empty()) std::abort();  // an old line lost
  }

  WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str());  // delete
  if (static_cast<int32_t>(GetPrivateProfileIntA(section.c_str(), key.c_str(), -7, file.c_str())) !=
          -7 &&
      plain)
    std::abort();
  return 0;
}
