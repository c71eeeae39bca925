"""Pure-Python model of `stoer_wagner_bisect`, phase by phase on a dense matrix, with the documented start vertex,
tie-breaking, summation orders and merge order."""

import math

from reference.failures import Failure, out_of_bounds


def stoer_wagner_bisect(edges, n):
    if n < 2:
        raise Failure("ValueError", "n_nodes must be >= 2 to bisect")
    for endpoint in (v for i, j, _ in edges for v in (i, j)):
        if endpoint >= n:
            raise out_of_bounds(n, endpoint)
    adj = [[0.0] * n for _ in range(n)]
    for i, j, weight in edges:
        adj[i][j] = weight + adj[i][j]
        adj[j][i] = weight + adj[j][i]

    groups, active = [[v] for v in range(n)], [True] * n
    best_weight, best_side = math.inf, []
    for active_count in range(n, 1, -1):  # one phase per merge, n - 1 in all
        start = active.index(True)
        in_a = [k == start for k in range(n)]
        tightness = [adj[start][k] if active[k] and k != start else 0.0 for k in range(n)]
        last = start
        for _ in range(active_count - 1):
            selected, running = None, -math.inf
            for k in range(n):  # strictly greater: ties go to the lowest index, NaN never wins
                if active[k] and not in_a[k] and tightness[k] > running:
                    selected, running = k, tightness[k]
            if selected is None:
                raise Failure("Panic", "a candidate remains while n_in_a < active_count")
            in_a[selected], prev, last = True, last, selected
            for k in range(n):
                if active[k] and not in_a[k]:
                    tightness[k] = adj[last][k] + tightness[k]
        s, t = prev, last

        cut = 0.0  # (not sum(): it compensates from Python 3.12 on)
        for k in range(n):
            if active[k] and k != t:
                cut = cut + adj[t][k]
        if cut < best_weight:
            best_weight, best_side = cut, list(groups[t])

        for k in range(n):
            if active[k] and k != s and k != t:
                adj[s][k] = adj[t][k] + adj[s][k]
                adj[k][s] = adj[k][t] + adj[k][s]
        groups[s] += groups[t]
        active[t] = False

    if not best_side:
        raise Failure("ValueError", "no cut found")
    return best_weight, best_side
