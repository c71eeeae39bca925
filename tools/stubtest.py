"""mypy's stubtest for tavik.tavik_core, its submodules and the array face's native module
tavik._arrays; arguments pass through.

``sim``, ``analog``, ``ecc`` and ``cutting`` are only attributes of the extension module, so
their stubs are the private stub-only modules ``tavik._core_<name>``. stubtest imports every
module it checks by name: this process alone registers each submodule under its stub's name,
then checks the extension module and those stubs.
"""

import sys
import types

import tavik.tavik_core as core
from mypy.stubtest import main

modules = [core.__name__, "tavik._arrays"]
for name in core.__all__:
    attribute = getattr(core, name)
    if isinstance(attribute, types.ModuleType):
        modules.append(f"tavik._core_{name}")
        sys.modules[modules[-1]] = attribute

sys.argv += modules
sys.exit(main())
