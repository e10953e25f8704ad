"""`is_valid`: parse and plan, as execution would, without raising."""

import inspect

import pytest

import pyzorv
from pyzorv import pyzorv as native


def test_a_script_of_plannable_statements_is_valid():
    assert pyzorv.is_valid(
        "SHOW COLLECTIONS; SHOW SHARD KEYS ON COLLECTION docs; DROP INDEX ON COLLECTION docs FOR city;"
        " DROP SHARD KEY 7 ON COLLECTION docs"
    ) is True


def test_count_and_facet_with_filters_plan():
    assert pyzorv.is_valid("FACET city FROM docs WHERE price >= 10 LIMIT 5") is True
    assert pyzorv.is_valid("COUNT FROM docs WHERE NESTED('items', qty = 1)") is True


@pytest.mark.parametrize(
    "text",
    [
        "",
        " \n",
        "\u3000",
        "\u3000\t\u2029",
        "SHOW",
        "SHOW COLLECTIONS; DROP",
        "DROP COLLECTION '..'",
        "DROP INDEX ON COLLECTION docs FOR ''",
        "DROP SHARD KEY :k ON COLLECTION docs",
        "SHOW COLLECTIONS; DROP SHARD KEY ? ON COLLECTION docs",
        "COUNT FROM docs WHERE tag IN (1, 'a')",
        "FACET city FROM docs WHERE id = 'not-a-uuid'",
    ],
)
def test_blank_broken_unplannable_and_unbound_scripts_are_invalid(text):
    assert pyzorv.is_valid(text) is False


def test_is_valid_takes_one_str_by_position_or_keyword():
    assert pyzorv.is_valid(input="SHOW QUOTAS") is True
    with pytest.raises(TypeError):
        pyzorv.is_valid(b"SHOW QUOTAS")
    with pytest.raises(TypeError):
        pyzorv.is_valid()


def test_is_valid_signature_doc_and_place_in_all():
    assert str(inspect.signature(pyzorv.is_valid)) == "(input)"
    assert pyzorv.is_valid.__doc__ == (
        "Full frontend validity gate: parse + plan \u2014 the same contract as execution\n"
        "and the language conformance suite. Empty and whitespace-only scripts are\n"
        "invalid: `execute` rejects them with `ZORV-VALIDATION-EMPTY-SCRIPT`."
    )
    names = native.__all__
    assert names.index("parse") < names.index("is_valid") < names.index("tokenize")
