"""The collection and index corpora sent to a real Qdrant server: every compiled request must fit the
OpenAPI document and succeed there. A CREATE COLLECTION with read fan-out settings or shard keys has no
single route; its steps (create, then the fan-out PATCH, then one PUT per shard key) are built here
from the compiled creation and the statement's own values, and sent in order."""

import pathlib
import re
import urllib.parse
import uuid

import pytest

import pyzorv
from openapi_check import check_request
from test_live_routes import send

DATA = pathlib.Path(__file__).resolve().parents[1] / "data"
COLLECTION_NAME = re.compile(r'^((?:CREATE|ALTER) COLLECTION |CREATE INDEX ON COLLECTION )("[^"]*"|\w+)')
FAN_OUT = ("read_fan_out_factor", "read_fan_out_delay_ms")
# The options that only the later steps carry, with the comma that joins them to the list.
STEP_ONLY_OPTION = re.compile(
    r"\s*,?\s*\b(?:read_fan_out_factor\s*=\s*\d+|read_fan_out_delay_ms\s*=\s*\d+|shard_keys\s*=\s*\[[^\]]*\])",
    re.IGNORECASE,
)

# The multi-step examples of the request steps, beside the corpus's own.
STEP_EXAMPLES = [
    "CREATE COLLECTION steps1 (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', 7])",
    "CREATE COLLECTION steps2 (v VECTOR(4, DOT)) WITH PARAMS (read_fan_out_delay_ms = 50)",
    "CREATE COLLECTION steps3 (v VECTOR(4, DOT)) WITH PARAMS (shard_keys = [7], read_fan_out_factor = 2, "
    "sharding_method = 'custom')",
]


def corpus(name):
    lines = (DATA / name).read_text(encoding="utf-8").splitlines()
    return [line.strip() for line in lines if line.strip() and not line.lstrip().startswith("--")]


def quoted(name):
    return "'" + name.replace("'", "\\'") + "'"


def collection_path(name):
    return "/collections/" + urllib.parse.quote(name, safe="")


class Renamer:
    """Gives every collection named in the statements a fresh name for this run, the same one each time."""

    def __init__(self):
        self.run = uuid.uuid4().hex[:8]
        self.names = {}

    def __call__(self, text):
        match = COLLECTION_NAME.match(text)
        assert match, text
        name = match.group(2).strip('"')
        fresh = self.names.setdefault(name, f"zorv ddl {self.run} {name}")
        return match.group(1) + quoted(fresh) + text[match.end() :]


def creation_steps(text):
    """(method, path, payload) of each request a multi-step CREATE COLLECTION sends, in order."""
    reduced = STEP_ONLY_OPTION.sub("", text).replace("(,", "(").replace("( ", "(")
    reduced = re.sub(r"\s*WITH PARAMS\s*\(\s*\)", "", reduced)
    create = pyzorv.compile(reduced)
    assert create["method"] == "PUT", reduced
    (stmt,) = pyzorv.parse(text)
    params = stmt.to_dict()["CreateCollection"]["config"]["params"]
    steps = [(create["method"], create["path"], create["payload"])]
    fan_out = {key: params[key] for key in FAN_OUT if params[key] is not None}
    if fan_out:
        steps.append(("PATCH", create["path"], {"params": fan_out}))
    for key in params["shard_keys"] or []:
        (value,) = key.values()
        steps.append(("PUT", create["path"] + "/shards", {"shard_key": value}))
    return steps


def requests_of(text):
    route = pyzorv.compile(text)
    if route["method"] is not None:
        return [(route["method"], route["path"], route["payload"])]
    assert route["stmt_type"] == "create_collection", text
    return creation_steps(text)


def send_all(base, statements):
    for statement in statements:
        for method, path, payload in requests_of(statement):
            check_request(method, path, payload)
            status, reply = send(base, method, path, payload)
            assert status == 200, f"{statement}: {method} {path} -> {status} {reply}"
            assert isinstance(reply, dict) and reply.get("status") == "ok", f"{statement}: {reply}"


@pytest.fixture
def renamer(qdrant_url):
    renamer = Renamer()
    yield renamer
    for name in renamer.names.values():
        send(qdrant_url, "DELETE", collection_path(name))


def test_step_examples_are_split_as_compiled():
    assert creation_steps(STEP_EXAMPLES[0]) == [
        ("PUT", "/collections/steps1", {"sharding_method": "custom", "vectors": {"v": {"distance": "Dot", "size": 4}}}),
        ("PUT", "/collections/steps1/shards", {"shard_key": "eu"}),
        ("PUT", "/collections/steps1/shards", {"shard_key": 7}),
    ]
    assert creation_steps(STEP_EXAMPLES[1]) == [
        ("PUT", "/collections/steps2", {"vectors": {"v": {"distance": "Dot", "size": 4}}}),
        ("PATCH", "/collections/steps2", {"params": {"read_fan_out_delay_ms": 50}}),
    ]


def test_collection_corpus_succeeds_on_server(qdrant_url, renamer):
    send_all(qdrant_url, [renamer(text) for text in corpus("collection_corpus.zorv") + STEP_EXAMPLES])


def test_index_corpus_succeeds_on_server(qdrant_url, renamer):
    statements = corpus("index_corpus.zorv")
    indexes = [renamer(text) for text in statements if text.upper().startswith("CREATE INDEX")]
    path = collection_path(renamer.names["articles"])
    status, reply = send(qdrant_url, "PUT", path, {"vectors": {"size": 4, "distance": "Cosine"}})
    assert status == 200, reply
    try:
        send_all(qdrant_url, indexes + [text for text in statements if text.upper().startswith("SET QUOTA")])
    finally:
        # The corpus switches enforcement off last; a failure part-way must not leave it on.
        send(qdrant_url, "PUT", "/quotas", {"enabled": False})
