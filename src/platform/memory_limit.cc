#include "platform/memory_limit.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <string>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace tavik::platform {
namespace {

constexpr std::size_t kUnknown = std::numeric_limits<std::size_t>::max();

std::size_t physical_memory() noexcept {
#if defined(_WIN32)
  MEMORYSTATUSEX status;
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) return kUnknown;
  return static_cast<std::size_t>(std::min<unsigned long long>(status.ullTotalPhys, kUnknown));
#elif defined(_SC_PHYS_PAGES)
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return kUnknown;
  const auto p = static_cast<std::size_t>(pages), s = static_cast<std::size_t>(page_size);
  return p > kUnknown / s ? kUnknown : p * s;
#else
  return kUnknown;
#endif
}

#if defined(__linux__)

// The number a limit file holds; kUnknown for "max" (no limit), a missing
// file or anything else.
std::size_t read_limit(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  if (!(file >> text)) return kUnknown;
  std::size_t value;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : kUnknown;
}

// A group is bounded by its own limit and by every ancestor's, so the path is
// walked up to the hierarchy's root. In a container without its own cgroup
// namespace, /proc/self/cgroup names the host's path, of which only the
// container's own group (mounted as the root) exists: the missing levels are
// skipped.
std::size_t hierarchy_limit(const std::string& mount, std::string group, const char* file) {
  std::size_t limit = kUnknown;
  for (;;) {
    limit = std::min(limit, read_limit(mount + group + "/" + file));
    const std::size_t parent = group.rfind('/');
    if (parent == std::string::npos || group.size() <= 1) return limit;
    group.resize(parent);
  }
}

// The memory limit of the process's control group, from the standard mount
// points: the unified hierarchy (cgroup v2) at /sys/fs/cgroup, the v1 memory
// controller at /sys/fs/cgroup/memory. A v1 group without a limit reports a
// number near 2^63, which bounds nothing.
std::size_t cgroup_limit() {
  std::ifstream file("/proc/self/cgroup");
  std::size_t limit = kUnknown;
  // Lines are "id:controllers:path"; v2 is the line "0::path".
  for (std::string line; std::getline(file, line);) {
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1), group = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      limit = std::min(limit, hierarchy_limit("/sys/fs/cgroup", group, "memory.max"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      limit = std::min(limit, hierarchy_limit("/sys/fs/cgroup/memory", group, "memory.limit_in_bytes"));
    }
  }
  return limit;
}
#else
// Control groups are Linux's.
std::size_t cgroup_limit() { return kUnknown; }
#endif

// The process's own limits, which it may change at any time
// (resource.setrlimit).
std::size_t process_limit() noexcept {
#if defined(_WIN32)
  return kUnknown;
#else
  const auto limit_of = [](int resource) {
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnknown;
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, kUnknown));
  };
  return std::min(limit_of(RLIMIT_AS), limit_of(RLIMIT_DATA));
#endif
}

}  // namespace

std::size_t memory_limit() noexcept {
  // The machine and its container are set from outside and take file reads
  // to learn, so they are read once. The rlimits belong to the process, which
  // may change them at any time (resource.setrlimit), and cost one system
  // call each, so they are read every time.
  static const std::size_t machine = [] {
    try {
      return std::min(physical_memory(), cgroup_limit());
    } catch (...) {  // no memory to read the files: physical memory bounds
      return physical_memory();
    }
  }();
  return std::min(machine, process_limit());
}

}  // namespace tavik::platform
