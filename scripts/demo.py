"""What pyzorv does: a short session against the server QDRANT_URL names (when it is set), then
what it does without a server: parse Zorv statements, print their canonical text, compile them to
REST requests, tokenize them, and report errors precisely."""

import json
import os

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


def session(url):
    """Create, fill, query and drop a collection."""
    print(f"session against {url}:")
    with pyzorv.Client(url) as client:
        client.execute("DROP COLLECTION demo_docs", on_error="continue")
        script = """
            CREATE COLLECTION demo_docs (dense VECTOR(3, COSINE));
            CREATE INDEX ON COLLECTION demo_docs FOR city TYPE keyword;
            UPSERT INTO demo_docs VALUES
              {id: 1, vector: [0.9, 0.1, 0.0], city: 'Berlin', title: 'Museum island'},
              {id: 2, vector: [0.1, 0.9, 0.0], city: 'Paris', title: 'Left bank'},
              {id: 3, vector: [0.8, 0.2, 0.1], city: 'Berlin', title: 'Tempelhof field'}
              WAIT true
        """
        for result in client.execute(script).results:
            print(f"  {result['operation']:<18} {result['message']}")
        report = client.execute("QUERY :v FROM demo_docs WHERE city = 'Berlin' LIMIT 2", params={"v": [1.0, 0.0, 0.0]})
        print(f"  {report.results[0]['message']}:")
        for point in report.hits():
            print(f"    id={point.id} score={point.score:.4f} title={point['title']!r}")
        print(f"  {client.execute('COUNT FROM demo_docs').results[0]['message']}")
        print(f"  {client.execute('DROP COLLECTION demo_docs').results[0]['message']}")
    print()


def main():
    print(f"pyzorv {pyzorv.__version__}\n")
    url = os.environ.get("QDRANT_URL")
    if url:
        session(url)
    else:
        print("no server (set QDRANT_URL or provide ../shared/qdrant/): offline part only\n")
    for stmt in pyzorv.parse(STATEMENTS):
        print(stmt)
        print()

    vector = ", ".join(f"{i / 1000:.3f}" for i in range(384))
    long_one = pyzorv.parse(f"QUERY [{vector}] FROM docs LIMIT 3")[0]
    print("repr of a 384-dimension query:", repr(long_one))

    print("\nbinding parameters:")
    print(" ", pyzorv.bind("QUERY :v FROM docs WHERE city = :city LIMIT :n",
                           {"v": [0.1, 0.2, 0.3], "city": "Berlin", "n": 5}))

    print("\nthe REST request of a query:")
    print(json.dumps(pyzorv.compile("QUERY [0.1, 0.2, 0.3] FROM docs USING dense WHERE city = 'Berlin' LIMIT 5"), indent=2))

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
