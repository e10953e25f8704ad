"""Checks a compiled request against Qdrant's published OpenAPI document.

`check_request(method, path, payload)` finds the operation of a compiled path (percent-encoded names
match the template's `{...}` segments) and validates the payload against its request-body schema,
with every `$ref` resolved inside the document. Compile tests call it on each payload they produce.
"""

import functools
import json
import os
import pathlib
import urllib.parse

import pytest

_REPO = pathlib.Path(__file__).resolve().parents[2]
# The shared folder sits beside the repository, wherever it was cloned.
OPENAPI_PATH = pathlib.Path(
    os.environ.get(
        "ZORV_OPENAPI_JSON",
        _REPO.parent / "shared" / "reference" / "qdrant-api-1.19" / "openapi.json",
    )
)


@functools.lru_cache(maxsize=1)
def _document():
    if not OPENAPI_PATH.is_file():
        pytest.skip(f"no OpenAPI document at {OPENAPI_PATH} (set ZORV_OPENAPI_JSON)")
    with OPENAPI_PATH.open(encoding="utf-8") as f:
        return json.load(f)


def _segments(path):
    return path.strip("/").split("/")


def find_operation(method, path):
    """The (template, operation) that serves `method` on the concrete `path`; literal segments win."""
    concrete = [urllib.parse.unquote(s) for s in _segments(path)]
    best = None
    for template, operations in _document()["paths"].items():
        parts = _segments(template)
        if len(parts) != len(concrete) or method.lower() not in operations:
            continue
        literal = 0
        for part, segment in zip(parts, concrete):
            if part.startswith("{") and part.endswith("}"):
                if not segment:
                    break
            elif part != segment:
                break
            else:
                literal += 1
        else:
            if best is None or literal > best[0]:
                best = (literal, template, operations[method.lower()])
    if best is None:
        raise AssertionError(f"no operation {method} {path} in {OPENAPI_PATH.name}")
    return best[1], best[2]


def check_request(method, path, payload):
    """Raises AssertionError unless `payload` fits the request body of `method path`."""
    from openapi_schema_validator import OAS30Validator
    from jsonschema.exceptions import ValidationError

    template, operation = find_operation(method, path)
    body = operation.get("requestBody")
    if payload is None:
        assert not (body and body.get("required")), f"{method} {template} requires a body"
        return
    assert body is not None, f"{method} {template} takes no body"
    schema = dict(body["content"]["application/json"]["schema"])
    # `$ref`s point into the document's components: give the schema the same root.
    schema["components"] = _document()["components"]
    try:
        OAS30Validator(schema).validate(payload)
    except ValidationError as error:
        raise AssertionError(f"{method} {template}: {error.message} at {list(error.absolute_path)}") from None
