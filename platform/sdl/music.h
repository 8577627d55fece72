// The music stream beneath the sequencer devices of mci.cpp, one per kind of system. On the
// desktops it is SDL_mixer's own (MIDI through its FluidSynth, each piece a music object with a
// synthesiser of its own: music_mixer.cpp); in the browser it is the page's FluidSynth, fed to the
// mix through SDL_mixer's music hook (platform/web/music_page.cpp). Everything but Load and the
// work handed to Schedule runs on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform::mci::music {

using Bytes = std::shared_ptr<const std::vector<uint8_t>>;

// A piece ready to play. Opaque: each system keeps its own.
struct Piece;

// Before the audio device opens (the desktops choose the General MIDI font here), and once it
// has opened at the given rate.
void BeforeOpen();
void AfterOpen(int rate);

// Makes a piece from a MIDI file; nullptr when the synthesiser refuses it. Slow on the desktops
// (a synthesiser and its sound font), so it is normally done through Schedule.
Piece* Load(const Bytes& bytes);
void Free(Piece* piece);

// Starts the piece from its beginning, in place of whatever the stream held; 0 on success.
int Play(Piece* piece);
// Moves the sounding piece to a position in seconds; 0 on success.
int Seek(double seconds);
// Stops the stream at once, with every voice cut.
void Halt();

// Runs work (loading pieces) where it cannot stall a frame: on a helper thread on the desktops;
// in the browser once the page's synthesiser has its sound font. False when there is no such
// place, and the caller does the work itself.
bool Schedule(std::function<void()> work);
// At exit: no more work is taken, and none under way is waited for.
void StopScheduling();

}  // namespace platform::mci::music
