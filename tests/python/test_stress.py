"""pyzorv.Client under load and at the edges of a process's life, against a real server: a thousand
calls in flight, a close in the middle of them, fork, and an interpreter that exits with work running.
The measuring runs happen in fresh interpreters so that threads, sockets and memory are theirs alone."""

import asyncio
import gc
import json
import os
import subprocess
import sys
import threading
import uuid

import pytest

from pyzorv import Client, ZorvExecutionError
import stress_probe

HERE = os.path.dirname(os.path.abspath(__file__))
BOUND_SECONDS = 30
EXIT_SECONDS = 10
CLOSED = "[ZORV-CLIENT-CLOSED] cannot execute query on a closed executor"
# The REST transport hands libcurl at most this many requests at once, so it needs no more connections.
CONNECTION_CAP = 64
# Measured after malloc_trim: what is left above the start is live memory (caches, the first round's
# high-water marks), and a leak per call would grow it round after round.
RSS_MARGIN = 32 * 1024 * 1024
RSS_ROUND_MARGIN = 8 * 1024 * 1024
# A sanitizer's allocator keeps freed memory in quarantine, so RSS says nothing about the library there.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


@pytest.fixture(scope="module")
def stress_collection(qdrant_url):
    name = "stress_" + uuid.uuid4().hex[:12]
    stress_probe.create_collection(qdrant_url, name)
    yield name
    stress_probe.drop_collection(qdrant_url, name)


def run_script(script, *args, timeout=BOUND_SECONDS):
    """Runs tests/python/`script` in a fresh interpreter; a hang fails the test."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [HERE, env.get("PYTHONPATH")]))
    try:
        return subprocess.run([sys.executable, os.path.join(HERE, script), *map(str, args)], capture_output=True,
                              text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired as expired:
        pytest.fail(f"{script} {' '.join(map(str, args))} did not finish within {timeout} s; "
                    f"stderr: {expired.stderr!r}")


def nearest_ids(reports):
    return [[hit.id for hit in report.hits()][:1] for report in reports]


def test_a_thousand_calls_in_flight(qdrant_url, stress_collection):
    done = run_script("stress_load.py", qdrant_url, stress_collection, 3)
    assert done.returncode == 0, done.stderr
    seen = json.loads(done.stdout)
    assert seen["wrong"] == []
    assert seen["max_threads"] == seen["threads_before"] <= seen["allowance"]
    assert 0 < seen["max_connections"] <= CONNECTION_CAP
    if not SANITIZED:
        assert seen["rss_after"][-1] - seen["rss_start"] < RSS_MARGIN, seen
        assert seen["rss_after"][-1] - seen["rss_after"][0] < RSS_ROUND_MARGIN, seen


def test_close_while_threads_and_awaits_are_mid_call(qdrant_url, stress_collection):
    vectors = stress_probe.vectors()
    query = stress_probe.query_text(stress_collection)
    client = Client(qdrant_url)
    threads_count = 8
    first_done = threading.Barrier(threads_count + 1)
    outcomes = [[] for _ in range(threads_count)]

    def keep_querying(slot):
        while True:
            try:
                report = client.execute(query, params={"v": vectors[slot]})
                outcomes[slot].append(nearest_ids([report])[0] == [slot])
            except ZorvExecutionError as error:
                outcomes[slot].append(str(error))
                return
            finally:
                if len(outcomes[slot]) == 1:
                    first_done.wait(BOUND_SECONDS)

    threads = [threading.Thread(target=keep_querying, args=(slot,)) for slot in range(threads_count)]
    for thread in threads:
        thread.start()
    first_done.wait(BOUND_SECONDS)

    async def close_under_awaits():
        calls = [client.execute_async(query, params={"v": vectors[i]}) for i in range(200)]
        await asyncio.get_running_loop().run_in_executor(None, client.close)
        return await asyncio.wait_for(asyncio.gather(*calls, return_exceptions=True), BOUND_SECONDS)

    outcomes_async = asyncio.run(close_under_awaits())
    for thread in threads:
        thread.join(BOUND_SECONDS)
        assert not thread.is_alive(), "a blocking call did not end after close"
    for slot, seen in enumerate(outcomes):
        assert seen[-1] == CLOSED and seen[:-1] == [True] * (len(seen) - 1) and len(seen) > 1, (slot, seen)
    for i, outcome in enumerate(outcomes_async):
        if isinstance(outcome, BaseException):
            assert isinstance(outcome, ZorvExecutionError) and str(outcome) == CLOSED, (i, outcome)
        else:
            assert nearest_ids([outcome]) == [[i]]


def test_awaits_outlive_the_released_client(qdrant_url, stress_collection):
    vectors = stress_probe.vectors()
    query = stress_probe.query_text(stress_collection)

    async def release_under_awaits():
        client = Client(qdrant_url)
        calls = [client.execute_async(query, params={"v": vectors[i]}) for i in range(200)]
        del client
        gc.collect()
        return await asyncio.wait_for(asyncio.gather(*calls), BOUND_SECONDS)

    assert nearest_ids(asyncio.run(release_under_awaits())) == [[i] for i in range(200)]


# The sanitizer runtime of this toolchain takes no allocator locks around fork: a child forked while
# a parent thread allocates can inherit a lock held forever, and its first allocation of that size
# then never returns. Under it the parent stays quiet while children come and go, so the children's
# own work is still checked there.
def test_fork_with_an_open_client_and_a_running_pool(qdrant_url, stress_collection):
    quiet = ["quiet"] if SANITIZED else []
    done = run_script("stress_fork.py", qdrant_url, stress_collection, *quiet, timeout=2 * BOUND_SECONDS)
    assert done.returncode == 0, done.stderr
    seen = json.loads(done.stdout)
    assert seen["parent_calls"] > 0 or SANITIZED
    assert (seen["fork"], seen["pool"], seen["parent"]) == ([], [], [])


@pytest.mark.parametrize("case", ["open", "async", "daemon"])
def test_interpreter_exits_cleanly(qdrant_url, stress_collection, case):
    done = run_script("stress_exit.py", qdrant_url, stress_collection, case, timeout=EXIT_SECONDS)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "leaving\n"
    assert "Fatal Python error" not in done.stderr and "terminate called" not in done.stderr, done.stderr
