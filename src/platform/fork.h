// Hooks around fork(), for state that a child process must not inherit as it
// is (threads do not survive a fork; locks held by them stay held).
#pragma once

namespace tavik::platform {

// `prepare` runs in the forking thread before the fork, `parent` and `child`
// after it in the respective process. A system without fork() never calls
// them.
void on_fork(void (*prepare)(), void (*parent)(), void (*child)());

}  // namespace tavik::platform
