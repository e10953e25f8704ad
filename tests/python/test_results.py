"""ScoredPoint and ExecutionReport: accessors, mapping access, reprs, signatures and result dicts."""

import inspect
import math

import pytest

import pyzorv
from pyzorv import ExecutionReport, ScoredPoint


def report(*specs):
    return ExecutionReport.from_results(list(specs))


def one_hit(**hit):
    return report({"operation": "QUERY", "hits": [hit]}).hits()[0]


def test_classes_are_registered_first_and_cannot_be_built_from_python():
    assert pyzorv.__all__[:2] == ["ScoredPoint", "ExecutionReport"]
    assert ScoredPoint.__module__ == "pyzorv" and ScoredPoint.__name__ == "ScoredPoint"
    assert ScoredPoint.__doc__ == "A scored hit returned from a search or retrieval query."
    for cls in (ScoredPoint, ExecutionReport):
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):

            class Sub(cls):  # noqa: F841
                pass


def test_empty_and_payload_free_reports():
    empty = report()
    assert repr(empty) == "ExecutionReport(ok=true, succeeded=0, failed=0, results=0)"
    assert (empty.ok, empty.succeeded, empty.failed, empty.telemetry, empty.results) == (True, 0, 0, None, [])
    ok = report({"operation": "QUERY"})
    assert ok.results == [{"ok": True, "operation": "QUERY", "message": "QUERY ok", "data": None}]
    assert list(ok.results[0]) == ["ok", "operation", "message", "data"]
    failed = report({"operation": "QUERY", "ok": False, "hits": 5})
    assert failed.results[0]["message"] == "QUERY failed" and failed.results[0]["data"] is None
    assert repr(failed) == "ExecutionReport(ok=false, succeeded=0, failed=1, results=1)"


def test_scored_point_fields_get_and_subscript():
    hit = one_hit(id=7, score=1.0, payload={"text": "hi", "score": 9, "n": None})
    assert repr(hit) == 'ScoredPoint(id=7, score=1, text=Some("hi"), collection=None)'
    assert (hit.id, hit.score, hit.text, hit.collection, hit.vector) == (7, 1.0, "hi", None, None)
    assert hit["score"] == 1.0 and hit.get("score") == 1.0  # a field name shadows the payload key
    assert hit.get("collection", "d") == "d" and hit["collection"] is None
    assert hit["n"] is None and hit.get("n", "d") is None
    assert hit.get("missing") is None and hit.get("missing", "d") == "d"
    with pytest.raises(KeyError) as raised:
        hit["missing"]
    assert raised.value.args == ("missing",)
    with pytest.raises(TypeError):
        hit[1]
    with pytest.raises(TypeError):
        hit.get(1)
    assert hit.payload == hit.payload and hit.payload is not hit.payload


def test_non_string_text_and_without_payload():
    hit = one_hit(id="a", payload={"text": 5, "k": 1})
    assert hit.text is None and hit.get("text", "d") == "d" and hit["text"] is None
    assert hit.payload == {"text": 5, "k": 1}
    stripped = hit.without_payload()
    assert stripped.payload is None and stripped.get("k", "d") == "d" and stripped["text"] is None
    with pytest.raises(KeyError):
        stripped["k"]
    assert hit.payload == {"text": 5, "k": 1} and hit["k"] == 1


@pytest.mark.parametrize(
    "hit, text",
    [
        ({"id": 7, "score": 0.25}, "ScoredPoint(id=7, score=0.25, text=None, collection=None)"),
        ({"id": "u", "score": 1e21}, "ScoredPoint(id=u, score=1000000000000000000000, text=None, collection=None)"),
        ({"id": 1, "score": 1e-7}, "ScoredPoint(id=1, score=0.0000001, text=None, collection=None)"),
        (
            {"id": 1, "payload": {"text": 'a"\\\n\r\t\0\x01é'}, "collection": "c"},
            'ScoredPoint(id=1, score=0, text=Some("a\\"\\\\\\n\\r\\t\\0\\u{1}é"), collection=Some("c"))',
        ),
        ({"id": b"k\xc3\xa9"}, "ScoredPoint(id=ké, score=0, text=None, collection=None)"),
    ],
)
def test_scored_point_repr(hit, text):
    assert repr(one_hit(**hit)) == text


def test_vectors_come_out_in_python_form():
    hit = one_hit(id=1, vector={"b": [0.1], "a": {"indices": [1, 5], "values": [0.5, 0.25]}})
    assert list(hit.vector) == ["a", "b"]
    assert hit.vector == {"a": {"indices": [1, 5], "values": [0.5, 0.25]}, "b": [0.10000000149011612]}
    assert one_hit(id=1, vector=[[1.0], [2.0, 3.0]]).vector == [[1.0], [2.0, 3.0]]


def test_statement_accessors_select_by_position():
    r = report(
        {"operation": "QUERY", "hits": [{"id": 1}, {"id": "x"}]},
        {"operation": "COUNT", "count": 3},
    )
    assert r.ids() == [1, "x"] and [p.id for p in r.points()] == [1, "x"]
    assert r.hits(1) == [] and r.count(1) == 3 and r.count() == 0 and r.count(-1) == 3
    assert [repr(p) for p in r.hits(-2)] == [repr(p) for p in r.hits(0)]
    assert r.hits(5) == [] and r.hits(-3) == [] and r.collection(9) is None and r.quotas() is None
    assert r.hits(stmt=True) == []  # an integer index, as for any int argument
    with pytest.raises(TypeError, match="stmt"):
        r.hits("0")
    with pytest.raises(TypeError, match="stmt"):
        r.hits(0.0)
    with pytest.raises(OverflowError, match="stmt"):
        r.hits(2**63)
    with pytest.raises(TypeError):
        r.hits(0, 1)


def test_report_mapping_access():
    r = report({"operation": "DELETE", "count": 2})
    assert (r["ok"], r["succeeded"], r["failed"], r["telemetry"]) == (True, 1, 0, None)
    assert r["results"] == r.results
    assert r.get("telemetry", "d") is None and r.get("nope", "d") == "d" and r.get("nope") is None
    assert "ok" in r and "nope" not in r
    with pytest.raises(KeyError) as raised:
        r["nope"]
    assert raised.value.args == ("nope",)
    for bad in (lambda: r[1], lambda: 1 in r, lambda: r.get(1)):
        with pytest.raises(TypeError):
            bad()


def test_result_data_forms():
    r = report(
        {"operation": "QUERY", "hits": [{"id": 1, "collection": "c", "vector": [1, 2]}]},
        {"operation": "QUERY_GROUPS", "groups": [{"id": -5, "hits": [{"id": 2}]}, {"id": "g"}]},
        {"operation": "FACET", "facet": [{"value": True, "count": 2}, {"value": 3, "count": 1}]},
        {"operation": "UPSERT", "count": 3},
        {"operation": "SHOW_COLLECTIONS", "collections": ("a", "b")},
        {"operation": "SHOW_SHARD_KEYS", "shard_keys": {3}},
        {"operation": "SHOW_QUOTAS", "quotas": {"enabled": False}},
    )
    assert [res["data"] for res in r.results] == [
        [{"id": 1, "score": 0.0, "payload": None, "collection": "c", "vector": [1.0, 2.0]}],
        {"groups": [{"id": -5, "hits": [{"id": 2, "score": 0.0, "payload": None}]}, {"id": "g", "hits": []}]},
        [{"value": True, "count": 2}, {"value": 3, "count": 1}],
        {"count": 3},
        {"collections": ["a", "b"]},
        {"shard_keys": [3]},
        {"enabled": False},
    ]
    assert [(g["id"], [p.id for p in g["hits"]]) for g in r.groups(1)] == [(-5, [2]), ("g", [])]
    assert r.facet(2) == [{"value": True, "count": 2}, {"value": 3, "count": 1}]
    assert r.count(3) == 3 and r.collections(4) == ["a", "b"] and r.shard_keys(5) == [3]
    assert r.quotas(6) == {"enabled": False}


FROM_RESULTS_DOC = """Build an in-memory report from typed statement specs (tests, mocks,
offline replay). Each spec is a dict with an `operation` string,
an optional `ok` (default `True`) and `message`, and at most one typed
payload key:

- `hits`: list of `{id, score?, payload?, collection?, vector?}`
- `groups`: list of `{id, hits}`
- `count`: int \u2014 a COUNT result, or a mutation's affected count on any
  other operation
- `facet`: list of `{value, count}`
- `collections`: list of collection names
- `collection`: collection-info dict (`status`, `points_count`, \u2026)
- `shard_keys`: list of strings or non-negative ints
- `quotas`: quota-config dict (`enabled`, `max_disk_usage_percent`, \u2026)

Live reports always come from a client's `execute()`; this constructor
exists so offline tests can exercise the typed accessors without a
serialized-envelope round trip."""


def test_signatures_and_doc_strings():
    r = report()
    for name in ("hits", "points", "ids", "facet", "count", "groups", "collections", "collection", "shard_keys",
                 "quotas"):
        assert str(inspect.signature(getattr(r, name))) == "(stmt=0)"
    assert str(inspect.signature(r.get)) == "(key, default=None)"
    assert str(inspect.signature(ExecutionReport.from_results)) == "(results)"
    assert str(inspect.signature(one_hit(id=1).without_payload)) == "()"
    assert ExecutionReport.from_results.__doc__ == FROM_RESULTS_DOC
    assert ExecutionReport.ok.__doc__ == "Whether every statement succeeded (`failed == 0`)."


def test_nan_score_and_float_payload_round_trip():
    hit = one_hit(id=1, score=float("nan"), payload={"x": float("inf"), "y": 2**64 - 1, "z": {"b": 1, "a": [1.5]}})
    assert math.isnan(hit.score) and "score=NaN" in repr(hit)
    assert hit.payload == {"x": None, "y": 2**64 - 1, "z": {"a": [1.5], "b": 1}}
    assert list(hit.payload["z"]) == ["a", "b"]
