// The sound module: effect channels over named multimedia aliases with rotating layers, and the
// looping background music with the window hook that hears its end.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/mMain.h"

// Channel ids run from 1 to 1000 and index these tables directly (slot 0 is never used).
constexpr int32_t kSoundSlots = 1000;

extern HWND hookWnd;            // hooked game window; 0 while no hook is installed
extern WNDPROC prevWndProc;     // the window procedure in place before the hook
extern int32_t soundCount;      // highest channel id handed out since SoundInit
extern std::array<std::string, kSoundSlots + 1> soundFile;   // "" marks a free slot
extern std::array<int32_t, kSoundSlots + 1> soundTopLayer;
extern std::array<int32_t, kSoundSlots + 1> soundLastLayer;

int32_t SoundOpen(const std::string& file, int32_t topLayer);
int32_t SoundPlay(int32_t id);
int32_t SoundClose(int32_t id);
int32_t FindChannel(const std::string& name);
bool IsBadChannel(int32_t id);

void SoundInit(HWND window);
LRESULT SoundWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void SoundTerm();
void MusicPlay(const std::string& file);
void MusicReplay();
void MusicStop();
