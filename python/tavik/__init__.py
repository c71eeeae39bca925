"""tavik: a toolkit for quantum-optimisation co-design.

The native core lives in :mod:`tavik.tavik_core`.
"""

__version__ = "0.2.0"
