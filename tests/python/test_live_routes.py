"""Compiled routes sent to a real Qdrant server: each must succeed there, not only fit the OpenAPI
document. Every compile issue appends its statements to ROUTES, in an order that works against the
collection the fixture creates."""

import json
import urllib.error
import urllib.parse
import urllib.request
import uuid

import pytest

import pyzorv

TIMEOUT = 30  # seconds, per request

# (statement text with {c} for the collection name, params)
ROUTES = [
    ("SHOW COLLECTIONS", None),
    ("SHOW COLLECTION {c}", None),
    ("SHOW QUOTAS", None),
    ("CREATE SHARD KEY 'eu' ON COLLECTION {c} WITH (shards_number = 1, replication_factor = 1)", None),
    ("CREATE SHARD KEY :k ON COLLECTION {c}", {"k": 7}),
    ("SHOW SHARD KEYS ON COLLECTION {c}", None),
    ("DROP SHARD KEY 7 ON COLLECTION {c}", None),
    ("DROP SHARD KEY 'eu' ON COLLECTION {c}", None),
    ("DROP INDEX ON COLLECTION {c} FOR 'meta.city'", None),
    ("DROP COLLECTION {c}", None),
]


def send(base, method, path, payload=None):
    """(status, decoded reply) of one request; HTTP errors come back as their status."""
    data = None if payload is None else json.dumps(payload).encode()
    req = urllib.request.Request(base + path, data=data, method=method)
    if data is not None:
        req.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(req, timeout=TIMEOUT) as reply:
            return reply.status, json.loads(reply.read() or b"null")
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode(errors="replace")


@pytest.fixture
def collection(qdrant_url):
    """A fresh collection with custom sharding and a keyword index; removed afterwards if still there."""
    name = f"zorv live {uuid.uuid4().hex[:8]}"
    path = "/collections/" + urllib.parse.quote(name, safe="")
    status, reply = send(
        qdrant_url,
        "PUT",
        path,
        {"vectors": {"size": 4, "distance": "Cosine"}, "sharding_method": "custom", "shard_number": 1},
    )
    assert status == 200, reply
    index = {"field_name": "meta.city", "field_schema": "keyword"}
    status, reply = send(qdrant_url, "PUT", path + "/index?wait=true", index)
    assert status == 200, reply
    yield name
    send(qdrant_url, "DELETE", path)


def test_compiled_routes_succeed_on_server(qdrant_url, collection):
    quoted = "'" + collection.replace("'", "\\'") + "'"
    for text, params in ROUTES:
        statement = text.format(c=quoted)
        route = pyzorv.compile(statement, params)
        assert route["method"] is not None, statement
        status, reply = send(qdrant_url, route["method"], route["path"], route["payload"])
        assert status == 200, f"{statement}: {route['method']} {route['path']} -> {status} {reply}"
        assert isinstance(reply, dict) and reply.get("status") == "ok", f"{statement}: {reply}"
