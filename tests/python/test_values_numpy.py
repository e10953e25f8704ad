"""NumPy arrays and scalars as parameter values (skipped without numpy)."""

import pytest

import pyzorv

np = pytest.importorskip("numpy", reason="numpy is not installed")


def bound_value(value):
    return pyzorv.bind("a = :v", {"v": value})[len("a = "):]


def test_float_arrays_bind_as_vectors():
    assert bound_value(np.array([0.5, 1.5], dtype=np.float32)) == "[0.5, 1.5]"
    assert bound_value(np.array([0.5, 1.5], dtype=np.float64)) == "[0.5, 1.5]"
    # A strided view reads every other item.
    assert bound_value(np.arange(6, dtype=np.float64)[::2]) == "[0.0, 2.0, 4.0]"


def test_two_dimensional_arrays_bind_row_by_row():
    assert bound_value(np.array([[1.5, 2.5], [3.5, 4.5]])) == "[[1.5, 2.5], [3.5, 4.5]]"


def test_int_arrays_and_scalars():
    assert bound_value(np.array([1, 2], dtype=np.int64)) == "[1, 2]"
    assert bound_value(np.bool_(True)) == "true"
    assert bound_value(np.float32(0.5)) == "0.5"


def test_non_finite_float64_items_are_refused():
    with pytest.raises(ValueError, match="^cannot bind non-finite float value 'inf'$"):
        bound_value(np.array([1.0, np.inf]))


def test_float32_nan_reaches_the_binders_which_refuse_it():
    value = np.array([1.0, np.nan], dtype=np.float32)
    with pytest.raises(pyzorv.ZorvValidationError) as info:
        bound_value(value)
    assert info.value.code == "ZORV-BIND-TYPE-MISMATCH"
    (stmt,) = pyzorv.parse("QUERY :v FROM c")
    with pytest.raises(pyzorv.ZorvValidationError, match="cannot bind non-finite float value 'NaN'"):
        stmt.bind({"v": value})


def test_a_768_dimension_vector_binds_into_a_stmt():
    (stmt,) = pyzorv.parse("QUERY :v FROM c LIMIT 5")
    bound = stmt.bind({"v": np.linspace(0, 1, 768, dtype=np.float32)})
    assert "(768 dims)" in repr(bound)
