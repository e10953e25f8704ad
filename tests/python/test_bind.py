"""`bind` and `Stmt.bind`: params into text and into parsed statements, with their error classes."""

import inspect

import pytest

import pyzorv


def test_signatures():
    assert str(inspect.signature(pyzorv.bind)) == "(query, params=None, *, truncate_vectors=False)"
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    assert str(inspect.signature(stmt.bind)) == "(params=None)"
    assert stmt.bind.__doc__ == "Bind parameters into this statement and return a new bound Stmt."
    assert "bind" in pyzorv.__all__


def test_text_without_params_comes_back_unchanged():
    text = "QUERY [0.1, 0.2, 0.3, 0.4] FROM c LIMIT :n"
    assert pyzorv.bind(text) is text
    assert pyzorv.bind(text, None, truncate_vectors=True) is text


@pytest.mark.parametrize(
    "text, params, expected",
    [
        ("QUERY [1] FROM c WHERE a = :a LIMIT :n", {"a": "x", "n": 5}, "QUERY [1] FROM c WHERE a = 'x' LIMIT 5"),
        ("QUERY [1] FROM c WHERE a = ? LIMIT ?", [True, 2], "QUERY [1] FROM c WHERE a = true LIMIT 2"),
        # One statement-scoped container: the inner list holds the positional values.
        ("QUERY [1] FROM c WHERE a = ? LIMIT ?", [[1, 2]], "QUERY [1] FROM c WHERE a = 1 LIMIT 2"),
        ("QUERY ? FROM c", [[0.1, 0.2]], None),
        ("WHERE u = :user.name AND w = :user", {"user": {"name": "a"}}, "WHERE u = 'a' AND w = {name: 'a'}"),
        ("x = 1 -:v", {"v": -5}, "x = 1 - -5"),
        ("a = :s", {"s": "it's\n"}, "a = 'it\\'s\\n'"),
    ],
)
def test_bind_text(text, params, expected):
    if expected is None:
        # [[0.1, 0.2]] for one statement is the positional container [0.1, 0.2]: two values, one "?".
        with pytest.raises(pyzorv.ZorvValidationError) as info:
            pyzorv.bind(text, params)
        assert info.value.code == "ZORV-BIND-UNUSED-PARAMS"
        return
    assert pyzorv.bind(text, params) == expected


def test_bind_text_truncates_vectors_when_asked():
    out = pyzorv.bind("QUERY :v FROM c", {"v": [0.5] * 384}, truncate_vectors=True)
    assert out == "QUERY [0.5, 0.5, ... (384 dims)] FROM c"


@pytest.mark.parametrize(
    "query, params, code",
    [
        ("QUERY [1] FROM c LIMIT ?", [[1], [2]], "ZORV-BIND-BATCH-LENGTH"),
        ("QUERY [1] FROM c LIMIT :n", {}, "ZORV-BIND-MISSING-PARAM"),
        ("QUERY [1] FROM c LIMIT :n", {"n": None}, "ZORV-BIND-NULL-PARAM"),
        ("QUERY [1] FROM c LIMIT ?", {"n": 1}, "ZORV-BIND-MIXED-STYLE"),
        ("QUERY [1] FROM c LIMIT :n", "x", "ZORV-BIND-INVALID-PARAMS"),
        ("QUERY [1] FROM c WHERE a = :s", {"s": "a\0b"}, "ZORV-BIND-TYPE-MISMATCH"),
    ],
)
def test_bind_text_failures_are_validation_errors(query, params, code):
    with pytest.raises(pyzorv.ZorvValidationError) as info:
        pyzorv.bind(query, params)
    assert info.value.code == code
    assert info.value.kind == "Validation"


def test_nul_in_a_string_is_refused_not_dropped():
    with pytest.raises(pyzorv.ZorvValidationError) as info:
        pyzorv.bind("QUERY [1] FROM c WHERE a = :s", {"s": "a\0b"})
    assert "cannot bind a string containing U+0000; remove the NUL character" in str(info.value)


def test_bind_stmt_returns_a_new_bound_stmt():
    (stmt,) = pyzorv.parse("QUERY [1] FROM c WHERE id = :id LIMIT :n")
    bound = pyzorv.bind(stmt, {"id": 7, "n": 3})
    assert isinstance(bound, pyzorv.Stmt) and bound is not stmt
    assert bound.bound and not stmt.bound
    assert str(bound) == "QUERY [1.0] FROM c WHERE id = 7 LIMIT 3"
    assert str(stmt) == "QUERY [1.0] FROM c WHERE id = :id LIMIT :n"
    # Without params the flag is carried over, bound or not.
    assert pyzorv.bind(stmt).bound is False
    assert pyzorv.bind(bound).bound is True
    assert pyzorv.bind(bound, None).bound is True


def test_bind_stmt_with_truncate_returns_display_text():
    (stmt,) = pyzorv.parse("QUERY :v FROM c")
    out = pyzorv.bind(stmt, {"v": [0.25] * 40}, truncate_vectors=True)
    assert isinstance(out, str)
    assert out.startswith("QUERY [0.25, 0.25, ... (40 dims)]")
    assert out.split() == ["QUERY", "[0.25,", "0.25,", "...", "(40", "dims)]", "FROM", "c"]


def test_the_bound_flag_records_use_not_content():
    (stmt,) = pyzorv.parse("QUERY [1] FROM c")
    assert stmt.bind({}).bound is True
    assert stmt.bind().bound is False
    assert stmt.bind(None).bound is False


@pytest.mark.parametrize("bind", [lambda s, p: s.bind(p), lambda s, p: pyzorv.bind(s, p)])
def test_a_bound_stmt_refuses_params(bind):
    (stmt,) = pyzorv.parse("QUERY [1] FROM c LIMIT :n")
    bound = stmt.bind({"n": 2})
    with pytest.raises(pyzorv.ZorvValidationError) as info:
        bind(bound, {"n": 3})
    assert info.value.code == "ZORV-BIND-ALREADY-BOUND"
    assert info.value.kind == "Validation"
    assert "statement is already bound; passing params again would be silently ignored" in str(info.value)
    assert str(bound) == "QUERY [1.0] FROM c LIMIT 2"


@pytest.mark.parametrize(
    "text, params, code, message",
    [
        ("QUERY [1] FROM c LIMIT :n", {"n": 0}, "ZORV-BIND-TYPE-MISMATCH", "LIMIT parameter must be a positive integer"),
        ("QUERY [1] FROM c WHERE a = ?", {"a": 1}, "ZORV-BIND-MISSING-PARAM",
         "positional parameter ? index 1 out of range (total provided: 0)"),
        ("SHOW COLLECTIONS", {}, "ZORV-BIND-UNSUPPORTED-STATEMENT",
         "cannot bind parameters into statement type: SHOW COLLECTIONS"),
        ("QUERY [1] FROM c WHERE a = :a", {"a": float("nan")}, None, None),
        ("QUERY [1] FROM c WHERE a = :a", 5, "ZORV-BIND-INVALID-PARAMS",
         "params must be an object for named parameters (:name) or an array for positional parameters (?)"),
    ],
)
def test_stmt_bind_failures_leave_the_stmt_alone(text, params, code, message):
    (stmt,) = pyzorv.parse(text)
    before = str(stmt)
    if code is None:
        with pytest.raises(ValueError, match="cannot bind non-finite float value 'NaN'"):
            stmt.bind(params)
    else:
        with pytest.raises(pyzorv.ZorvValidationError) as info:
            stmt.bind(params)
        assert info.value.code == code
        assert message in str(info.value)
    assert str(stmt) == before and not stmt.bound


def test_a_non_negative_int_binds_into_a_formula():
    (stmt,) = pyzorv.parse("QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])")
    assert str(stmt.bind({"w": 7})) == "QUERY FORMULA 7.0 * $score FROM c PREFETCH (QUERY [1.0])"


def test_rows_bind_into_an_upsert():
    (stmt,) = pyzorv.parse("UPSERT INTO c VALUES :rows")
    rows = [{"id": i, "vector": [0.5, 1.5], "tag": f"t{i}"} for i in range(3)]
    assert str(stmt.bind({"rows": rows})) == (
        "UPSERT INTO c VALUES\n  {id: 0, vector: [0.5, 1.5], tag: 't0'},\n  {id: 1, vector: [0.5, 1.5], tag: 't1'},\n"
        "  {id: 2, vector: [0.5, 1.5], tag: 't2'}"
    )


@pytest.mark.parametrize("query", [5, None, b"QUERY [1] FROM c"])
def test_query_must_be_str_or_stmt(query):
    with pytest.raises(TypeError, match="query must be a str or Stmt"):
        pyzorv.bind(query, {})


def test_argument_errors():
    with pytest.raises(TypeError, match="truncate_vectors"):
        pyzorv.bind("QUERY [1] FROM c", {}, truncate_vectors=1)
    with pytest.raises(TypeError):
        pyzorv.bind("QUERY [1] FROM c", {}, True)
    with pytest.raises(TypeError):
        pyzorv.bind()
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    with pytest.raises(TypeError):
        stmt.bind(params={}, other=1)
