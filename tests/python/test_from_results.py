"""ExecutionReport.from_results: the spec format, the value forms it reads and its refusals."""

import collections
import collections.abc

import pytest

from pyzorv import ExecutionReport


def report(*specs):
    return ExecutionReport.from_results(list(specs))


def data(spec):
    return report(spec).results[0]["data"]


def hit(**fields):
    return report({"operation": "QUERY", "hits": [fields]}).hits()[0]


WIRE = "data did not match any variant of untagged enum Wire"
GROUP = "data did not match any variant of untagged enum PlanGroupId"
FACET = "data did not match any variant of untagged enum PlanFacetValue"
VALUE_WIRE = "data did not match any variant of untagged enum ValueWire"


def test_payload_keys_are_read_in_order_and_only_when_ok():
    assert data({"operation": "UPSERT", "hits": None, "count": 3}) == {"count": 3}
    counted = report({"operation": "COUNT", "count": 3}, {"operation": "count", "count": 4})
    assert counted.count(0) == 3 and counted.count(1) == 4
    assert counted.results[1]["data"] == {"count": 4}  # a mutation's count: the match is case-sensitive
    assert data({"operation": "QUERY", "hits": [], "groups": 5}) == []
    assert data({"operation": "QUERY", "ok": False, "hits": 5}) is None
    assert data({"operation": "QUERY", "colour": "red"}) is None
    assert report({"operation": "X", "message": "m"}).results[0]["message"] == "m"
    generated = ExecutionReport.from_results(s for s in ({"operation": "A"}, {"operation": "B"}))
    assert [r["operation"] for r in generated.results] == ["A", "B"]
    assert ExecutionReport.from_results(results=({"operation": "A"},)).succeeded == 1


@pytest.mark.parametrize(
    "results, error, text",
    [
        ({"operation": "A"}, TypeError, "each result spec must be a dict"),
        (5, TypeError, "not iterable"),
        ([{}], KeyError, "'operation'"),
        ([{"operation": None}], TypeError, ""),
        ([{"operation": "A", "ok": 1}], TypeError, ""),
        ([{"operation": "A", "message": 1}], TypeError, ""),
        ([{"operation": "Q", "hits": [5]}], TypeError, "each hit must be a dict"),
        ([{"operation": "Q", "hits": [{}]}], KeyError, "'id'"),
        ([{"operation": "Q", "hits": [{"id": None}]}], TypeError, "invalid hit id: " + WIRE),
        ([{"operation": "Q", "hits": [{"id": 1, "score": "x"}]}], TypeError, "must be real number"),
        ([{"operation": "Q", "hits": [{"id": 1, "collection": 5}]}], TypeError, ""),
        ([{"operation": "Q", "groups": [5]}], TypeError, "each group must be a dict"),
        ([{"operation": "Q", "groups": [{"hits": []}]}], KeyError, "'id'"),
        ([{"operation": "Q", "groups": [{"id": 1.5}]}], TypeError, "invalid group id: " + GROUP),
        ([{"operation": "F", "facet": [5]}], TypeError, "each facet entry must be a dict"),
        ([{"operation": "F", "facet": [{"value": 1}]}], KeyError, "'count'"),
        ([{"operation": "F", "facet": [{"value": 2**63, "count": 1}]}], TypeError, "invalid facet value: " + FACET),
        ([{"operation": "F", "facet": [{"value": 1, "count": -1}]}], OverflowError, ""),
        ([{"operation": "C", "count": -1}], OverflowError, ""),
        ([{"operation": "C", "count": 2**64}], OverflowError, ""),
        ([{"operation": "C", "count": 1.0}], TypeError, ""),
        ([{"operation": "S", "collections": "ab"}], TypeError, "str"),
        ([{"operation": "S", "collections": [1]}], TypeError, ""),
        ([{"operation": "S", "shard_keys": [-1]}], TypeError, "invalid shard keys: " + WIRE),
        ([{"operation": "S", "shard_keys": [1.5]}], TypeError, "invalid shard keys: " + WIRE),
        ([{"operation": "S", "shard_keys": 3}], TypeError, "invalid shard keys: "),
        ([{"operation": "S", "quotas": {"max_disk_usage_percent": -5}}], TypeError, "invalid quotas: OverflowError"),
        ([{"operation": "S", "quotas": [1]}], TypeError, "invalid quotas: "),
    ],
)
def test_refusals(results, error, text):
    with pytest.raises(error) as raised:
        ExecutionReport.from_results(results)
    assert text in str(raised.value)


@pytest.mark.parametrize("bad", [-1, True, 1.5, 2**64, [1], {"a": 1}])
def test_hit_ids_of_no_accepted_shape(bad):
    with pytest.raises(TypeError) as raised:
        hit(id=bad)
    assert str(raised.value) == "invalid hit id: " + WIRE


def test_unsupported_types_name_the_type():
    with pytest.raises(TypeError) as raised:
        hit(id=object())
    assert str(raised.value) == "invalid hit id: unsupported type object"
    with pytest.raises(TypeError) as raised:
        hit(id=1, payload={"a": object()})
    assert str(raised.value) == "invalid hit payload: unsupported type object"
    with pytest.raises(TypeError) as raised:
        hit(id=1, payload={1: "a"})
    assert str(raised.value).startswith("invalid hit payload: unexpected type: ")
    with pytest.raises(TypeError) as raised:
        hit(id=1, payload={"a": 2**64})
    assert str(raised.value) == "invalid hit payload: JSON number out of range"


@pytest.mark.parametrize(
    "value, read",
    [
        (7, 7),
        (2**64 - 1, 2**64 - 1),
        ("not-a-uuid", "not-a-uuid"),
        (b"caf\xc3\xa9", "café"),
    ],
)
def test_hit_ids(value, read):
    assert hit(id=value).id == read


def test_group_ids_and_facet_values():
    groups = report({"operation": "G", "groups": [{"id": -5}, {"id": 5}, {"id": "5"}, {"id": b"g"}]}).groups()
    assert [g["id"] for g in groups] == [-5, 5, "5", "g"]
    facet = report({"operation": "F", "facet": [
        {"value": True, "count": 1}, {"value": 3, "count": 2}, {"value": -(2**63), "count": 0},
        {"value": b"x", "count": 0}]}).facet()
    assert [f["value"] for f in facet] == [True, 3, -(2**63), "x"]
    assert isinstance(facet[0]["value"], bool) and not isinstance(facet[1]["value"], bool)


@pytest.mark.parametrize(
    "vector, read",
    [
        ([1, 2, 3], [1.0, 2.0, 3.0]),
        ((0.1,), [0.10000000149011612]),
        ([], []),
        ([[1.0], [2.0, 3.0]], [[1.0], [2.0, 3.0]]),
        ({"indices": [1, 5], "values": [0.5, 0.25], "extra": 1}, {"indices": [1, 5], "values": [0.5, 0.25]}),
        ({"b": [1.0], "a": {"indices": [2], "values": [1]}}, {"a": {"indices": [2], "values": [1.0]}, "b": [1.0]}),
        ({}, {}),
        ({"indices": [-1], "values": [0.5]}, {"indices": [-1.0], "values": [0.5]}),
    ],
)
def test_vectors(vector, read):
    assert hit(id=1, vector=vector).vector == read


@pytest.mark.parametrize("vector", [[True], {"indices": [1], "values": ["x"]}, "abc", 5, [[1.0], 2.0]])
def test_vectors_of_no_accepted_shape(vector):
    with pytest.raises(TypeError) as raised:
        hit(id=1, vector=vector)
    assert str(raised.value) == "invalid hit vector: " + VALUE_WIRE


def test_hit_defaults_and_payload_values():
    bare = hit(id=7)
    assert (bare.score, bare.payload, bare.collection, bare.vector) == (0.0, None, None, None)
    full = hit(id=7, score=2, payload={"n": float("nan"), "t": (1, "a"), "s": {3}, "d": {"b": None}}, collection="c")
    assert full.score == 2.0 and full.collection == "c"
    assert full.payload == {"n": None, "t": [1, "a"], "s": [3], "d": {"b": None}}
    assert list(full.payload) == ["n", "t", "s", "d"]


def test_shard_keys_and_quotas():
    assert data({"operation": "S", "shard_keys": {3}}) == {"shard_keys": [3]}
    assert data({"operation": "S", "shard_keys": ["eu", 7, b"us"]}) == {"shard_keys": ["eu", 7, "us"]}
    assert data({"operation": "Q", "quotas": {"enabled": 1, "max_disk_usage_percent": 80, "note": "x"}}) == {
        "enabled": True, "max_disk_usage_percent": 80}
    assert data({"operation": "Q", "quotas": {"enabled": None, "release_margin_percent": 5}}) == {
        "release_margin_percent": 5}
    mapping = collections.OrderedDict(enabled="")
    assert data({"operation": "Q", "quotas": mapping}) == {"enabled": False}
    with pytest.raises(TypeError) as raised:
        data({"operation": "Q", "quotas": {1: 2}})
    assert str(raised.value) == "invalid quotas: dict keys must have type str"


def collection(info):
    return report({"operation": "SHOW_COLLECTION", "collection": info}).collection()


FULL_COLLECTION = {
    "status": "green",
    "points_count": 10,
    "indexed_vectors_count": 0,
    "segments_count": 2,
    "schema": {
        "dense_vectors": ["a", "b"],
        "sparse_vectors": [{"name": "s", "index": {"on_disk": True, "full_scan_threshold": 5}, "modifier": "idf"}],
        "vectors": [
            {"name": "a", "size": 4, "distance": "Dot", "hnsw": {"m": 8}, "quantization": {"scalar": {"type": "int8"}},
             "multivector": {"comparator": "max_sim"}, "on_disk": False, "datatype": "float16", "memory": "warm"},
            {"name": "b", "size": 2, "distance": "Cosine"},
        ],
        "payload_indexes": [{"field": "city", "data_type": "keyword", "params": {}, "is_tenant": True}],
        "params": {"shard_number": 1, "sharding_method": "auto", "on_disk_payload": True, "payload_memory": "cold",
                   "replication_factor": 2},
        "hnsw": {"m": 16, "ef_construct": 100, "full_scan_threshold": 10, "max_indexing_threads": 0, "on_disk": False,
                 "payload_m": 4, "inline_storage": True, "memory": "pinned"},
        "optimizers": {"deleted_threshold": 0.2, "vacuum_min_vector_number": 1, "default_segment_number": 0,
                       "max_segment_size": 5, "memmap_threshold": 6, "indexing_threshold": 7, "flush_interval_sec": 8,
                       "max_optimization_threads": "auto", "prevent_unoptimized": False},
        "quantization": {"scalar": {"type": "int8", "quantile": 0.99, "always_ram": True, "memory": "cached"}},
    },
}


def test_collection_info_reads_back_equal():
    shown = collection(FULL_COLLECTION)
    assert shown == FULL_COLLECTION
    assert list(shown) == ["status", "points_count", "indexed_vectors_count", "segments_count", "schema"]
    assert collection(shown) == shown
    assert list(shown["schema"]["vectors"][0]) == list(FULL_COLLECTION["schema"]["vectors"][0])


def test_collection_info_defaults():
    assert collection({}) == {"status": "", "points_count": 0, "segments_count": 0, "schema": {
        "dense_vectors": [], "sparse_vectors": [], "vectors": [], "payload_indexes": [], "params": {}}}
    read = collection({"points_count": True, "indexed_vectors_count": None, "colour": object(),
                       "schema": {"dense_vectors": "ab", "vectors": ({"size": 4, "distance": "Dot"},),
                                  "payload_indexes": [{"field": "f", "data_type": "integer"}],
                                  "params": {"on_disk_payload": "no"}}})
    assert read["points_count"] == 1 and "indexed_vectors_count" not in read
    assert read["schema"]["dense_vectors"] == ["a", "b"]
    assert read["schema"]["vectors"] == [{"name": None, "size": 4, "distance": "Dot"}]
    assert read["schema"]["payload_indexes"] == [{"field": "f", "data_type": "integer", "params": {}}]
    assert read["schema"]["params"] == {"on_disk_payload": True}
    assert collection(collections.OrderedDict(status="ok"))["status"] == "ok"


@pytest.mark.parametrize(
    "info, reason",
    [
        ({"schema": None}, "invalid type: 'NoneType' object, expected a mapping"),
        ({"schema": {"params": None}}, "invalid type: 'NoneType' object, expected a mapping"),
        ({"schema": {"vectors": [{"size": 4}]}}, "missing field `distance`"),
        ({"schema": {"vectors": [{}]}}, "missing field `size`"),
        ({"schema": {"sparse_vectors": [{}]}}, "missing field `name`"),
        ({"schema": {"payload_indexes": [{}]}}, "missing field `field`"),
        ({"schema": {"payload_indexes": [{"field": "f", "data_type": "d", "params": None}]}},
         "unexpected type: 'NoneType' object cannot be converted to 'dict'"),
        ({"schema": {"dense_vectors": None}}, "invalid type: 'NoneType' object, expected a sequence"),
        ({"points_count": 3.0}, "TypeError: 'float' object cannot be interpreted as an integer"),
        ({"points_count": "3"}, "TypeError: 'str' object cannot be interpreted as an integer"),
        ({"points_count": -1}, "OverflowError: can't convert negative int to unsigned"),
        ({"status": 5}, "invalid type: 'int' object, expected a str"),
        ({1: "x"}, "dict keys must have type str"),
        ({"schema": {"vectors": [{1: 2}]}}, "dict keys must have type str"),
        ({"schema": {"vectors": [{"size": 1, "distance": "Dot", "hnsw": {1: 2}}]}},
         "unexpected type: 'int' object cannot be converted to 'str'"),
        ([], "invalid type: 'list' object, expected a mapping"),
    ],
)
def test_collection_info_refusals(info, reason):
    with pytest.raises(TypeError) as raised:
        collection(info)
    assert str(raised.value) == "invalid collection info: " + reason


def test_collection_info_duplicate_keys_of_a_mapping():
    class Pairs(collections.abc.Mapping):
        def __getitem__(self, key):
            return {"status": "a"}[key]

        def __iter__(self):
            return iter(["status"])

        def __len__(self):
            return 2

        def items(self):
            return [("status", "a"), ("status", "b")]

    with pytest.raises(TypeError) as raised:
        collection(Pairs())
    assert str(raised.value) == "invalid collection info: duplicate field `status`"


def schema_of(**schema):
    return collection({"schema": schema})["schema"]


@pytest.mark.parametrize(
    "schema, key, read",
    [
        ({"hnsw": {"m": 16, "memory": "cold", "on_disk": "no", "extra": 1}}, "hnsw",
         {"m": 16, "on_disk": True, "memory": "cold"}),
        ({"hnsw": {}}, "hnsw", {}),
        ({"optimizers": {"max_optimization_threads": "AUTO", "deleted_threshold": 1}}, "optimizers",
         {"deleted_threshold": 1.0, "max_optimization_threads": "auto"}),
        ({"optimizers": {"max_optimization_threads": 8, "prevent_unoptimized": 0}}, "optimizers",
         {"max_optimization_threads": 8, "prevent_unoptimized": False}),
        ({"quantization": {"scalar": {"type": "int8"}, "product": {"compression": "x4"}}}, "quantization",
         {"scalar": {"type": "int8"}}),
        ({"quantization": {"scalar": {"quantile": 0.5}, "binary": {"encoding": "one_bit"}}}, "quantization",
         {"binary": {"encoding": "one_bit"}}),
        ({"quantization": {"product": {"compression": "x32", "memory": 1}}}, "quantization",
         {"product": {"compression": "x32", "memory": "cached"}}),
        ({"quantization": {"turbo": {"memory": {"pinned": None}}}}, "quantization", {"turbo": {"memory": "pinned"}}),
        ({"quantization": {"scalar": ["int8", 0.99, True, "cold"]}}, "quantization",
         {"scalar": {"type": "int8", "quantile": 0.99, "always_ram": True, "memory": "cold"}}),
    ],
)
def test_collection_settings(schema, key, read):
    assert schema_of(**schema)[key] == read


def test_absent_settings_leave_their_keys_out():
    assert set(schema_of(hnsw=None, optimizers=None, quantization=None)) == {
        "dense_vectors", "sparse_vectors", "vectors", "payload_indexes", "params"}


THREADS = 'expected a thread count or "auto"'
QUANTIZATION = "data did not match any variant of untagged enum QuantizationConfig"


@pytest.mark.parametrize(
    "schema, reason",
    [
        ({"hnsw": {"memory": "Cold"}}, "unknown variant `Cold`, expected one of `cold`, `cached`, `pinned`"),
        ({"hnsw": {"memory": {"pinned": None}}}, "invalid type: map, expected one of `cold`, `cached`, `pinned`"),
        ({"hnsw": {"m": 1.5}}, "TypeError: 'float' object cannot be interpreted as an integer"),
        ({"optimizers": {"max_optimization_threads": -1}}, "invalid value: integer `-1`, " + THREADS),
        ({"optimizers": {"max_optimization_threads": True}}, "invalid type: boolean `true`, " + THREADS),
        ({"optimizers": {"max_optimization_threads": "all"}}, 'invalid value: string "all", ' + THREADS),
        ({"optimizers": {"max_optimization_threads": 1.5}}, "invalid type: floating point `1.5`, " + THREADS),
        ({"quantization": {"scalar": {"quantile": 0.99}}}, QUANTIZATION),
        ({"quantization": {"turbo": {"bits": 4}}}, QUANTIZATION),
        ({"quantization": {"product": {"compression": "x4", "memory": 3}}}, QUANTIZATION),
        ({"quantization": [{"type": "int8"}]}, QUANTIZATION),
        ({"quantization": {}}, QUANTIZATION),
        ({"quantization": 5}, QUANTIZATION),
        ({1: {}}, "dict keys must have type str"),
        ({"hnsw": {1: 2}}, "dict keys must have type str"),
    ],
)
def test_collection_settings_refusals(schema, reason):
    with pytest.raises(TypeError) as raised:
        collection({"schema": schema})
    assert str(raised.value) == "invalid collection info: " + reason
