// The grammar of the multimedia command strings we understand. Kept apart from the devices so
// that a text can be judged without any audio: a command is either parsed whole or refused, and a
// refused one never reaches a device.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/wintypes.h"

namespace platform::mci {

enum class Verb { Open, Play, Stop, Close };

struct Command {
  Verb verb = Verb::Open;
  std::string path;   // open: the file exactly as written between the quotes
  std::string alias;  // lower-cased: aliases are compared without regard to case
  bool hasFrom = false;
  uint32_t from = 0;  // play: start position in milliseconds
  bool notify = false;
};

// Parses `open "file" alias NAME` (the path may also be a single unquoted word),
// `play NAME [from N] [notify]`, `stop NAME` and `close NAME`, keywords in any case.
// Returns 0 and fills out, or an MCIERR_ code and leaves out unspecified.
MCIERROR Parse(std::string_view text, Command& out);

// ASCII lower case; other bytes (UTF-8 in paths and aliases) are kept as they are.
std::string Lower(std::string_view s);

}  // namespace platform::mci
