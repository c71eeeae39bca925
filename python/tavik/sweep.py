"""Parameter sweeps over tavik's kernels, on one machine or a Dask cluster.

Every call of tavik.arrays is bounded (20 variables, 24 qubits, 26 data qubits), so
large studies are sweeps: many codes, error rates, noise levels and seeds.
The functions here run one task per natural unit of work and place each
result by its index, so a result never depends on the engine, the number of
workers or the order in which tasks finish:

- ``client=None`` (the default) or ``"threads"`` starts a Dask cluster
  inside this process, one worker with a thread per CPU this process may use
  (the kernels release the interpreter lock, so threads run them side by
  side), and closes it afterwards: it starts in a fraction of a second and
  needs no ``if __name__ == "__main__":`` guard. With the default, a sweep
  of a single task runs serially;
- ``client="processes"`` starts a local cluster of one single-threaded worker
  process per CPU instead, for tasks that hold the interpreter lock (scripts
  then need the guard, as Dask's worker processes import them);
- a ``distributed.Client`` runs the tasks on that client's cluster;
- ``client="serial"`` runs them one after the other in this process, and is
  the one engine that does not need Dask.

Dask is an optional dependency: ``pip install 'tavik[dask]'``. A progress
bar is drawn on a terminal unless ``progress=False``. Seeds are always the
caller's; nothing is drawn from a global generator.
"""

from __future__ import annotations

import contextlib
import importlib
import os
import sys
from collections.abc import Callable, Iterable, Iterator, Mapping, Sequence
from typing import TYPE_CHECKING, Any, Literal, NamedTuple, TypeAlias, TypeVar

import numpy as np
import numpy.typing as npt

from tavik import _arrays, _pickling, arrays
from tavik.exceptions import SizeViolation

if TYPE_CHECKING:
    from distributed import Client

__all__ = ["NoisyStats", "failure_curves", "map", "noisy_validation"]

Engine: TypeAlias = "Client | Literal['serial', 'threads', 'processes'] | None"
# (n_data, z_stabilizers, logical_z), in any form tavik.arrays takes.
Code: TypeAlias = tuple[int, arrays.Supports, npt.ArrayLike]
T = TypeVar("T")

_NEEDS_DASK = "this engine needs Dask's distributed scheduler: pip install 'tavik[dask]' (or pass client=\"serial\")"


def _distributed() -> Any:
    try:
        import distributed
    except ImportError as error:
        raise ImportError(_NEEDS_DASK) from error
    # Loading Dask replaced the reducer of the core's methods with one that
    # cannot pickle them.
    _pickling._register()
    return distributed


def _usable_cpus() -> int:
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0))
    return os.cpu_count() or 1


_ENGINES = "a distributed.Client, None, 'threads', 'processes' or 'serial'"


@contextlib.contextmanager
def _engine(client: Engine) -> Iterator[Client | None]:
    """The client to submit to (None: run serially), closed afterwards if made here."""
    if isinstance(client, str) and client not in ("threads", "processes"):
        if client != "serial":
            raise ValueError(f"client: expected {_ENGINES}, not {client!r}")
        yield None
        return
    distributed = _distributed()
    if client is None or isinstance(client, str):
        processes = client == "processes"
        with distributed.LocalCluster(
            n_workers=_usable_cpus() if processes else 1,
            threads_per_worker=1 if processes else _usable_cpus(),
            processes=processes,
            dashboard_address=None,
        ) as cluster:
            local = distributed.Client(cluster)
            try:
                yield local
            except BaseException:
                _stop_workers(cluster)
                raise
            finally:
                local.close()
        return
    if not isinstance(client, distributed.Client):
        raise TypeError(f"client: expected {_ENGINES}, not {type(client).__name__}")
    yield client


# Seconds a worker gets to stop before its nanny kills it. Stopping cleanly
# waits for the running task, which may take hours: after an interrupt or a
# failed task, nothing it computes is wanted.
_STOP_TIMEOUT = 0.2


def _stop_workers(cluster: Any) -> None:
    """Stop the local cluster's worker processes now, killing those still busy."""
    import asyncio

    nanny = _distributed().Nanny

    async def stop() -> None:
        workers = list(cluster.workers.values())
        # A worker thread cannot be killed: the in-process cluster stops without
        # waiting for the task it runs, whose result nobody wants.
        closing = (w.close(timeout=_STOP_TIMEOUT, reason="sweep-interrupted") if isinstance(w, nanny)
                   else w.close(timeout=_STOP_TIMEOUT, reason="sweep-interrupted", executor_wait=False)
                   for w in workers)  # fmt: skip
        await asyncio.gather(*closing, return_exceptions=True)

    with contextlib.suppress(Exception):
        cluster.sync(stop)


def _bar(progress: bool) -> bool:
    return progress and sys.stderr.isatty()


def _serial_bar(tasks: Sequence[tuple[Any, ...]]) -> Iterable[tuple[Any, ...]]:
    """The tasks behind tqdm's bar, when tqdm is installed."""
    try:
        tqdm: Any = importlib.import_module("tqdm").tqdm
    except ImportError:
        return tasks
    return tqdm(tasks)  # type: ignore[no-any-return]


def _run(func: Callable[..., T], tasks: Sequence[tuple[Any, ...]], client: Engine, progress: bool) -> list[T]:
    """func(*task) for every task, results in task order."""
    if client is None and len(tasks) < 2:
        client = "serial"  # nothing to share out: a cluster would only add its start
    with _engine(client) as engine:
        if engine is None:
            return [func(*task) for task in (_serial_bar(tasks) if _bar(progress) else tasks)]
        cluster: Any = engine
        return _gather(cluster, [cluster.submit(func, *task, pure=False) for task in tasks], _bar(progress))


def _gather(client: Any, futures: list[Any], bar: bool) -> list[Any]:
    """The futures' results in order, once all are done or as soon as one fails."""
    distributed = _distributed()
    try:
        if bar:
            distributed.progress(futures)
        # Wait in slices, not in gather's one long wait: CPython handles a
        # Ctrl-C that arrives as a thread starts waiting only when the wait
        # ends, which for gather is ten seconds later.
        for done in distributed.as_completed(futures):
            if done.status != "finished":
                break  # gather raises its error at once
        return client.gather(futures)  # type: ignore[no-any-return]
    except BaseException:
        # On a caller's cluster, tasks left queued would go on taking its
        # workers after a Ctrl-C or a failed task.
        with contextlib.suppress(Exception):
            client.cancel(futures)
        raise


def map(func: Callable[..., T], *iterables: Iterable[Any], client: Engine = None, progress: bool = True) -> list[T]:
    """``[func(*args) for args in zip(*iterables)]``, one task per call: the same
    list, in the same order, on every engine. `func` must be picklable (a
    module-level function, a tavik function) to run on a cluster."""
    return _run(func, list(zip(*iterables)), client, progress)


def _codes(codes: Mapping[str, Code]) -> dict[str, tuple[int, arrays.Indices, arrays.Indices, arrays.Indices]]:
    """Every code as the kernel reads it, checked as tavik.arrays checks one
    and as the kernel checks it before building any table, each message
    naming the code's key."""
    if not isinstance(codes, Mapping):
        raise TypeError(f"codes: expected a mapping of names to (n_data, z_stabilizers, logical_z), "
                        f"not {type(codes).__name__}")
    checked = {}
    for name, code in codes.items():
        where = f"codes[{name!r}]"
        if not isinstance(code, Sequence) or isinstance(code, (str, bytes)):
            raise TypeError(f"{where}: expected (n_data, z_stabilizers, logical_z), not {type(code).__name__}")
        if len(code) != 3:
            raise ValueError(f"{where}: expected 3 items (n_data, z_stabilizers, logical_z), got {len(code)}")
        checked[name] = arrays._code(*code, where=f"{where} ")
        try:
            _arrays.check_code(*checked[name])
        except SizeViolation as error:
            raise SizeViolation(f"{where}: {str(error).removeprefix('SizeViolation: ')}") from None
        except ValueError as error:  # it names the argument and the item
            raise ValueError(f"{where} {error}") from None
    return checked


def _failure_curve(
    n_data: int, starts: arrays.Indices, qubits: arrays.Indices, logical_z: arrays.Indices, p: arrays.Floats
) -> npt.NDArray[np.float64]:
    # Unpickled from a network buffer, an array may come unaligned.
    starts, qubits, logical_z, p = (arrays._native(a) for a in (starts, qubits, logical_z, p))
    return np.frombuffer(_arrays.logical_failure_probability(n_data, starts, qubits, logical_z, p), dtype=np.float64)


def failure_curves(
    codes: Mapping[str, Code],
    p: npt.ArrayLike,
    *,
    client: Engine = None,
    progress: bool = True,
) -> dict[str, npt.NDArray[np.float64]]:
    """Logical failure probability of every code at every physical error rate.

    `codes` maps a name to ``(n_data, z_stabilizers, logical_z)`` in any form
    :func:`tavik.arrays.logical_failure_probability` takes; `p` is an array of
    rates. Each result element equals ``tavik_core.logical_failure_probability``
    at that rate bit for bit. Every code and rate is checked before any task
    starts, with the errors of :mod:`tavik.arrays`, each naming its code's key.
    One task per code, all of its rates in one walk over the error patterns;
    the largest codes start first."""
    checked = _codes(codes)
    rates = arrays._rates("p", p)
    names = sorted(checked, key=lambda name: -checked[name][0])
    curves = _run(_failure_curve, [(*checked[name], rates) for name in names], client, progress)
    by_name = dict(zip(names, curves))
    return {name: by_name[name] for name in checked}


class NoisyStats(NamedTuple):
    """What one (noise level, seed) pair of a noisy validation sweep gave."""

    noise_level: float
    seed: int
    mean: float  # of the run energies
    min: float
    std: float
    exact_fraction: float  # of runs equal to base_bits


def _noisy_stats(
    qubo: tuple[Any, Any, Any], base_bits: npt.NDArray[np.uint8], n_runs: int, noise_level: float, seed: int
) -> NoisyStats:
    runs, energies = arrays.simulate_qubo_runs(qubo, base_bits, n_runs, noise_level, seed)
    exact = float(np.mean(np.all(runs == base_bits, axis=1)))
    return NoisyStats(noise_level, seed, float(energies.mean()), float(energies.min()), float(energies.std()), exact)


def noisy_validation(
    qubo: arrays.QuboLike,
    base_bits: npt.ArrayLike,
    n_runs: int,
    noise_levels: Iterable[float],
    seeds: Iterable[int],
    *,
    client: Engine = None,
    progress: bool = True,
) -> list[NoisyStats]:
    """:func:`tavik.arrays.simulate_qubo_runs` for every (noise level, seed) pair,
    summarised: the energies' mean, minimum and standard deviation, and the
    fraction of runs equal to `base_bits`. One task per pair, results in grid
    order (noise levels outer, seeds inner). Every argument is checked before
    any task starts, with the errors of :mod:`tavik.arrays`."""
    bits = arrays._bits("base_bits", base_bits)
    columns = arrays._qubo("qubo", qubo)
    if arrays._count("n_runs", n_runs) == 0:
        raise ValueError("n_runs: must be >= 1 to summarise the runs")
    levels = arrays._floats("noise_levels", _listed("noise_levels", noise_levels, "real numbers")).tolist()
    seed_list = [_seed(f"seeds[{k}]", seed) for k, seed in enumerate(_listed("seeds", seeds, "ints"))]
    tasks = [(columns, bits, n_runs, noise, seed) for noise in levels for seed in seed_list]
    return _run(_noisy_stats, tasks, client, progress)


def _listed(name: str, values: Iterable[Any], what: str) -> list[Any]:
    """The items of an iterable (a generator too), read once."""
    try:
        items = iter(values)
    except TypeError:
        raise TypeError(f"{name}: expected an iterable of {what}, not {type(values).__name__}") from None
    return list(items)


def _seed(name: str, seed: object) -> int:
    """A seed as the kernel takes it: an integer in 0..2**64-1."""
    value = arrays._count(name, seed)
    if value >= 2**64:
        raise ValueError(f"{name}: must be < 2**64, got {value}")
    return value
