"""The exception contract: package classes and the built-in fallbacks."""

import pickle
import subprocess
import sys

import pytest

import pyzorv


@pytest.mark.parametrize(
    "cls, base",
    [
        (pyzorv.ZorvSyntaxError, SyntaxError),
        (pyzorv.ZorvValidationError, ValueError),
        (pyzorv.ZorvExecutionError, RuntimeError),
        (pyzorv.ZorvTransportError, RuntimeError),
        (pyzorv.ZorvBackendError, RuntimeError),
    ],
)
def test_package_classes_store_the_five_arguments(cls, base):
    exc = cls("[ZORV-X] m at 1..2 {request_id: r-1}", "ZORV-X", "Backend", (1, 2), {"request_id": "r-1"})
    assert isinstance(exc, base) and isinstance(exc, pyzorv.ZorvError)
    assert str(exc) == "[ZORV-X] m at 1..2 {request_id: r-1}"
    assert (exc.code, exc.kind, exc.span, exc.fields, exc.request_id) == (
        "ZORV-X", "Backend", (1, 2), {"request_id": "r-1"}, "r-1")
    again = pickle.loads(pickle.dumps(exc))
    assert (str(again), again.code, again.span, again.fields) == (str(exc), exc.code, exc.span, exc.fields)


def test_request_id_is_absent_without_the_field():
    exc = pyzorv.ZorvBackendError("[ZORV-X] m", "ZORV-X", "Backend", None, {"status_code": "404"})
    assert not hasattr(exc, "request_id")
    assert exc.span is None


FALLBACK = r"""
import importlib.machinery, importlib.util, json, sys
spec = importlib.util.find_spec("pyzorv.pyzorv")
# Load the native module alone, under its own name, with no pyzorv package importable.
sys.modules["pyzorv"] = None
native = importlib.util.module_from_spec(importlib.machinery.ModuleSpec("pyzorv", spec.loader, origin=spec.origin))
spec.loader.exec_module(native)
try:
    native.tokenize("x !")
except Exception as exc:
    print(json.dumps([type(exc).__name__, exc.args, exc.code, exc.kind, exc.span, exc.fields,
                      hasattr(exc, "request_id")]))
"""


def test_fallback_when_the_package_cannot_be_imported():
    out = subprocess.run([sys.executable, "-c", FALLBACK], check=True, capture_output=True, text=True).stdout
    import json

    name, args, code, kind, span, fields, has_request_id = json.loads(out)
    assert name == "SyntaxError"
    assert args == ["[ZORV-LEX-CHAR] Unexpected character '!' at 2..3"]
    assert (code, kind, span, fields, has_request_id) == ("ZORV-LEX-CHAR", "Lex", [2, 3], {}, False)


@pytest.mark.parametrize("replacement", ["missing", 5, None])
def test_fallback_when_the_package_lacks_the_class(monkeypatch, replacement):
    # The class is looked up on every call, so a package without a usable class falls back at once.
    if replacement == "missing":
        monkeypatch.delattr(pyzorv, "ZorvSyntaxError")
    else:
        monkeypatch.setattr(pyzorv, "ZorvSyntaxError", replacement)
    with pytest.raises(SyntaxError) as info:
        pyzorv.tokenize("!")
    exc = info.value
    assert type(exc) is SyntaxError
    assert exc.args == ("[ZORV-LEX-CHAR] Unexpected character '!' at 0..1",)
    assert (exc.code, exc.kind, exc.span, exc.fields) == ("ZORV-LEX-CHAR", "Lex", (0, 1), {})


def test_a_class_that_is_no_exception_class_gives_type_error(monkeypatch):
    monkeypatch.setattr(pyzorv, "ZorvSyntaxError", int)
    with pytest.raises(TypeError, match="^exceptions must derive from BaseException$"):
        pyzorv.tokenize("!")


def test_a_constructor_that_raises_is_what_the_caller_sees(monkeypatch):
    class Broken(Exception):
        def __init__(self, *args):
            raise KeyError("broken")

    monkeypatch.setattr(pyzorv, "ZorvSyntaxError", Broken)
    with pytest.raises(KeyError, match="broken"):
        pyzorv.tokenize("!")
