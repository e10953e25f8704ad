"""Throughput of pyzorv.parse_json on the QUERY corpus and on one 1,000-row UPSERT."""

import pathlib
import random
import time

import pyzorv

DATA = pathlib.Path(__file__).resolve().parent.parent / "tests" / "data"


def corpus_statements(name):
    """The statements of a corpus file (one a line) that parse on their own."""
    kept = []
    for line in (DATA / name).read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith("--"):
            continue
        try:
            pyzorv.parse(line)
        except pyzorv.ZorvError:
            continue
        kept.append(line.rstrip(";"))
    return kept


def upsert_script(rows, dims):
    rng = random.Random(7)
    values = []
    for i in range(rows):
        vec = ", ".join(f"{rng.uniform(-1, 1):.6f}" for _ in range(dims))
        values.append(f"{{id: {i}, vector: [{vec}], title: 'doc {i}', tags: ['a', 'b'], score: {rng.random():.4f}}}")
    return "UPSERT INTO docs VALUES " + ", ".join(values)


def measure(label, text, units, unit_name, repeat=5):
    best = float("inf")
    out = ""
    for _ in range(repeat):
        start = time.perf_counter()
        out = pyzorv.parse_json(text)
        best = min(best, time.perf_counter() - start)
    print(f"{label}: {len(text) / 1e6:.2f} MB in, {len(out) / 1e6:.2f} MB JSON out, best {best * 1e3:.2f} ms, "
          f"{units / best:,.0f} {unit_name}/s, {len(text) / best / 1e6:.1f} MB/s in")


def main():
    queries = corpus_statements("query_corpus.zorv")
    # The parser takes at most 256 statements a script; a script of the corpus repeated under that.
    per_script = max(1, 256 // len(queries)) * len(queries)
    script = ";\n".join((queries * (per_script // len(queries)))[:per_script])
    measure("parse_json QUERY corpus", script, per_script, "statements", repeat=20)
    measure("parse_json UPSERT 1,000 rows x 384 dims", upsert_script(1000, 384), 1000, "rows")


if __name__ == "__main__":
    main()
