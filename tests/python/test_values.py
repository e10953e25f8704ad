"""Python values as statement values: type tests, the float-vector fast path, refusals."""

import array

import pytest

import pyzorv


def bound_value(value):
    """The literal text `value` binds as."""
    return pyzorv.bind("a = :v", {"v": value})[len("a = "):]


@pytest.mark.parametrize(
    "value, text",
    [
        ([None], "[null]"),
        (True, "true"),
        (1, "1"),
        (-1, "-1"),
        (2**64 - 1, "18446744073709551615"),
        (-(2**63), "-9223372036854775808"),
        (0.5, "0.5"),
        (3.0, "3.0"),
        ("x", "'x'"),
        ({"b": 1, "a": 2}, "{b: 1, a: 2}"),
        ([0.5, 1.5], "[0.5, 1.5]"),
        # array.array of ints has no float buffer: it binds through tolist().
        (array.array("i", [1, 2]), "[1, 2]"),
        (array.array("d", [0.5, 2.0]), "[0.5, 2.0]"),
    ],
)
def test_accepted_values(value, text):
    assert bound_value(value) == text


def test_32_floats_take_the_32_bit_path():
    # 1e-5 prints as 1e-5 from a 64-bit float and as 0.00001 from a 32-bit one.
    assert bound_value([1e-5] * 31) == "[" + ", ".join(["1e-5"] * 31) + "]"
    assert bound_value([1e-5] * 32) == "[" + ", ".join(["0.00001"] * 32) + "]"
    # One int among them keeps the general path.
    assert bound_value([1e-5] * 31 + [1]) == "[" + ", ".join(["1e-5"] * 31) + ", 1]"


@pytest.mark.parametrize(
    "value, message",
    [
        (float("nan"), "cannot bind non-finite float value 'NaN'"),
        (float("-inf"), "cannot bind non-finite float value '-inf'"),
        ([0.5] * 31 + [1e39], "cannot bind non-finite float value '1" + "0" * 39 + "'"),
        ([0.5] * 31 + [-3.5e40], "cannot bind non-finite float value '-35" + "0" * 39 + "'"),
        ({1: 2}, "dict keys must be strings"),
    ],
)
def test_refused_values(value, message):
    with pytest.raises(ValueError) as info:
        bound_value(value)
    assert str(info.value) == message
    assert not isinstance(info.value, pyzorv.ZorvError)


@pytest.mark.parametrize("value", [(1, 2), b"ab", {1, 2}, "\ud800", object()])
def test_unsupported_types(value):
    with pytest.raises(ValueError) as info:
        bound_value(value)
    assert str(info.value).startswith("unsupported value type for parameter binding or filter values")


@pytest.mark.parametrize("value", [2**64, -(2**63) - 1])
def test_integers_beyond_64_bits(value):
    with pytest.raises(OverflowError, match="integer parameter out of range: ZORV binds integers that fit in i64 or u64"):
        bound_value(value)


def test_params_as_a_tuple_are_refused_and_as_a_list_bind():
    with pytest.raises(ValueError, match="unsupported value type"):
        pyzorv.bind("a = ? AND b = ?", (1, 2))
    assert pyzorv.bind("a = ? AND b = ?", [1, 2]) == "a = 1 AND b = 2"


def nest(levels):
    value = 1
    for _ in range(levels):
        value = [value]
    return value


def test_nesting_is_bounded():
    # The params dict is the first of the 128 levels.
    assert bound_value(nest(127)) == "[" * 127 + "1" + "]" * 127
    with pytest.raises(ValueError, match="^parameter value nests deeper than 128 levels$"):
        bound_value(nest(128))


class SelfList:
    def tolist(self):
        return self


def test_values_that_hold_themselves_fail_cleanly():
    loop = []
    loop.append(loop)
    ring = {}
    ring["r"] = ring
    for value in (loop, ring, SelfList()):
        with pytest.raises(ValueError, match="^parameter value nests deeper than 128 levels$"):
            bound_value(value)


class Shrinking:
    def __init__(self, owner):
        self.owner = owner

    def tolist(self):
        self.owner.clear()
        return 1


def test_a_dict_changed_during_conversion_fails():
    params = {"a": None, "b": 2}
    params["a"] = Shrinking(params)
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        pyzorv.bind("x = :b", params)
