"""`compile` of QUERY, the read statements and their refusals; the query corpus end to end."""

import json
import re
from pathlib import Path

import pytest

import pyzorv
from openapi_check import check_request

DATA = Path(__file__).resolve().parents[1] / "data"


@pytest.mark.parametrize(
    "text, path, payload, stmt_type",
    [
        (
            "QUERY [0.5, 0.25] FROM docs USING dense LIMIT 5",
            "/collections/docs/points/query",
            {"limit": 5, "query": {"nearest": [0.5, 0.25]}, "using": "dense", "with_payload": True},
            "query",
        ),
        # Timeout and consistency go into the query string, not the body.
        (
            "QUERY [0.5, 0.25] FROM docs USING dense PARAMS (timeout = 5, consistency = majority) LIMIT 5",
            "/collections/docs/points/query",
            {"limit": 5, "query": {"nearest": [0.5, 0.25]}, "using": "dense", "with_payload": True},
            "query",
        ),
        (
            "WITH a AS (QUERY [0.5] USING dense LIMIT 50) QUERY FUSION RRF FROM docs PREFETCH (a) LIMIT 10",
            "/collections/docs/points/query",
            {
                "limit": 10,
                "prefetch": [{"limit": 50, "query": {"nearest": [0.5]}, "using": "dense"}],
                "query": {"fusion": "rrf"},
                "with_payload": True,
            },
            "query",
        ),
        (
            "QUERY [0.5] FROM docs USING dense GROUP BY city LIMIT 5 OFFSET 20",
            "/collections/docs/points/query/groups",
            {
                "group_by": "city",
                "group_size": 3,
                "limit": 25,
                "query": {"nearest": [0.5]},
                "using": "dense",
                "with_payload": True,
            },
            "query_groups",
        ),
        (
            "QUERY POINTS (1, 2) FROM docs WITH VECTOR true",
            "/collections/docs/points",
            {"ids": [1, 2], "with_payload": True, "with_vector": True},
            "points",
        ),
        (
            "COUNT FROM docs WHERE city = 'Oslo'",
            "/collections/docs/points/count",
            {"filter": {"must": [{"key": "city", "match": {"value": "Oslo"}}]}},
            "count",
        ),
        ("FACET city FROM docs LIMIT 3", "/collections/docs/facet", {"key": "city", "limit": 3}, "facet"),
    ],
)
def test_compile_reads(text, path, payload, stmt_type):
    route = pyzorv.compile(text)
    assert route == {"method": "POST", "path": path, "payload": payload, "stmt_type": stmt_type}
    check_request("POST", path, payload)


def test_scroll_after_sends_the_next_id():
    try:
        route = pyzorv.compile("SCROLL FROM docs AFTER 41 LIMIT 10")
    except pyzorv.ZorvSyntaxError as error:
        if error.code == "ZORV-PLAN-UNSUPPORTED":
            pytest.skip("SCROLL lowering is not on this branch")
        raise
    assert route == {
        "method": "POST",
        "path": "/collections/docs/points/scroll",
        "payload": {"limit": 10, "offset": 42, "with_payload": True, "with_vector": False},
        "stmt_type": "scroll",
    }


def test_cross_rerank_has_no_request():
    route = pyzorv.compile("QUERY CROSS RERANK 'q' MODEL 'm' FROM docs PREFETCH (QUERY [0.5] USING dense LIMIT 5)")
    assert route == {"method": None, "path": None, "payload": None, "stmt_type": "cross_rerank"}


def doubling_chain(levels):
    text = "WITH c0 AS (QUERY [1] USING v)"
    for i in range(1, levels + 1):
        text += f", c{i} AS (QUERY FUSION RRF PREFETCH (c{i - 1}, c{i - 1}))"
    return text + f" QUERY FUSION RRF FROM d PREFETCH (c{levels})"


def cte_chain(depth):
    text = "WITH c0 AS (QUERY [1] USING v)"
    for i in range(1, depth):
        text += f", c{i} AS (QUERY [1] USING v PREFETCH (c{i - 1}))"
    return text + f" QUERY [1] FROM d USING v PREFETCH (c{depth - 1})"


@pytest.mark.parametrize(
    "text, code, message",
    [
        (
            "QUERY FORMULA $score + CASE WHEN id = 'x1' THEN 1 ELSE 0 END FROM c PREFETCH (QUERY [1] USING v)",
            "ZORV-PLAN-POINT-ID",
            'point ID "x1" is not a UUID; point IDs must be unsigned integers or UUIDs',
        ),
        (
            "QUERY [1] FROM c PARAMS (idf = WHERE id = 'x2')",
            "ZORV-PLAN-POINT-ID",
            'point ID "x2" is not a UUID; point IDs must be unsigned integers or UUIDs',
        ),
        # About 1 KB of text asking for 2^40 stages: the cap stops it after ten thousand.
        (
            doubling_chain(40),
            "ZORV-VALIDATION-PLAN-SIZE",
            "query plan expands to more than 10000 prefetch stages; reference each common table expression fewer times",
        ),
        (
            cte_chain(65),
            "ZORV-VALIDATION-NESTING",
            "query nesting exceeds the supported depth of 64 levels; flatten the CTE / PREFETCH chain",
        ),
        (
            "QUERY HYBRID 'x' FROM c LIMIT 1844674407370955162",
            "ZORV-VALIDATION-LIMIT-OVERFLOW",
            "hybrid query LIMIT 1844674407370955162 overflows the candidate limit (LIMIT * 10); reduce LIMIT",
        ),
    ],
)
def test_compile_refusals(text, code, message):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.compile(text)
    assert info.value.code == code
    assert str(info.value) == f"[{code}] {message}"
    assert info.value.span is None


def test_sixty_four_levels_plan():
    assert pyzorv.compile(cte_chain(64))["stmt_type"] == "query"


def corpus_cases():
    fixture = json.loads((DATA / "query_corpus_params.json").read_text())
    for number, raw in enumerate((DATA / "query_corpus.zorv").read_text().splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("--"):
            continue
        text, _, note = line.partition("  -- fails: ")
        text = text.rstrip().rstrip(";")
        params = fixture["positional"].get(text)
        if params is None:
            names = sorted(set(re.findall(r":([A-Za-z_]\w*)", text)))
            params = {name: fixture["named"][name] for name in names} or None
        yield pytest.param(text, params, note or None, id=f"line{number}")


@pytest.mark.parametrize("text, params, code", list(corpus_cases()))
def test_query_corpus(text, params, code):
    if code is not None:
        with pytest.raises(pyzorv.ZorvSyntaxError) as info:
            pyzorv.compile(text, params)
        assert info.value.code == code
        return
    route = pyzorv.compile(text, params)
    if route["stmt_type"] == "cross_rerank":
        assert route["method"] is None
        return
    check_request(route["method"], route["path"], route["payload"])
