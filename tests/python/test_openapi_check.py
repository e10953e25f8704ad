"""The OpenAPI checker itself: it must find the operation of a compiled path and refuse bad bodies."""

import pytest

from openapi_check import check_request, find_operation


def test_encoded_names_match_template_segments():
    template, _ = find_operation("DELETE", "/collections/my%20docs/index/x%2F..%2F..")
    assert template == "/collections/{collection_name}/index/{field_name}"
    template, _ = find_operation("POST", "/collections/c/shards/delete")
    assert template == "/collections/{collection_name}/shards/delete"


@pytest.mark.parametrize(
    "method, path, payload",
    [
        ("PUT", "/collections/c/shards", {"shards_number": 2}),  # shard_key is required
        ("PUT", "/collections/c/shards", {"shard_key": "eu", "shards_number": 0}),
        ("POST", "/collections/c/shards/delete", {"shard_key": 1.5}),
        ("GET", "/collections", {"x": 1}),  # no body at all
        ("GET", "/nowhere", None),
    ],
)
def test_refuses(method, path, payload):
    with pytest.raises(AssertionError):
        check_request(method, path, payload)
