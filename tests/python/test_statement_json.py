"""Statement JSON: parse_json, Stmt.to_json and Stmt.to_dict."""

import inspect
import json
import math
import pathlib
import struct

import pytest

import pyzorv
from pyzorv import pyzorv as native

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"


def corpus_lines():
    for name in ("query_corpus.zorv", "mutation_corpus.zorv", "ddl_corpus.zorv"):
        for line in (DATA / name).read_text(encoding="utf-8").splitlines():
            if line.strip() and not line.startswith("--"):
                yield line


def parsed_corpus():
    """(text, statements) for every corpus line that parses; some fail on purpose."""
    out = []
    for line in corpus_lines():
        try:
            out.append((line, pyzorv.parse(line)))
        except pyzorv.ZorvError:
            pass
    return out


def as_f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def same_value(tree, loaded):
    """Equal, except that a float of the tree may be the widened 32-bit value of the text's float."""
    if isinstance(tree, float) and isinstance(loaded, float):
        return tree == loaded or (math.isfinite(loaded) and tree == as_f32(loaded))
    if isinstance(tree, dict) and isinstance(loaded, dict):
        return list(tree) == sorted(tree) and tree.keys() == loaded.keys() and all(
            same_value(tree[k], loaded[k]) for k in tree)
    if isinstance(tree, list) and isinstance(loaded, list):
        return len(tree) == len(loaded) and all(same_value(a, b) for a, b in zip(tree, loaded))
    return type(tree) is type(loaded) and tree == loaded


def test_parse_json_signature_doc_and_place_in_all():
    assert str(inspect.signature(pyzorv.parse_json)) == "(input)"
    assert pyzorv.parse_json.__doc__ == (
        "Parse a ZORV source and return the canonical AST as a JSON string without\n"
        "creating Python objects for every node (parity with `zorav.parseJson`)."
    )
    names = native.__all__
    assert names.index("parse") < names.index("parse_json") < names.index("is_valid")
    assert str(inspect.signature(pyzorv.Stmt.to_json)) == "(self, /)"
    assert str(inspect.signature(pyzorv.Stmt.to_dict)) == "(self, /)"


def test_parse_json_writes_one_array_without_blanks():
    assert pyzorv.parse_json("SHOW COLLECTIONS; DROP COLLECTION a") == (
        '[{"ShowCollections":{}},{"DropCollection":{"collection":"a"}}]')


def test_parse_json_keeps_placeholders_unbound():
    text = pyzorv.parse_json("DELETE FROM c WHERE id = :id")
    assert text == ('[{"Delete":{"collection":"c","selector":{"Id":{"Param":["id",{"start":25,"end":28}]}},'
                    '"shard_key":null,"wait":null}}]')


@pytest.mark.parametrize("text, code", [
    ("QUERY FROM", "ZORV-PARSE-QUERY-INPUT"),
    ("SHOW COLLECTIONS; DROP", "ZORV-PARSE-EXPECTED"),
])
def test_parse_json_raises_the_parse_error(text, code):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.parse_json(text)
    assert info.value.code == code


def test_parse_json_wants_a_str():
    with pytest.raises(TypeError):
        pyzorv.parse_json(b"SHOW COLLECTIONS")


def test_every_corpus_statement_agrees_across_the_three_forms():
    cases = parsed_corpus()
    assert cases
    for line, statements in cases:
        whole = json.loads(pyzorv.parse_json(line))
        assert len(whole) == len(statements), line
        for stmt, element in zip(statements, whole):
            text = stmt.to_json()
            loaded = json.loads(text)
            assert loaded == element, line
            assert same_value(stmt.to_dict(), loaded), line


def test_to_dict_sorts_keys_and_to_json_keeps_field_order():
    stmt = pyzorv.parse("SCROLL FROM c WHERE a = 1 LIMIT 5")[0]
    assert stmt.to_json().startswith('{"Scroll":{"collection":"c","limit":5,"filter":')
    assert list(stmt.to_dict()["Scroll"]) == [
        "after", "collection", "filter", "limit", "order_by", "shard_key", "with_payload", "with_vector"]


def test_show_collections_is_an_empty_dict():
    stmt = pyzorv.parse("SHOW COLLECTIONS")[0]
    assert stmt.to_json() == '{"ShowCollections":{}}'
    assert stmt.to_dict() == {"ShowCollections": {}}


def test_vector_components_are_32_bit_in_text_and_widened_in_the_tree():
    stmt = pyzorv.parse("QUERY [0.1, 2] FROM c LIMIT 1")[0]
    assert '"Dense":[0.1,2.0]' in stmt.to_json()
    dense = stmt.to_dict()["Query"]["expression"]["Nearest"]["input"]["Vector"]["Dense"]
    assert dense == [as_f32(0.1), 2.0]
    assert dense[0] != 0.1


def test_float_literals_stay_64_bit_and_integers_stay_ints():
    stmt = pyzorv.parse("QUERY POINT 1 FROM c WHERE a = 0.1 AND b = 18446744073709551615 LIMIT 1")[0]
    operands = stmt.to_dict()["Query"]["filter"]["And"]["operands"]
    assert operands[0]["Compare"]["value"] == {"Float": 0.1}
    assert operands[1]["Compare"]["value"] == {"UInt": 18446744073709551615}


def test_bound_statement_writes_its_values():
    stmt = pyzorv.parse("DELETE FROM c WHERE id = :id")[0].bind({"id": 7})
    assert stmt.to_dict()["Delete"]["selector"] == {"Id": {"Number": 7}}
