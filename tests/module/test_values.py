"""Exact values and failures of cosin, tan, _tan_rad, arctan, arctan2, arcsin and
arccos, with `pi` the double nearest the circle constant and a correctly rounded
`sqrt` (math.sqrt).  Expressions are evaluated in the module's namespace."""
import math
import operator
import types

import pytest

from support import module_entries, same_float

NAN, INF = float("nan"), float("inf")


@pytest.fixture
def pinned(trig, restore_globals):
    trig.constants = types.SimpleNamespace(pi=math.pi)
    trig.algebra = types.SimpleNamespace(sqrt=math.sqrt)
    return lambda expression: eval(expression, {"pi": math.pi, "sqrt": math.sqrt,
                                                "nan": NAN, "inf": INF}, restore_globals)


@pytest.mark.parametrize("expression, expected", [
    ("cosin(0)", "1.0"), ("cosin(-1e-20)", "1.0"), ("cosin(180)", "-1.0"),
    ("cosin(60)", "0.5000000000000003"), ("cosin(-60)", "0.5000000000000003"),
    ("cosin(240)", "-0.5000000000000003"), ("cosin(90)", "-0.0"), ("cosin(270)", "0.0"),
    ("tan(0)", "0.0"), ("tan(180)", "-0.0"), ("tan(45)", "0.9999999999999999"),
    ("tan(60)", "1.7320508075688759"), ("tan(-60)", "-1.7320508075688759"),
    ("_tan_rad(0)", "0.0"), ("_tan_rad(1e-20)", "0.0"), ("_tan_rad(0.5)", "0.5463024898437905"),
    ("_tan_rad(-1.0)", "-1.557407724654902"),
    ("arctan(2)", "pi / 2 - arctan(0.5, 20)"), ("arctan(-2)", "-pi / 2 - arctan(-0.5, 20)"),
    ("arctan(inf)", "pi / 2 - arctan(0.0, 20)"), ("arctan(5, 0)", "pi / 2 - 0.0"),
    ("arctan(0.5, -3)", "0.0"), ("arctan(nan, 0)", "0.0"),
    ("arctan2(0, 5)", "pi / 2"), ("arctan2(-0.0, 5)", "pi / 2"), ("arctan2(0, -5)", "-pi / 2"),
    ("arctan2(1, -1)", "arctan(-1.0)"), ("arctan2(-1, 1)", "arctan(-1.0) + pi"),
    ("arctan2(-1, -1)", "arctan(1.0) - pi"), ("arctan2(-1, 0)", "arctan(0 / -1) + pi"),
    ("arctan2(0, 0)", "0.0"), ("arctan2(nan, 1)", "0.0"), ("arctan2(-1, nan)", "0.0"),
    ("arcsin(0)", "pi / 2"), ("arccos(0)", "pi / 2 - pi / 2"),
    ("arcsin(-1)", "arctan(sqrt(0) / -1) + pi"), ("arccos(1)", "pi / 2 - arctan(sqrt(0) / 1)"),
    ("arcsin(0.5)", "arctan(sqrt(1 - 0.5 ** 2) / 0.5)"),
])
def test_values(pinned, expression, expected):
    assert same_float(pinned(expression), pinned(expected))


def raised(function, *args):
    with pytest.raises(Exception) as info:
        function(*args)
    return info.value


UNBOUND = UnboundLocalError("local variable 'cosine' referenced before assignment")
BY_ZERO = raised(operator.truediv, 1.0, 0.0)


@pytest.mark.parametrize("expression, expected, lines, deleted", [
    ("tan(90)", BY_ZERO, [("tan", 76)], ()), ("tan(-90)", BY_ZERO, [("tan", 76)], ()),
    ("cosin(nan)", UNBOUND, [("cosin", 62)], ()), ("cosin(-inf)", UNBOUND, [("cosin", 62)], ()),
    ("_tan_rad(inf)", UNBOUND, [("_tan_rad", 82), ("cosin", 62)], ()),
    ("arctan(0.5, 2.5)", raised(range, 2.5), [("arctan", 103)], ()),
    ("arctan(-5, '3')", raised(range, "3"), [("arctan", 100), ("arctan", 103)], ()),
    # the argument is converted before `sin`, `cosin` or `constants` is looked up
    *((f"_tan_rad({a!r})", raised(math.fabs, a), [("_tan_rad", 78)], ("sin", "cosin", "constants"))
      for a in ("1", 10**400, None)),
    ("cosin(90)", NameError("name 'algebra' is not defined"), [("cosin", 61)], ("algebra", "sin")),
])
def test_failures(pinned, restore_globals, expression, expected, lines, deleted):
    for name in deleted:
        del restore_globals[name]
    exc = raised(pinned, expression)
    assert (type(exc), str(exc)) == (type(expected), str(expected))
    assert module_entries(exc) == [("geometry.trigonometry." + f, line) for f, line in lines]


def test_arctan_calls_range_directly_and_returns_the_shared_zero(trig, restore_globals):
    import builtins
    saved = builtins.range
    builtins.range = restore_globals["range"] = lambda n: pytest.fail("range looked up")
    try:
        # Were `range` looked up by name, the stand-in would fail the test.
        assert 0.46 < trig.arctan(0.5, 3) < 0.47
        assert trig.arctan(0.5, 0) is trig.arctan(0.5, -3) is trig.arctan2(0, 0)
    finally:
        builtins.range = saved
