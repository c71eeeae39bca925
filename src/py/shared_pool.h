// One worker pool for every extension module of the package: the first
// module to load publishes its pool's table (pool.h) as a capsule in the
// private module tavik._pool, and every later one runs its jobs on it, so no
// two modules compete with two pools for the same CPUs.
#pragma once

namespace tavik::py {

// Publishes this module's pool, or adopts the one already published. Called
// while the module initialises, before any kernel runs.
void share_pool();

}  // namespace tavik::py
