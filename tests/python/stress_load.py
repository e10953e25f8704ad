"""Runs rounds of 1,000 concurrent execute_async calls on one client and prints what it saw as JSON.

Usage: stress_load.py URL COLLECTION ROUNDS. Runs in a fresh interpreter so that the thread count
and RSS are this client's alone."""

import asyncio
import ctypes
import gc
import json
import sys
import urllib.parse

import pyzorv
import stress_probe

CALLS = 1000
LIBC = ctypes.CDLL(None)


def trim_heap():
    """Hands freed heap pages back to the system, so that RSS shows what is still in use rather than
    what malloc's per-thread arenas keep for later."""
    LIBC.malloc_trim(0)

ROUND_SECONDS = 30


async def one_round(client, query, vectors, port, seen):
    async def sample():
        while True:
            seen["threads"] = max(seen["threads"], stress_probe.native_threads())
            seen["connections"] = max(seen["connections"], len(stress_probe.connections(port)))
            seen["rss_peak"] = max(seen["rss_peak"], stress_probe.rss_bytes())
            await asyncio.sleep(0.005)

    sampler = asyncio.create_task(sample())
    try:
        calls = [client.execute_async(query, params={"v": vectors[i]}) for i in range(CALLS)]
        reports = await asyncio.wait_for(asyncio.gather(*calls), ROUND_SECONDS)
    finally:
        sampler.cancel()
    return [i for i, report in enumerate(reports) if [hit.id for hit in report.hits()][:1] != [i]]


def main():
    url, collection, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    port = urllib.parse.urlsplit(url).port
    vectors = stress_probe.vectors()
    query = stress_probe.query_text(collection)
    client = pyzorv.Client(url)
    client.execute(query, params={"v": vectors[0]})  # starts the pool and the transfer thread
    trim_heap()
    seen = {"threads": stress_probe.native_threads(), "connections": 0, "rss_peak": 0}
    out = {"threads_before": seen["threads"], "rss_start": stress_probe.rss_bytes(), "rss_after": [], "wrong": []}
    for _ in range(rounds):
        out["wrong"] += asyncio.run(one_round(client, query, vectors, port, seen))
        gc.collect()
        trim_heap()
        out["rss_after"].append(stress_probe.rss_bytes())
    out.update(max_threads=seen["threads"], max_connections=seen["connections"], rss_peak=seen["rss_peak"],
               allowance=stress_probe.thread_allowance(stress_probe.pool_threads(), clients=1))
    print(json.dumps(out))


if __name__ == "__main__":
    main()
