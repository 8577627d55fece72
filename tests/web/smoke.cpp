// The browser stack end to end in one small program, built the way the game will be: SDL's
// canvas, SDL_image's BMP and icon loaders, SDL_ttf over FreeType, SDL_mixer playing a WAV, files
// kept in IndexedDB across reloads, and SDL_mixer's music hook pulling samples from the page's
// synthesiser. What it finds goes into Module.smoke for the page and the browser test to read.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>
#include <emscripten.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

EM_JS(void, report, (const char* key, const char* value), {
  Module.smoke = Module.smoke || {};
  Module.smoke[UTF8ToString(key)] = UTF8ToString(value);
});

// Fills `frames` interleaved stereo floats from the page's synthesiser; 0 when it has none yet.
EM_JS(int, render_music, (float* out, int frames), {
  const render = Module.renderMusic;
  if (!render) return 0;
  return render(HEAPF32.subarray(out >> 2, (out >> 2) + frames * 2), frames) ? 1 : 0;
});

void report(const char* key, const std::string& value) { report(key, value.c_str()); }

// The picture the test checks pixel by pixel: eight bars, then what the loaders made.
constexpr Uint32 kBars[8] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                             0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
constexpr Uint32 kBackground = 0x204060;

SDL_Window* window = nullptr;
Mix_Chunk* tone = nullptr;
int frames = 0;
bool stored = false;

void put_le(std::vector<Uint8>& v, Uint32 value, int bytes) {
  for (int i = 0; i < bytes; ++i) v.push_back(static_cast<Uint8>(value >> (8 * i)));
}

// A 16x8 BMP in memory, left half red and right half blue, as SDL itself writes one.
SDL_Surface* bmp_picture() {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 24, SDL_PIXELFORMAT_RGB24);
  if (!s) return nullptr;
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 255, 0, 0));
  SDL_Rect right{8, 0, 8, 8};
  SDL_FillRect(s, &right, SDL_MapRGB(s->format, 0, 0, 255));
  std::vector<Uint8> file(4096);
  SDL_RWops* out = SDL_RWFromMem(file.data(), static_cast<int>(file.size()));
  const int saved = SDL_SaveBMP_RW(s, out, 0);
  const Sint64 size = out ? SDL_RWtell(out) : -1;
  if (out) SDL_RWclose(out);
  SDL_FreeSurface(s);
  if (saved != 0 || size <= 0) return nullptr;
  return IMG_LoadTyped_RW(SDL_RWFromConstMem(file.data(), static_cast<int>(size)), 1, "BMP");
}

// A 32x32 icon of 8 bits a pixel like the swatters': the top half yellow, the bottom half black,
// the left quarter transparent through the AND mask.
SDL_Surface* ico_picture() {
  std::vector<Uint8> f;
  put_le(f, 0, 2), put_le(f, 1, 2), put_le(f, 1, 2);                  // icon directory, one image
  const Uint32 size = 40 + 256 * 4 + 32 * 32 + 32 * 4;
  f.insert(f.end(), {32, 32, 0, 0});
  put_le(f, 1, 2), put_le(f, 8, 2), put_le(f, size, 4), put_le(f, 22, 4);
  put_le(f, 40, 4), put_le(f, 32, 4), put_le(f, 64, 4);               // height counts the mask
  put_le(f, 1, 2), put_le(f, 8, 2);
  for (int i = 0; i < 6; ++i) put_le(f, 0, 4);
  for (int i = 0; i < 256; ++i) put_le(f, i == 1 ? 0x00FFFF00 : 0, 4);  // BGRx: 1 is yellow
  for (int row = 0; row < 32; ++row)                                  // bottom row first
    for (int x = 0; x < 32; ++x) f.push_back(row >= 16 ? 1 : 0);
  for (int row = 0; row < 32; ++row) f.insert(f.end(), {0xFF, 0x00, 0x00, 0x00});
  return IMG_LoadTyped_RW(SDL_RWFromConstMem(f.data(), static_cast<int>(f.size())), 1, "ICO");
}

// 0.6 s of a 440 Hz sine at half scale, 16-bit mono at 22050 Hz: SDL_mixer converts it.
Mix_Chunk* tone_chunk() {
  constexpr int kRate = 22050, kFrames = kRate * 6 / 10;
  std::vector<Uint8> f;
  f.insert(f.end(), {'R', 'I', 'F', 'F'});
  put_le(f, 36 + kFrames * 2, 4);
  f.insert(f.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put_le(f, 16, 4), put_le(f, 1, 2), put_le(f, 1, 2), put_le(f, kRate, 4), put_le(f, kRate * 2, 4);
  put_le(f, 2, 2), put_le(f, 16, 2);
  f.insert(f.end(), {'d', 'a', 't', 'a'});
  put_le(f, kFrames * 2, 4);
  for (int i = 0; i < kFrames; ++i)
    put_le(f, static_cast<Uint16>(static_cast<Sint16>(16384 * std::sin(2 * M_PI * 440 * i / kRate))), 2);
  return Mix_LoadWAV_RW(SDL_RWFromConstMem(f.data(), static_cast<int>(f.size())), 1);
}

void draw() {
  SDL_Surface* screen = SDL_GetWindowSurface(window);
  if (!screen) return report("error", std::string("no window surface: ") + SDL_GetError());
  auto rgb = [&](Uint32 c) { return SDL_MapRGB(screen->format, c >> 16, (c >> 8) & 0xFF, c & 0xFF); };
  SDL_FillRect(screen, nullptr, rgb(kBackground));
  for (int i = 0; i < 8; ++i) {
    SDL_Rect bar{i * 80, 0, 80, 100};
    SDL_FillRect(screen, &bar, rgb(kBars[i]));
  }
  if (SDL_Surface* bmp = bmp_picture()) {
    SDL_Rect at{100, 200, 0, 0};
    SDL_BlitSurface(bmp, nullptr, screen, &at);
    SDL_FreeSurface(bmp);
  } else {
    report("error", std::string("BMP: ") + IMG_GetError());
  }
  if (SDL_Surface* ico = ico_picture()) {
    SDL_Rect at{300, 200, 0, 0};
    SDL_BlitSurface(ico, nullptr, screen, &at);
    SDL_FreeSurface(ico);
  } else {
    report("error", std::string("ICO: ") + IMG_GetError());
  }
  if (TTF_Font* font = TTF_OpenFont("/ipag.ttf", 24)) {
    if (SDL_Surface* text = TTF_RenderUTF8_Solid(font, "Zorbilo 超", SDL_Color{255, 255, 255, 255})) {
      SDL_Rect at{40, 300, 0, 0};
      SDL_BlitSurface(text, nullptr, screen, &at);
      report("text", std::to_string(text->w) + "x" + std::to_string(text->h));
      SDL_FreeSurface(text);
    }
    TTF_CloseFont(font);
  } else {
    report("error", std::string("font: ") + TTF_GetError());
  }
}

// A record that survives the reload: read what the last visit left, then replace it whole
// (written beside it, then renamed) and flush it to IndexedDB.
void store_visit() {
  int visits = 0;
  if (FILE* in = std::fopen("/save/visits.txt", "r")) {
    if (std::fscanf(in, "visit %d", &visits) != 1) visits = 0;
    std::fclose(in);
  }
  report("previous", std::to_string(visits));
  FILE* out = std::fopen("/save/visits.tmp", "w");
  const bool written = out && std::fprintf(out, "visit %d\n", visits + 1) > 0;
  if (out && std::fclose(out) != 0) return report("error", "cannot close /save/visits.tmp");
  if (!written || std::rename("/save/visits.tmp", "/save/visits.txt") != 0)
    return report("error", "cannot write /save/visits.txt");
  EM_ASM({
    FS.syncfs(false, function(err) { Module.smoke.saved = err ? "failed: " + err : "yes"; });
  });
}

void frame() {
  ++frames;
  if (!stored && EM_ASM_INT({ return Module.fsReady | 0; }) != 0) {
    stored = true;
    if (EM_ASM_INT({ return Module.fsReady; }) < 0) report("error", "IndexedDB would not load");
    else store_visit();
  }
  SDL_UpdateWindowSurface(window);
  if (frames % 10 == 0) report("frames", std::to_string(frames));
}

void music_hook(void*, Uint8* stream, int len) {
  if (!render_music(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float))))
    SDL_memset(stream, 0, static_cast<size_t>(len));
}

}  // namespace

extern "C" {
// Called by the page once its tap on the audio listens.
EMSCRIPTEN_KEEPALIVE int smoke_play_tone() { return tone ? Mix_PlayChannel(-1, tone, 0) : -1; }
EMSCRIPTEN_KEEPALIVE void smoke_start_music() { Mix_HookMusic(music_hook, nullptr); }
}

int main() {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_TIMER) != 0) {
    report("error", std::string("SDL_Init: ") + SDL_GetError());
    return 1;
  }
  window = SDL_CreateWindow("smoke", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 640, 480, 0);
  if (!window) {
    report("error", std::string("window: ") + SDL_GetError());
    return 1;
  }
  if (TTF_Init() != 0) report("error", std::string("TTF_Init: ") + TTF_GetError());
  draw();
  // The game's format: 32-bit float stereo, so the limiter sees the true sum.
  if (Mix_OpenAudio(44100, AUDIO_F32SYS, 2, 1024) != 0) {
    report("error", std::string("audio: ") + Mix_GetError());
  } else {
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    report("audio", std::to_string(rate) + " Hz, " + std::to_string(channels) + " channels, " +
                        (format == AUDIO_F32SYS ? "float" : "format " + std::to_string(format)));
    tone = tone_chunk();
    if (!tone) report("error", std::string("WAV: ") + Mix_GetError());
  }
  EM_ASM({
    FS.mkdir('/save');
    FS.mount(IDBFS, {}, '/save');
    FS.syncfs(true, function(err) { Module.fsReady = err ? -1 : 1; });
  });
  report("started", "yes");
  emscripten_set_main_loop(frame, 0, 1);
}
