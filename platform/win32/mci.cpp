// The multimedia commands go to the system's own interpreter (its waveaudio and sequencer
// devices post MM_MCINOTIFY themselves); the layer only records them for tests on the way.
//
// The command text is UTF-8 (file names included). It is handed over in UTF-16, so a folder
// with a name outside ASCII works even where the process's code page is not UTF-8.
//
// The layer remembers the aliases it opened. A command for an alias that is not open is answered
// here: the system would take the alias for a device name and try to open that device (a driver
// search for every such stop or close, and the game sends them whenever nothing plays), and
// Wine 8 corrupts its heap doing so. For the same reason a file that is not there is refused
// before the sequencer sees it (Wine's corrupts its heap on a missing file); the answer is the
// system's own, MCIERR_FILE_NOT_FOUND.
#include <algorithm>
#include <cstring>
#include <set>

#include "platform/mci_parse.h"
#include "platform/win32/internal.h"

using platform::win32::detail::Utf8;
using platform::win32::detail::Wide;

namespace {
std::vector<MciLogEntry>* commandLog = nullptr;
std::set<std::string> openAliases;  // lower case
}  // namespace

void mciSetLog(std::vector<MciLogEntry>* log) {
  commandLog = log;
}

MCIERROR platform::win32::mciSendStringA(LPCSTR lpstrCommand, LPSTR lpstrReturnString,
                                         UINT uReturnLength, HWND hwndCallback) {
  if (commandLog && lpstrCommand) commandLog->push_back({lpstrCommand, hwndCallback});
  if (!lpstrCommand || !*lpstrCommand) return MCIERR_MISSING_COMMAND_STRING;
  platform::mci::Command parsed;
  const bool ours = platform::mci::Parse(lpstrCommand, parsed) == 0;
  if (ours) {
    const bool open = openAliases.count(parsed.alias) != 0;
    if (parsed.verb == platform::mci::Verb::Open && open) return MCIERR_DUPLICATE_ALIAS;
    if (parsed.verb != platform::mci::Verb::Open && !open) return MCIERR_INVALID_DEVICE_NAME;
    if (parsed.verb == platform::mci::Verb::Open) {
      const DWORD attributes = GetFileAttributesW(Wide(parsed.path).c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return MCIERR_FILE_NOT_FOUND;
    }
  }
  const std::wstring command = Wide(lpstrCommand);
  if (command.empty()) return MCIERR_UNRECOGNIZED_COMMAND;  // not UTF-8
  std::wstring answer(lpstrReturnString && uReturnLength ? 512 : 0, L'\0');
  const MCIERROR err = ::mciSendStringW(command.c_str(), answer.empty() ? nullptr : answer.data(),
                                        static_cast<UINT>(answer.size()), hwndCallback);
  if (ours && parsed.verb == platform::mci::Verb::Open && err == 0)
    openAliases.insert(parsed.alias);
  // A close that failed still leaves nothing to talk to under that name.
  if (ours && parsed.verb == platform::mci::Verb::Close) openAliases.erase(parsed.alias);
  if (lpstrReturnString && uReturnLength) {
    answer.resize(wcsnlen(answer.c_str(), answer.size()));
    const std::string text = Utf8(answer);
    const size_t n = std::min<size_t>(text.size(), uReturnLength - 1);
    std::memcpy(lpstrReturnString, text.data(), n);
    lpstrReturnString[n] = '\0';
  }
  return err;
}
