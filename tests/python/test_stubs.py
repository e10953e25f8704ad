"""The type stubs shipped with the package cover the whole public surface, with the real signatures."""

import ast
import inspect
from pathlib import Path

import pytest

import pyzorv

PACKAGE = Path(pyzorv.__file__).parent
STUB = PACKAGE / "__init__.pyi"


def stub_tree():
    return ast.parse(STUB.read_text(encoding="utf-8"))


def top_level(tree):
    """Name -> list of definitions (several for overloaded functions)."""
    names = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.setdefault(node.name, []).append(node)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            names.setdefault(node.target.id, []).append(node)
        elif isinstance(node, ast.Assign):
            for target in node.targets:
                if isinstance(target, ast.Name):
                    names.setdefault(target.id, []).append(node)
    return names


def members(class_node):
    out = {}
    for node in class_node.body:
        if isinstance(node, ast.FunctionDef):
            out.setdefault(node.name, []).append(node)
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            out.setdefault(node.target.id, []).append(node)
    return out


def stub_parameters(func):
    """(name, kind, has default) of a stub function, without self."""
    args = func.args
    params = []
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    for arg, default in zip(positional, defaults):
        params.append((arg.arg, "positional", default is not None))
    for arg, default in zip(args.kwonlyargs, args.kw_defaults):
        params.append((arg.arg, "keyword", default is not None))
    return [p for p in params if p[0] not in ("self", "cls")]


def runtime_parameters(obj):
    params = []
    for p in inspect.signature(obj).parameters.values():
        if p.name in ("self", "cls"):
            continue
        kind = "keyword" if p.kind is inspect.Parameter.KEYWORD_ONLY else "positional"
        params.append((p.name, kind, p.default is not inspect.Parameter.empty))
    return params


def test_package_ships_the_stub_and_the_typed_marker():
    assert STUB.is_file()
    assert (PACKAGE / "py.typed").is_file()


def test_every_public_name_has_a_stub():
    stubbed = top_level(stub_tree())
    missing = [name for name in pyzorv.__all__ + ["__version__"] if name not in stubbed]
    assert missing == []


def test_the_stub_declares_no_public_name_the_package_lacks():
    public = [name for name in top_level(stub_tree()) if not name.startswith("_")]
    assert [name for name in public if not hasattr(pyzorv, name)] == []


@pytest.mark.parametrize("name", [n for n in pyzorv.__all__ if inspect.isroutine(getattr(pyzorv, n))])
def test_function_stubs_have_the_runtime_signature(name):
    definitions = top_level(stub_tree())[name]
    runtime = runtime_parameters(getattr(pyzorv, name))
    for definition in definitions:
        if len(definitions) == 1:
            assert stub_parameters(definition) == runtime, name
        else:  # an overload may narrow a default away (truncate_vectors: Literal[True])
            assert [p[:2] for p in stub_parameters(definition)] == [p[:2] for p in runtime], name


@pytest.mark.parametrize("name", [n for n in pyzorv.__all__ if inspect.isclass(getattr(pyzorv, n))])
def test_class_stubs_cover_every_public_member(name):
    cls = getattr(pyzorv, name)
    (stub_class,) = top_level(stub_tree())[name]
    stubbed = members(stub_class)
    public = [m for m in vars(cls) if not m.startswith("_")]
    if cls is pyzorv.ZorvError:
        public += ["code", "kind", "span", "fields", "request_id"]
    assert [m for m in public if m not in stubbed] == []
    for member, definitions in stubbed.items():
        runtime = getattr(cls, member, None)
        if callable(runtime) and not isinstance(runtime, property) and member not in ("__init__", "__new__"):
            for definition in definitions:
                assert stub_parameters(definition) == runtime_parameters(runtime), f"{name}.{member}"
    for constructor in ("__init__", "__new__"):
        if constructor in stubbed:
            assert stub_parameters(stubbed[constructor][0]) == runtime_parameters(cls), f"{name}.{constructor}"
