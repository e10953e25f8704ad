"""pyzorv.Client: construction, argument checks, lifecycle, blocking and async runs, the shared pool."""

import asyncio
import inspect
import json
import math
import os
import socket
import subprocess
import sys
import textwrap
import threading
import time
import _thread
import urllib.request
import uuid

import pytest

import pyzorv
from pyzorv import Client, ZorvBackendError, ZorvExecutionError, ZorvTransportError, ZorvValidationError
from recording_proxy import RecordingProxy

# A port nothing listens on: the offline tests never send, and a test that did would fail fast.
DEAD_URL = "http://127.0.0.1:9"
BOUND_SECONDS = 60


def rest(url, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    request = urllib.request.Request(url + path, data=data, method=method,
                                     headers={"content-type": "application/json"})
    with urllib.request.urlopen(request, timeout=10) as reply:
        return json.loads(reply.read())


@pytest.fixture
def closed_client():
    client = Client(DEAD_URL)
    client.close()
    return client


@pytest.fixture
def collection(qdrant_url):
    """A fresh collection with one unnamed 2-d vector and one point whose payload keys are not sorted."""
    name = "client_" + uuid.uuid4().hex[:12]
    rest(qdrant_url, "PUT", f"/collections/{name}", {"vectors": {"size": 2, "distance": "Cosine"}})
    rest(qdrant_url, "PUT", f"/collections/{name}/points?wait=true",
         {"points": [{"id": 7, "vector": [0.1, 0.2], "payload": {"zeta": 1, "alpha": "a", "mid": [2]}}]})
    yield name
    rest(qdrant_url, "DELETE", f"/collections/{name}")


@pytest.fixture
def proxy(qdrant_url):
    recorder = RecordingProxy(qdrant_url)
    yield recorder
    recorder.close()


def run_script(body):
    """Runs `body` in a fresh interpreter (its own pool), returning its stdout."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(body)], capture_output=True, text=True,
                          timeout=BOUND_SECONDS, env=dict(os.environ))
    assert done.returncode == 0, done.stderr
    return done.stdout


# Construction


def test_new_client_defaults():
    client = Client()
    assert client.is_closed is False
    assert client.route_affinity is None
    assert Client(DEAD_URL, route_affinity="").route_affinity == ""
    assert Client(DEAD_URL, route_affinity="a\nb").route_affinity == "a\nb"


@pytest.mark.parametrize("kwargs, text", [
    ({"url": None}, "argument 'url' must be str, not NoneType"),
    ({"api_key": 5}, "argument 'api_key' must be str, not int"),
    ({"use_grpc": None}, "argument 'use_grpc' must be bool, not NoneType"),
    ({"route_affinity": b"r"}, "argument 'route_affinity' must be str, not bytes"),
    ({"colour": 1}, "'colour' is an invalid keyword argument"),
])
def test_constructor_argument_types(kwargs, text):
    with pytest.raises(TypeError, match=text):
        Client(**kwargs)


def test_signatures_and_docs():
    assert str(inspect.signature(Client)) == (
        "(url='http://localhost:6333', api_key=None, use_grpc=False, embedder=None, route_affinity=None)")
    assert str(inspect.signature(Client.execute)) == "(self, /, query, *, params=None, on_error='stop')"
    assert str(inspect.signature(Client.upsert_many)) == (
        "(self, /, collection, rows, *, batch_size=100, on_error='stop')")
    assert Client.compile.__doc__ == ("Compile a ZORV query to its transport route without executing.\n"
                                      "Optionally accepts `params` to bind before compiling.")
    assert pyzorv.pyzorv.__all__[:5] == ["ScoredPoint", "ExecutionReport", "Stmt", "HttpEmbedder", "Client"]


def test_client_is_subclassable():
    class Mine(Client):
        pass

    assert Mine(DEAD_URL).is_closed is False


EMBEDDER = {"endpoint": "http://127.0.0.1:9/embed", "model": "m", "dimension": 8}


@pytest.mark.parametrize("change, error, text", [
    ({"endpoint": None}, ValueError, "embedder.endpoint is required"),
    ({"model": None}, ValueError, "embedder.model is required"),
    ({"dimension": None}, ValueError, "embedder.dimension is required"),
    ({"endpoint": "   "}, ValueError, "embedder.endpoint must not be empty"),
    ({"model": ""}, ValueError, "embedder.model must not be empty"),
    ({"dimension": 0}, ValueError, "embedder.dimension must be positive"),
    ({"endpoint": 5}, TypeError, "'int' object is not an instance of 'str'"),
    ({"dimension": 8.0}, TypeError, "'float' object cannot be interpreted as an integer"),
    ({"dimension": -1}, OverflowError, None),
    ({"bm25_stopwords": "the"}, TypeError, "a str is not taken as a list of str"),
])
def test_embedder_dict_refusals(change, error, text):
    settings = {**EMBEDDER, **change}
    settings = {k: v for k, v in settings.items() if v is not None or k not in ("endpoint", "model", "dimension")}
    with pytest.raises(error, match=text):
        Client(DEAD_URL, embedder=settings)


def test_embedder_argument_kinds():
    with pytest.raises(TypeError, match="^embedder must be an HttpEmbedder or dict$"):
        Client(DEAD_URL, embedder=[EMBEDDER])
    assert not Client(DEAD_URL, embedder=pyzorv.HttpEmbedder("http://127.0.0.1:9/e", "m", 4)).is_closed
    # Only the first failure counts: a missing endpoint before a badly typed BM25 option.
    with pytest.raises(ValueError, match="embedder.endpoint is required"):
        Client(DEAD_URL, embedder={"model": "m", "dimension": 8, "bm25_k1": "x"})


def test_embedder_dict_is_read_from_a_copy():
    settings = {**EMBEDDER, "apiKey": "k", "multiEndpoint": " ", "bm25Stopwords": ("a", "b"), "bm25K1": 1}
    before = dict(settings)
    Client(DEAD_URL, embedder=settings)
    assert settings == before
    # The alias still wins over the snake_case key on the copy: a wrong-typed alias is what is read.
    with pytest.raises(TypeError, match="'int' object is not an instance of 'str'"):
        Client(DEAD_URL, embedder={**EMBEDDER, "api_key": "k", "apiKey": 5})
    Client(DEAD_URL, embedder={**EMBEDDER, "api_key": "k", "apiKey": None})


# Argument checks, in the order the calls make them


ON_ERROR = "on_error must be 'stop' or 'continue'"
QUERY_TYPE = "query must be a str, Stmt, list[str], or list[Stmt]"
BATCH_LENGTH = ("[ZORV-BIND-BATCH-LENGTH] statement-scoped params list has 1 entry but 2 statements were given; "
                "provide one params container (object or array) per statement")
ROWS = "[ZORV-BIND-TYPE-MISMATCH] upsert_many rows must be a list of point objects ({id, vector, \u2026payload})"


def bound_stmt():
    return pyzorv.bind(pyzorv.parse("COUNT FROM c WHERE a = :a")[0], {"a": 1})


@pytest.mark.parametrize("call, error, text", [
    (lambda c: c.execute("QUERY", on_error="Stop"), ValueError, ON_ERROR),
    (lambda c: c.execute(5, on_error="continue "), ValueError, ON_ERROR),
    (lambda c: c.execute(5), TypeError, QUERY_TYPE),
    (lambda c: c.execute(("COUNT FROM c",)), TypeError, QUERY_TYPE),
    (lambda c: c.execute(["COUNT FROM c", pyzorv.parse("COUNT FROM c")[0]]), TypeError,
     "list items must be strings or Stmt objects"),
    (lambda c: c.execute([pyzorv.parse("COUNT FROM c")[0], "COUNT FROM c"]), TypeError,
     "'str' object is not an instance of 'Stmt'"),
    (lambda c: c.execute([pyzorv.parse("COUNT FROM c")[0], None]), TypeError,
     "'None' is not an instance of 'Stmt'"),
    (lambda c: c.execute("COUNT FROM c WHERE a = :a; COUNT FROM c WHERE a = :a", params=[{"a": 1}]),
     ZorvValidationError, BATCH_LENGTH),
    (lambda c: c.execute(["COUNT FROM c", "COUNT FROM c"], params=[{"a": 1}]), ZorvValidationError, BATCH_LENGTH),
    (lambda c: c.execute(bound_stmt(), params={"a": 2}), ZorvValidationError, "[ZORV-BIND-ALREADY-BOUND]"),
    (lambda c: c.execute([bound_stmt()], params={"a": 2}), ZorvValidationError, "[ZORV-BIND-ALREADY-BOUND]"),
    (lambda c: c.execute("COUNT FROM c WHERE a = :a", params={"b": 1}), ZorvValidationError,
     "[ZORV-BIND-MISSING-PARAM]"),
    (lambda c: c.execute("COUNT FROM c WHERE a = :a; COUNT", params=[{"a": 1}, {"a": 2}]), pyzorv.ZorvSyntaxError,
     "[ZORV-PARSE"),
    (lambda c: c.explain_analyze("COUNT FROM c", on_error="STOP"), ValueError, ON_ERROR),
    (lambda c: c.explain_analyze(["COUNT FROM c"]), ZorvValidationError,
     "[ZORV-VALIDATION-ANALYZE-BATCH] explain_analyze accepts a single statement (string or Stmt), not a batch; "
     "analyze each entry separately"),
    (lambda c: c.explain_analyze("COUNT FROM c WHERE a = ?", params=[[1]]), ZorvValidationError,
     "[ZORV-VALIDATION-ANALYZE-BATCH]"),
    (lambda c: c.upsert_many("c", "abc"), ZorvValidationError, ROWS),
    (lambda c: c.upsert_many("c", {"id": 1}), ZorvValidationError, ROWS),
    (lambda c: c.upsert_many("c", 5), ZorvValidationError, ROWS),
    (lambda c: c.upsert_many("c", "abc", on_error="Continue"), ValueError, ON_ERROR),
    (lambda c: c.upsert_many("c", [{"id": 1, "vector": [0.5, math.nan]}]), ValueError,
     "cannot bind non-finite float value 'NaN'"),
    (lambda c: c.upsert_many("c", [], batch_size=-1), OverflowError, ""),
    (lambda c: c.compile(5), TypeError, "argument 'query' must be str"),
    (lambda c: c.__exit__(None, None), TypeError, "missing required argument '_traceback'"),
])
def test_argument_failures_come_before_the_closed_check(closed_client, call, error, text):
    with pytest.raises(error) as raised:
        call(closed_client)
    assert text in str(raised.value)


def test_binding_does_not_change_the_stmt(closed_client):
    stmt = bound_stmt()
    with pytest.raises(ZorvValidationError):
        closed_client.execute(stmt, params={"a": 2})
    assert stmt.bound and str(stmt) == "COUNT FROM c WHERE a = 1"


# Lifecycle


CLOSED = "[ZORV-CLIENT-CLOSED] cannot execute query on a closed executor"


def test_close_and_with():
    client = Client(DEAD_URL)
    assert client.close() is None and client.close() is None
    assert client.is_closed
    with Client(DEAD_URL) as entered:
        inner = entered
        assert not entered.is_closed
    assert inner.is_closed
    other = Client(DEAD_URL)
    assert other.__enter__() is other
    assert other.__exit__(None, None, None) is False and other.is_closed
    with pytest.raises(KeyError):
        with Client(DEAD_URL) as raising:
            raise KeyError("inside")
    assert raising.is_closed


@pytest.mark.parametrize("call", [
    lambda c: c.execute("COUNT FROM c"),
    lambda c: c.execute(["COUNT FROM c"]),
    lambda c: c.execute(pyzorv.parse("COUNT FROM c")[0]),
    lambda c: c.explain_analyze("COUNT FROM c"),
    lambda c: c.upsert_many("c", [{"id": 1, "vector": [0.5, 0.5]}]),
])
def test_closed_client_refuses_runs(closed_client, call):
    with pytest.raises(ZorvExecutionError) as raised:
        call(closed_client)
    assert str(raised.value) == CLOSED and raised.value.code == "ZORV-CLIENT-CLOSED"


def test_closed_client_still_explains_and_compiles(closed_client):
    assert closed_client.explain("COUNT FROM c")["ok"] is True
    assert closed_client.compile("COUNT FROM c WHERE a = :a", {"a": 1})["path"] == "/collections/c/points/count"


# Live runs


def test_query_returns_the_stored_point(qdrant_url, collection):
    report = Client(qdrant_url + "//").execute(f"QUERY [0.1, 0.2] FROM {collection} LIMIT 1")
    result = report.results[0]
    assert result["message"] == "Found 1 hits" and result["ok"] is True
    hit = report.hits()[0]
    assert hit.id == 7
    assert list(hit.payload.items()) == [("zeta", 1), ("alpha", "a"), ("mid", [2])]


def test_missing_collection_is_a_backend_error(qdrant_url):
    with pytest.raises(ZorvBackendError) as raised:
        Client(qdrant_url).execute("COUNT FROM client_missing_collection")
    assert raised.value.fields["status_code"] == "404"


def test_show_collection_reads_back_through_from_results(qdrant_url, collection):
    shown = Client(qdrant_url).execute(f"SHOW COLLECTION {collection}").collection()
    assert shown["points_count"] == 1
    again = pyzorv.ExecutionReport.from_results([{"operation": "SHOW_COLLECTION", "collection": shown}])
    assert again.collection() == shown


@pytest.mark.parametrize("kwargs, expected", [
    ({"api_key": "k", "route_affinity": "r"}, {"api-key": "k", "x-qdrant-route-affinity": "r"}),
    ({"route_affinity": ""}, {}),
    ({}, {}),
])
def test_headers_on_the_wire(proxy, kwargs, expected):
    Client(proxy.url, **kwargs).execute("SHOW COLLECTIONS")
    method, path, headers = proxy.requests[-1]
    assert (method, path) == ("GET", "/collections")
    seen = {k.lower(): v for k, v in headers.items() if k.lower() in ("api-key", "x-qdrant-route-affinity")}
    assert seen == expected
    assert headers.get("x-request-id", "").startswith("zorv-")


@pytest.mark.parametrize("kwargs", [{"api_key": "a\nb"}, {"route_affinity": "a\nb"}])
def test_header_values_with_control_characters_are_refused_unsent(proxy, kwargs):
    client = Client(proxy.url, **kwargs)
    with pytest.raises(ZorvTransportError) as raised:
        client.execute("SHOW COLLECTIONS")
    assert raised.value.code == "ZORV-TRANSPORT-REQUEST"
    assert raised.value.fields["url"] == proxy.url + "/collections"
    assert raised.value.request_id.startswith("zorv-")
    assert "a\nb" not in str(raised.value)
    assert proxy.requests == []


def test_blocking_wait_is_interruptible():
    """Ctrl-C raises at once in the caller, though the server never answers."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen()
    url = f"http://127.0.0.1:{listener.getsockname()[1]}"
    timer = threading.Timer(0.2, _thread.interrupt_main)
    started = time.monotonic()
    try:
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            Client(url).execute("SHOW COLLECTIONS")
        assert time.monotonic() - started < 5
    finally:
        timer.cancel()
        listener.close()


# execute_async


def test_execute_async_needs_a_running_loop():
    with pytest.raises(RuntimeError, match="no running event loop"):
        Client(DEAD_URL).execute_async("COUNT FROM c")


def test_execute_async_checks_arguments_at_the_call():
    async def main():
        client = Client(DEAD_URL)
        with pytest.raises(ValueError, match=ON_ERROR):
            client.execute_async("COUNT FROM c", on_error="Stop")
        with pytest.raises(TypeError) as raised:
            client.execute_async(5)
        assert str(raised.value) == QUERY_TYPE
        client.close()
        pending = client.execute_async("COUNT FROM c")
        with pytest.raises(ZorvExecutionError, match=r"^\[ZORV-CLIENT-CLOSED\]"):
            await asyncio.wait_for(pending, BOUND_SECONDS)

    asyncio.run(main())


def test_execute_async_runs(qdrant_url, collection):
    async def main():
        client = Client(qdrant_url)
        first, second = await asyncio.wait_for(asyncio.gather(
            client.execute_async(f"COUNT FROM {collection}"),
            client.execute_async(f"QUERY [0.1, 0.2] FROM {collection} LIMIT 1")), BOUND_SECONDS)
        assert first.count() == 1 and first.results[0]["operation"] == "COUNT"
        assert second.hits()[0].id == 7
        with pytest.raises(ZorvBackendError):
            await asyncio.wait_for(client.execute_async("COUNT FROM client_missing_collection"), BOUND_SECONDS)

    asyncio.run(main())


def test_cancelled_execute_async_still_lands(qdrant_url, collection):
    async def main():
        client = Client(qdrant_url)
        future = client.execute_async(f"UPSERT INTO {collection} VALUES {{id: 8, vector: [0.3, 0.4]}}")
        future.cancel()
        with pytest.raises(asyncio.CancelledError):
            await future
        deadline = time.monotonic() + BOUND_SECONDS
        while client.execute(f"COUNT FROM {collection}").count() != 2:
            assert time.monotonic() < deadline
            await asyncio.sleep(0.05)
        await asyncio.sleep(0.1)  # a completion arriving now must leave the cancelled future alone
        assert future.cancelled()

    asyncio.run(main())


# The shared pool, in fresh interpreters


def test_one_pool_and_one_transfer_thread_for_every_client(qdrant_url):
    out = run_script(f"""
        import os, pyzorv
        threads = lambda: len(os.listdir("/proc/self/task"))
        base = threads()
        client = pyzorv.Client({qdrant_url!r})
        constructed = threads()
        client.execute("SHOW COLLECTIONS")
        running = threads()
        for other in (pyzorv.Client({qdrant_url!r}), pyzorv.Client({qdrant_url!r})):
            other.execute("SHOW COLLECTIONS")
        client.execute("SHOW COLLECTIONS")
        print(base, constructed, running, threads(), len(os.sched_getaffinity(0)))
    """)
    base, constructed, running, after, cpus = map(int, out.split())
    assert constructed == base
    assert running == base + cpus + 1  # the pool's threads and the one transfer thread
    assert after == running


def test_forked_child_builds_its_own_pool(qdrant_url):
    out = run_script(f"""
        import asyncio, os, pyzorv
        pyzorv.Client({qdrant_url!r}).execute("SHOW COLLECTIONS")
        pid = os.fork()
        if pid == 0:
            try:
                client = pyzorv.Client({qdrant_url!r})
                ok = client.execute("SHOW COLLECTIONS").ok
                async def run_async():
                    return await asyncio.wait_for(client.execute_async("SHOW COLLECTIONS"), 30)
                report = asyncio.run(run_async())
                os._exit(0 if ok and report.ok else 1)
            except BaseException:
                os._exit(2)
        _, status = os.waitpid(pid, 0)
        print(os.waitstatus_to_exitcode(status), pyzorv.Client({qdrant_url!r}).execute("SHOW COLLECTIONS").ok)
    """)
    assert out.split() == ["0", "True"]


# EXPLAIN ANALYZE and the bulk upsert


def test_explain_analyze_dict(qdrant_url, collection):
    analysis = Client(qdrant_url).explain_analyze(f"COUNT FROM {collection}")
    assert list(analysis)[:4] == ["ok", "phases", "plan", "results"]
    assert list(analysis)[4] == "server_time_s"
    assert analysis["ok"] is True
    assert list(analysis["phases"]) == ["decode_ms", "dispatch_ms", "parse_ms", "prepare_plan_ms", "total_ms"]
    assert analysis["phases"]["parse_ms"] > 0.0
    (result,) = analysis["results"]
    t = analysis["server_time_s"]
    assert result == {"data": {"count": 1}, "message": "Count: 1", "ok": True, "operation": "COUNT",
                      "telemetry": {"time_s": t}}
    assert list(result) == ["data", "message", "ok", "operation", "telemetry"]
    assert Client(qdrant_url).explain_analyze(pyzorv.parse(f"COUNT FROM {collection}")[0])["phases"]["parse_ms"] == 0.0


def test_upsert_many_in_chunks(qdrant_url, collection):
    client = Client(qdrant_url)
    report = client.upsert_many(collection, [{"id": 100 + i, "vector": [0.0, 1.0], "n": i} for i in range(250)])
    assert [r["operation"] for r in report.results] == ["UPSERT"] * 3 and report.ok
    deadline = time.monotonic() + BOUND_SECONDS
    while client.execute(f"COUNT FROM {collection}").count() != 251:
        assert time.monotonic() < deadline
        time.sleep(0.05)
    assert client.upsert_many(collection, ()).results == []
