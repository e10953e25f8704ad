"""Calls per second of pyzorv.compile on the QUERY corpus (bound with the test fixture's values)."""

import json
import pathlib
import re
import time

import pyzorv

DATA = pathlib.Path(__file__).resolve().parent.parent / "tests" / "data"


def corpus_calls():
    """(text, params) of every corpus line that compiles."""
    fixture = json.loads((DATA / "query_corpus_params.json").read_text())
    calls = []
    for line in (DATA / "query_corpus.zorv").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("--") or "-- fails:" in line:
            continue
        text = line.rstrip(";")
        params = fixture["positional"].get(text)
        if params is None:
            names = sorted(set(re.findall(r":([A-Za-z_]\w*)", text)))
            params = {name: fixture["named"][name] for name in names} or None
        calls.append((text, params))
    return calls


def main():
    calls = corpus_calls()
    compile_ = pyzorv.compile
    for label, subset in (("all", calls), ("without params", [c for c in calls if c[1] is None])):
        best = float("inf")
        rounds = 200
        for _ in range(5):
            start = time.perf_counter()
            for _ in range(rounds):
                for text, params in subset:
                    compile_(text, params)
            best = min(best, time.perf_counter() - start)
        count = rounds * len(subset)
        print(f"pyzorv.compile, {label}: {len(subset)} statements, {count / best:,.0f} calls/s, "
              f"{best / count * 1e6:.2f} us/call")


if __name__ == "__main__":
    main()
