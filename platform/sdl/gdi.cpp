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

}  // namespace

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
  platform::raster::Transfer(d, s, x, y, cx, cy, x1, y1, rop, S().versionClock);
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
