"""tavik: a toolkit for quantum-optimisation co-design.

The native core, :mod:`tavik.tavik_core`, holds fast, exact counterparts of tavik's
pure-Python routines: QUBO and Ising enumeration, statevector and noisy-run simulation, the
Stackelberg co-design solver, VRP/TSP QUBOs, minimum-cut bisection and the decoder tables of
error correction at the top level, and the submodules ``sim`` (logical Ising graphs),
``analog`` (neutral-atom and photonic compilers), ``ecc`` (surface-code patches) and
``cutting`` (circuit-cutting reconstruction). The submodules are attributes of the core:
``import tavik.tavik_core as core; core.sim.Variable(...)`` or
``from tavik.tavik_core import sim``, never ``import tavik.tavik_core.sim``.

Beside the core, imported on their own: :mod:`tavik.arrays` (its kernels on NumPy arrays, on
every CPU), :mod:`tavik.sweep` (sweeps on Dask), :mod:`tavik.qubo` (exact lowest states and
levels), :mod:`tavik.qec` (failure polynomials) and :mod:`tavik.circuits` (circuits to states
up to the memory limit, their probabilities, samples and Pauli expectation values).

Conventions:

- QUBO terms are ``((i, j), w)``: ``i == j`` adds ``w·x_i``, otherwise ``w·x_i·x_j``, with
  x in {0, 1}; duplicates and both orientations all count, and lower energy is better.
- Variable, site or qubit k is bit k of an assignment or basis index (least significant
  first). In spin form a set bit is +1 and a clear bit -1; the Ising energy
  Σ w·s_i·s_j (+ Σ w·s_i for self-interactions) is minimised, so a positive weight favours
  opposite spins. Exhaustive kernels walk indices upwards and ties keep the lowest.
- Arguments are plain values: lists (any sequence but ``str``), real tuples, ints, floats,
  strings and the core's own records. Results are new objects; arguments are never modified.
- Records pickle (every protocol), copy and cross process boundaries; loading checks each
  record as its constructor, or the function that makes it, would, so a corrupted pickle
  raises ``TypeError`` or ``ValueError``.

Errors:

- ``TypeError``, ``ValueError`` or ``OverflowError`` for malformed arguments; a ``TypeError``
  names the argument (``argument 'qubo': ...``).
- :class:`tavik.exceptions.SizeViolation` (a ``ValueError``) past a routine's size limit:
  20 variables for exhaustive enumeration, 24 qubits for statevectors, 26 data qubits and
  32 stabilizers for decoder tables.
- :class:`tavik.exceptions.PanicException` for an index out of range inside a kernel or
  another broken internal invariant; it derives from ``BaseException``, so ``except
  Exception`` does not catch it: catch it by name.
- ``MemoryError`` for results too large for the memory the process may use, raised before
  allocating.
- ``KeyboardInterrupt`` (Ctrl-C) stops any long call within a fraction of a second.

The package ships type stubs (``py.typed``): every routine's parameters, results, units and
errors are documented there and shown by editors.
"""

__version__ = "0.2.0"

# Registers pickling and copying for the core's records, functions and methods
# (it loads the core).
try:
    from . import _pickling  # noqa: E402, F401
except ImportError as _refused:
    # A second interpreter: another owns the extension modules, or (an
    # isolated one) the import system keeps them out. Each of them refuses it
    # when imported, by its own name; the package itself stays importable so
    # that `import tavik.arrays` says which module refused.
    if not any(why in str(_refused) for why in ("can only be imported by one interpreter per process",
                                                 "does not support loading in subinterpreters")):
        raise
