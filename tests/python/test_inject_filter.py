"""`inject_filter`, `Stmt.inject_filter` and the `Stmt.shard_key` property."""

import inspect

import pytest

import pyzorv


def one(text):
    (stmt,) = pyzorv.parse(text)
    return stmt


def test_signatures_and_names():
    assert str(inspect.signature(pyzorv.inject_filter)) == "(query, field, op, value)"
    assert pyzorv.inject_filter.__doc__ == "Inject a WHERE filter into a query string or Stmt; returns the new Stmt."
    assert str(inspect.signature(one("SHOW QUOTAS").inject_filter)) == "(field, op, value)"
    names = pyzorv.pyzorv.__all__
    assert names.index("is_valid") < names.index("inject_filter") < names.index("tokenize")


@pytest.mark.parametrize(
    "text, field, op, value, expected",
    [
        ("QUERY [1.0] FROM c", "tenant", "=", "a", "QUERY [1.0] FROM c WHERE tenant = 'a'"),
        ("QUERY [1.0] FROM c WHERE x = 1 OR y = 2", "n", " GTE ", 3, "QUERY [1.0] FROM c WHERE (x = 1 OR y = 2) AND n >= 3"),
        ("COUNT FROM c", "score", "lt", 0.5, "COUNT FROM c WHERE score < 0.5"),
        ("COUNT FROM c", "flag", "eq", True, "COUNT FROM c WHERE flag = true"),
        ("DELETE FROM c WHERE id = 7", "tenant", "==", "a", "DELETE FROM c WHERE id = 7 AND tenant = 'a'"),
        ("DELETE FROM c WHERE x = 1", "ID", "=", 5, "DELETE FROM c WHERE x = 1 AND id = 5"),
        ("UPSERT INTO c VALUES {id: 1, Tenant: 'x'}", "tenant", "=", "a", "UPSERT INTO c VALUES {id: 1, Tenant: 'a'}"),
        # dict values come out in key order
        ("COUNT FROM c", "meta", "=", {"b": 1, "a": [2, None]}, "COUNT FROM c WHERE meta = {a: [2, null], b: 1}"),
    ],
)
def test_injects_into_text(text, field, op, value, expected):
    stmt = pyzorv.inject_filter(text, field, op, value)
    assert isinstance(stmt, pyzorv.Stmt)
    assert str(stmt) == expected
    assert stmt.bound is False


def test_stmt_argument_is_rewritten_too():
    stmt = pyzorv.bind(one("QUERY [1.0] FROM c LIMIT :n"), {"n": 3})
    result = pyzorv.inject_filter(stmt, field="tenant", op="=", value="a")
    assert result is not stmt
    assert str(result) == str(stmt) == "QUERY [1.0] FROM c WHERE tenant = 'a' LIMIT 3"
    assert result.bound is True


def test_stmt_method_rewrites_in_place_and_returns_none():
    stmt = one("SCROLL FROM c LIMIT 5")
    assert stmt.inject_filter("tenant", "=", "a") is None
    assert str(stmt) == "SCROLL FROM c WHERE tenant = 'a' LIMIT 5"


INJECT = "ZORV-VALIDATION-FILTER-INJECT"


@pytest.mark.parametrize(
    "text, field, op, value, code, message",
    [
        ("QUERY [1.0] FROM c", "t", "!=", "a", INJECT,
         "inject_filter does not support '!='; inject equality and wrap with NOT, or rewrite the query"),
        ("QUERY [1.0] FROM c", "t", "=>", "a", INJECT, "unsupported comparison operator '=>' (use =, >, >=, <, <=)"),
        ("SHOW COLLECTIONS", "id", ">", 1, "ZORV-VALIDATION-ID-PREDICATE", "point ID injection supports equality only"),
        ("COUNT FROM c", "id", "=", -1, "ZORV-VALIDATION-POINT-ID", "point IDs must be unsigned integers or strings"),
        ("DROP COLLECTION c", "t", "=", "a", INJECT, "inject_filter does not apply to this statement type (DROP COLLECTION)"),
        ("QUERY POINTS (1, 2) FROM c", "t", "=", "a", INJECT,
         "inject_filter does not apply to QUERY POINTS: points addressed by ID are not filtered; use SCROLL with a "
         "WHERE clause"),
    ],
)
def test_refusals_are_syntax_errors_with_the_error_code(text, field, op, value, code, message):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.inject_filter(text, field, op, value)
    assert info.value.code == code
    assert info.value.kind == "Validation"
    assert info.value.span is None
    assert str(info.value) == f"[{code}] {message}"


def test_parse_failure_is_a_syntax_error():
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.inject_filter("QUERY", "t", "=", "a")
    assert info.value.kind == "Parse"


def test_refused_rewrite_leaves_the_stmt_unchanged():
    stmt = one("BATCH { QUERY [1.0] FROM a; UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1]} }")
    before = str(stmt)
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        stmt.inject_filter("t", "=", "a")
    assert info.value.code == INJECT
    assert str(stmt) == before


def test_checks_run_value_then_operator_then_query():
    with pytest.raises(ValueError, match="^unsupported value type"):
        pyzorv.inject_filter(42, "t", "!=", object())
    with pytest.raises(pyzorv.ZorvSyntaxError):
        pyzorv.inject_filter(42, "t", "!=", "a")
    with pytest.raises(TypeError, match="^query must be a string or a Stmt object$"):
        pyzorv.inject_filter(42, "t", "=", "a")
    with pytest.raises(OverflowError):
        pyzorv.inject_filter("COUNT FROM c", "t", "=", 2**64)
    with pytest.raises(ValueError, match="^cannot bind non-finite float value 'NaN'$"):
        one("COUNT FROM c").inject_filter("t", "=", float("nan"))


@pytest.mark.parametrize("field, op", [(1, "="), ("t", None)])
def test_field_and_op_must_be_str(field, op):
    with pytest.raises(TypeError):
        pyzorv.inject_filter("COUNT FROM c", field, op, 1)
    with pytest.raises(TypeError):
        one("COUNT FROM c").inject_filter(field, op, 1)


def test_shard_key_reads_keyword_number_and_placeholder():
    assert one("SCROLL FROM c SHARD 'eu' LIMIT 1").shard_key == "eu"
    assert one("COUNT FROM c SHARD 7").shard_key == 7
    assert one("COUNT FROM c SHARD :k").shard_key is None
    assert one("COUNT FROM c").shard_key is None
    assert one("BATCH { QUERY [1.0] FROM a SHARD 'a'; DELETE FROM b WHERE id = 1 SHARD 'a' }").shard_key == "a"
    assert one("BATCH { QUERY [1.0] FROM a SHARD 'a'; DELETE FROM b WHERE id = 1 SHARD 'b' }").shard_key is None


def test_shard_key_setter_writes_every_query_body():
    stmt = one("WITH a AS (QUERY [1.0]) QUERY FUSION RRF FROM c PREFETCH (a, QUERY [2.0])")
    stmt.shard_key = "tenant"
    assert stmt.shard_key == "tenant"
    assert str(stmt).count("SHARD 'tenant'") == 3
    stmt.shard_key = 7
    assert stmt.shard_key == 7
    stmt.shard_key = ""
    assert stmt.shard_key is None
    assert "SHARD" not in str(stmt)
    stmt.shard_key = 2**64 - 1
    assert stmt.shard_key == 2**64 - 1
    stmt.shard_key = None
    assert stmt.shard_key is None


@pytest.mark.parametrize(
    "value, message",
    [
        (True, "shard_key must be str, int, or None (bool is not a shard key)"),
        (-1, "shard_key integer must fit in u64"),
        (2**64, "shard_key integer must fit in u64"),
        (3.5, "shard_key must be str, int, or None"),
        ("\ud800", "shard_key string is not valid Unicode"),
    ],
)
def test_shard_key_setter_refuses_other_values(value, message):
    stmt = one("SCROLL FROM c SHARD 'x' LIMIT 1")
    with pytest.raises(ValueError) as info:
        stmt.shard_key = value
    assert str(info.value) == message
    assert type(info.value) is ValueError
    assert stmt.shard_key == "x"


def test_shard_key_setter_refuses_kinds_without_one():
    stmt = one("CREATE COLLECTION c")
    with pytest.raises(ValueError, match=r"^cannot set shard_key on statement type that does not support sharding \(e\.g\. DDL statements\)$"):
        stmt.shard_key = "k"
    assert str(stmt) == "CREATE COLLECTION c"
