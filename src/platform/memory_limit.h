// How much memory this process may use, as far as the operating system says.
#pragma once

#include <cstddef>
#include <string>

namespace tavik::platform {

// The bytes the process may still take: of the machine's physical memory,
// the memory limit of the process's control group (and of the groups above
// it), and its address-space and data-segment limits, the smallest after
// taking off what the process already holds of what each counts (its
// resident memory for the first two, its mapped address space, its data
// segment); SIZE_MAX when none of them is known.
std::size_t memory_available() noexcept;

namespace detail {

// The memory limit of the control groups that `self_cgroup` (the text of
// /proc/self/cgroup) names, read from their hierarchies under `root` (a
// directory with its trailing slash, standing for "/"); SIZE_MAX when none
// is set. memory_available() asks with "/", tests with trees of their own.
std::size_t cgroup_limit(const std::string& root, const std::string& self_cgroup);

}  // namespace detail

}  // namespace tavik::platform
