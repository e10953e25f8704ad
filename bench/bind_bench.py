"""Binding from Python: a 768-dimension numpy vector and a 1,000-row upsert list.

Reports the best of several runs for `pyzorv.bind` (text and Stmt) and `Stmt.bind`.
"""

import time

import numpy as np

import pyzorv


def best_of(fn, runs=7, inner=20):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        for _ in range(inner):
            fn()
        best = min(best, (time.perf_counter() - start) / inner)
    return best


def report(label, seconds, extra=""):
    print(f"{label:<44} {seconds * 1e6:10.1f} us{extra}")


def main():
    vector = np.random.default_rng(7).random(768, dtype=np.float32)
    (query,) = pyzorv.parse("QUERY :v FROM docs USING dense WHERE lang = :lang LIMIT 10")
    params = {"v": vector, "lang": "en"}
    report("Stmt.bind, 768-d float32 vector", best_of(lambda: query.bind(params)))
    report("bind(Stmt), 768-d float32 vector", best_of(lambda: pyzorv.bind(query, params)))
    text = "QUERY :v FROM docs USING dense WHERE lang = :lang LIMIT 10"
    report("bind(text), 768-d float32 vector", best_of(lambda: pyzorv.bind(text, params)))
    as_list = {"v": vector.astype(np.float64).tolist(), "lang": "en"}
    report("Stmt.bind, 768-d list of floats", best_of(lambda: query.bind(as_list)))

    rows = [{"id": i, "vector": vector[:64].tolist(), "title": f"doc {i}", "rank": i % 7} for i in range(1000)]
    (upsert,) = pyzorv.parse("UPSERT INTO docs VALUES :rows")
    seconds = best_of(lambda: upsert.bind({"rows": rows}), runs=5, inner=3)
    report("Stmt.bind, 1,000 upsert rows (64-d vectors)", seconds, f"  ({1000 / seconds / 1e3:.0f} k rows/s)")
    upsert_text = "UPSERT INTO docs VALUES :rows"
    seconds = best_of(lambda: pyzorv.bind(upsert_text, {"rows": rows}), runs=5, inner=3)
    report("bind(text), 1,000 upsert rows (64-d vectors)", seconds, f"  ({1000 / seconds / 1e3:.0f} k rows/s)")


if __name__ == "__main__":
    main()
