// The settings file shared by the game and the settings tool: its name, section, keys and the
// rule by which a value is read.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

inline constexpr const char* kFileName = "/Zorbilo.ini";  // appended to App.Path
inline constexpr const char* kSection = "Setting";
inline constexpr const char* kFullScreen = "FullScreen";
inline constexpr const char* kNoLayer = "NoLayer";
inline constexpr const char* kShowFPS = "ShowFPS";
inline constexpr const char* kRClick = "RClick";

// App.Path + kFileName, built afresh on every call (nothing is cached between reads).
std::string FilePath();

// The key's integer value in section "Setting" (default 0), as the profile reader gives it.
int32_t Read(const char* key);

// A switch is on when its value is nonzero, whatever its sign.
inline bool IsOn(int32_t value) { return value != 0; }

}  // namespace settings
