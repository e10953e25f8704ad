"""`parse` and the `Stmt` handle: canonical text, repr, bound flag, class properties."""

import gc
import inspect

import pytest

import pyzorv
from pyzorv import pyzorv as native


def test_parse_returns_one_unbound_stmt_per_statement_in_order():
    stmts = pyzorv.parse("SHOW COLLECTIONS; show collection 'My Coll';SHOW SHARD KEYS ON COLLECTION c; SHOW QUOTAS")
    assert [type(s) for s in stmts] == [pyzorv.Stmt] * 4
    assert [str(s) for s in stmts] == [
        "SHOW COLLECTIONS",
        "SHOW COLLECTION 'My Coll'",
        "SHOW SHARD KEYS ON COLLECTION c",
        "SHOW QUOTAS",
    ]
    assert [s.bound for s in stmts] == [False] * 4


@pytest.mark.parametrize("text", ["", "   ", "-- only a comment\n"])
def test_parse_of_blank_text_is_an_empty_list(text):
    assert pyzorv.parse(text) == []


def test_repr_wraps_the_canonical_text():
    (stmt,) = pyzorv.parse("show collection score")
    assert str(stmt) == "SHOW COLLECTION score"
    assert repr(stmt) == "<Stmt: SHOW COLLECTION score>"


@pytest.mark.parametrize(
    "text, code",
    [
        ("SHOW TABLES", "ZORV-PARSE-SYNTAX"),
        ("SHOW COLLECTIONS;;", "ZORV-PARSE-EMPTY-STATEMENT"),
        ("SHOW COLLECTIONS SHOW QUOTAS", "ZORV-PARSE-SEPARATOR"),
        ("SHOW COLLECTION 'x", "ZORV-LEX-STRING"),
    ],
)
def test_parse_failures_raise_zorv_syntax_error_whatever_their_kind(text, code):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.parse(text)
    assert info.value.code == code
    assert str(info.value).startswith("[" + code + "]")


def test_parse_takes_one_str_argument():
    assert pyzorv.parse(input="SHOW QUOTAS")[0].bound is False
    with pytest.raises(TypeError):
        pyzorv.parse(42)
    with pytest.raises(TypeError):
        pyzorv.parse()
    with pytest.raises(TypeError):
        pyzorv.parse("SHOW QUOTAS", text="x")


def test_parse_signature_and_doc():
    assert native.parse.__text_signature__ == "(input)"
    assert str(inspect.signature(pyzorv.parse)) == "(input)"
    assert pyzorv.parse.__doc__ == (
        "Parse a ZORV source into a list of Stmt objects.\n"
        "Accepts single statements and semicolon-delimited scripts."
    )
    assert pyzorv.parse.__module__ == native.__name__


def test_all_lists_stmt_before_the_functions_and_parse_before_tokenize():
    names = native.__all__
    assert names.index("Stmt") < names.index("parse") < names.index("tokenize") < names.index("__version__")


def test_stmt_class_properties():
    assert pyzorv.Stmt.__name__ == "Stmt"
    assert pyzorv.Stmt.__doc__ == "A parsed ZORV statement handle (mirrors `zorav`'s `Stmt` and `zorv-wasm`'s)."
    assert pyzorv.Stmt.__text_signature__ is None
    assert pyzorv.Stmt.bound.__doc__.startswith("Whether parameters have already been bound into this statement.\n")
    with pytest.raises(TypeError):
        pyzorv.Stmt()
    with pytest.raises(TypeError):
        type("Sub", (pyzorv.Stmt,), {})


def test_bound_is_read_only():
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    with pytest.raises(AttributeError):
        stmt.bound = True


def test_stmt_takes_part_in_garbage_collection():
    (stmt,) = pyzorv.parse("SHOW QUOTAS")
    assert gc.is_tracked(stmt)
    holder = [stmt]
    holder.append(holder)  # a cycle through a list only; the Stmt is released with it
    del stmt, holder
    gc.collect()


def test_repr_shortens_vectors_while_str_keeps_every_number():
    values = ", ".join(str(i / 8) for i in range(384))
    (stmt,) = pyzorv.parse("QUERY [" + values + "] FROM docs LIMIT 5")
    text = str(stmt)
    assert text.count(",") == 383
    assert repr(stmt).startswith("<Stmt: QUERY [0.0, 0.125, ... (384 dims)]")
    assert repr(stmt).endswith("(384 dims)]\nFROM docs\nLIMIT 5>")


def test_str_is_the_canonical_text_of_each_statement():
    stmts = pyzorv.parse("query text 'cats' from docs where a = 1 and (b = 2 or c = 3); SHOW QUOTAS")
    assert [str(s) for s in stmts] == [
        "QUERY 'cats' FROM docs WHERE a = 1 AND (b = 2 OR c = 3)",
        "SHOW QUOTAS",
    ]
    assert repr(stmts[0]) == "<Stmt: QUERY 'cats' FROM docs WHERE a = 1 AND (b = 2 OR c = 3)>"


def test_mutation_statements_parse_and_print_their_canonical_text():
    stmts = pyzorv.parse(
        "upsert into docs values {id: 1, vector: [0.5, 1], lang: 'en'}, {id: 'b', tags: []} "
        "embed body into dense using model 'm' wait true;"
        "update docs set vector dense = [1, 2] where id = 1;"
        "facet lang from docs limit ? exact"
    )
    assert [str(s) for s in stmts] == [
        "UPSERT INTO docs VALUES\n  {id: 1, vector: [0.5, 1.0], lang: 'en'},\n  {id: 'b', tags: []}"
        " EMBED body INTO dense USING DENSE MODEL 'm' WAIT true",
        "UPDATE docs SET VECTOR dense = [1.0, 2.0] WHERE id = 1",
        "FACET lang FROM docs LIMIT ? EXACT true",
    ]
