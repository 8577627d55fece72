// The multimedia commands go to the system's own interpreter (its waveaudio and sequencer
// devices post MM_MCINOTIFY themselves); the layer only records them for tests on the way.
//
// The command text is UTF-8 (file names included). It is handed over in UTF-16, so a folder
// with a name outside ASCII works even where the process's code page is not UTF-8.
#include <algorithm>
#include <cstring>

#include "platform/win32/internal.h"

using platform::win32::detail::Utf8;
using platform::win32::detail::Wide;

namespace {
std::vector<MciLogEntry>* commandLog = nullptr;
}

void mciSetLog(std::vector<MciLogEntry>* log) { commandLog = log; }

MCIERROR platform::win32::mciSendStringA(LPCSTR lpstrCommand, LPSTR lpstrReturnString,
                                         UINT uReturnLength, HWND hwndCallback) {
  if (commandLog && lpstrCommand) commandLog->push_back({lpstrCommand, hwndCallback});
  if (!lpstrCommand || !*lpstrCommand) return MCIERR_MISSING_COMMAND_STRING;
  const std::wstring command = Wide(lpstrCommand);
  if (command.empty()) return MCIERR_UNRECOGNIZED_COMMAND;  // not UTF-8
  std::wstring answer(lpstrReturnString && uReturnLength ? 512 : 0, L'\0');
  const MCIERROR err = ::mciSendStringW(command.c_str(), answer.empty() ? nullptr : answer.data(),
                                        static_cast<UINT>(answer.size()), hwndCallback);
  if (lpstrReturnString && uReturnLength) {
    answer.resize(wcsnlen(answer.c_str(), answer.size()));
    const std::string text = Utf8(answer);
    const size_t n = std::min<size_t>(text.size(), uReturnLength - 1);
    std::memcpy(lpstrReturnString, text.data(), n);
    lpstrReturnString[n] = '\0';
  }
  return err;
}
