"""Client(use_grpc=True): construction, the answers it shares with REST, and how its calls fail."""

import socket
import subprocess
import sys
import time
import uuid

import pytest

from pyzorv import Client, ZorvBackendError, ZorvExecutionError, ZorvTransportError

METADATA_RULE = "gRPC metadata values must be printable ASCII (bytes 0x20 to 0x7E)"


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.mark.parametrize("url", ["grpc://bad host:1", "http://db:0", "https://db/a b"])
def test_bad_url_fails_construction(url):
    with pytest.raises(RuntimeError) as raised:
        Client(url, use_grpc=True)
    assert type(raised.value) is RuntimeError
    assert str(raised.value) == "[ZORV-TRANSPORT] invalid gRPC url: invalid URI"


# Refused before any call, so these need no server; the url field shows where the client dials.
@pytest.mark.parametrize("kwargs, url, what", [
    ({"api_key": "a\nb"}, "http://localhost:6334", "api key"),
    ({"url": "grpc://db", "api_key": "a\tb"}, "http://db:6334", "api key"),
    ({"url": "https://db:7", "api_key": "\u00e9"}, "https://db:7", "api key"),
    ({"url": "db:7", "route_affinity": "r\x7f"}, "http://db:7", "route affinity"),
    ({"url": "db:7", "api_key": "a\nb", "route_affinity": "r\n"}, "http://db:7", "api key"),
])
def test_metadata_that_grpc_cannot_carry_is_refused_unsent(kwargs, url, what):
    client = Client(use_grpc=True, **kwargs)
    with pytest.raises(ZorvTransportError) as raised:
        client.execute("SHOW COLLECTIONS")
    error = raised.value
    assert error.code == "ZORV-TRANSPORT-REQUEST"
    assert str(error) == (f"[ZORV-TRANSPORT-REQUEST] list_collections: invalid {what}: {METADATA_RULE} "
                          f"{{url: {url}, operation: list_collections}}")
    assert error.fields == {"url": url, "operation": "list_collections"}
    assert not hasattr(error, "request_id")


@pytest.mark.parametrize("statement, code", [
    ("SHOW QUOTAS", "ZORV-GRPC-QUOTA"),
    ("SET QUOTA (max_disk_usage_percent = 90)", "ZORV-GRPC-QUOTA"),
])
def test_statements_grpc_does_not_carry_fail_unsent(statement, code):
    # A closed port: a call that went out would fail with a backend error instead.
    client = Client(f"http://127.0.0.1:{closed_port()}", use_grpc=True)
    with pytest.raises(ZorvExecutionError) as raised:
        client.execute(statement)
    assert raised.value.code == code
    assert raised.value.fields == {}


def test_closed_port_fails_fast_as_unavailable():
    client = Client(f"http://127.0.0.1:{closed_port()}", use_grpc=True)
    started = time.monotonic()
    with pytest.raises(ZorvBackendError) as raised:
        client.execute("SHOW COLLECTIONS")
    assert time.monotonic() - started < 2
    assert raised.value.code == "ZORV-GRPC"
    assert raised.value.fields["grpc_code"] == "14"
    assert raised.value.fields["operation"] == "list_collections"
    assert raised.value.request_id.startswith("zorv-")


@pytest.fixture
def collection(qdrant_url):
    name = "grpc_" + uuid.uuid4().hex[:12]
    rest = Client(qdrant_url)
    rest.execute(f"CREATE COLLECTION {name} (dense VECTOR(4, DOT), words SPARSE)")
    try:
        rest.execute(f"CREATE INDEX ON COLLECTION {name} FOR city TYPE keyword WAIT true")
        rest.execute(f"UPSERT INTO {name} VALUES {{id: 1, vector: {{dense: [1, 0, 0, 0]}}, city: 'Oslo'}} WAIT true")
        yield name
    finally:
        rest.execute(f"DROP COLLECTION {name}")


def comparable(shown):
    # Over REST the server leaves its default optimizer threads unset; gRPC reports them as "auto".
    shown = dict(shown)
    optimizers = dict(shown.get("schema", {}).get("optimizers", {}))
    if optimizers.get("max_optimization_threads") == "auto":
        del optimizers["max_optimization_threads"]
    return shown | {"schema": shown.get("schema", {}) | {"optimizers": optimizers}}


def test_show_collections_and_collection_equal_rest(qdrant_url, qdrant_grpc_url, collection):
    rest, grpc = Client(qdrant_url), Client(qdrant_grpc_url, use_grpc=True)
    listed = grpc.execute("SHOW COLLECTIONS").results[0]["data"]["collections"]
    assert collection in listed
    assert sorted(listed) == sorted(rest.execute("SHOW COLLECTIONS").results[0]["data"]["collections"])
    over_grpc = grpc.execute(f"SHOW COLLECTION {collection}").collection()
    over_rest = rest.execute(f"SHOW COLLECTION {collection}").collection()
    assert over_grpc["points_count"] == 1
    assert comparable(over_grpc) == comparable(over_rest)


def test_missing_collection_carries_its_request_id(qdrant_grpc_url):
    with pytest.raises(ZorvBackendError) as raised:
        Client(qdrant_grpc_url, use_grpc=True).execute("SHOW COLLECTION grpc_missing_collection")
    error = raised.value
    assert error.code == "ZORV-BACKEND-COLLECTION-NOT-FOUND"
    assert error.fields["grpc_code"] == "5"
    assert str(error).startswith("[ZORV-BACKEND-COLLECTION-NOT-FOUND] collection_info: code: 'Some requested entity "
                                 "was not found', message: ")
    assert f" (request id: {error.request_id}) " in str(error)


def test_wrong_key_is_auth_with_the_calls_id(qdrant_auth_grpc_url):
    with pytest.raises(ZorvBackendError) as raised:
        Client(qdrant_auth_grpc_url, api_key="wrong", use_grpc=True).execute("SHOW COLLECTIONS")
    error = raised.value
    assert error.code == "ZORV-BACKEND-AUTH"
    assert set(error.fields) == {"grpc_code", "operation", "request_id"}
    assert error.fields["grpc_code"] == "16" and error.fields["operation"] == "list_collections"
    assert error.request_id == error.fields["request_id"] and error.request_id.startswith("zorv-")
    assert Client(qdrant_auth_grpc_url, api_key="secret", use_grpc=True).execute("SHOW COLLECTIONS").ok


# gRPC's threads do not survive fork(): a child of a process that made gRPC calls is refused at
# once (never a hang or a crash, and its copy of the parent's client is freed safely); a child of
# a process that only built clients makes calls as usual.
@pytest.mark.parametrize("parent_calls, child_prints", [
    (True, "ZORV-TRANSPORT list_collections: gRPC cannot run in a process forked after its parent made gRPC "
           "calls; fork before the first gRPC call, or use the REST transport in the child"),
    (False, "True"),
])
def test_forked_child(qdrant_grpc_url, parent_calls, child_prints):
    script = f"""
import os, pyzorv
client = pyzorv.Client({qdrant_grpc_url!r}, use_grpc=True)
if {parent_calls}:
    client.execute("SHOW COLLECTIONS")
pid = os.fork()
if pid == 0:
    try:
        try:
            print(client.execute("SHOW COLLECTIONS").ok, flush=True)
        except pyzorv.ZorvTransportError as error:
            print(error.code, str(error).split("] ", 1)[1].split(" {{")[0], flush=True)
        del client
        os._exit(0)
    finally:
        os._exit(1)
_, status = os.waitpid(pid, 0)
print(os.waitstatus_to_exitcode(status), client.execute("SHOW COLLECTIONS").ok)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [child_prints, "0 True"]
