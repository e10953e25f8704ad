"""Client.execute against the live server: the overhead of one call over a bare http.client request
for the same count, and the throughput of 1 to 8 threads sharing one client.

Needs a server: set ZORV_TEST_QDRANT_URL (scripts/test starts one from ../shared/qdrant/)."""

import concurrent.futures
import http.client
import json
import os
import sys
import time
import urllib.parse
import uuid

from pyzorv import Client

CALLS = 2_000


def bare_count(connection, collection):
    body = json.dumps({"exact": True})
    connection.request("POST", f"/collections/{collection}/points/count", body=body,
                       headers={"content-type": "application/json"})
    reply = connection.getresponse()
    return json.loads(reply.read())["result"]["count"]


def per_call(calls, work):
    start = time.perf_counter()
    for _ in range(calls):
        work()
    return (time.perf_counter() - start) / calls


def threaded(client, statement, threads):
    per_thread = CALLS // threads
    with concurrent.futures.ThreadPoolExecutor(threads) as pool:
        start = time.perf_counter()
        list(pool.map(lambda _: [client.execute(statement) for _ in range(per_thread)], range(threads)))
        elapsed = time.perf_counter() - start
    return per_thread * threads / elapsed


def main():
    url = os.environ.get("ZORV_TEST_QDRANT_URL", "").rstrip("/")
    if not url:
        print("skipped: set ZORV_TEST_QDRANT_URL to a running Qdrant server")
        return 0
    parts = urllib.parse.urlsplit(url)
    collection = "bench_" + uuid.uuid4().hex[:8]
    client = Client(url)
    client.execute(f"CREATE COLLECTION {collection} (v VECTOR(4, DOT))")
    try:
        statement = f"COUNT FROM {collection}"
        connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=30)
        for _ in range(100):  # warm both connections
            bare_count(connection, collection)
            client.execute(statement)
        bare = per_call(CALLS, lambda: bare_count(connection, collection))
        ours = per_call(CALLS, lambda: client.execute(statement))
        print(f"http.client COUNT: {bare * 1e6:.0f} us/call; Client.execute: {ours * 1e6:.0f} us/call; "
              f"overhead {(ours - bare) * 1e6:+.0f} us/call")
        for threads in (1, 2, 4, 8):
            print(f"{threads} thread(s) on one client: {threaded(client, statement, threads):,.0f} calls/s")
    finally:
        client.execute(f"DROP COLLECTION {collection}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
