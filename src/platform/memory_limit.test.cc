// The control-group limits on fake hierarchies (cgroup v2 and v1, nested groups walked up to the root, containers
// that see only their own group, "max", garbage and missing files), and the process's own limits read anew on every
// call.
#include "platform/memory_limit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/check.test.h"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using tavik::test::check;

constexpr std::size_t kNone = SIZE_MAX;

struct Case {
  const char* name;
  const char* self_cgroup;
  std::vector<std::pair<const char*, const char*>> files;  // under sys/fs/cgroup/
  std::size_t expected;
};

const Case kCases[] = {
    {"v2 leaf", "0::/a/b\n", {{"a/b/memory.max", "1000\n"}}, 1000},
    {"v2 above an unlimited leaf", "0::/a/b\n",
     {{"a/b/memory.max", "max\n"}, {"a/memory.max", "500\n"}, {"memory.max", "900"}}, 500},
    {"v2 leaf below its parent", "0::/a/b\n", {{"a/b/memory.max", "300"}, {"a/memory.max", "500"}}, 300},
    {"v2 root group", "0::/\n", {{"memory.max", "700\n"}}, 700},
    {"v2 host path, own group mounted", "0::/host/pod/ctr\n", {{"memory.max", "800"}}, 800},
    {"v2 padded", "0::/g\n", {{"g/memory.max", " 42 \n"}}, 42},
    {"v2 trailing garbage", "0::/g\n", {{"g/memory.max", "12abc"}}, kNone},
    {"v2 negative", "0::/g\n", {{"g/memory.max", "-5"}}, kNone},
    {"v2 hex", "0::/g\n", {{"g/memory.max", "0x10"}}, kNone},
    {"v2 empty", "0::/g\n", {{"g/memory.max", ""}}, kNone},
    {"v2 beyond 64 bits", "0::/g\n", {{"g/memory.max", "99999999999999999999"}}, kNone},
    {"v2 missing", "0::/g\n", {}, kNone},
    {"v2 needs id 0", "10::/g\n", {{"g/memory.max", "100"}}, kNone},
    {"v1 unlimited", "4:memory:/g\n", {{"memory/g/memory.limit_in_bytes", "9223372036854771712\n"}},
     9223372036854771712u},
    {"v1 among controllers", "3:cpu,memory,pids:/g\n",
     {{"memory/g/memory.limit_in_bytes", "2000"}, {"memory/memory.limit_in_bytes", "4000"}}, 2000},
    {"v1 nested", "3:memory:/a/b\n", {{"memory/a/memory.limit_in_bytes", "2500"}}, 2500},
    {"v1 other controllers", "3:memoryx:/g\n2:cpuset:/g\n", {{"memory/g/memory.limit_in_bytes", "2000"}}, kNone},
    {"v1 and v2", "5:memory:/g\n0::/h\n", {{"memory/g/memory.limit_in_bytes", "3000"}, {"h/memory.max", "2500"}}, 2500},
    {"v2 and v1", "0::/h\n5:memory:/g\n", {{"memory/g/memory.limit_in_bytes", "2000"}, {"h/memory.max", "2500"}}, 2000},
    {"no groups", "", {{"memory.max", "100"}}, kNone},
    {"lines without fields", "garbage\n0:/g\n", {{"g/memory.max", "100"}, {"memory.max", "100"}}, kNone},
};

#if defined(__linux__)
// What the process's data segment holds, as memory_available counts it.
std::size_t data_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t fields[6] = {};
  for (std::size_t& f : fields) statm >> f;
  return fields[5] * static_cast<std::size_t>(sysconf(_SC_PAGE_SIZE));
}

// A data-segment limit set after the first call bounds the next, and lifting it lifts the bound.
void rlimits_are_read_anew() {
  constexpr std::size_t kRoom = std::size_t{64} << 20;
  const std::size_t before = tavik::platform::memory_available();
  rlimit saved;
  if (!check(getrlimit(RLIMIT_DATA, &saved) == 0)) return;
  rlimit lowered = saved;
  lowered.rlim_cur = data_bytes() + kRoom;
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < lowered.rlim_cur) return;  // cannot lower it so far
  if (!check(setrlimit(RLIMIT_DATA, &lowered) == 0)) return;
  const std::size_t limited = tavik::platform::memory_available();
  setrlimit(RLIMIT_DATA, &saved);
  const std::size_t after = tavik::platform::memory_available();
  check(limited <= 2 * kRoom && before > 2 * kRoom && after > 2 * kRoom,
        std::to_string(before) + " then " + std::to_string(limited) + " then " + std::to_string(after));
}
#endif

}  // namespace

int main() {
#if !defined(__linux__)
  return tavik::test::kSkipped;  // no control groups, and no statm to count with
#else
  char pattern[] = "/tmp/tavik-memory-limit-XXXXXX";
  if (!check(mkdtemp(pattern) != nullptr)) return tavik::test::exit_code();
  const std::filesystem::path base = pattern;
  int k = 0;
  for (const Case& c : kCases) {
    const std::filesystem::path root = base / std::to_string(k++);
    for (const auto& [path, text] : c.files) {
      const std::filesystem::path file = root / "sys/fs/cgroup" / path;
      std::filesystem::create_directories(file.parent_path());
      std::ofstream(file) << text;
    }
    const std::size_t limit = tavik::platform::detail::cgroup_limit(root.string() + "/", c.self_cgroup);
    check(limit == c.expected, std::string(c.name) + ": " + std::to_string(limit));
  }
  std::filesystem::remove_all(base);
  rlimits_are_read_anew();
  return tavik::test::exit_code();
#endif
}
