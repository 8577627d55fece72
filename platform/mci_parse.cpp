// Tokenising and checking command strings. Anything we do not understand completely is refused,
// so a typo can never half-open a device.
#include "platform/mci_parse.h"

#include <vector>

#include "platform/mMain.h"

namespace platform::mci {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits on blanks; "..." is one token. A quote inside a word, an unclosed quote or a quoted
// token glued to the next word cannot be told apart from a path with a quote in it: refused.
MCIERROR Tokenise(std::string_view s, std::vector<Token>& out) {
  size_t i = 0;
  while (true) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) return 0;
    Token t;
    if (s[i] == '"') {
      size_t close = s.find('"', i + 1);
      if (close == std::string_view::npos) return MCIERR_NO_CLOSING_QUOTE;
      t.text.assign(s.substr(i + 1, close - i - 1));
      t.quoted = true;
      i = close + 1;
      if (i < s.size() && !IsBlank(s[i])) return MCIERR_NO_CLOSING_QUOTE;
    } else {
      size_t start = i;
      while (i < s.size() && !IsBlank(s[i])) {
        if (s[i] == '"') return MCIERR_NO_CLOSING_QUOTE;
        ++i;
      }
      t.text.assign(s.substr(start, i - start));
    }
    out.push_back(std::move(t));
  }
}

bool Is(const Token& t, std::string_view keyword) {
  return !t.quoted && Lower(t.text) == keyword;
}

// A device name: one plain word without control characters.
bool ValidAlias(const Token& t) {
  if (t.quoted || t.text.empty()) return false;
  for (char c : t.text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

MCIERROR ParseNumber(const std::string& s, uint32_t& v) {
  if (s.empty()) return MCIERR_BAD_INTEGER;
  uint64_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return MCIERR_BAD_INTEGER;
    n = n * 10 + static_cast<uint64_t>(c - '0');
    if (n > UINT32_MAX) return MCIERR_BAD_INTEGER;
  }
  v = static_cast<uint32_t>(n);
  return 0;
}

}  // namespace

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

MCIERROR Parse(std::string_view text, Command& out) {
  std::vector<Token> tok;
  if (MCIERROR e = Tokenise(text, tok)) return e;
  if (tok.empty()) return MCIERR_MISSING_COMMAND_STRING;
  if (tok[0].quoted) return MCIERR_UNRECOGNIZED_COMMAND;
  std::string verb = Lower(tok[0].text);
  out = Command{};

  if (verb == "open") {
    out.verb = Verb::Open;
    if (tok.size() < 2) return MCIERR_MISSING_PARAMETER;
    if (tok[1].text.empty()) return MCIERR_MISSING_PARAMETER;
    out.path = tok[1].text;
    bool haveAlias = false;
    for (size_t i = 2; i < tok.size(); ++i) {
      if (Is(tok[i], "alias") && !haveAlias) {
        if (i + 1 >= tok.size()) return MCIERR_MISSING_PARAMETER;
        if (!ValidAlias(tok[i + 1])) return MCIERR_INVALID_DEVICE_NAME;
        out.alias = Lower(tok[++i].text);
        haveAlias = true;
      } else {
        return MCIERR_UNRECOGNIZED_KEYWORD;
      }
    }
    // Without an alias nothing could ever address the device again.
    if (!haveAlias) return MCIERR_MISSING_PARAMETER;
    return 0;
  }

  bool isPlay = verb == "play";
  if (!isPlay && verb != "stop" && verb != "close") return MCIERR_UNRECOGNIZED_COMMAND;
  out.verb = isPlay ? Verb::Play : (verb == "stop" ? Verb::Stop : Verb::Close);
  if (tok.size() < 2) return MCIERR_MISSING_PARAMETER;
  if (!ValidAlias(tok[1])) return MCIERR_INVALID_DEVICE_NAME;
  out.alias = Lower(tok[1].text);
  for (size_t i = 2; i < tok.size(); ++i) {
    if (isPlay && Is(tok[i], "from") && !out.hasFrom) {
      if (i + 1 >= tok.size()) return MCIERR_MISSING_PARAMETER;
      if (tok[i + 1].quoted) return MCIERR_BAD_INTEGER;
      if (MCIERROR e = ParseNumber(tok[++i].text, out.from)) return e;
      out.hasFrom = true;
    } else if (isPlay && Is(tok[i], "notify") && !out.notify) {
      out.notify = true;
    } else {
      return MCIERR_UNRECOGNIZED_KEYWORD;
    }
  }
  return 0;
}

}  // namespace platform::mci
