"""`compile` on collection, index and quota statements, and on the filter refusals that reach Python:
the requests and exact refusals users see, each payload also checked against the OpenAPI document."""

import pytest

import pyzorv
from openapi_check import check_request

@pytest.mark.parametrize(
    "text, method, path, payload, stmt_type",
    [
        (
            "CREATE COLLECTION docs (v VECTOR(4, DOT))",
            "PUT",
            "/collections/docs",
            {"vectors": {"v": {"distance": "Dot", "size": 4}}},
            "create_collection",
        ),
        (
            "CREATE COLLECTION docs (B VECTOR(4, COSINE), a VECTOR(8, DOT), s SPARSE) WITH WAL (wal_capacity_mb = 32)",
            "PUT",
            "/collections/docs",
            {
                "sparse_vectors": {"s": {"modifier": "idf"}},
                "vectors": {"B": {"distance": "Cosine", "size": 4}, "a": {"distance": "Dot", "size": 8}},
                "wal_config": {"wal_capacity_mb": 32},
            },
            "create_collection",
        ),
        (
            "CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', 7])",
            None,
            None,
            None,
            "create_collection",
        ),
        (
            "ALTER COLLECTION docs WITH PARAMS (replication_factor = 2)",
            "PATCH",
            "/collections/docs",
            {"params": {"replication_factor": 2}},
            "update_collection",
        ),
        (
            "CREATE INDEX ON COLLECTION docs FOR city TYPE keyword",
            "PUT",
            "/collections/docs/index",
            {"field_name": "city", "field_schema": "keyword"},
            "create_index",
        ),
        (
            "CREATE INDEX ON COLLECTION docs FOR tenant TYPE keyword WITH (is_tenant = true)",
            "PUT",
            "/collections/docs/index",
            {"field_name": "tenant", "field_schema": {"is_tenant": True, "type": "keyword"}},
            "create_index",
        ),
        (
            "SET QUOTA (ENABLED = true, release_margin_percent = 0)",
            "PUT",
            "/quotas",
            {"enabled": True, "release_margin_percent": 0},
            "set_quota",
        ),
    ],
)
def test_compile_ddl(text, method, path, payload, stmt_type):
    route = pyzorv.compile(text)
    assert route == {"method": method, "path": path, "payload": payload, "stmt_type": stmt_type}
    (stmt,) = pyzorv.parse(text)
    assert stmt.compile_route() == route
    if payload is not None:
        check_request(method, path, payload)


@pytest.mark.parametrize(
    "text, code, message",
    [
        (
            "CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH WAL (wal_capacity_mb = 0)",
            "ZORV-PLAN-COLLECTION-CONFIG",
            "wal_capacity_mb must be a positive integer",
        ),
        (
            "CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH STRICT_MODE (max_query_limit = 0)",
            "ZORV-PLAN-COLLECTION-CONFIG",
            "max_query_limit must be a positive integer",
        ),
        (
            "ALTER COLLECTION docs WITH PARAMS (shard_number = 2)",
            "ZORV-PLAN-COLLECTION-CONFIG",
            "shard_number / sharding_method / shard_keys are supported only for CREATE COLLECTION "
            "(use CREATE/DROP SHARD KEY)",
        ),
        (
            "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (tokenizer = 'ngram')",
            "ZORV-PLAN-INDEX-OPTION",
            "unsupported text tokenizer 'ngram'. Expected: word, whitespace, prefix, multilingual",
        ),
        (
            "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (stopwords = 'klingon')",
            "ZORV-PLAN-INDEX-OPTION",
            "unknown stopwords language 'klingon'",
        ),
        (
            "SET QUOTA (max_disk_usage_percent = 0)",
            "ZORV-PLAN-QUOTA",
            "max_disk_usage_percent must be an integer in [1, 100] or null",
        ),
        (
            "COUNT FROM docs WHERE tag IN (1, 'a')",
            "ZORV-PLAN-MATCH-TYPE",
            'match list mixes strings and integers at entry 2 ("a"): match lists must be all strings or all integers',
        ),
    ],
)
def test_compile_refusals(text, code, message):
    # compile raises ZorvSyntaxError for a planning failure whatever its kind.
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.compile(text)
    assert info.value.code == code
    assert str(info.value) == f"[{code}] {message}"
    assert info.value.span is None


def test_facet_with_filter_is_valid():
    assert pyzorv.is_valid("FACET city FROM docs WHERE price >= 10 LIMIT 5") is True
    assert pyzorv.is_valid("COUNT FROM docs WHERE tag IN (1, 'a')") is False
