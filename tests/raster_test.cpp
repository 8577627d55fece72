// The software raster on its own, without SDL: what a transfer writes, and what it knows it need
// not write again.
#include "platform/raster/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/raster/handles.h"

namespace {

using platform::raster::Bitmap;
using platform::raster::HandleTable;
using platform::raster::Kind;
using platform::raster::Shown;
using platform::raster::Surface;
using platform::raster::Transfer;

Bitmap Filled(int w, int h, uint32_t colour) {
  Bitmap b;
  b.w = w;
  b.h = h;
  b.px.assign(static_cast<size_t>(w) * h, colour);
  return b;
}

Surface Of(Bitmap& b) {
  return {b.px.data(), b.w, b.h, &b.version, nullptr, &b.rowVersion};
}

TEST(Raster, TransfersWriteWhatTheRopSays) {
  uint64_t clock = 0;
  Bitmap dst = Filled(4, 4, 0x00F0F0F0), src = Filled(4, 4, 0x000F0F33);
  Transfer(Of(dst), Of(src), 1, 1, 2, 2, 0, 0, SRCPAINT, clock);
  EXPECT_EQ(dst.px[0], 0x00F0F0F0u);          // outside the rectangle
  EXPECT_EQ(dst.px[1 * 4 + 1], 0x00FFFFF3u);  // OR
  Transfer(Of(dst), Of(src), 1, 1, 2, 2, 0, 0, SRCAND, clock);
  EXPECT_EQ(dst.px[1 * 4 + 1], 0x000F0F33u);                       // AND of the OR with the source
  Transfer(Of(dst), Of(src), -3, -3, 4, 4, 0, 0, SRCCOPY, clock);  // clipped to one pixel
  EXPECT_EQ(dst.px[0], 0x000F0F33u);
  EXPECT_EQ(dst.px[1], 0x00F0F0F0u);
  EXPECT_GT(dst.version, 0u);
}

TEST(Raster, AWindowIsDirtyOnlyWhenItsPixelsChange) {
  uint64_t clock = 0;
  Bitmap frame = Filled(8, 4, 0x00123456), other = Filled(8, 4, 0x00654321);
  std::vector<uint32_t> fb(8 * 4, 0);
  uint64_t fbVersion = 0;
  Shown shown;
  const Surface window{fb.data(), 8, 4, &fbVersion, &shown, nullptr};

  Transfer(window, Of(frame), 0, 0, 8, 4, 0, 0, SRCCOPY, clock);
  EXPECT_TRUE(shown.dirty);
  EXPECT_EQ(fb[31], 0x00123456u);
  shown.dirty = false;  // presented
  const uint64_t shownAt = fbVersion;

  // The same frame again: nothing to write, nothing to present.
  Transfer(window, Of(frame), 0, 0, 8, 4, 0, 0, SRCCOPY, clock);
  EXPECT_FALSE(shown.dirty);
  EXPECT_EQ(fbVersion, shownAt);

  // The frame changed in one row (as drawing into it marks it): that row is new on screen.
  frame.px[2 * 8 + 5] = 0x00ABCDEF;
  frame.rowVersion.assign(4, 0);
  frame.rowVersion[2] = frame.version = ++clock;
  Transfer(window, Of(frame), 0, 0, 8, 4, 0, 0, SRCCOPY, clock);
  EXPECT_TRUE(shown.dirty);
  EXPECT_EQ(fb[2 * 8 + 5], 0x00ABCDEFu);
  shown.dirty = false;

  // Another frame altogether is copied whole.
  Transfer(window, Of(other), 0, 0, 8, 4, 0, 0, SRCCOPY, clock);
  EXPECT_TRUE(shown.dirty);
  for (uint32_t p : fb) EXPECT_EQ(p, 0x00654321u);
}

TEST(Raster, HandlesOfGoneOrForeignObjectsAreRefused) {
  HandleTable<int, Kind::Bitmap> bitmaps;
  HandleTable<int, Kind::Font> fonts;
  const uintptr_t a = bitmaps.Add(std::make_unique<int>(1));
  const void* h = reinterpret_cast<const void*>(a);
  ASSERT_NE(bitmaps.Get(h), nullptr);
  EXPECT_EQ(fonts.Get(h), nullptr);  // another kind's table
  EXPECT_EQ(bitmaps.Get(nullptr), nullptr);
  EXPECT_TRUE(bitmaps.Remove(h));
  EXPECT_EQ(bitmaps.Get(h), nullptr);
  EXPECT_FALSE(bitmaps.Remove(h));
  // The slot is used again under a new generation: the old handle still names nothing.
  const uintptr_t b = bitmaps.Add(std::make_unique<int>(2));
  EXPECT_NE(b, a);
  EXPECT_EQ(bitmaps.Get(h), nullptr);
  EXPECT_EQ(*bitmaps.Get(reinterpret_cast<const void*>(b)), 2);
}

}  // namespace
