"""`compile` of point writes and update batches: the request that would be sent."""

import pytest

import pyzorv
from openapi_check import check_request


@pytest.mark.parametrize(
    "text, params, method, path, payload, stmt_type",
    [
        (
            "UPSERT INTO docs VALUES {id: 1, vector: [0.5, 0.25], city: 'x'}",
            None,
            "PUT",
            "/collections/docs/points",
            {"points": [{"id": 1, "payload": {"city": "x"}, "vector": [0.5, 0.25]}]},
            "upsert",
        ),
        (
            "UPDATE docs SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1",
            None,
            "PUT",
            "/collections/docs/points/payload",
            {"payload": {"a": 1}, "points": [1]},
            "overwrite_payload",
        ),
        (
            "BATCH { UPSERT INTO docs VALUES {id: 1, vector: [0.5]}; DELETE FROM docs WHERE id = 2 }",
            None,
            "POST",
            "/collections/docs/points/batch",
            {"operations": [{"upsert": {"points": [{"id": 1, "vector": [0.5]}]}}, {"delete": {"points": [2]}}]},
            "update_batch",
        ),
        (
            "UPSERT INTO docs VALUES :rows",
            {"rows": [{"id": 7, "tag": "t"}]},
            "PUT",
            "/collections/docs/points",
            {"points": [{"id": 7, "payload": {"tag": "t"}, "vector": {}}]},
            "upsert",
        ),
        (
            "DELETE VECTOR title FROM docs WHERE id IN (:a, :b)",
            {"a": 3, "b": "550e8400-e29b-41d4-a716-446655440000"},
            "POST",
            "/collections/docs/points/vectors/delete",
            {"points": [3, "550e8400-e29b-41d4-a716-446655440000"], "vector": ["title"]},
            "delete_vector",
        ),
    ],
)
def test_compile_point_writes(text, params, method, path, payload, stmt_type):
    route = pyzorv.compile(text, params)
    assert route == {"method": method, "path": path, "payload": payload, "stmt_type": stmt_type}
    check_request(method, path, payload)


@pytest.mark.parametrize(
    "text, params, code, message",
    [
        (
            "DELETE VECTOR a, b, b FROM docs WHERE id = 1",
            None,
            "ZORV-PLAN-DELETE-VECTOR",
            "DELETE VECTOR contains duplicate vector name 'b'",
        ),
        (
            "SCROLL FROM docs AFTER 18446744073709551615 LIMIT 1",
            None,
            "ZORV-PLAN-SCROLL-AFTER",
            "SCROLL AFTER is already the maximum point ID; there is no next page",
        ),
        (
            "DELETE FROM docs WHERE id = 'abc'",
            None,
            "ZORV-PLAN-POINT-ID",
            'point ID "abc" is not a UUID; point IDs must be unsigned integers or UUIDs',
        ),
        (
            "BATCH { DELETE FROM a WHERE id = 1; DELETE FROM b WHERE id = 1 }",
            None,
            "ZORV-VALIDATION-BATCH-MIXED",
            "BATCH members must share one collection and one family, got DELETE next to DELETE",
        ),
        (
            "BATCH { DELETE FROM a WHERE id = 1; DELETE FROM a WHERE id = 2 WAIT true }",
            None,
            "ZORV-VALIDATION-BATCH-WAIT",
            "move member WAIT to the BATCH header",
        ),
        (
            "BATCH { DELETE FROM a WHERE id = 1 } PARAMS (consistency = 2)",
            None,
            "ZORV-VALIDATION-BATCH-PARAMS",
            "PARAMS timeout / consistency have no representation on mutation batches",
        ),
    ],
)
def test_compile_point_write_refusals(text, params, code, message):
    with pytest.raises(pyzorv.ZorvSyntaxError) as info:
        pyzorv.compile(text, params)
    assert info.value.code == code
    assert str(info.value) == f"[{code}] {message}"
