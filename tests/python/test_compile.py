"""`compile` and `Stmt.compile_route`: the REST request of a statement, shown without sending it."""

import inspect

import pytest

import pyzorv
from openapi_check import check_request


def test_signatures():
    assert str(inspect.signature(pyzorv.compile)) == "(input, params=None)"
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    assert str(inspect.signature(stmt.compile_route)) == "(params=None)"
    assert "compile" in pyzorv.__all__


@pytest.mark.parametrize(
    "text, params, method, path, payload, stmt_type",
    [
        ("SHOW COLLECTIONS", None, "GET", "/collections", None, "show_collections"),
        ("SHOW QUOTAS", None, "GET", "/quotas", None, "show_quotas"),
        ("SHOW COLLECTION 'a b'", None, "GET", "/collections/a%20b", None, "show_collection"),
        ("SHOW SHARD KEYS ON COLLECTION docs", None, "GET", "/collections/docs/shards", None, "show_shard_keys"),
        ("DROP COLLECTION 'x/y'", None, "DELETE", "/collections/x%2Fy", None, "drop_collection"),
        (
            "DROP INDEX ON COLLECTION 'my docs' FOR 'x/../..'",
            None,
            "DELETE",
            "/collections/my%20docs/index/x%2F..%2F..",
            None,
            "drop_index",
        ),
        (
            "CREATE SHARD KEY 'eu' ON COLLECTION docs WITH (shards_number = 2)",
            None,
            "PUT",
            "/collections/docs/shards",
            {"shard_key": "eu", "shards_number": 2},
            "create_shard_key",
        ),
        (
            "DROP SHARD KEY :k ON COLLECTION docs",
            {"k": 7},
            "POST",
            "/collections/docs/shards/delete",
            {"shard_key": 7},
            "drop_shard_key",
        ),
    ],
)
def test_compile(text, params, method, path, payload, stmt_type):
    route = pyzorv.compile(text, params)
    assert route == {"method": method, "path": path, "payload": payload, "stmt_type": stmt_type}
    assert list(route) == ["method", "path", "payload", "stmt_type"]
    (stmt,) = pyzorv.parse(text)
    assert stmt.compile_route(params) == route
    if params is not None:
        assert pyzorv.bind(stmt, params).compile_route() == route
    if payload is not None:
        check_request(method, path, payload)


@pytest.mark.parametrize(
    "text, params, cls, code",
    [
        # Planning and route failures are syntax errors here whatever their kind.
        ("DROP SHARD KEY :k ON COLLECTION docs", None, pyzorv.ZorvSyntaxError, "ZORV-BIND-MISSING-PARAM"),
        ("DROP COLLECTION '..'", None, pyzorv.ZorvSyntaxError, "ZORV-PLAN-PATH-NAME"),
        ("SHOW COLLECTIONS; SHOW QUOTAS", None, pyzorv.ZorvSyntaxError, "ZORV-PARSE-TRAILING"),
        # Binding keeps its own class.
        ("DROP SHARD KEY :k ON COLLECTION docs", {"j": 7}, pyzorv.ZorvValidationError, None),
    ],
)
def test_compile_failures(text, params, cls, code):
    with pytest.raises(cls) as info:
        pyzorv.compile(text, params)
    if code is not None:
        assert info.value.code == code
    (stmt,) = pyzorv.parse(text.split(";")[0])
    if code is not None and ";" not in text:
        with pytest.raises(cls) as again:
            stmt.compile_route(params)
        assert again.value.code == code


def test_bound_stmt_refuses_params():
    (stmt,) = pyzorv.parse("DROP SHARD KEY :k ON COLLECTION docs")
    bound = stmt.bind({"k": "eu"})
    assert bound.compile_route()["payload"] == {"shard_key": "eu"}
    assert bound.compile_route(None)["payload"] == {"shard_key": "eu"}
    with pytest.raises(pyzorv.ZorvValidationError) as info:
        bound.compile_route({"k": 7})
    assert info.value.code == "ZORV-BIND-ALREADY-BOUND"


def test_compile_argument_types():
    with pytest.raises(TypeError):
        pyzorv.compile(42)
    with pytest.raises(TypeError):
        pyzorv.compile("SHOW QUOTAS", None, 3)
