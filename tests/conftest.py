import os
import shutil
import subprocess
import sys

import pytest

# Test modules import helpers and the pure-Python reference models from here.
sys.path.insert(0, os.path.dirname(__file__))

# Preloaded into a child: it reports eight CPUs, so the pool asks for seven workers, and with SHIM_PHYS_BYTES set,
# that much physical memory. With SHIM_FAIL set, once SHIM_AFTER threads have started it makes the next start fail, in
# pthread_create (EAGAIN) or in the operator new that allocates the thread's state (std::bad_alloc, thrown by asking
# the real one for SIZE_MAX).
SHIM = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int started, fail_new;

long sysconf(int name) {
  long (*real)(int) = dlsym(RTLD_NEXT, "sysconf");
  const char* bytes = getenv("SHIM_PHYS_BYTES");
  if (name == _SC_PHYS_PAGES && bytes != NULL) return atol(bytes) / real(_SC_PAGESIZE);
  return real(name);
}

static int failing(const char* what) {
  const char* fail = getenv("SHIM_FAIL");
  return fail != NULL && strcmp(fail, what) == 0 && started == atoi(getenv("SHIM_AFTER"));
}

int sched_getaffinity(pid_t pid, size_t size, cpu_set_t* set) {
  int (*real)(pid_t, size_t, cpu_set_t*) = dlsym(RTLD_NEXT, "sched_getaffinity");
  int result = real(pid, size, set);
  for (int cpu = 0; result == 0 && cpu < 8; ++cpu) CPU_SET_S(cpu, size, set);
  return result;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  int (*real)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) = dlsym(RTLD_NEXT, "pthread_create");
  if (failing("pthread_create")) return EAGAIN;
  int result = real(thread, attr, start, arg);
  if (result == 0 && (++started, failing("new"))) fail_new = 1;
  return result;
}

/* libstdc++ is loaded locally, with the extension module: not reachable by
   RTLD_NEXT. A module that carries its own C++ runtime (the release wheel's)
   still calls the first operator new in the process, this one: malloc serves
   it, as that runtime's own would. */
void* _Znwm(size_t size) {
  void* cxx = dlopen("libstdc++.so.6", RTLD_LAZY | RTLD_NOLOAD);
  if (cxx == NULL) {
    void* p = malloc(size ? size : 1);
    if (p == NULL) abort();
    return p;
  }
  void* (*real)(size_t) = dlsym(cxx, "_Znwm");
  return real(__atomic_exchange_n(&fail_new, 0, __ATOMIC_SEQ_CST) ? SIZE_MAX : size);
}
"""



@pytest.fixture(scope="session")
def cpu_shim(tmp_path_factory):
    """The shim above, built: a path for LD_PRELOAD."""
    cc = shutil.which("cc")
    if cc is None:
        pytest.skip("no C compiler")
    directory = tmp_path_factory.mktemp("shim")
    (directory / "shim.c").write_text(SHIM)
    subprocess.run([cc, "-shared", "-fPIC", "-fexceptions", "-o", directory / "shim.so", directory / "shim.c", "-ldl"],
                   check=True)
    return directory / "shim.so"
