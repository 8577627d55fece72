// File encoders: BMP, ICO, PNG (fixed-Huffman deflate), WAV. Every field is written explicitly in
// little or big endian as the format asks; nothing depends on the host's byte order.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "assetgen.h"

namespace assetgen {
namespace {

void le16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void le32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void be32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void text(Bytes& b, const char* s) {
  while (*s) b.push_back(static_cast<uint8_t>(*s++));
}

void infoHeader(Bytes& b, int w, int h, int bits, uint32_t imageBytes, uint32_t colours) {
  le32(b, 40);
  le32(b, static_cast<uint32_t>(w));
  le32(b, static_cast<uint32_t>(h));
  le16(b, 1);
  le16(b, static_cast<uint32_t>(bits));
  le32(b, 0);  // BI_RGB
  le32(b, imageBytes);
  le32(b, 0);
  le32(b, 0);
  le32(b, colours);
  le32(b, 0);
}

// AND mask rows: 1 = transparent, bottom-up, each row padded to 32 bits.
void andMask(Bytes& b, const Picture& p) {
  const int stride = ((p.w + 31) / 32) * 4;
  for (int y = p.h - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < p.w; ++x)
      if (!opaque(p, x, y))
        row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    b.insert(b.end(), row.begin(), row.end());
  }
}

int dist2(const Rgb& a, const Rgb& b) {
  const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
  return 2 * dr * dr + 4 * dg * dg + 3 * db * db;
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t n, uint32_t crc) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

Bytes encodeBmp24(const Image24& img) {
  const uint32_t stride = static_cast<uint32_t>((img.w * 3 + 3) / 4 * 4);
  const uint32_t imageBytes = stride * static_cast<uint32_t>(img.h);
  Bytes b;
  text(b, "BM");
  le32(b, 54 + imageBytes);
  le32(b, 0);
  le32(b, 54);
  infoHeader(b, img.w, img.h, 24, imageBytes, 0);
  // 2835 pixels per metre is 72 dpi; readers ignore it, but zero confuses a few viewers.
  b[38] = 0x13;
  b[39] = 0x0B;
  b[42] = 0x13;
  b[43] = 0x0B;
  for (int y = img.h - 1; y >= 0; --y) {
    size_t n = 0;
    for (int x = 0; x < img.w; ++x, n += 3) {
      const Rgb& c = img.at(x, y);
      b.push_back(c.b);
      b.push_back(c.g);
      b.push_back(c.r);
    }
    for (; n < stride; ++n) b.push_back(0);
  }
  return b;
}

Bytes encodeIco8(const Picture& pic) {
  // Palette: the picture's own colours when there are few enough (index 0 stays black for the
  // transparent pixels); otherwise the most used ones, every pixel mapped to its nearest.
  std::map<uint32_t, int> counts;
  for (int y = 0; y < pic.h; ++y)
    for (int x = 0; x < pic.w; ++x)
      if (opaque(pic, x, y)) {
        const Rgb& c = pic.at(x, y);
        ++counts[(uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b];
      }
  std::vector<std::pair<int, uint32_t>> byUse;
  for (const auto& [key, n] : counts) byUse.push_back({-n, key});
  std::sort(byUse.begin(), byUse.end());
  std::vector<Rgb> palette{Rgb{0, 0, 0}};
  for (const auto& [n, key] : byUse) {
    if (palette.size() == 256) break;
    (void)n;
    palette.push_back(Rgb{static_cast<uint8_t>(key >> 16), static_cast<uint8_t>(key >> 8),
                          static_cast<uint8_t>(key)});
  }
  while (palette.size() < 256) palette.push_back(Rgb{0, 0, 0});

  const uint32_t pixelBytes = static_cast<uint32_t>(pic.w * pic.h);
  const uint32_t maskBytes = static_cast<uint32_t>((pic.w + 31) / 32 * 4 * pic.h);
  const uint32_t size = 40 + 256 * 4 + pixelBytes + maskBytes;
  Bytes b;
  le16(b, 0);
  le16(b, 1);  // icon
  le16(b, 1);  // one image
  b.push_back(static_cast<uint8_t>(pic.w));
  b.push_back(static_cast<uint8_t>(pic.h));
  b.push_back(0);  // 256 colours
  b.push_back(0);
  le16(b, 1);
  le16(b, 8);
  le32(b, size);
  le32(b, 22);
  infoHeader(b, pic.w, pic.h * 2, 8, pixelBytes + maskBytes, 256);
  for (const Rgb& c : palette) {
    b.push_back(c.b);
    b.push_back(c.g);
    b.push_back(c.r);
    b.push_back(0);
  }
  for (int y = pic.h - 1; y >= 0; --y) {
    for (int x = 0; x < pic.w; ++x) {
      uint8_t index = 0;
      if (opaque(pic, x, y)) {
        int best = 1 << 30;
        for (size_t i = 1; i < palette.size(); ++i) {
          const int d = dist2(palette[i], pic.at(x, y));
          if (d < best) {
            best = d;
            index = static_cast<uint8_t>(i);
          }
        }
      }
      b.push_back(index);
    }
  }
  andMask(b, pic);
  return b;
}

Bytes encodeIco32(const std::vector<Picture>& sizes) {
  Bytes b;
  le16(b, 0);
  le16(b, 1);
  le16(b, static_cast<uint32_t>(sizes.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(sizes.size());
  std::vector<Bytes> images;
  for (const Picture& p : sizes) {
    Bytes img;
    const uint32_t pixelBytes = static_cast<uint32_t>(p.w * p.h * 4);
    const uint32_t maskBytes = static_cast<uint32_t>((p.w + 31) / 32 * 4 * p.h);
    infoHeader(img, p.w, p.h * 2, 32, pixelBytes + maskBytes, 0);
    for (int y = p.h - 1; y >= 0; --y)
      for (int x = 0; x < p.w; ++x) {
        const Rgb& c = p.at(x, y);
        const uint8_t a = p.a(x, y);
        img.push_back(a ? c.b : 0);
        img.push_back(a ? c.g : 0);
        img.push_back(a ? c.r : 0);
        img.push_back(a);
      }
    andMask(img, p);
    b.push_back(static_cast<uint8_t>(p.w));
    b.push_back(static_cast<uint8_t>(p.h));
    b.push_back(0);
    b.push_back(0);
    le16(b, 1);
    le16(b, 32);
    le32(b, static_cast<uint32_t>(img.size()));
    le32(b, offset);
    offset += static_cast<uint32_t>(img.size());
    images.push_back(std::move(img));
  }
  for (const Bytes& img : images) b.insert(b.end(), img.begin(), img.end());
  return b;
}

namespace {

void pngChunk(Bytes& out, const char* type, const Bytes& data) {
  be32(out, static_cast<uint32_t>(data.size()));
  Bytes body;
  text(body, type);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  be32(out, crc32(body.data(), body.size()));
}

// Bits go out least significant first, as deflate packs them.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void bits(uint32_t v, int n) {
    acc_ |= static_cast<uint64_t>(v) << fill_;
    fill_ += n;
    while (fill_ >= 8) {
      out_.push_back(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      fill_ -= 8;
    }
  }
  // Huffman codes are defined most significant bit first.
  void code(uint32_t c, int n) {
    uint32_t r = 0;
    for (int i = 0; i < n; ++i) r |= ((c >> i) & 1u) << (n - 1 - i);
    bits(r, n);
  }
  void flush() {
    if (fill_ > 0) bits(0, 8 - fill_);
  }

 private:
  Bytes& out_;
  uint64_t acc_ = 0;
  int fill_ = 0;
};

// The fixed literal/length code of deflate.
void literal(BitWriter& w, uint32_t v) {
  if (v < 144)
    w.code(0x30 + v, 8);
  else if (v < 256)
    w.code(0x190 + v - 144, 9);
  else if (v < 280)
    w.code(v - 256, 7);
  else
    w.code(0xC0 + v - 280, 8);
}

void match(BitWriter& w, uint32_t length, uint32_t distance) {
  static const uint16_t lenBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const uint8_t lenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const uint16_t distBase[30] = {
      1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  int l = 28;
  while (lenBase[l] > length) --l;
  literal(w, 257 + static_cast<uint32_t>(l));
  w.bits(length - lenBase[l], lenExtra[l]);
  int d = 29;
  while (distBase[d] > distance) --d;
  w.code(static_cast<uint32_t>(d), 5);
  w.bits(distance - distBase[d], d < 4 ? 0 : d / 2 - 1);
}

// zlib stream of one fixed-Huffman deflate block, matched greedily against the last 32 KiB
// through a hash of the next three bytes. Simple, deterministic on every host, and the
// pictures' flat areas and repeated rows shrink to a small part of their size.
Bytes zlibDeflate(const Bytes& raw) {
  constexpr size_t kWindow = 32768, kMaxLen = 258, kMinLen = 3, kChain = 64;
  constexpr uint32_t kHashBits = 15;
  Bytes z{0x78, 0x01};
  BitWriter w(z);
  w.bits(1, 1);  // last block
  w.bits(1, 2);  // fixed codes
  std::vector<int64_t> head(size_t{1} << kHashBits, -1), prev(raw.size(), -1);
  auto hash = [&](size_t i) {
    const uint32_t v = raw[i] | raw[i + 1] << 8 | static_cast<uint32_t>(raw[i + 2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](size_t i) {
    if (i + kMinLen > raw.size()) return;
    const uint32_t h = hash(i);
    prev[i] = head[h];
    head[h] = static_cast<int64_t>(i);
  };
  for (size_t i = 0; i < raw.size();) {
    size_t bestLen = 0, bestDist = 0;
    if (i + kMinLen <= raw.size()) {
      const size_t limit = std::min(kMaxLen, raw.size() - i);
      int64_t c = head[hash(i)];
      for (size_t n = 0; c >= 0 && i - static_cast<size_t>(c) <= kWindow && n < kChain; ++n) {
        const size_t from = static_cast<size_t>(c);
        size_t len = 0;
        while (len < limit && raw[from + len] == raw[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestDist = i - from;
          if (len == limit) break;
        }
        c = prev[from];
      }
    }
    if (bestLen >= kMinLen) {
      match(w, static_cast<uint32_t>(bestLen), static_cast<uint32_t>(bestDist));
      for (size_t k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      literal(w, raw[i]);
      insert(i);
      ++i;
    }
  }
  literal(w, 256);  // end of block
  w.flush();
  uint32_t a = 1, s = 0;
  for (uint8_t c : raw) {
    a = (a + c) % 65521;
    s = (s + a) % 65521;
  }
  be32(z, (s << 16) | a);
  return z;
}

Bytes png(int w, int h, int colourType, const Bytes& raw) {
  Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  be32(ihdr, static_cast<uint32_t>(w));
  be32(ihdr, static_cast<uint32_t>(h));
  ihdr.push_back(8);
  ihdr.push_back(static_cast<uint8_t>(colourType));
  ihdr.push_back(0);
  ihdr.push_back(0);
  ihdr.push_back(0);
  pngChunk(out, "IHDR", ihdr);
  pngChunk(out, "IDAT", zlibDeflate(raw));
  pngChunk(out, "IEND", {});
  return out;
}

}  // namespace

Bytes encodePngRgba(const Picture& pic) {
  Bytes raw;
  for (int y = 0; y < pic.h; ++y) {
    raw.push_back(0);  // filter: none
    for (int x = 0; x < pic.w; ++x) {
      const uint8_t a = pic.a(x, y);
      const Rgb& c = pic.at(x, y);
      raw.push_back(a ? c.r : 0);
      raw.push_back(a ? c.g : 0);
      raw.push_back(a ? c.b : 0);
      raw.push_back(a);
    }
  }
  return png(pic.w, pic.h, 6, raw);
}

Bytes encodePngRgb(const Image24& img) {
  Bytes raw;
  for (int y = 0; y < img.h; ++y) {
    raw.push_back(0);
    for (int x = 0; x < img.w; ++x) {
      raw.push_back(img.at(x, y).r);
      raw.push_back(img.at(x, y).g);
      raw.push_back(img.at(x, y).b);
    }
  }
  return png(img.w, img.h, 2, raw);
}

Bytes encodeWav16(const std::vector<float>& samples, int rate) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  Bytes b;
  text(b, "RIFF");
  le32(b, 36 + dataBytes);
  text(b, "WAVE");
  text(b, "fmt ");
  le32(b, 16);
  le16(b, 1);  // PCM
  le16(b, 1);  // mono
  le32(b, static_cast<uint32_t>(rate));
  le32(b, static_cast<uint32_t>(rate) * 2);
  le16(b, 2);
  le16(b, 16);
  text(b, "data");
  le32(b, dataBytes);
  for (float s : samples) {
    const long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
    le16(b, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(v))));
  }
  return b;
}

}  // namespace assetgen
