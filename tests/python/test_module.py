import inspect
import subprocess
import sys

import pyzorv
from pyzorv import pyzorv as native


def test_version_and_all_hold_what_has_been_added_in_order():
    assert pyzorv.__version__ == "0.5.0"
    assert native.__all__[-1] == "__version__"
    assert "tokenize" in native.__all__
    assert all(hasattr(native, name) for name in native.__all__)


def test_functions_carry_text_signatures_and_docs():
    assert native.tokenize.__text_signature__ == "(input)"
    assert str(inspect.signature(pyzorv.tokenize)) == "(input)"
    assert pyzorv.tokenize.__doc__ == "Tokenize a query into `{ kind, text, pos, end, len }` dicts."
    assert pyzorv.tokenize.__module__ == native.__name__


def test_import_starts_no_thread():
    code = (
        "import threading, os\n"
        "before = len(os.listdir('/proc/self/task'))\n"
        "import pyzorv\n"
        "assert len(os.listdir('/proc/self/task')) == before\n"
    )
    subprocess.run([sys.executable, "-c", code], check=True)


def test_a_second_module_object_shares_the_class_objects():
    import importlib.machinery
    import importlib.util

    spec = importlib.util.find_spec("pyzorv.pyzorv")
    other = importlib.util.module_from_spec(
        importlib.machinery.ModuleSpec("pyzorv.pyzorv", spec.loader, origin=spec.origin))
    spec.loader.exec_module(other)
    assert other is not native
    assert other.Stmt is native.Stmt
    assert other.tokenize is not native.tokenize
    assert other.__all__ == native.__all__
