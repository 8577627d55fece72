// The music stream in the browser (see platform/sdl/music.h): the page's FluidSynth (npm
// js-synthesizer, with Debian's TimGM6mb font), the same synthesiser and font as on Linux. The
// page keeps the pieces and plays them with FluidSynth's own player; SDL_mixer's music hook pulls
// the synthesiser's samples into the mix, so the limiter and the count of a piece's frames run
// on them as on the desktops. Everything here runs on the page's one thread.
//
// The page's side is Module.zorbiloMusic (web/zorbilo-page.js): ready, load(bytes) -> id,
// free(id), play(id) -> 0 or -1, halt(), render(interleaved, frames) -> whether it rendered.
#include <SDL_mixer.h>
#include <emscripten.h>

#include <deque>
#include <utility>

#include "platform/sdl/music.h"

namespace platform::mci::music {

namespace {

EM_JS(int, PageHasSynthesiser, (), { return Module.zorbiloMusic ? 1 : 0; });
EM_JS(int, PageSynthesiserReady, (), {
  return Module.zorbiloMusic && Module.zorbiloMusic.ready ? 1 : 0;
});
EM_JS(int, PageLoad, (const uint8_t* data, int size), {
  return Module.zorbiloMusic ? Module.zorbiloMusic.load(HEAPU8.slice(data, data + size)) : 0;
});
EM_JS(void, PageFree, (int id), { if (Module.zorbiloMusic) Module.zorbiloMusic.free(id); });
EM_JS(int, PagePlay, (int id), { return Module.zorbiloMusic ? Module.zorbiloMusic.play(id) : -1; });
EM_JS(void, PageHalt, (), { if (Module.zorbiloMusic) Module.zorbiloMusic.halt(); });
EM_JS(int, PageRender, (float* out, int frames), {
  const music = Module.zorbiloMusic;
  if (!music || !music.ready) return 0;
  return music.render(HEAPF32.subarray(out >> 2, (out >> 2) + frames * 2), frames) ? 1 : 0;
});

// Work that waits for the synthesiser's sound font, which the page loads beside the program.
std::deque<std::function<void()>>& Waiting() {
  static auto* w = new std::deque<std::function<void()>>();
  return *w;
}
bool stopped = false;

int PieceId(Piece* piece) { return static_cast<int>(reinterpret_cast<intptr_t>(piece)); }

// The mix asks for the music first: interleaved stereo floats, the synthesiser's own output.
// Silence (SDL_mixer has already cleared the buffer) while the synthesiser has no font.
void PullMusic(void*, Uint8* stream, int len) {
  PageRender(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
}

}  // namespace

void BeforeOpen() {}

// The mix is stereo floats (mci.cpp asks for them); the page runs its synthesiser at the rate
// the browser gave the audio, which is the rate SDL reports.
void AfterOpen(int) { Mix_HookMusic(PullMusic, nullptr); }

Piece* Load(const Bytes& bytes) {
  const int id = PageLoad(bytes->data(), static_cast<int>(bytes->size()));
  return id > 0 ? reinterpret_cast<Piece*>(static_cast<intptr_t>(id)) : nullptr;
}

void Free(Piece* piece) {
  if (piece) PageFree(PieceId(piece));
}

int Play(Piece* piece) { return piece ? PagePlay(PieceId(piece)) : -1; }

// The game starts its pieces from the beginning only; a position inside one is not offered.
int Seek(double) { return -1; }

void Halt() { PageHalt(); }

bool Schedule(std::function<void()> work) {
  if (stopped || !PageHasSynthesiser()) return false;
  if (PageSynthesiserReady())
    work();  // what it loads is collected by a posted task, as from a desktop's helper
  else
    Waiting().push_back(std::move(work));
  return true;
}

void StopScheduling() {
  stopped = true;
  Waiting().clear();
}

}  // namespace platform::mci::music

// The page's synthesiser has its sound font: the pieces opened in the meantime are loaded, and a
// piece played in the meantime starts now, from its beginning.
extern "C" EMSCRIPTEN_KEEPALIVE void zorbilo_music_ready() {
  auto& waiting = platform::mci::music::Waiting();
  while (!waiting.empty()) {
    auto work = std::move(waiting.front());
    waiting.pop_front();
    work();
  }
}
