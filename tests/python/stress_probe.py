"""What the stress tests measure of a process and the data they query: shared by test_stress.py and the
scripts it runs in fresh interpreters."""

import json
import os
import random
import re
import subprocess
import threading
import urllib.request

DIMENSION = 16
POINTS = 1000
SEED = 20261211


def vectors():
    """The stored vectors, point id i holding vectors()[i]; random directions, so each is its own nearest."""
    rng = random.Random(SEED)
    return [[rng.uniform(-1.0, 1.0) for _ in range(DIMENSION)] for _ in range(POINTS)]


def query_text(collection):
    return f"QUERY :v FROM {collection} LIMIT 10"


def rest(url, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    request = urllib.request.Request(url + path, data=data, method=method,
                                     headers={"content-type": "application/json"})
    with urllib.request.urlopen(request, timeout=30) as reply:
        return json.loads(reply.read())


def create_collection(url, name):
    rest(url, "PUT", f"/collections/{name}", {"vectors": {"size": DIMENSION, "distance": "Cosine"}})
    points = [{"id": i, "vector": v, "payload": {"n": i}} for i, v in enumerate(vectors())]
    rest(url, "PUT", f"/collections/{name}/points?wait=true", {"points": points})


def drop_collection(url, name):
    rest(url, "DELETE", f"/collections/{name}")


def native_threads():
    """Threads of this process that Python's threading module did not start (C threads: the pool's,
    libcurl's transfer threads)."""
    return len(os.listdir("/proc/self/task")) - threading.active_count()


def thread_allowance(pool_threads, clients):
    """Native threads a process may hold: the shared pool plus the one transfer thread, however many clients."""
    del clients
    return pool_threads + 1


def pool_threads():
    return len(os.sched_getaffinity(0))


def rss_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _socket_inodes():
    inodes = set()
    for fd in os.listdir("/proc/self/fd"):
        try:
            target = os.readlink(f"/proc/self/fd/{fd}")
        except OSError:
            continue  # closed meanwhile
        if target.startswith("socket:["):
            inodes.add(target[8:-1])
    return inodes


def connections(port):
    """Local ports of this process's ESTABLISHED TCP connections to `port`."""
    mine = _socket_inodes()
    found = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as lines:
                rows = lines.read().splitlines()[1:]
        except OSError:
            continue
        for row in rows:
            fields = row.split()
            local, remote, state, inode = fields[1], fields[2], fields[3], fields[9]
            if state == "01" and int(remote.rsplit(":", 1)[1], 16) == port and inode in mine:
                found.add(int(local.rsplit(":", 1)[1], 16))
    return found


def bytes_sent(port, local_ports):
    """Bytes the kernel has sent on each ESTABLISHED connection to `port` from one of `local_ports`
    (whichever process holds it), from `ss -tin`."""
    listing = subprocess.run(["ss", "-tin", "state", "established", f"dport = :{port}"], capture_output=True,
                             text=True, timeout=10, check=True).stdout
    sent, local = {}, None
    for line in listing.splitlines()[1:]:
        if not line.startswith(("\t", " ")):
            local = int(line.split()[2].rsplit(":", 1)[1])
        elif local in local_ports:
            found = re.search(r"\bbytes_sent:(\d+)", line)
            sent[local] = int(found.group(1)) if found else 0
    return sent
