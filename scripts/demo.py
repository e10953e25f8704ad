"""What pyzorv does without a server: parse Zorv statements, print their canonical text,
tokenize them, and report errors precisely."""

import pyzorv

STATEMENTS = """
create collection docs (dense vector(384, cosine), bm25 sparse) with hnsw (m = 16, ef_construct = 200);
create index on collection docs for city type keyword;
query [0.1, 0.2, 0.3] from docs using dense where city = 'Berlin' and price <= 50 limit 5;
QUERY FUSION RRF FROM shop
  PREFETCH (QUERY TEXT 'red shoes' USING sparse LIMIT 50, QUERY :dense USING dense LIMIT 50)
  WHERE in_stock = true LIMIT 10;
WITH recent AS (QUERY ORDER BY created_at DESC FROM news LIMIT 100)
  QUERY CROSS RERANK 'election results' MODEL 'cross-encoder' ON FIELD body FROM news PREFETCH (recent) LIMIT 5;
QUERY FORMULA score * 0.5 + exp_decay(x = published_at, target = datetime('2024-06-01'), scale = 86400)
  FROM news PREFETCH (QUERY TEXT 'ai' USING dense LIMIT 50) LIMIT 10;
SHOW SHARD KEYS ON COLLECTION 'events-2024';
upsert into docs values {id: 1, vector: [0.1, 0.2, 0.3], city: 'Berlin'}, {id: 2, vector: {dense: [0.4, 0.5, 0.6]}, city: 'Paris'}
  using dense model 'minilm' into dense on field body update mode upsert wait true;
scroll from docs where city = 'Berlin' order by price desc with payload include (city, price) limit :page;
facet city from docs where price < 100 limit 10 exact;
update docs set payload = {reviewed: true} key 'meta' where id in (1, 2);
delete from docs where city = 'Paris' and price > 500
"""


def main():
    print(f"pyzorv {pyzorv.__version__}\n")
    for stmt in pyzorv.parse(STATEMENTS):
        print(stmt)
        print()

    vector = ", ".join(f"{i / 1000:.3f}" for i in range(384))
    long_one = pyzorv.parse(f"QUERY [{vector}] FROM docs LIMIT 3")[0]
    print("repr of a 384-dimension query:", repr(long_one))

    print("\nbinding parameters:")
    print(" ", pyzorv.bind("QUERY :v FROM docs WHERE city = :city LIMIT :n",
                           {"v": [0.1, 0.2, 0.3], "city": "Berlin", "n": 5}))

    print("\ntokens of a short statement:")
    for tok in pyzorv.tokenize("QUERY [0.1, 0.2] FROM docs LIMIT 5"):
        print(f"  {tok['kind']:<10} {tok['text']!r:<8} {tok['pos']:>2}..{tok['end']}")

    for bad in ["QUERY [1, 2] FROM docs WHERE a ! b", "QUERY [1, 2] LIMIT 5", "UPSERT INTO docs VALUES {vector: [1, 2]}"]:
        try:
            pyzorv.parse(bad)
        except pyzorv.ZorvSyntaxError as exc:
            print(f"\n{bad}\n  -> {type(exc).__name__}: {exc}")
            print(f"     code={exc.code} kind={exc.kind} span={exc.span}")


if __name__ == "__main__":
    main()
