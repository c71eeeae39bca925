// Races the pool's first use from several threads at once and nests
// parallel_for inside pool jobs; run under ThreadSanitizer by
// tools/test_tsan.sh, which fails on any report. Exits non-zero if a result
// is wrong.
#include <atomic>
#include <cstdio>
#include <latch>
#include <thread>
#include <vector>

#include "pool/pool.h"

namespace {

constexpr std::size_t kThreads = 4, kItems = 1000, kInner = 50;

// Every item of the outer loop runs an inner loop of its own; each writes
// its own slots only.
bool nested_sums_right() {
  std::vector<std::size_t> sums(kItems);
  tavik::pool::parallel_for(kItems, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      std::vector<std::size_t> inner(kInner);
      tavik::pool::parallel_for(kInner, 1, [&](std::size_t b, std::size_t e) {
        for (std::size_t k = b; k < e; ++k) inner[k] = i + k;
      });
      for (std::size_t v : inner) sums[i] += v;
    }
  });
  for (std::size_t i = 0; i < kItems; ++i)
    if (sums[i] != kInner * i + kInner * (kInner - 1) / 2) return false;
  return true;
}

}  // namespace

int main() {
  std::latch start(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      start.arrive_and_wait();  // all at once, so that they race the pool's creation
      for (int round = 0; round < 20; ++round) failures += !nested_sums_right();
    });
  for (auto& t : threads) t.join();
  if (failures != 0) std::fprintf(stderr, "%d wrong results\n", failures.load());
  return failures != 0;
}
