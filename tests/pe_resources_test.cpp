// What the Windows executable carries, read from the file itself with a small reader of the PE
// format (not the system's resource functions): the swatter icon, the version record and the
// manifest that makes the process UTF-8 and aware of each monitor's scale.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Little-endian reads that fail (nullopt) past the end instead of reading beyond it.
struct Reader {
  const Bytes& b;
  std::optional<uint32_t> U32(size_t at) const {
    if (at + 4 > b.size()) return std::nullopt;
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
  }
  std::optional<uint16_t> U16(size_t at) const {
    if (at + 2 > b.size()) return std::nullopt;
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
  }
};

// The resources of an executable: type -> id -> bytes (the first language of each).
using Resources = std::map<uint32_t, std::map<uint32_t, Bytes>>;

bool ReadResources(const Bytes& exe, Resources& out) {
  Reader r{exe};
  auto lfanew = r.U32(0x3C);
  if (exe.size() < 2 || exe[0] != 'M' || exe[1] != 'Z' || !lfanew) return false;
  const size_t pe = *lfanew;
  if (r.U32(pe) != 0x00004550u) return false;  // "PE\0\0"
  auto sections = r.U16(pe + 6), optSize = r.U16(pe + 20);
  const size_t opt = pe + 24;
  if (!sections || !optSize || r.U16(opt) != 0x20B) return false;  // 64-bit image
  auto count = r.U32(opt + 108), rva = r.U32(opt + 112 + 2 * 8);
  if (!count || *count < 3 || !rva || *rva == 0) return false;
  // Resource addresses are relative to the image; the section table maps them to the file.
  const size_t table = opt + *optSize;
  auto toFile = [&](uint32_t addr) -> std::optional<size_t> {
    for (size_t i = 0; i < *sections; ++i) {
      const size_t s = table + i * 40;
      auto vsize = r.U32(s + 8), vaddr = r.U32(s + 12), raw = r.U32(s + 20);
      if (!vsize || !vaddr || !raw) return std::nullopt;
      if (addr >= *vaddr && addr < *vaddr + *vsize) return *raw + (addr - *vaddr);
    }
    return std::nullopt;
  };
  auto base = toFile(*rva);
  if (!base) return false;
  // Three levels: type, name, language; entries with the top bit set lead one level down.
  auto entries = [&](size_t dir, auto&& each) {
    auto named = r.U16(dir + 12), ids = r.U16(dir + 14);
    if (!named || !ids) return false;
    for (size_t i = 0; i < size_t{*named} + *ids; ++i) {
      auto id = r.U32(dir + 16 + i * 8), off = r.U32(dir + 20 + i * 8);
      if (!id || !off) return false;
      if (!each(*id, *off)) return false;
    }
    return true;
  };
  return entries(*base, [&](uint32_t type, uint32_t typeOff) {
    if (!(typeOff & 0x80000000u)) return false;
    return entries(*base + (typeOff & 0x7FFFFFFF), [&](uint32_t name, uint32_t nameOff) {
      if (!(nameOff & 0x80000000u)) return false;
      bool first = true;
      return entries(*base + (nameOff & 0x7FFFFFFF), [&](uint32_t, uint32_t langOff) {
        if (langOff & 0x80000000u) return false;
        auto dataRva = r.U32(*base + langOff), size = r.U32(*base + langOff + 4);
        if (!dataRva || !size) return false;
        auto at = toFile(*dataRva);
        if (!at || *at + *size > exe.size()) return false;
        if (first)
          out[type][name] = Bytes(exe.begin() + static_cast<long>(*at),
                                  exe.begin() + static_cast<long>(*at + *size));
        first = false;
        return true;
      });
    });
  });
}

// The version record's strings: a tree of blocks (length, value length, type, UTF-16 key,
// value, children), each aligned to four bytes.
void VersionStrings(const Bytes& b, size_t at, size_t end,
                    std::map<std::u16string, std::u16string>& out,
                    std::optional<Bytes>* fixed = nullptr) {
  Reader r{b};
  while (at + 6 <= end) {
    auto length = r.U16(at), valueLength = r.U16(at + 2), type = r.U16(at + 4);
    if (!length || *length < 6 || at + *length > end) return;
    std::u16string key;
    size_t p = at + 6;
    while (p + 2 <= at + *length && b[p] | b[p + 1]) {
      key += static_cast<char16_t>(b[p] | b[p + 1] << 8);
      p += 2;
    }
    p = (p + 2 + 3) & ~size_t{3};
    size_t valueBytes = *type == 1 ? size_t{*valueLength} * 2 : *valueLength;
    if (*type == 1 && valueBytes > 0) {
      std::u16string value;
      for (size_t q = p; q + 2 <= p + valueBytes && (b[q] | b[q + 1]); q += 2)
        value += static_cast<char16_t>(b[q] | b[q + 1] << 8);
      out[key] = value;
    } else if (fixed && key == u"VS_VERSION_INFO" && valueBytes > 0) {
      *fixed =
          Bytes(b.begin() + static_cast<long>(p), b.begin() + static_cast<long>(p + valueBytes));
    }
    const size_t children = (p + valueBytes + 3) & ~size_t{3};
    VersionStrings(b, children, at + *length, out);
    at = (at + *length + 3) & ~size_t{3};
  }
}

constexpr uint32_t kIcon = 3, kGroupIcon = 14, kVersion = 16, kManifest = 24;

class Executable : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = Slurp(ZORBILO_BIN_DIR "/Zorbilo.exe");
    ASSERT_GT(exe.size(), 4096u) << "no Zorbilo.exe in " ZORBILO_BIN_DIR;
    ASSERT_TRUE(ReadResources(exe, res));
  }
  Bytes exe;
  Resources res;
};

TEST_F(Executable, IconIsTheRaisedSwatterIn256Colours) {
  // The swatter picture of the game's own icoSwat1: one 32x32 image of 256 colours.
  const Bytes ico = Slurp(ZORBILO_SOURCE_DIR "/game/assets/swat1.ico");
  ASSERT_GE(ico.size(), 22u);
  Reader ir{ico};
  const uint32_t size = *ir.U32(6 + 8), offset = *ir.U32(6 + 12);
  ASSERT_LE(offset + size, ico.size());

  ASSERT_EQ(res.count(kGroupIcon), 1u);
  const Bytes& group = res[kGroupIcon].begin()->second;
  Reader gr{group};
  ASSERT_EQ(gr.U16(4), 1);      // one image
  EXPECT_EQ(group[6], 32);      // width
  EXPECT_EQ(group[7], 32);      // height
  EXPECT_EQ(group[8], 0);       // colour count 0: 256 colours
  EXPECT_EQ(gr.U16(6 + 6), 8);  // bits per pixel
  EXPECT_EQ(gr.U32(6 + 8), size);
  const uint16_t id = *gr.U16(6 + 12);
  ASSERT_EQ(res[kIcon].count(id), 1u);
  EXPECT_TRUE(res[kIcon][id] == Bytes(ico.begin() + offset, ico.begin() + offset + size));
}

TEST_F(Executable, VersionRecordSays0_10_1AndTheJapaneseDescription) {
  ASSERT_EQ(res.count(kVersion), 1u);
  const Bytes& v = res[kVersion].begin()->second;
  std::map<std::u16string, std::u16string> strings;
  std::optional<Bytes> fixed;
  VersionStrings(v, 0, v.size(), strings, &fixed);
  EXPECT_EQ(strings[u"FileVersion"], u"0.10.1");
  EXPECT_EQ(strings[u"FileDescription"], u"Zorbilo ゲーム");
  ASSERT_TRUE(fixed);
  Reader fr{*fixed};
  EXPECT_EQ(fr.U32(0), 0xFEEF04BDu);
  EXPECT_EQ(fr.U32(8), (0u << 16) | 10u);  // 0.10
  EXPECT_EQ(fr.U32(12), (1u << 16) | 0u);  // .1.0
}

TEST_F(Executable, ManifestAsksForUtf8AndPerMonitorScaling) {
  ASSERT_EQ(res.count(kManifest), 1u);
  ASSERT_EQ(res[kManifest].count(1), 1u);  // the process's own manifest
  const Bytes& m = res[kManifest][1];
  const std::string text(m.begin(), m.end());
  EXPECT_NE(text.find(">UTF-8</activeCodePage>"), std::string::npos);
  EXPECT_NE(text.find(">PerMonitorV2"), std::string::npos);
}

TEST(PeReader, RefusesWhatIsNoExecutable) {
  Resources res;
  EXPECT_FALSE(ReadResources(Bytes{}, res));
  EXPECT_FALSE(ReadResources(Bytes{'M', 'Z'}, res));
  Bytes lying(0x100, 0);
  lying[0] = 'M';
  lying[1] = 'Z';
  lying[0x3C] = 0xF0;  // the PE header would lie beyond the end
  EXPECT_FALSE(ReadResources(lying, res));
  EXPECT_TRUE(res.empty());
}

}  // namespace
