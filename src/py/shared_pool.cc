#include "py/shared_pool.h"

#include "pool/pool.h"
#include "py/ref.h"

namespace tavik::py {
namespace {

constexpr const char* kModule = "tavik._pool";
// Names the layout of pool::Workers: a module built with another layout finds
// no capsule of this name and fails to import rather than call through it.
constexpr const char* kCapsule = "tavik._pool.workers";

}  // namespace

void share_pool() {
  PyObject* modules = PyImport_GetModuleDict();
  if (PyObject* published = PyDict_GetItemString(modules, kModule)) {
    Ref capsule = Ref::steal(PyObject_GetAttrString(published, "workers"));
    auto* workers = static_cast<const pool::Workers*>(PyCapsule_GetPointer(capsule.get(), kCapsule));
    if (workers == nullptr) throw_error_already_set();
    pool::use_workers(*workers);
    return;
  }
  Ref module = Ref::steal(PyModule_New(kModule));
  Ref capsule = Ref::steal(PyCapsule_New(const_cast<pool::Workers*>(&pool::own_workers()), kCapsule, nullptr));
  if (PyModule_AddObjectRef(module.get(), "workers", capsule.get()) < 0) throw_error_already_set();
  if (PyDict_SetItemString(modules, kModule, module.get()) < 0) throw_error_already_set();
}

}  // namespace tavik::py
