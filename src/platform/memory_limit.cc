#include "platform/memory_limit.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
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

std::size_t cgroup_limit() {
  std::ifstream file("/proc/self/cgroup");  // missing or unreadable: no group, no limit
  std::ostringstream text;
  text << file.rdbuf();
  return detail::cgroup_limit("/", text.str());
}
#else
// Control groups are Linux's.
std::size_t cgroup_limit() { return kUnknown; }
#endif

// The process's own limits, which it may change at any time
// (resource.setrlimit).
struct ProcessLimits {
  std::size_t address_space = kUnknown;
  std::size_t data = kUnknown;
};

ProcessLimits process_limits() noexcept {
  ProcessLimits limits;
#if !defined(_WIN32)
  const auto limit_of = [](int resource) {
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnknown;
    return static_cast<std::size_t>(std::min<rlim_t>(limit.rlim_cur, kUnknown));
  };
  limits.address_space = limit_of(RLIMIT_AS);
  limits.data = limit_of(RLIMIT_DATA);
#endif
  return limits;
}

// What the process holds of what each limit counts, in bytes; zeros where
// the system does not say.
struct Usage {
  std::size_t resident = 0;
  std::size_t address_space = 0;
  std::size_t data = 0;
};

Usage usage() noexcept {
  Usage used;
#if defined(__linux__)
  // Pages: total mapped, resident, shared, text, (unused), data and stack.
  std::FILE* file = std::fopen("/proc/self/statm", "re");
  if (file == nullptr) return used;
  unsigned long long size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
  const int read = std::fscanf(file, "%llu %llu %llu %llu %llu %llu", &size, &resident, &shared, &text, &lib, &data);
  std::fclose(file);
  const long page = sysconf(_SC_PAGE_SIZE);
  if (read != 6 || page <= 0) return used;
  const auto page_bytes = static_cast<std::size_t>(page);
  const auto bytes = [&](unsigned long long pages) {
    return pages > kUnknown / page_bytes ? kUnknown : static_cast<std::size_t>(pages) * page_bytes;
  };
  used = {bytes(resident), bytes(size), bytes(data)};
#endif
  return used;
}

std::size_t less(std::size_t limit, std::size_t used) {
  return limit == kUnknown ? kUnknown : limit - std::min(limit, used);
}

// The machine and its container are set from outside and take file reads
// to learn, so they are read once.
std::size_t machine_limit() noexcept {
  static const std::size_t machine = [] {
    try {
      return std::min(physical_memory(), cgroup_limit());
    } catch (...) {  // no memory to read the files: physical memory bounds
      return physical_memory();
    }
  }();
  return machine;
}

}  // namespace

// The standard mount points: the unified hierarchy (cgroup v2) at
// /sys/fs/cgroup, the v1 memory controller at /sys/fs/cgroup/memory. A v1
// group without a limit reports a number near 2^63, which bounds nothing.
std::size_t detail::cgroup_limit([[maybe_unused]] const std::string& root,
                                 [[maybe_unused]] const std::string& self_cgroup) {
#if defined(__linux__)
  const std::string mounts = root + "sys/fs/cgroup";
  std::istringstream file(self_cgroup);
  std::size_t limit = kUnknown;
  // Lines are "id:controllers:path"; v2 is the line "0::path".
  for (std::string line; std::getline(file, line);) {
    const std::size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1), group = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      limit = std::min(limit, hierarchy_limit(mounts, group, "memory.max"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      limit = std::min(limit, hierarchy_limit(mounts + "/memory", group, "memory.limit_in_bytes"));
    }
  }
  return limit;
#else
  return kUnknown;
#endif
}

std::size_t memory_available() noexcept {
  // The rlimits belong to the process, which may change them at any time,
  // and cost one system call each, so they are read every time.
  const ProcessLimits process = process_limits();
  const std::size_t machine = machine_limit();
  if (std::min({machine, process.address_space, process.data}) == kUnknown) return kUnknown;
  const Usage used = usage();
  return std::min({less(machine, used.resident), less(process.address_space, used.address_space),
                   less(process.data, used.data)});
}

}  // namespace tavik::platform
