// GDI over plain 32-bit pixel stores: device contexts, bitmaps, fonts, block transfers, text.
#include <SDL_ttf.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sdl/internal.h"

namespace platform::detail {

Surface SurfaceOf(HDC hdc) {
  State& st = S();
  DC* dc = st.dcs.Get(hdc);
  if (!dc) return {};
  if (dc->type == DC::Type::Memory) {
    Bitmap* bm = dc->bitmap ? st.bitmaps.Get(dc->bitmap) : &st.stockBitmap;
    if (!bm) return {};
    return {bm->px.data(), bm->w, bm->h, &bm->version, nullptr, &bm->rowVersion};
  }
  if (dc->type == DC::Type::Window) {
    Window* w = GetWindow(dc->window);
    if (!w) return {};
    return {w->fb.data(), w->clientW, w->clientH, &w->fbVersion, w};
  }
  return {};
}

namespace {

// Clips a w x h transfer against both surfaces; false when nothing is left. The arithmetic is
// done in 64 bits, so huge or extreme arguments clip instead of overflowing.
bool ClipTransfer(int& dx, int& dy, int& w, int& h, int& sx, int& sy, int dw, int dh, int sw,
                  int sh) {
  if (w <= 0 || h <= 0) return false;
  auto clipAxis = [](int& d, int& s, int& len, int dlen, int slen) {
    int64_t D = d, Sx = s, L = len;
    if (D < 0) {
      Sx -= D;
      L += D;
      D = 0;
    }
    if (Sx < 0) {
      D -= Sx;
      L += Sx;
      Sx = 0;
    }
    L = std::min({L, int64_t{dlen} - D, int64_t{slen} - Sx});
    if (L <= 0) return false;
    d = static_cast<int>(D);
    s = static_cast<int>(Sx);
    len = static_cast<int>(L);
    return true;
  };
  return clipAxis(dx, sx, w, dw, sw) && clipAxis(dy, sy, h, dh, sh);
}

template <class Op>
void Blend(uint32_t* __restrict d, const uint32_t* __restrict s, int n, Op op) {
  for (int i = 0; i < n; ++i) d[i] = op(d[i], s[i]);
}

// The coverage of a text in a font, white on clear, ARGB. Screens that show text show the same
// lines frame after frame (the closing words, the frame-rate readout mostly), and rendering them
// costs far more than drawing them: the last few are kept, by font and text.
const SDL_Surface* RenderedText(const Font& f, TTF_Font* ttf, const std::string& utf8) {
  using Key = std::tuple<std::string, LONG, bool, BYTE, std::string>;
  struct Entry {
    Key key;
    SDL_Surface* argb;
  };
  static std::vector<Entry> cache;  // most recent last
  constexpr size_t kKept = 32;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, f.lf.lfFaceName, LF_FACESIZE);
  Key key{face, f.lf.lfHeight, f.lf.lfWeight >= 600, f.lf.lfItalic, utf8};
  for (size_t i = cache.size(); i-- > 0;) {
    if (cache[i].key != key) continue;
    std::rotate(cache.begin() + static_cast<long>(i), cache.begin() + static_cast<long>(i) + 1,
                cache.end());
    return cache.back().argb;
  }
  SDL_Surface* glyphs = TTF_RenderUTF8_Blended(ttf, utf8.c_str(), SDL_Color{255, 255, 255, 255});
  if (!glyphs) return nullptr;
  SDL_Surface* argb = SDL_ConvertSurfaceFormat(glyphs, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(glyphs);
  if (!argb) return nullptr;
  if (cache.size() == kKept) {
    SDL_FreeSurface(cache.front().argb);
    cache.erase(cache.begin());
  }
  cache.push_back({std::move(key), argb});
  return argb;
}

TTF_Font* OpenFont(Font& f) {
  if (f.ttf) return static_cast<TTF_Font*>(f.ttf);
  if (!TTF_WasInit() && TTF_Init() != 0) return nullptr;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, f.lf.lfFaceName, LF_FACESIZE);
  bool bold = f.lf.lfWeight >= 600;
  std::string file = FindFontFile(face, bold);
  if (file.empty()) return nullptr;
  int height = f.lf.lfHeight == 0 ? 16 : (f.lf.lfHeight > 0 ? f.lf.lfHeight : -f.lf.lfHeight);
  height = std::clamp(height, 1, 400);
  TTF_Font* font = TTF_OpenFont(file.c_str(), height);
  if (!font) return nullptr;
  // A positive height is the cell height: scale the point size until the cell matches.
  if (f.lf.lfHeight > 0) {
    int cell = TTF_FontHeight(font);
    if (cell > 0 && cell != height) {
      int pt = std::max(1, height * height / cell);
      TTF_SetFontSize(font, pt);
    }
  }
  if (bold) {
    // Synthesise bold only when the file has no bold face of its own.
    const char* style = TTF_FontFaceStyleName(font);
    if (!style || !std::strstr(style, "Bold")) TTF_SetFontStyle(font, TTF_STYLE_BOLD);
  }
  if (f.lf.lfItalic) TTF_SetFontStyle(font, TTF_GetFontStyle(font) | TTF_STYLE_ITALIC);
  f.ttf = font;
  return font;
}

// The last plain copies between bitmaps, each with the clock's reading once it was done: then
// the destination's rectangle held the source's. While no row of either has changed since, the
// same copy again would change nothing, and is skipped without looking at a pixel. (The title
// screen is 48 such tile copies every frame, onto a back buffer that already shows them.)
struct CopyStamp {
  const uint64_t* dst = nullptr;
  const uint64_t* src = nullptr;
  int x = 0, y = 0, w = 0, h = 0, x1 = 0, y1 = 0;
  uint64_t at = 0;
  bool Same(const CopyStamp& o) const {
    return dst == o.dst && src == o.src && x == o.x && y == o.y && w == o.w && h == o.h &&
           x1 == o.x1 && y1 == o.y1;
  }
};
// Roomy, so that the few dozen copies of a frame seldom share a slot and push each other out.
std::array<CopyStamp, 4096> copyStamps;

CopyStamp& StampSlot(const CopyStamp& key) {
  // Tile positions are multiples of the tile size: every bit must reach the slot number.
  uint64_t hash =
      reinterpret_cast<uintptr_t>(key.dst) ^ (reinterpret_cast<uintptr_t>(key.src) << 7);
  for (int v : {key.x, key.y, key.w, key.h, key.x1, key.y1}) {
    hash = (hash ^ static_cast<uint32_t>(v)) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 29;
  }
  return copyStamps[hash % copyStamps.size()];
}

bool RowsNotNewer(const std::vector<uint64_t>* rows, int height, int from, int count, uint64_t at) {
  if (!rows || rows->size() != static_cast<size_t>(height)) return false;  // not known
  for (int r = from; r < from + count; ++r)
    if ((*rows)[r] > at) return false;
  return true;
}

}  // namespace

uint64_t SameCopyAt(const Surface& d, const Surface& s, int x, int y, int w, int h, int x1,
                    int y1) {
  const CopyStamp key{d.version, s.version, x, y, w, h, x1, y1, 0};
  const CopyStamp& slot = StampSlot(key);
  if (!slot.Same(key) || !d.rows || d.rows->size() != static_cast<size_t>(d.h)) return 0;
  return RowsNotNewer(s.rows, s.h, y1, h, slot.at) ? slot.at : 0;
}

void RememberCopy(const Surface& d, const Surface& s, int x, int y, int w, int h, int x1, int y1) {
  StampSlot(CopyStamp{d.version, s.version, x, y, w, h, x1, y1, 0}) =
      CopyStamp{d.version, s.version, x, y, w, h, x1, y1, S().versionClock};
}

}  // namespace platform::detail

using namespace platform::detail;

HDC CreateCompatibleDC(HDC hdc) {
  State& st = S();
  if (hdc && !st.dcs.Get(hdc)) return nullptr;
  auto dc = std::make_unique<DC>();
  return reinterpret_cast<HDC>(st.dcs.Add(std::move(dc)));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  State& st = S();
  if (!st.dcs.Get(hdc)) return nullptr;
  // Refuse absurd sizes rather than trying to allocate them.
  if (cx <= 0 || cy <= 0 || cx > 16384 || cy > 16384) return nullptr;
  auto bm = std::make_unique<Bitmap>();
  bm->w = cx;
  bm->h = cy;
  bm->px.assign(static_cast<size_t>(cx) * cy, 0);
  bm->version = ++st.versionClock;
  bm->rowVersion.assign(static_cast<size_t>(cy), bm->version);
  return reinterpret_cast<HBITMAP>(st.bitmaps.Add(std::move(bm)));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
  State& st = S();
  DC* dc = st.dcs.Get(hdc);
  if (!dc || !h) return nullptr;
  if (Bitmap* bm = st.bitmaps.Get(h)) {
    if (dc->type != DC::Type::Memory) return nullptr;
    if (bm->selectedIn > 0 && dc->bitmap != h) return nullptr;  // one DC at a time
    HBITMAP old = dc->bitmap;
    if (Bitmap* ob = st.bitmaps.Get(old)) ob->selectedIn--;
    dc->bitmap = static_cast<HBITMAP>(h);
    bm->selectedIn++;
    // The stock bitmap stands in for "none" and is handed back as a handle of its own kind.
    return old ? static_cast<HGDIOBJ>(old) : reinterpret_cast<HGDIOBJ>(&st.stockBitmap);
  }
  if (h == &st.stockBitmap) {
    if (Bitmap* ob = st.bitmaps.Get(dc->bitmap)) ob->selectedIn--;
    HBITMAP old = dc->bitmap;
    dc->bitmap = nullptr;
    return old;
  }
  if (st.fonts.Get(h)) {
    HFONT old = dc->font;
    dc->font = static_cast<HFONT>(h);
    return old ? static_cast<HGDIOBJ>(old) : h;
  }
  return nullptr;
}

BOOL DeleteDC(HDC hdc) {
  State& st = S();
  DC* dc = st.dcs.Get(hdc);
  if (!dc || dc->type != DC::Type::Memory) return FALSE;
  if (Bitmap* bm = st.bitmaps.Get(dc->bitmap)) bm->selectedIn--;
  return st.dcs.Remove(hdc) ? TRUE : FALSE;
}

BOOL DeleteObject(HGDIOBJ ho) {
  State& st = S();
  if (Bitmap* bm = st.bitmaps.Get(ho)) {
    if (bm->selectedIn > 0) return FALSE;  // as on the original: selected objects stay
    return st.bitmaps.Remove(ho) ? TRUE : FALSE;
  }
  if (Font* f = st.fonts.Get(ho)) {
    bool inUse = false;
    st.dcs.ForEach([&](DC& dc) { inUse |= dc.font == ho; });
    if (inUse) return FALSE;
    if (f->ttf) TTF_CloseFont(static_cast<TTF_Font*>(f->ttf));
    return st.fonts.Remove(ho) ? TRUE : FALSE;
  }
  return FALSE;
}

HFONT CreateFontIndirectA(const LOGFONTA* lplf) {
  if (!lplf) return nullptr;
  auto f = std::make_unique<Font>();
  f->lf = *lplf;
  return reinterpret_cast<HFONT>(S().fonts.Add(std::move(f)));
}

int SetBkMode(HDC hdc, int mode) {
  DC* dc = S().dcs.Get(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->bkMode;
  dc->bkMode = mode;
  return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  DC* dc = S().dcs.Get(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->textColor;
  dc->textColor = color & 0x00FFFFFF;
  return old;
}

int GetDeviceCaps(HDC hdc, int index) {
  DC* dc = S().dcs.Get(hdc);
  if (!dc) return 0;
  switch (index) {
    case BITSPIXEL: {
      if (dc->type == DC::Type::Memory) return 32;
      SDL_DisplayMode mode;
      if (EnsureVideo() && SDL_GetDesktopDisplayMode(0, &mode) == 0)
        return SDL_BYTESPERPIXEL(mode.format) * 8;
      return 32;
    }
    case HORZRES:
    case VERTRES: {
      int w = 0, h = 0;
      ScreenSize(w, h);
      return index == HORZRES ? w : h;
    }
    default:
      return 0;
  }
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  if (rop != SRCCOPY && rop != SRCPAINT && rop != SRCAND) return FALSE;
  Surface d = SurfaceOf(hdc);
  Surface s = SurfaceOf(hdcSrc);
  if (!d.px || !s.px) return FALSE;
  int w = cx, h = cy;
  if (!ClipTransfer(x, y, w, h, x1, y1, d.w, d.h, s.w, s.h)) return TRUE;  // nothing to draw

  // A window already showing this very frame of this very source needs neither copy nor present.
  if (d.window && rop == SRCCOPY && x == 0 && y == 0 && x1 == 0 && y1 == 0 && w == d.w &&
      h == d.h && d.window->lastSrc == s.version && d.window->lastSrcVersion == *s.version)
    return TRUE;

  // Only rows whose pixels change are written, and a window is presented only when its pixels
  // change: the game redraws still screens (the title, the closing text) every frame, identical
  // each time, and writing and sending them again costs far more than comparing them. A window
  // that took this whole source before compares only the rows the source changed since.
  const bool whole =
      rop == SRCCOPY && x == 0 && y == 0 && x1 == 0 && y1 == 0 && w == d.w && h == d.h;
  const bool known = d.window && whole && d.window->lastSrc == s.version && s.rows &&
                     s.rows->size() == static_cast<size_t>(s.h);
  const uint64_t since = known ? d.window->lastSrcVersion : 0;
  // The same plain copy as before, the source untouched since: only destination rows drawn
  // over since then can differ (on the title, the few under its words), the rest are skipped.
  const uint64_t sameAt = rop == SRCCOPY && !d.window && d.px != s.px
                              ? SameCopyAt(d, s, x, y, w, h, x1, y1)
                              : 0;
  if (sameAt && RowsNotNewer(d.rows, d.h, y, h, sameAt)) return TRUE;
  const uint64_t next = S().versionClock + 1;
  bool changed = false;
  auto mark = [&](int row) {
    if (d.rows) {
      if (d.rows->size() != static_cast<size_t>(d.h)) d.rows->assign(d.h, next);
      (*d.rows)[row] = next;
    }
    changed = true;
  };
  bool overlap = d.px == s.px;
  for (int row = 0; row < h; ++row) {
    // Copy bottom-up when source and destination share a store and the rows could collide.
    int r = (overlap && y > y1) ? h - 1 - row : row;
    if (known && (*s.rows)[y1 + r] <= since) continue;
    if (sameAt && (*d.rows)[y + r] <= sameAt) continue;
    uint32_t* dp = d.px + static_cast<size_t>(y + r) * d.w + x;
    const uint32_t* sp = s.px + static_cast<size_t>(y1 + r) * s.w + x1;
    if (rop == SRCCOPY) {
      if (std::memcmp(dp, sp, static_cast<size_t>(w) * 4) == 0) continue;
      std::memmove(dp, sp, static_cast<size_t>(w) * 4);
    } else if (overlap) {
      for (int i = 0; i < w; ++i) dp[i] = rop == SRCPAINT ? (dp[i] | sp[i]) : (dp[i] & sp[i]);
    } else if (rop == SRCPAINT) {
      Blend(dp, sp, w, [](uint32_t a, uint32_t b) { return a | b; });
    } else {
      Blend(dp, sp, w, [](uint32_t a, uint32_t b) { return a & b; });
    }
    mark(y + r);
  }
  if (changed) *d.version = ++S().versionClock;
  if (rop == SRCCOPY && !d.window && d.px != s.px) RememberCopy(d, s, x, y, w, h, x1, y1);
  if (d.window) {
    if (changed) d.window->dirty = true;
    d.window->lastSrc = whole ? s.version : nullptr;
    d.window->lastSrcVersion = whole ? *s.version : 0;
  }
  return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  State& st = S();
  DC* dc = st.dcs.Get(hdc);
  if (!dc || !lpString || c < 0) return FALSE;
  if (c == 0) return TRUE;
  Surface d = SurfaceOf(hdc);
  if (!d.px) return FALSE;

  // The text is in the single-byte code page; Latin-1 maps byte for byte onto Unicode.
  std::string utf8;
  for (int i = 0; i < c; ++i) {
    unsigned char ch = static_cast<unsigned char>(lpString[i]);
    if (ch == 0) break;
    if (ch < 0x80) {
      utf8 += static_cast<char>(ch);
    } else {
      utf8 += static_cast<char>(0xC0 | (ch >> 6));
      utf8 += static_cast<char>(0x80 | (ch & 0x3F));
    }
  }
  if (utf8.empty()) return TRUE;

  static Font defaultFont = [] {
    Font f;
    f.lf.lfHeight = 16;
    f.lf.lfWeight = FW_NORMAL;
    return f;
  }();
  Font* font = dc->font ? st.fonts.Get(dc->font) : &defaultFont;
  if (!font) font = &defaultFont;
  TTF_Font* ttf = OpenFont(*font);
  if (!ttf) return FALSE;

  const SDL_Surface* argb = RenderedText(*font, ttf, utf8);
  if (!argb) return FALSE;

  uint32_t tr = GetRValue(dc->textColor), tg = GetGValue(dc->textColor),
           tb = GetBValue(dc->textColor);
  const uint32_t text = (tr << 16) | (tg << 8) | tb;
  uint32_t bk = (static_cast<uint32_t>(GetRValue(dc->bkColor)) << 16) |
                (static_cast<uint32_t>(GetGValue(dc->bkColor)) << 8) | GetBValue(dc->bkColor);
  const bool opaque = dc->bkMode == OPAQUE;
  for (int row = 0; row < argb->h; ++row) {
    int py = y + row;
    if (py < 0 || py >= d.h) continue;
    const uint32_t* src =
        reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) + row * argb->pitch);
    uint32_t* dst = d.px + static_cast<size_t>(py) * d.w;
    for (int col = 0; col < argb->w; ++col) {
      int px = x + col;
      if (px < 0 || px >= d.w) continue;
      uint32_t a = src[col] >> 24;
      // Most of a line's box is clear of ink, and the rest mostly solid: no blending for either.
      if (a == 0) {
        if (opaque) dst[px] = bk;
        continue;
      }
      if (a == 255) {
        dst[px] = text;
        continue;
      }
      uint32_t under = opaque ? bk : dst[px];
      uint32_t ur = (under >> 16) & 0xFF, ug = (under >> 8) & 0xFF, ub = under & 0xFF;
      uint32_t r = (tr * a + ur * (255 - a) + 127) / 255;
      uint32_t g = (tg * a + ug * (255 - a) + 127) / 255;
      uint32_t b = (tb * a + ub * (255 - a) + 127) / 255;
      dst[px] = (r << 16) | (g << 8) | b;
    }
  }
  const int glyphRows = argb->h;
  const uint64_t next = ++S().versionClock;
  if (d.rows) {
    if (d.rows->size() != static_cast<size_t>(d.h)) d.rows->assign(d.h, next);
    for (int row = std::max(0, y); row < std::min(d.h, y + glyphRows); ++row) (*d.rows)[row] = next;
  }
  *d.version = next;
  if (d.window) {
    d.window->dirty = true;
    d.window->lastSrc = nullptr;
  }
  return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  Surface s = SurfaceOf(hdc);
  if (!s.px || x < 0 || y < 0 || x >= s.w || y >= s.h) return CLR_INVALID;
  uint32_t p = s.px[static_cast<size_t>(y) * s.w + x];
  return RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p));
}
