// Handles for the objects of a software GDI: plain C++, for every back end that draws its own
// pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform::raster {

// A handle packs kind, generation and slot index, so that 0, a deleted handle (its slot's
// generation has moved on) and a handle of another kind are all recognised and refused.

enum class Kind : uintptr_t { Window = 1, DC = 2, Bitmap = 3, Font = 4 };

template <class T, Kind K>
class HandleTable {
 public:
  uintptr_t Add(std::unique_ptr<T> obj) {
    size_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      if (slots_.size() >= kIndexMask) return 0;  // no index left to name it by
      index = slots_.size();
      slots_.push_back({});
    }
    Slot& s = slots_[index];
    s.obj = std::move(obj);
    return Encode(index, s.generation);
  }
  T* Get(const void* handle) const {
    size_t index;
    uint32_t gen;
    if (!Decode(reinterpret_cast<uintptr_t>(handle), index, gen)) return nullptr;
    const Slot& s = slots_[index];
    return s.generation == gen ? s.obj.get() : nullptr;
  }
  bool Remove(const void* handle) {
    size_t index;
    uint32_t gen;
    if (!Decode(reinterpret_cast<uintptr_t>(handle), index, gen)) return false;
    Slot& s = slots_[index];
    if (s.generation != gen || !s.obj) return false;
    s.obj.reset();
    s.generation = (s.generation + 1) & kGenMask;
    free_.push_back(index);
    return true;
  }
  template <class F>
  void ForEach(F&& f) {
    for (auto& s : slots_)
      if (s.obj) f(*s.obj);
  }

 private:
  // kind in bits 56..59, generation in 32..55, index + 1 in 0..31 where a pointer has 64 bits;
  // kind in 29..31, generation in 18..28, index + 1 in 0..17 where it has 32 (WebAssembly).
  // Never 0, and never -1/-2 (the kinds are small).
  static constexpr bool kWide = sizeof(uintptr_t) >= 8;
  static constexpr unsigned kKindShift = kWide ? 56 : 29;
  static constexpr unsigned kGenShift = kWide ? 32 : 18;
  static constexpr uintptr_t kGenMask = kWide ? 0xFFFFFF : 0x7FF;
  static constexpr uintptr_t kIndexMask = kWide ? 0xFFFFFFFFu : 0x3FFFF;
  struct Slot {
    std::unique_ptr<T> obj;
    uint32_t generation = 1;
  };
  static uintptr_t Encode(size_t index, uint32_t gen) {
    return (static_cast<uintptr_t>(K) << kKindShift) | (static_cast<uintptr_t>(gen) << kGenShift) |
           static_cast<uintptr_t>(index + 1);
  }
  bool Decode(uintptr_t h, size_t& index, uint32_t& gen) const {
    if ((h >> kKindShift) != static_cast<uintptr_t>(K)) return false;
    uintptr_t low = h & kIndexMask;
    if (low == 0 || low > slots_.size()) return false;
    index = static_cast<size_t>(low - 1);
    gen = static_cast<uint32_t>((h >> kGenShift) & kGenMask);
    return slots_[index].obj != nullptr;
  }
  std::vector<Slot> slots_;
  std::vector<size_t> free_;
};

}  // namespace platform::raster
