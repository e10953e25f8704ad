"""The query corpus sent to a real Qdrant server. Each statement gets fresh collections shaped from
its own compiled request: the vectors it searches (named and sized as the request uses them), the
points it names, the payload indexes grouping and ordering need, the shard keys it routes to."""

import urllib.parse
import uuid

import pytest

import pyzorv
from test_compile_queries import corpus_cases
from test_live_routes import send

FALLBACK_DIM = 2  # for vectors the request names only through point ids


def collection_path(name):
    return "/collections/" + urllib.parse.quote(name, safe="")


class Shape:
    """What one request needs from its collections."""

    def __init__(self):
        self.dense = {}  # vector name ("" for the unnamed one) -> (dim, multi)
        self.sparse = set()
        self.ids = []
        self.indexes = {}  # payload key -> schema
        self.variables = set()
        self.shard_keys = set()
        self.lookups = {}  # other collection -> vector names, shard keys

    def note_input(self, using, value):
        name = using or ""
        if isinstance(value, (int, str)):
            self.ids.append(value)
            self.dense.setdefault(name, (FALLBACK_DIM, False))
        elif isinstance(value, list) and value and isinstance(value[0], list):
            self.dense[name] = (len(value[0]), True)
        elif isinstance(value, list):
            self.dense[name] = (len(value), False)
        elif isinstance(value, dict) and "indices" in value:
            self.sparse.add(name)
        elif isinstance(value, dict) and "text" in value and value.get("model", "").lower() == "qdrant/bm25":
            self.sparse.add(name)

    def note_query(self, using, query):
        if "nearest" in query:
            self.note_input(using, query["nearest"])
        for key in ("recommend", "discover", "relevance_feedback"):
            body = query.get(key, {})
            for item in body.get("positive", []) + body.get("negative", []):
                self.note_input(using, item)
            if "target" in body:
                self.note_input(using, body["target"])
            for pair in body.get("context", []):
                self.note_input(using, pair["positive"])
                self.note_input(using, pair["negative"])
            for entry in body.get("feedback", []):
                self.note_input(using, entry["example"])
        for pair in query.get("context", []) if isinstance(query.get("context"), list) else []:
            self.note_input(using, pair["positive"])
            self.note_input(using, pair["negative"])
        if "order_by" in query:
            order = query["order_by"]
            self.indexes[order["key"]] = "datetime" if isinstance(order.get("start_from"), str) else "float"
        if "formula" in query:
            self.note_formula(query["formula"])

    def note_formula(self, node):
        if isinstance(node, str) and not node.startswith("$"):
            self.variables.add(node)
        elif isinstance(node, list):
            for item in node:
                self.note_formula(item)
        elif isinstance(node, dict):
            for item in node.values():
                self.note_formula(item)

    def note_lookup(self, lookup):
        entry = self.lookups.setdefault(lookup["collection"], ({}, set()))
        if "vector" in lookup:
            entry[0][lookup["vector"]] = (FALLBACK_DIM, False)
        if "shard_key" in lookup:
            entry[1].add(lookup["shard_key"])

    def note_stage(self, stage):
        if "query" in stage:
            self.note_query(stage.get("using"), stage["query"])
        if "lookup_from" in stage:
            self.note_lookup(stage["lookup_from"])
        for inner in stage.get("prefetch", []):
            self.note_stage(inner)

    def note_request(self, body):
        self.note_stage(body)
        if "ids" in body:
            self.ids.extend(body["ids"])
        if "key" in body and "query" not in body:
            self.indexes[body["key"]] = "keyword"  # a facet counts indexed values only
        if "group_by" in body:
            self.indexes[body["group_by"]] = "keyword"
        lookup = body.get("with_lookup")
        if lookup is not None:
            self.lookups.setdefault(lookup if isinstance(lookup, str) else lookup["collection"], ({}, set()))
        if "shard_key" in body:
            self.shard_keys.add(body["shard_key"])
        if isinstance(body.get("with_vector"), list):
            for vector in body["with_vector"]:
                self.dense.setdefault(vector, (FALLBACK_DIM, False))


def inference_without_server_model(node):
    """True when the request asks the server to embed with a model it does not run."""
    if isinstance(node, dict):
        if "text" in node and "model" in node and node["model"].lower() != "qdrant/bm25":
            return True
        if ("image" in node or "object" in node) and "model" in node:
            return True
        return any(inference_without_server_model(v) for v in node.values())
    if isinstance(node, list):
        return any(inference_without_server_model(v) for v in node)
    return False


def vector_value(dim, multi):
    row = [0.5 + 0.1 * i for i in range(dim)]
    return [row, row] if multi else row


def create(base, name, dense, sparse, shard_keys):
    config = {}
    if list(dense) == [""]:
        dim, multi = dense[""]
        config["vectors"] = {"size": dim, "distance": "Cosine"}
        if multi:
            config["vectors"]["multivector_config"] = {"comparator": "max_sim"}
    else:
        config["vectors"] = {}
        for vector, (dim, multi) in dense.items():
            config["vectors"][vector] = {"size": dim, "distance": "Cosine"}
            if multi:
                config["vectors"][vector]["multivector_config"] = {"comparator": "max_sim"}
    if sparse:
        config["sparse_vectors"] = {vector: {"modifier": "idf"} for vector in sparse}
    if shard_keys:
        config.update({"sharding_method": "custom", "shard_number": 1})
    status, reply = send(base, "PUT", collection_path(name), config)
    assert status == 200, (config, reply)
    for key in shard_keys:
        status, reply = send(base, "PUT", collection_path(name) + "/shards", {"shard_key": key})
        assert status == 200, reply


def upsert(base, name, shape, shard_key):
    vectors = {vector: vector_value(*size) for vector, size in shape.dense.items() if vector}
    for vector in shape.sparse:
        vectors[vector] = {"indices": [1, 7], "values": [0.5, 0.25]}
    payload = {variable: 1 for variable in shape.variables}
    for key, schema in shape.indexes.items():
        payload[key] = {"keyword": "a", "float": 1.5, "datetime": "2024-01-01T00:00:00Z"}[schema]
    ids = list(dict.fromkeys(shape.ids)) or [1]
    points = []
    for point_id in ids:
        point = {"id": point_id, "payload": payload}
        point["vector"] = vector_value(*shape.dense[""]) if "" in shape.dense else vectors
        points.append(point)
    body = {"points": points}
    if shard_key is not None:
        body["shard_key"] = shard_key
    status, reply = send(base, "PUT", collection_path(name) + "/points?wait=true", body)
    assert status == 200, reply


@pytest.fixture
def scratch(qdrant_url):
    """Names collections for one test and drops every one of them afterwards."""
    made = []

    def name(original):
        made.append(f"zorv-q-{uuid.uuid4().hex[:8]}-{original}")
        return made[-1]

    yield name
    for collection in made:
        send(qdrant_url, "DELETE", collection_path(collection))


# Read statements the corpus does not hold.
EXTRA = [
    "QUERY POINTS (3, '550e8400-e29b-41d4-a716-446655440000') FROM c WITH VECTOR true",
    "COUNT FROM c WHERE city = 'Oslo'",
    "FACET city FROM c WHERE price > 1 LIMIT 3",
    "QUERY [0.5, 0.5] FROM c USING dense GROUP BY city SIZE 2 LOOKUP FROM c2 WITH PAYLOAD INCLUDE (x) LIMIT 2 OFFSET 1",
    "QUERY MMR [0.5, 0.5] DIVERSITY 0.5 CANDIDATES 10 FROM c USING dense PARAMS (hnsw_ef = 16, acorn = true, "
    "max_selectivity = 0.3, quantization = {rescore: true, oversampling: 2}) LIMIT 2",
    "QUERY FUSION RRF FROM c PREFETCH (QUERY [0.5] USING a LIMIT 5, QUERY [0.1, 0.2] USING b LIMIT 5) "
    "PARAMS (rrf_k = 10, rrf_weights = [0.7, 0.3]) LIMIT 3",
    "QUERY {indices: [1, 7], values: [0.5, 0.25]} FROM c USING s AS SPARSE PARAMS (idf = WHERE city = 'x') LIMIT 2",
    "QUERY RELEVANCE FEEDBACK TARGET [0.5, 0.5] FEEDBACK ((POINT 3, 0.9), (POINT 4, 0.1)) STRATEGY NAIVE "
    "(a = 1, b = 0.5, c = 0.5) FROM c USING dense LIMIT 2",
    # The filter and formula shapes the planner writes, each once.
    "COUNT FROM c WHERE price != 10",
    "COUNT FROM c WHERE price = 1.5",
    "COUNT FROM c WHERE tag IN ('b', 'a', 'b')",
    "COUNT FROM c WHERE NESTED('items', qty = 1)",
    "COUNT FROM c WHERE NESTED('items', qty > 1 OR sku = 'x')",
    "COUNT FROM c WHERE created BETWEEN '2024-01-01T00:00:00Z' AND '2024-12-31T00:00:00Z'",
    "COUNT FROM c WHERE NOT (a = 1 AND b = 'x')",
    "COUNT FROM c WHERE loc GEO_POLYGON {exterior: [{lat: 1, lon: 2}, {lat: 3, lon: 4}, {lat: 5, lon: 6}, "
    "{lat: 1, lon: 2}]}",
    "COUNT FROM c WHERE MIN SHOULD 2 (a = 1, b = 2) AND n VALUES_COUNT < 3",
    "QUERY FORMULA $score + 0.5 * popularity DEFAULTS (popularity = 0) FROM c "
    "PREFETCH (QUERY [0.5, 0.5] USING dense LIMIT 10) LIMIT 5",
    "QUERY FORMULA CASE WHEN price > 10 THEN 1 ELSE 0 END FROM c PREFETCH (QUERY [0.5, 0.5] USING dense LIMIT 10) "
    "LIMIT 5",
    "QUERY FORMULA gauss_decay(d, 0, 2, 0.5) DEFAULTS (d = 0) FROM c PREFETCH (QUERY [0.5, 0.5] USING dense LIMIT 10) "
    "LIMIT 5",
]


def runnable_corpus():
    for number, text in enumerate(EXTRA):
        yield pytest.param(text, None, id=f"extra{number}")
    for case in corpus_cases():
        text, params, code = case.values
        if code is not None:
            continue
        route = pyzorv.compile(text, params)
        if route["method"] is None:
            continue  # CROSS RERANK runs in the client
        if inference_without_server_model(route["payload"]):
            continue  # needs an embedding service the test server does not have
        yield pytest.param(text, params, id=case.id)


@pytest.mark.parametrize("text, params", list(runnable_corpus()))
def test_query_corpus_on_server(qdrant_url, scratch, text, params):
    route = pyzorv.compile(text, params)
    body = route["payload"]
    shape = Shape()
    shape.note_request(body)
    main = urllib.parse.unquote(route["path"].split("/")[2])
    renamed = {main: scratch(main)}
    for other in shape.lookups:
        renamed.setdefault(other, scratch(other))
    # The compiled text is kept; only the collection names in path and body are swapped.
    segments = route["path"].split("/")
    path = "/".join(segments[:2] + [urllib.parse.quote(renamed[main], safe="")] + segments[3:])
    for other, (vectors, keys) in shape.lookups.items():
        if other == main:
            continue
        create(qdrant_url, renamed[other], vectors or {"": (FALLBACK_DIM, False)}, set(), keys)
    create(qdrant_url, renamed[main], shape.dense or {"": (FALLBACK_DIM, False)}, shape.sparse, shape.shard_keys)
    for key, schema in shape.indexes.items():
        index = {"field_name": key, "field_schema": schema}
        status, reply = send(qdrant_url, "PUT", collection_path(renamed[main]) + "/index?wait=true", index)
        assert status == 200, reply
    upsert(qdrant_url, renamed[main], shape, next(iter(shape.shard_keys), None))
    body = rename_collections(body, renamed)
    status, reply = send(qdrant_url, route["method"], path, body)
    assert status == 200, f"{text}\n{route['method']} {path} {body}\n-> {status} {reply}"


def rename_collections(node, renamed):
    if isinstance(node, dict):
        out = {}
        for key, value in node.items():
            if key == "collection" and value in renamed:
                out[key] = renamed[value]
            elif key == "with_lookup" and isinstance(value, str):
                out[key] = renamed.get(value, value)
            else:
                out[key] = rename_collections(value, renamed)
        return out
    if isinstance(node, list):
        return [rename_collections(item, renamed) for item in node]
    return node
