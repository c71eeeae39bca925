"""Pure-Python model of `vrp_qubo_terms`: the three accumulation passes into a
map on oriented index pairs, then the sorted output, step by step."""


def vrp_qubo_terms(dist, penalty_a, penalty_b):
    n = len(dist)
    if any(len(row) != n for row in dist):
        raise ValueError("distance matrix must be square")

    names = [f"x_{i}_{t}" for i in range(n) for t in range(n)]
    rank = {k: r for r, k in enumerate(sorted(range(n * n), key=lambda k: names[k].encode()))}

    acc = {}

    def add(a, b, c):
        key = (a, b) if rank[a] <= rank[b] else (b, a)
        acc[key] = acc.get(key, 0.0) + c

    def subtract(k, c):
        acc[(k, k)] = acc.get((k, k), 0.0) - c

    two_a = penalty_a + penalty_a
    for i in range(n):  # each node visited once
        for t in range(n):
            subtract(n * i + t, penalty_a)
            for s in range(t + 1, n):
                add(n * i + t, n * i + s, two_a)
    for t in range(n):  # each position filled once
        for i in range(n):
            subtract(n * i + t, penalty_a)
            for j in range(i + 1, n):
                add(n * i + t, n * j + t, two_a)
    for u in range(n):  # tour length, cyclic
        for v in range(n):
            if v != u:
                for t in range(n):
                    add(n * u + t, n * v + (t + 1) % n, penalty_b * dist[u][v])

    return {(names[a], names[b]): value for (a, b), value in sorted(acc.items())}
