"""Pure-Python reference models: each follows the documented algorithm step by
step, in the documented arithmetic order, so the module must match it bit for
bit."""
