"""Forks while a client is open, its pool running and a thread querying, then checks both sides.

Usage: stress_fork.py URL COLLECTION [quiet]. In each child (a plain os.fork, then the workers of a 4-process
multiprocessing pool with the fork start method) the parent's client and a new client run queries,
blocking and async; the parent keeps querying meanwhile, unless "quiet" is given. Prints one JSON object; exits 0 when
the script itself ran to its end."""

import asyncio
import json
import multiprocessing
import os
import sys
import threading
import time
import traceback
import urllib.parse

import pyzorv
import stress_probe

BOUND_SECONDS = 20

URL, COLLECTION = sys.argv[1], sys.argv[2]
PARENT_QUERIES = sys.argv[3:] != ["quiet"]
PORT = urllib.parse.urlsplit(URL).port
VECTORS = stress_probe.vectors()
QUERY = stress_probe.query_text(COLLECTION)
CLIENT = pyzorv.Client(URL)
# Used by the parent once before any fork and never again there: whatever is sent on its connections
# afterwards was sent by a child. Clients share idle connections to the same host, so this one names
# the server differently to be sure its connection is its own.
IDLE = pyzorv.Client(URL.replace("//127.0.0.1:", "//localhost:", 1))
IDLE_PORTS = set()


def wrong_answers(client, ids):
    """The ids among `ids` whose query, blocking then async, did not find that very point first."""
    wrong = [i for i in ids if client.execute(QUERY, params={"v": VECTORS[i]}).hits()[0].id != i]

    async def run_async():
        calls = [client.execute_async(QUERY, params={"v": VECTORS[i]}) for i in ids]
        return await asyncio.wait_for(asyncio.gather(*calls), BOUND_SECONDS)

    reports = asyncio.run(run_async())
    return wrong + [i for i, report in zip(ids, reports) if report.hits()[0].id != i]


# Per process: the connections it held when its first check began, that is those inherited from the parent.
INHERITED = {}


def child_checks(first_id):
    """Runs in a forked child: a list of faults, empty when all went well."""
    try:
        inherited = INHERITED.setdefault(os.getpid(), stress_probe.connections(PORT))
        idle_sent = stress_probe.bytes_sent(PORT, IDLE_PORTS)
        ids = list(range(first_id, first_id + 5))
        faults = [f"inherited client: wrong nearest point for {i}" for i in wrong_answers(CLIENT, ids)]
        faults += [f"inherited idle client: wrong nearest point for {i}" for i in wrong_answers(IDLE, ids)]
        faults += [f"new client: wrong nearest point for {i}" for i in wrong_answers(pyzorv.Client(URL), ids)]
        if not stress_probe.connections(PORT) - inherited:
            faults.append("the child opened no connection of its own")
        if stress_probe.bytes_sent(PORT, IDLE_PORTS) != idle_sent:
            faults.append("the child wrote to a connection it inherited")
        return faults
    except BaseException:
        return [traceback.format_exc()]


class ParentQueries(threading.Thread):
    """The parent's own traffic while children come and go: every answer must stay its own."""

    def __init__(self):
        super().__init__(daemon=True)
        self.stop = threading.Event()
        self.calls = 0
        self.faults = []

    def run(self):
        i = 0
        while not self.stop.is_set():
            i = (i + 7) % len(VECTORS)
            try:
                found = CLIENT.execute(QUERY, params={"v": VECTORS[i]}).hits()[0].id
                if found != i:
                    self.faults.append(f"parent: wrong nearest point for {i}: {found}")
            except Exception as error:  # noqa: BLE001 - any failure is a finding
                self.faults.append(f"parent: {error!r}")
            self.calls += 1


def plain_fork():
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        try:
            os.write(write_end, json.dumps(child_checks(100)).encode())
        finally:
            os._exit(0)
    os.close(write_end)
    deadline = time.monotonic() + BOUND_SECONDS
    while os.waitpid(pid, os.WNOHANG) == (0, 0):
        if time.monotonic() > deadline:
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            return ["the forked child did not finish"]
        time.sleep(0.01)
    with os.fdopen(read_end, "rb") as reader:
        data = reader.read()
    return json.loads(data) if data else ["the forked child reported nothing"]


def forked_pool():
    with multiprocessing.get_context("fork").Pool(4) as pool:
        results = pool.map_async(child_checks, range(200, 240, 5)).get(BOUND_SECONDS)
    return [fault for faults in results for fault in faults]


def main():
    CLIENT.execute(QUERY, params={"v": VECTORS[0]})  # the pool, the transfer thread and a connection exist
    before = stress_probe.connections(PORT)
    IDLE.execute(QUERY, params={"v": VECTORS[0]})
    IDLE_PORTS.update(stress_probe.connections(PORT) - before)
    if not IDLE_PORTS:
        raise SystemExit("the idle client holds no connection to watch")
    parent = ParentQueries()
    if PARENT_QUERIES:
        parent.start()
    try:
        faults = {"fork": plain_fork(), "pool": forked_pool()}
        before = parent.calls
        deadline = time.monotonic() + BOUND_SECONDS
        while PARENT_QUERIES and parent.calls < before + 10 and time.monotonic() < deadline:
            time.sleep(0.01)
    finally:
        parent.stop.set()
        if PARENT_QUERIES:
            parent.join(BOUND_SECONDS)
    faults["parent"] = parent.faults
    faults["parent_calls"] = parent.calls
    print(json.dumps(faults))


if __name__ == "__main__":
    main()
