// The open-addressing map against std::map, over tables of every small size and a few large ones, filled to the
// length they were sized for with keys that share their first or second part (so only the whole pair tells them
// apart) and with repeats (which must keep the first value).
#include "common/open_addressing.h"

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/check.test.h"

namespace {

using tavik::test::check;

constexpr std::uint64_t kFirsts[] = {0, 1, 2, 0xFFFF'FFFF, 1ULL << 32, ~0ULL};
constexpr std::uint32_t kSeconds[] = {0, 1, 2, 0xFFFF'FFFF};

}  // namespace

int main() {
  std::mt19937_64 rng(11);
  std::vector<std::pair<std::uint64_t, std::uint32_t>> pool;
  for (auto a : kFirsts)
    for (auto b : kSeconds) pool.emplace_back(a, b);
  for (int k = 0; k < 2000; ++k) pool.emplace_back(rng(), static_cast<std::uint32_t>(rng()));

  for (std::size_t entries : {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 24, 31, 32, 33, 100, 1000, 2000}) {
    for (int table = 0; table < 20; ++table) {
      tavik::OpenAddressingMap<std::uint64_t, std::uint32_t, std::size_t> map(entries);
      std::map<std::pair<std::uint64_t, std::uint32_t>, std::size_t> expected;
      const std::size_t span = table % 2 ? pool.size() : std::size(kFirsts) * std::size(kSeconds);
      const std::string where = "table of " + std::to_string(entries) + ", #" + std::to_string(table);
      for (std::size_t k = 0; k < entries; ++k) {
        const auto [a, b] = pool[rng() % span];
        const auto [value, added] = map.try_emplace(a, b, k);
        const auto [it, expected_added] = expected.try_emplace({a, b}, k);
        check(added == expected_added && *value == it->second && map.find(a, b) == value, where);
      }
      for (const auto& [a, b] : pool) {
        const std::size_t* found = map.find(a, b);
        const auto it = expected.find({a, b});
        if (!check(it == expected.end() ? found == nullptr : found != nullptr && *found == it->second, where)) break;
      }
    }
  }
  return tavik::test::exit_code();
}
