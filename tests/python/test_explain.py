"""`explain` and `Stmt.explain`: the explanation dicts, from text and from parsed statements."""

import inspect

import pytest

import pyzorv


def test_signatures_and_names():
    assert str(inspect.signature(pyzorv.explain)) == "(query)"
    assert pyzorv.explain.__doc__ == "Explain a query string or Stmt (returns `{ok, query, plan|error}`)."
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    assert str(inspect.signature(stmt.explain)) == "()"
    names = pyzorv.pyzorv.__all__
    # added right after `bind`, which comes first among the functions
    assert names[names.index("bind") + 1] == "explain"


def test_text_gives_the_plan_in_key_order():
    text = "QUERY [1.0] FROM c WHERE a = 1 LIMIT 5"
    result = pyzorv.explain(text)
    assert list(result) == ["ok", "query", "plan"]
    assert result["ok"] is True
    assert result["query"] == text
    assert result["plan"] == (
        "Statement: QUERY [nearest neighbors from a vector]\n"
        "├── Collection: c\n"
        "├── Filter: a = 1\n"
        "└── Pagination: limit=5, offset=0\n"
    )


@pytest.mark.parametrize(
    "text, code",
    [
        ("HELLO c", "ZORV-PARSE-STATEMENT"),
        # one statement only
        ("SHOW QUOTAS; SHOW COLLECTIONS", None),
    ],
)
def test_parse_failure_is_an_error_dict_not_an_exception(text, code):
    result = pyzorv.explain(text)
    assert list(result) == ["ok", "query", "error"]
    assert result["ok"] is False
    assert result["query"] == text
    assert result["error"].startswith("[ZORV-")
    if code is not None:
        assert result["error"].startswith(f"[{code}] ")


def test_stmt_argument_shows_a_marker():
    (stmt,) = pyzorv.parse("DROP COLLECTION c")
    assert pyzorv.explain(stmt) == {"ok": True, "query": "<Stmt>", "plan": "Statement: DROP COLLECTION [c]\n"}


def test_stmt_explain_shows_its_canonical_text():
    (stmt,) = pyzorv.parse("delete from c where id = 7 wait true")
    result = stmt.explain()
    assert list(result) == ["ok", "query", "plan"]
    assert result["ok"] is True
    assert result["query"] == str(stmt)
    assert result["plan"] == "Statement: DELETE FROM c\n├── Selector: id = 7\n└── Wait: true\n"


@pytest.mark.parametrize("query", [42, None, b"QUERY [1.0] FROM c"])
def test_other_query_types_raise_type_error(query):
    with pytest.raises(TypeError, match="^query must be a string or a Stmt object$"):
        pyzorv.explain(query)
