"""Throughput of pyzorv.tokenize (tokens per second) on a realistic mixed script."""

import random
import time

import pyzorv

STATEMENTS = [
    "QUERY TEXT 'wireless noise cancelling headphones' USING sparse FROM products "
    "WHERE category = 'audio' AND price BETWEEN 50 AND 300 LIMIT 20;\n",
    "QUERY FUSION RRF PREFETCH (QUERY TEXT 'red shoes' USING bm25 LIMIT 100) FROM shop LIMIT 10;\n",
    "UPSERT INTO docs VALUES (42, {\"title\": 'It''s here', \"tags\": ['a', 'b']});\n",
    "SCROLL FROM events WHERE payload.user.id = 'u-1' LIMIT 100;\n",
    "DELETE FROM docs WHERE id IN (1, 2, 3);\n",
]


def script(min_bytes):
    rng = random.Random(7)
    parts, size, i = [], 0, 0
    while size < min_bytes:
        part = STATEMENTS[i % len(STATEMENTS)]
        if i % 4 == 0:
            vec = ", ".join(f"{rng.uniform(-1, 1):.6f}" for _ in range(64))
            part += f"QUERY [{vec}] FROM docs USING dense LIMIT 5;\n"
        parts.append(part)
        size += len(part)
        i += 1
    return "".join(parts)


def main():
    text = script(1 << 20)
    best = float("inf")
    count = 0
    for _ in range(5):
        start = time.perf_counter()
        count = len(pyzorv.tokenize(text))
        best = min(best, time.perf_counter() - start)
    print(f"tokenize: {len(text) / 1e6:.2f} MB, {count} tokens, best {best * 1e3:.1f} ms, "
          f"{count / best / 1e6:.2f} M tokens/s, {len(text) / best / 1e6:.1f} MB/s")


if __name__ == "__main__":
    main()
