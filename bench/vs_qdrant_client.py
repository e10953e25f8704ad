"""pyzorv against the official qdrant-client on one real server, side by side.

Four measurements, each printed with both absolute figures, the ratio and its target:
  1. single-thread queries/s (10,000 points of 768 dims, payloads returned, LIMIT 10);
  2. asyncio queries/s with 64 in flight;
  3. client CPU (user + system, all threads) per query of run 1;
  4. bulk upsert of 100,000 x 768-d points with payloads at one batch size and wait setting
     (points/s, peak RSS of a fresh process beside it).
Runs 1, 2 and 4 are repeated over gRPC (pyzorv with use_grpc=True against qdrant-client with
prefer_grpc=True, and pyzorv over gRPC against pyzorv over REST) when the server's gRPC port is
known (ZORV_TEST_QDRANT_GRPC_URL, or the server this script starts).

The server is started from ../shared/qdrant/ (and stopped at the end) unless ZORV_TEST_QDRANT_URL
names one. Rounds alternate between the two clients after a warm-up, so drift in the machine's load
falls on both. Data comes from a fixed seed.

    .venv/bin/python bench/vs_qdrant_client.py [--quick]
"""

from __future__ import annotations

import argparse
import asyncio
import json
import os
import random
import resource
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SERVER_DIR = ROOT.parent / "shared" / "qdrant"
DIM = 768
COLLECTION = "bench"
SEED = 20261211
QUERY_TEXT = "QUERY :v FROM bench LIMIT 10"


def start_server() -> tuple[str, str | None, str | None]:
    """The server's URL, its gRPC URL when known and, when this script started it, its folder."""
    url = os.environ.get("ZORV_TEST_QDRANT_URL")
    if url:
        return url, os.environ.get("ZORV_TEST_QDRANT_GRPC_URL"), None
    start = SERVER_DIR / "start"
    if not start.exists():
        sys.exit("no server: set ZORV_TEST_QDRANT_URL or provide ../shared/qdrant/start")
    out = subprocess.run([str(start)], check=True, capture_output=True, text=True, timeout=60).stdout
    env = {}
    for word in out.replace("export ", " ").split():
        if "=" in word:
            key, value = word.split("=", 1)
            env[key] = value.strip("'\"")
    return env["QDRANT_URL"], env.get("QDRANT_GRPC_URL"), env["QDRANT_DIR"]


def stop_server(folder: str | None) -> None:
    if folder:
        subprocess.run([str(SERVER_DIR / "stop"), folder], check=False, timeout=60)


def vectors(count: int, seed: int) -> list[list[float]]:
    rng = random.Random(seed)
    return [[rng.uniform(-1.0, 1.0) for _ in range(DIM)] for _ in range(count)]


def payload(i: int) -> dict:
    return {"title": f"document {i}", "rank": i, "group": f"g{i % 17}", "score": (i % 101) / 100.0}


def grpc_port(grpc_url: str | None) -> dict:
    """qdrant-client's arguments for gRPC: the port of the gRPC URL, preferred for every call."""
    if not grpc_url:
        return {}
    return {"grpc_port": int(grpc_url.rstrip("/").rsplit(":", 1)[1]), "prefer_grpc": True}


def qdrant(url: str, grpc_url: str | None = None):
    from qdrant_client import QdrantClient

    # The pinned client is newer than the server; its version check would only warn.
    return QdrantClient(url=url, check_compatibility=False, timeout=60, **grpc_port(grpc_url))


def async_qdrant(url: str, grpc_url: str | None = None):
    from qdrant_client import AsyncQdrantClient

    return AsyncQdrantClient(url=url, check_compatibility=False, timeout=60, **grpc_port(grpc_url))


def load_collection(url: str, points: int) -> None:
    from qdrant_client import models

    client = qdrant(url)
    if client.collection_exists(COLLECTION):
        client.delete_collection(COLLECTION)
    client.create_collection(COLLECTION, vectors_config=models.VectorParams(size=DIM, distance=models.Distance.COSINE))
    data = vectors(points, SEED)
    client.upload_points(
        COLLECTION,
        (models.PointStruct(id=i, vector=v, payload=payload(i)) for i, v in enumerate(data)),
        batch_size=256,
        wait=True,
    )
    client.close()


def cpu_seconds() -> float:
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def timed_round(call, queries: list[list[float]]) -> tuple[float, float]:
    """Wall seconds and CPU seconds of one pass over the queries."""
    cpu0, wall0 = cpu_seconds(), time.perf_counter()
    for v in queries:
        call(v)
    return time.perf_counter() - wall0, cpu_seconds() - cpu0


def zorv_client(url: str, grpc_url: str | None = None):
    import pyzorv

    return pyzorv.Client(url=grpc_url, use_grpc=True) if grpc_url else pyzorv.Client(url=url)


def single_thread(url: str, queries: list[list[float]], rounds: int, grpc_url: str | None = None) -> dict:
    """With a gRPC URL: pyzorv over gRPC, qdrant-client over gRPC and pyzorv over REST."""
    clients = {"pyzorv": zorv_client(url, grpc_url), "qdrant-client": qdrant(url, grpc_url)}
    if grpc_url:
        clients["pyzorv REST"] = zorv_client(url)

    def zorv_query(zorv):
        def call(v):
            report = zorv.execute(QUERY_TEXT, params={"v": v})
            assert report.ok, report

        return call

    def official_query(v):
        clients["qdrant-client"].query_points(COLLECTION, query=v, limit=10, with_payload=True)

    calls = {name: zorv_query(client) for name, client in clients.items() if name != "qdrant-client"}
    calls["qdrant-client"] = official_query
    for call in calls.values():  # warm-up: connections, caches, imports
        timed_round(call, queries[:50])
    totals = {name: [0.0, 0.0] for name in calls}
    for r in range(rounds):
        order = list(calls.items())
        if r % 2:
            order.reverse()
        for name, call in order:
            wall, cpu = timed_round(call, queries)
            totals[name][0] += wall
            totals[name][1] += cpu
    for client in clients.values():
        client.close()
    n = rounds * len(queries)
    return {name: {"qps": n / wall, "cpu_ms": 1000 * cpu / n} for name, (wall, cpu) in totals.items()}


async def gather_in_flight(call, queries: list[list[float]], in_flight: int) -> float:
    """Wall seconds to run every query with at most `in_flight` awaiting at once."""
    it = iter(queries)

    async def worker():
        for v in it:
            await call(v)

    start = time.perf_counter()
    await asyncio.gather(*(worker() for _ in range(in_flight)))
    return time.perf_counter() - start


async def concurrent(url: str, queries: list[list[float]], rounds: int, in_flight: int,
                     grpc_url: str | None = None) -> dict:
    zorv = zorv_client(url, grpc_url)
    official = async_qdrant(url, grpc_url)

    async def zorv_query(v):
        report = await zorv.execute_async(QUERY_TEXT, params={"v": v})
        assert report.ok

    async def official_query(v):
        await official.query_points(COLLECTION, query=v, limit=10, with_payload=True)

    for call in (zorv_query, official_query):
        await gather_in_flight(call, queries[:200], in_flight)
    totals = {"pyzorv": 0.0, "qdrant-client": 0.0}
    for r in range(rounds):
        order = [("pyzorv", zorv_query), ("qdrant-client", official_query)]
        if r % 2:
            order.reverse()
        for name, call in order:
            totals[name] += await gather_in_flight(call, queries, in_flight)
    zorv.close()
    await official.close()
    n = rounds * len(queries)
    return {name: {"qps": n / wall} for name, wall in totals.items()}


def upsert_child(which: str, url: str, grpc_url: str | None, points: int, batch_size: int, chunk: int) -> None:
    """Runs in a fresh process: one bulk upsert, its figures as JSON on stdout. A "-grpc" client
    writes over the gRPC port; the collection is made over REST either way."""
    collection = f"bulk_{which.replace('-', '_')}"
    setup = qdrant(url)
    from qdrant_client import models

    if setup.collection_exists(collection):
        setup.delete_collection(collection)
    setup.create_collection(collection, vectors_config=models.VectorParams(size=DIM, distance=models.Distance.COSINE))
    setup.close()
    rng = random.Random(SEED + 1)
    elapsed = 0.0
    if which.startswith("pyzorv"):
        import pyzorv

        client = pyzorv.Client(url=grpc_url, use_grpc=True) if which.endswith("-grpc") else pyzorv.Client(url=url)
        for base in range(0, points, chunk):
            rows = [
                {"id": i, "vector": [rng.uniform(-1.0, 1.0) for _ in range(DIM)], **payload(i)}
                for i in range(base, min(points, base + chunk))
            ]
            start = time.perf_counter()
            report = client.upsert_many(collection, rows, batch_size=batch_size)
            elapsed += time.perf_counter() - start
            assert report.ok, report
        client.close()
    else:
        client = qdrant(url, grpc_url if which.endswith("-grpc") else None)
        for base in range(0, points, chunk):
            structs = [
                models.PointStruct(id=i, vector=[rng.uniform(-1.0, 1.0) for _ in range(DIM)], payload=payload(i))
                for i in range(base, min(points, base + chunk))
            ]
            start = time.perf_counter()
            client.upload_points(collection, structs, batch_size=batch_size, wait=False)
            elapsed += time.perf_counter() - start
        client.close()
    print(json.dumps({"pps": points / elapsed, "rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024}))


UPSERT_CLIENTS = ["pyzorv", "qdrant-client", "pyzorv-grpc", "qdrant-client-grpc"]


def bulk(url: str, grpc_url: str | None, points: int, batch_size: int) -> dict:
    results = {}
    for which in UPSERT_CLIENTS if grpc_url else UPSERT_CLIENTS[:2]:
        out = subprocess.run(
            [sys.executable, __file__, "--upsert-child", which, "--url", url, "--grpc-url", grpc_url or "",
             "--points", str(points), "--batch-size", str(batch_size)],
            check=True, capture_output=True, text=True, timeout=1800,
        )
        results[which] = json.loads(out.stdout.strip().splitlines()[-1])
    return results


def line(label: str, ours: float, theirs: float, unit: str, target: str, ratio: float) -> None:
    def figure(value: float) -> str:
        return f"{value:>10.3f}" if value < 10 else f"{value:>10.1f}"

    print(f"{label:<34} pyzorv {figure(ours)} {unit:<9} qdrant-client {figure(theirs)} {unit:<9}"
          f" ratio {ratio:5.2f}x  target {target}")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="fewer rounds and points, for a smoke run")
    parser.add_argument("--upsert-child", choices=UPSERT_CLIENTS)
    parser.add_argument("--url")
    parser.add_argument("--grpc-url")
    parser.add_argument("--points", type=int, default=100_000)
    parser.add_argument("--batch-size", type=int, default=256)
    args = parser.parse_args()
    if args.upsert_child:
        upsert_child(args.upsert_child, args.url, args.grpc_url or None, args.points, args.batch_size, chunk=10_000)
        return

    url, grpc_url, folder = start_server()
    try:
        points = 2_000 if args.quick else 10_000
        load_collection(url, points)
        queries = vectors(200 if args.quick else 1_000, SEED + 2)
        rounds = 2 if args.quick else 6
        print(f"cores: {os.cpu_count()} (affinity {len(os.sched_getaffinity(0))}); {points} points of {DIM} dims")
        one = single_thread(url, queries, rounds)
        many = asyncio.run(concurrent(url, queries, rounds, 64))
        one_grpc = single_thread(url, queries, rounds, grpc_url) if grpc_url else None
        many_grpc = asyncio.run(concurrent(url, queries, rounds, 64, grpc_url)) if grpc_url else None
        loaded = bulk(url, grpc_url, 10_000 if args.quick else args.points, args.batch_size)
    finally:
        stop_server(folder)

    z, q = one["pyzorv"], one["qdrant-client"]
    line("1. single-thread queries/s", z["qps"], q["qps"], "q/s", ">= 1.3x", z["qps"] / q["qps"])
    z2, q2 = many["pyzorv"], many["qdrant-client"]
    line("2. asyncio, 64 in flight", z2["qps"], q2["qps"], "q/s", ">= 2x", z2["qps"] / q2["qps"])
    line("3. client CPU per query", z["cpu_ms"], q["cpu_ms"], "ms", "<= 0.2x", z["cpu_ms"] / q["cpu_ms"])
    zb, qb = loaded["pyzorv"], loaded["qdrant-client"]
    line("4. bulk upsert points/s", zb["pps"], qb["pps"], "points/s", ">= 2x", zb["pps"] / qb["pps"])
    line("   peak RSS of the upsert process", zb["rss_mb"], qb["rss_mb"], "MB", "(shown)", zb["rss_mb"] / qb["rss_mb"])
    if one_grpc is None:
        print("gRPC rows skipped: no gRPC URL (set ZORV_TEST_QDRANT_GRPC_URL)")
        return
    z, q, r = one_grpc["pyzorv"], one_grpc["qdrant-client"], one_grpc["pyzorv REST"]
    line("5. gRPC single-thread queries/s", z["qps"], q["qps"], "q/s", ">= 1.3x", z["qps"] / q["qps"])
    print(f"{'   gRPC vs pyzorv REST':<34} pyzorv {z['qps']:>10.1f} q/s       REST          {r['qps']:>10.1f} q/s"
          f"       ratio {z['qps'] / r['qps']:5.2f}x  target >= 1.0x")
    z2, q2 = many_grpc["pyzorv"], many_grpc["qdrant-client"]
    line("6. gRPC asyncio, 64 in flight", z2["qps"], q2["qps"], "q/s", ">= 2x", z2["qps"] / q2["qps"])
    zg, qg = loaded["pyzorv-grpc"], loaded["qdrant-client-grpc"]
    line("7. gRPC bulk upsert points/s", zg["pps"], qg["pps"], "points/s", ">= 2x", zg["pps"] / qg["pps"])
    print(f"{'   gRPC vs pyzorv REST':<34} pyzorv {zg['pps']:>10.1f} points/s  REST          {zb['pps']:>10.1f} points/s"
          f"  ratio {zg['pps'] / zb['pps']:5.2f}x  target >= 1.2x")


if __name__ == "__main__":
    main()
