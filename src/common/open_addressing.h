// A map from pairs of integers to values, for look-ups over a list of known
// length: open addressing with linear probing, sized once for the list (at
// least twice its length, so probes stay short), no allocation per entry and
// no removal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/splitmix64.h"

namespace tavik {

template <class First, class Second, class Value>
class OpenAddressingMap {
 public:
  explicit OpenAddressingMap(std::size_t entries) {
    std::size_t capacity = 16;
    while (capacity < 2 * entries) capacity *= 2;
    slots_.resize(capacity);
    mask_ = capacity - 1;
  }

  // The value under (a, b), or nullptr.
  const Value* find(First a, Second b) const {
    const Slot& slot = slots_[probe(a, b)];
    return slot.used ? &slot.value : nullptr;
  }

  // The value under (a, b), added as `value` when absent; true when added.
  std::pair<Value*, bool> try_emplace(First a, Second b, const Value& value) {
    Slot& slot = slots_[probe(a, b)];
    const bool added = !slot.used;
    if (added) slot = {a, b, true, value};
    return {&slot.value, added};
  }

 private:
  struct Slot {
    First a{};
    Second b{};
    bool used = false;  // here, where it can fill the padding after a small `b`
    Value value{};
  };

  // The slot holding (a, b), or the empty slot where it belongs.
  std::size_t probe(First a, Second b) const {
    const std::uint64_t z = splitmix64_mix(static_cast<std::uint64_t>(a) * kSplitMix64Gamma + b);
    for (std::size_t s = static_cast<std::size_t>(z) & mask_;; s = (s + 1) & mask_) {
      const Slot& slot = slots_[s];
      if (!slot.used || (slot.a == a && slot.b == b)) return s;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace tavik
