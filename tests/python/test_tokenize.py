import pytest

import pyzorv


def kinds(text):
    return [(t["kind"], t["text"]) for t in pyzorv.tokenize(text)]


def test_token_dicts_have_the_five_keys_in_order():
    toks = pyzorv.tokenize("QUERY x")
    assert toks == [
        {"kind": "QUERY", "text": "QUERY", "pos": 0, "end": 5, "len": 5},
        {"kind": "IDENTIFIER", "text": "x", "pos": 6, "end": 7, "len": 1},
    ]
    assert list(toks[0]) == ["kind", "text", "pos", "end", "len"]


@pytest.mark.parametrize("text", ["", "   \n\t", "  -- only a comment", "-- c\n-- d"])
def test_blank_and_comment_only_input_gives_no_tokens(text):
    assert pyzorv.tokenize(text) == []


def test_realistic_statement():
    assert kinds("QUERY [0.1, 0.2] FROM docs LIMIT 5") == [
        ("QUERY", "QUERY"), ("LBRACKET", "["), ("FLOAT", "0.1"), ("COMMA", ","), ("FLOAT", "0.2"),
        ("RBRACKET", "]"), ("FROM", "FROM"), ("IDENTIFIER", "docs"), ("LIMIT", "LIMIT"), ("INTEGER", "5"),
    ]


def test_stepping_keeps_the_minus_on_numbers():
    # The minus split belongs to whole-script lexing; tokenize shows the lexer's own steps.
    assert kinds("a -5") == [("IDENTIFIER", "a"), ("INTEGER", "-5")]


def test_offsets_are_bytes_not_characters():
    toks = pyzorv.tokenize("'héllo' x")
    assert toks[0] == {"kind": "STRING", "text": "héllo", "pos": 0, "end": 8, "len": 8}
    assert toks[1]["pos"] == 9


def test_string_text_keeps_escapes_and_unicode_operators():
    assert kinds("'it''s' ≥ ≠") == [("STRING", "it''s"), ("GTE", "≥"), ("NOT_EQUALS", "≠")]


@pytest.mark.parametrize(
    "text, code, message, span",
    [
        ("!", "ZORV-LEX-CHAR", "Unexpected character '!'", (0, 1)),
        ("x ≈", "ZORV-LEX-CHAR", "Unexpected character '≈'", (2, 5)),
        # Control characters are quoted escaped, so a printed error cannot drive the terminal.
        ("\x1b", "ZORV-LEX-CHAR", "Unexpected character '\\x1b'", (0, 1)),
        ("'abc", "ZORV-LEX-STRING", "unterminated string literal", (0, 4)),
        ("1.", "ZORV-LEX-NUMBER", "malformed numeric literal: unexpected '.'", (0, 2)),
    ],
)
def test_lexer_errors_raise_syntax_errors(text, code, message, span):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.tokenize(text)
    exc = info.value
    assert str(exc) == f"[{code}] {message} at {span[0]}..{span[1]}"
    assert (exc.code, exc.kind, exc.span, exc.fields) == (code, "Lex", span, {})
    assert isinstance(exc, SyntaxError)
    assert not hasattr(exc, "request_id")


@pytest.mark.parametrize("bad", [1, None, b"QUERY", ["QUERY"]])
def test_input_must_be_str(bad):
    with pytest.raises(TypeError, match="input"):
        pyzorv.tokenize(bad)


def test_argument_layer_keyword_rules():
    assert pyzorv.tokenize(input="x") == [{"kind": "IDENTIFIER", "text": "x", "pos": 0, "end": 1, "len": 1}]
    with pytest.raises(TypeError):
        pyzorv.tokenize()
    with pytest.raises(TypeError):
        pyzorv.tokenize("x", "y")
    with pytest.raises(TypeError, match="unexpected keyword"):
        pyzorv.tokenize(text="x")
