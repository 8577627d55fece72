// Picture controls: a BMP or ICO file image decoded into a 32-bit top-down DIB section selected
// into a memory DC, so the picture is a block-transfer source like any other. The file's
// headers are checked against its size before the system reads a byte of it; an icon keeps its
// transparency in the pixels' top byte (for cursors), which block transfers ignore.
#include <cstring>

#include "platform/win32/internal.h"

namespace platform::win32::detail {
void ForgetPictureCursor(const Picture* pic);

std::set<const Picture*>& LivePictures() {
  static auto* live = new std::set<const Picture*>();  // pictures may be static in tests
  return *live;
}
}  // namespace platform::win32::detail

using namespace platform::win32::detail;

namespace {

constexpr int kMaxSide = 16384;

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// A DIB (info header, colour table, pixels) at data[0..size): its info and where its pixels are.
struct Dib {
  const BITMAPINFO* info = nullptr;
  std::vector<uint8_t> infoCopy;  // aligned copy of header and colour table
  const uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;  // of the colour image (an icon's header counts the mask too)
  int bitCount = 0;
  size_t stride = 0;
};

// Checks a DIB header; bitsAt is where the pixels start (0: right after the colour table).
bool ReadDib(const uint8_t* data, size_t size, size_t bitsAt, bool icon, Dib& dib) {
  if (size < 40) return false;
  const uint32_t headerSize = U32(data);
  if (headerSize < 40 || headerSize > size) return false;
  const auto width = static_cast<int32_t>(U32(data + 4));
  auto height = static_cast<int32_t>(U32(data + 8));
  const uint16_t bitCount = U16(data + 14);
  const uint32_t compression = U32(data + 16);
  uint32_t colours = U32(data + 32);
  if (icon) height /= 2;
  const bool topDown = height < 0;
  if (topDown && icon) return false;
  const int64_t h = topDown ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || h <= 0 || width > kMaxSide || h > kMaxSide) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    return false;
  size_t masks = 0;
  if (compression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32)) {
    if (headerSize == 40) masks = 12;
  } else if (compression != BI_RGB) {
    return false;
  }
  if (bitCount <= 8) {
    if (colours == 0 || colours > (1u << bitCount)) colours = 1u << bitCount;
  } else {
    colours = 0;
  }
  const size_t tableEnd = headerSize + masks + size_t{colours} * 4;
  if (tableEnd > size) return false;
  const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
  const size_t start = bitsAt ? bitsAt : tableEnd;
  if (start < tableEnd || start > size || stride * static_cast<size_t>(h) > size - start)
    return false;
  if (icon) {
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    if (maskStride * static_cast<size_t>(h) > size - start - stride * static_cast<size_t>(h))
      return false;
  }
  // The system reads the header from aligned memory, with the icon's height halved.
  dib.infoCopy.assign(data, data + tableEnd);
  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(dib.infoCopy.data());
  if (headerSize > 40) {
    // Trim a larger header down to the classic one, keeping the table right after it.
    std::vector<uint8_t> trimmed(data, data + 40);
    trimmed.insert(trimmed.end(), data + headerSize, data + tableEnd);
    if (compression == BI_BITFIELDS) trimmed.insert(trimmed.begin() + 40, data + 40, data + 52);
    dib.infoCopy = trimmed;
    bih = reinterpret_cast<BITMAPINFOHEADER*>(dib.infoCopy.data());
    bih->biSize = 40;
  }
  bih->biHeight = static_cast<LONG>(topDown ? -h : h);
  bih->biSizeImage = 0;
  bih->biClrUsed = colours;
  dib.info = reinterpret_cast<const BITMAPINFO*>(dib.infoCopy.data());
  dib.bits = data + start;
  dib.width = width;
  dib.height = static_cast<int>(h);
  dib.bitCount = bitCount;
  dib.stride = stride;
  return true;
}

}  // namespace

namespace platform {

Picture::~Picture() {
  LivePictures().erase(this);
  ForgetPictureCursor(this);
  if (hDC) DeleteDC(hDC);
  if (Image) DeleteObject(Image);
}

bool Picture::Load(const void* data, size_t size) {
  if (!data || size < 6 || size > (64u << 20)) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  Dib dib;
  bool icon = false;
  if (p[0] == 'B' && p[1] == 'M') {
    if (size < 14 + 40) return false;
    const uint32_t offBits = U32(p + 10);
    if (offBits < 14 + 40 || offBits >= size) return false;
    if (!ReadDib(p + 14, size - 14, offBits - 14, false, dib)) return false;
  } else if (U16(p) == 0 && U16(p + 2) == 1 && U16(p + 4) >= 1) {
    // The icon's first image.
    if (size < 6 + 16) return false;
    const uint32_t bytes = U32(p + 6 + 8), offset = U32(p + 6 + 12);
    if (offset > size || bytes > size - offset) return false;
    if (!ReadDib(p + offset, bytes, 0, true, dib)) return false;
    icon = true;
  } else {
    return false;
  }

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = dib.width;
  bi.bmiHeader.biHeight = -dib.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = dc ? CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!bmp) {
    if (dc) DeleteDC(dc);
    return false;
  }
  SelectObject(dc, bmp);
  // The system converts any depth and palette into our 32 bits.
  const int lines =
      SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(dib.width), static_cast<DWORD>(dib.height), 0,
                        0, 0, static_cast<UINT>(dib.height), dib.bits, dib.info, DIB_RGB_COLORS);
  if (lines == 0) {
    DeleteDC(dc);
    DeleteObject(bmp);
    return false;
  }
  GdiFlush();
  auto* px = static_cast<uint32_t*>(bits);
  const size_t count = static_cast<size_t>(dib.width) * dib.height;
  if (icon) {
    // Opacity: the image's own alpha at 32 bits, else the AND mask (bottom-up, 1 = see-through).
    const bool ownAlpha = dib.bitCount == 32;
    const uint8_t* mask = dib.bits + dib.stride * static_cast<size_t>(dib.height);
    const size_t maskStride = ((static_cast<size_t>(dib.width) + 31) / 32) * 4;
    for (int y = 0; y < dib.height; ++y)
      for (int x = 0; x < dib.width; ++x) {
        uint32_t& q = px[static_cast<size_t>(y) * dib.width + x];
        uint32_t alpha;
        if (ownAlpha) {
          const uint8_t* src =
              dib.bits + dib.stride * static_cast<size_t>(dib.height - 1 - y) + x * 4;
          alpha = src[3];
        } else {
          const uint8_t* row = mask + maskStride * static_cast<size_t>(dib.height - 1 - y);
          alpha = (row[x / 8] & (0x80 >> (x % 8))) ? 0 : 0xFF;
        }
        q = (q & 0x00FFFFFFu) | (alpha << 24);
      }
  } else {
    for (size_t i = 0; i < count; ++i) px[i] &= 0x00FFFFFFu;
  }

  ForgetPictureCursor(this);
  if (hDC) DeleteDC(hDC);
  if (Image) DeleteObject(Image);
  hDC = dc;
  Image = bmp;
  LivePictures().insert(this);
  Width = dib.width;
  Height = dib.height;
  return true;
}

}  // namespace platform
