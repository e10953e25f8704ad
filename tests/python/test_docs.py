"""Every example in docs/ runs, and docs/errors.md matches the diagnostic catalogue.

Marking of the examples in the Markdown pages (fenced blocks, by their info string):

    ```zorv                  statement text: must parse
    ```zorv canonical        str() of each statement of the zorv block just before it, one per line
    ```json request          pyzorv.compile() of the (single) statement of the zorv block before it
    ```zorv error CODE       statement text that must fail with that error code
    ```python                run; the blocks of one page run in order, in one namespace
    ```python live           run against the test server, `url` bound to its address; the live
                             blocks of one page share one namespace of their own
    ```python live grpc      the same, with `grpc_url` bound to the server's gRPC address too;
                             skipped when there is none

Any other block (```text, plain ```) is left alone.
"""

import importlib.util
import json
import re
from pathlib import Path

import pytest

import pyzorv

ROOT = Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
PAGES = sorted(DOCS.glob("*.md"))
FENCE = re.compile(r"^```(\S.*)?$")


def blocks(page):
    """(info words, body, line number) of every fenced block of a page."""
    lines = page.read_text(encoding="utf-8").split("\n")
    found, i = [], 0
    while i < len(lines):
        match = FENCE.match(lines[i])
        if not match:
            i += 1
            continue
        start = i
        i += 1
        while i < len(lines) and lines[i] != "```":
            i += 1
        assert i < len(lines), f"{page.name}:{start + 1}: unclosed code block"
        found.append(((match.group(1) or "").split(), "\n".join(lines[start + 1:i]), start + 1))
        i += 1
    return found


def cases():
    """One case per checked block, carrying the zorv text it refers to."""
    out = []
    for page in PAGES:
        statement = None
        for info, body, line in blocks(page):
            where = f"{page.name}:{line}"
            if info == ["zorv"]:
                statement = body
                out.append(pytest.param("parse", body, None, id=where))
            elif info[:2] == ["zorv", "canonical"]:
                out.append(pytest.param("canonical", statement, body, id=where))
            elif info[:2] == ["json", "request"]:
                out.append(pytest.param("request", statement, body, id=where))
            elif info[:2] == ["zorv", "error"]:
                assert len(info) == 3, f"{where}: write ```zorv error CODE"
                out.append(pytest.param("error", body, info[2], id=where))
    return out


@pytest.mark.parametrize("check, text, expected", cases())
def test_statement_example(check, text, expected):
    assert text is not None, "a canonical or request block needs a zorv block before it"
    if check == "parse":
        assert pyzorv.parse(text)
    elif check == "canonical":
        assert "\n".join(str(stmt) for stmt in pyzorv.parse(text)) == expected
        # The canonical text is itself a statement that prints the same.
        assert "\n".join(str(stmt) for stmt in pyzorv.parse(expected)) == expected
    elif check == "request":
        assert pyzorv.compile(text) == json.loads(expected)
    else:
        with pytest.raises(pyzorv.ZorvError) as caught:
            for stmt in pyzorv.parse(text):
                stmt.compile_route()
        assert caught.value.code == expected


def run_examples(page, wanted, namespace):
    for info, body, line in blocks(page):
        if info == wanted:
            code = compile(body, f"{page.name}:{line}", "exec")
            exec(code, namespace)  # noqa: S102 - the examples are ours


@pytest.mark.parametrize("page", PAGES, ids=[page.name for page in PAGES])
def test_python_examples_run(page):
    run_examples(page, ["python"], {"__name__": f"docs_{page.stem}"})


LIVE_PAGES = [page for page in PAGES if any(info == ["python", "live"] for info, _, _ in blocks(page))]


@pytest.mark.parametrize("page", LIVE_PAGES, ids=[page.name for page in LIVE_PAGES])
def test_live_python_examples_run(page, qdrant_url):
    run_examples(page, ["python", "live"], {"__name__": f"docs_{page.stem}_live", "url": qdrant_url})


GRPC_PAGES = [page for page in PAGES if any(info == ["python", "live", "grpc"] for info, _, _ in blocks(page))]


@pytest.mark.parametrize("page", GRPC_PAGES, ids=[page.name for page in GRPC_PAGES])
def test_live_grpc_python_examples_run(page, qdrant_url, qdrant_grpc_url):
    namespace = {"__name__": f"docs_{page.stem}_grpc", "url": qdrant_url, "grpc_url": qdrant_grpc_url}
    run_examples(page, ["python", "live", "grpc"], namespace)


def test_pages_hold_examples():
    names = {page.name for page in PAGES}
    assert {"language.md", "python.md", "errors.md"} <= names
    assert any(info == ["zorv"] for info, _, _ in blocks(DOCS / "language.md"))
    assert any(info[:1] == ["python"] for info, _, _ in blocks(DOCS / "python.md"))


def load_generator():
    spec = importlib.util.spec_from_file_location("gen_errors_doc", ROOT / "scripts" / "gen_errors_doc.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def catalogue_codes():
    text = (ROOT / "src" / "core" / "diagnostics.def").read_text(encoding="utf-8")
    return re.findall(r'^ZORV_DIAG\(\w+,\s*"(ZORV-[A-Z0-9-]+)"', text, re.M)


def test_errors_page_is_what_the_generator_writes():
    generator = load_generator()
    current = (DOCS / "errors.md").read_text(encoding="utf-8")
    assert current == generator.render((ROOT / "src" / "core" / "diagnostics.def").read_text(encoding="utf-8")), (
        "docs/errors.md is stale: run scripts/gen_errors_doc.py"
    )


def test_errors_page_lists_every_code_once():
    listed = re.findall(r"^\| `(ZORV-[A-Z0-9-]+)` \|", (DOCS / "errors.md").read_text(encoding="utf-8"), re.M)
    assert sorted(listed) == sorted(catalogue_codes())
    assert len(listed) == len(set(listed))


def test_notes_name_only_codes_of_the_catalogue():
    notes = load_generator().NOTES
    assert sorted(set(notes) - set(catalogue_codes())) == []


def test_generator_handles_a_code_without_a_note():
    page = load_generator().render('// header\n\n// Group.\nZORV_DIAG(X, "ZORV-PARSE-NEWTHING", Parse)\n')
    assert "| `ZORV-PARSE-NEWTHING` | Parse (`ZorvSyntaxError`) |" in page


def test_every_code_in_the_sources_is_in_the_catalogue():
    # A code written as a string literal outside the catalogue would be missing from errors.md.
    known = set(catalogue_codes())
    stray = set()
    for path in (ROOT / "src").rglob("*"):
        if path.suffix in {".cpp", ".h"}:
            for line in path.read_text(encoding="utf-8").splitlines():
                if not line.lstrip().startswith("//"):
                    stray.update(set(re.findall(r'"(ZORV-[A-Z0-9]+(?:-[A-Z0-9]+)*)"', line)) - known)
    assert sorted(stray) == []
