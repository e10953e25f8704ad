"""The point-write corpus compiled and sent to a real Qdrant server: every request must fit the
OpenAPI document and succeed there."""

import pathlib
import urllib.parse
import uuid

import pytest

import pyzorv
from openapi_check import check_request
from test_live_routes import send

CORPUS = pathlib.Path(__file__).resolve().parents[1] / "data" / "point_write_corpus.zorv"

# The collections the corpus writes to, as Qdrant creates them.
COLLECTIONS = {
    "products": {"vectors": {"size": 4, "distance": "Cosine"}},
    "docs": {
        "vectors": {
            "title": {"size": 2, "distance": "Cosine"},
            "body": {"size": 2, "distance": "Dot"},
            "colbert": {"size": 2, "distance": "Cosine", "multivector_config": {"comparator": "max_sim"}},
        },
        "sparse_vectors": {"bm25": {}},
    },
}


def corpus_lines():
    return [line for line in CORPUS.read_text().splitlines() if line and not line.startswith("--")]


@pytest.fixture
def collections(qdrant_url):
    """Fresh collections under unique names; removed afterwards."""
    suffix = uuid.uuid4().hex[:8]
    names = {name: f"zorv points {name} {suffix}" for name in COLLECTIONS}
    paths = {name: "/collections/" + urllib.parse.quote(unique, safe="") for name, unique in names.items()}
    for name, config in COLLECTIONS.items():
        status, reply = send(qdrant_url, "PUT", paths[name], config)
        assert status == 200, reply
    yield paths
    for path in paths.values():
        send(qdrant_url, "DELETE", path)


def test_corpus_requests_fit_the_openapi_document():
    for line in corpus_lines():
        route = pyzorv.compile(line)
        check_request(route["method"], route["path"], route["payload"])


def test_corpus_succeeds_on_server(qdrant_url, collections):
    for line in corpus_lines():
        route = pyzorv.compile(line)
        name = route["path"].split("/")[2]
        path = route["path"].replace("/collections/" + name, collections[name], 1) + "?wait=true"
        status, reply = send(qdrant_url, route["method"], path, route["payload"])
        assert status == 200, f"{line}: {route['method']} {path} -> {status} {reply}"
        assert isinstance(reply, dict) and reply.get("status") == "ok", f"{line}: {reply}"
