"""The runtime's number helpers against the interpreter's own operators, for
every operand class; the operands returned as themselves; subclasses' dunders."""
import marshal
import operator
from decimal import Decimal
from fractions import Fraction

import pytest
from hypothesis import given, settings, strategies as st

from support import outcome, probe_module

probe = probe_module("runtime_probe")
number, int64, int_remainder = probe.number, probe.int64, probe.int_remainder

NAN, INF = float("nan"), float("inf")
# 0 and 1 as new objects rather than the interpreter's shared small ints.
ZERO, ONE = marshal.loads(b"l\0\0\0\0"), marshal.loads(b"l\1\0\0\0\1\0")
SubInt = type("SubInt", (int,), {})
SNAN = Decimal("sNaN")  # compares and converts to bool only by raising


# Ints of zero, one, two and more 30-bit digits, both signs; the values at
# which the helpers' results are listed (-1 % 360 is 359, 2**60 - 1 + 1, ...).
INTS = [0, 1, 5, 7, 180, 359, 360, 2**30 - 1, 2**30, 2**40, 2**60 - 1, 2**60, 10**40]
INTS += [-v for v in INTS if v]
FLOATS = [0.0, -0.0, NAN, INF, -INF, 5e-324, -1e-20, 180.0, -2.5, 0.1, 1.7976931348623157e308]
OPERANDS = INTS + FLOATS + [True, False, SubInt(-2**40), type("SubFloat", (float,), {})(-0.0),
                            Fraction(7, 3), "abc", None, SNAN]
PAIR_OPERANDS = [0, 1, -7, 2**30 - 1, -(2**30 - 1), 2**30, 2**53 + 1, 10**40, 0.0, -0.0, 2.5,
                 -1e308, 5e-324, NAN, INF, -INF, True, SubInt(3), Fraction(1, 3), None]

A, B = object(), object()  # where the operands go in a helper's arguments
# The interpreter's expression of each operation: the helper and its arguments,
# a constant K followed by its machine value k where the helper takes both.
TABLE = {
    "1 - a": ("rsub", 1, A, 1), "180 - a": ("rsub", 180, A, 180), "-180 - a": ("rsub", -180, A, -180),
    "a % 360": ("rem", A, 360), "operator.isub(a, 360)": ("isub", A, 360, 360),
    "a / 180": ("truediv", A, 180, 180), "a / 2": ("truediv", A, 2, 2), "a + 1": ("add", A, 1, 0),
    "operator.iadd(a, 1)": ("add", A, 1, 1), "1 + a": ("radd", 1, A), "2 * a": ("rmul", 2, A, 2),
    "-1 * a": ("rmul", -1, A, -1), "abs(a)": ("abs", A), "-a": ("negative", A),
    "1 if a == 0 else 0": ("eq", A, 0), "1 if a else 0": ("is_true", A),
}
for s, name in [("+", "add"), ("-", "sub"), ("*", "mul"), ("/", "truediv")]:
    TABLE[f"a {s} b"], TABLE[f"operator.i{name}(a, b)"] = (s, A, B, 0), (s, A, B, 1)
for c, s in enumerate(["<", "<=", "==", "!=", ">", ">="]):  # by their codes
    TABLE[f"1 if a {s} b else 0"] = ("compare", A, B, c)
# (helper, model, the operands it is checked on)
OPERATIONS = [pytest.param(
    lambda a, b=None, args=args: number(*[{A: a, B: b}.get(v, v) for v in args]),
    eval("lambda a, b=None: " + expr),
    [(a, b) for a in PAIR_OPERANDS for b in PAIR_OPERANDS] if B in args else [(x,) for x in OPERANDS],
    id=expr) for expr, args in TABLE.items()]


@pytest.mark.parametrize("helper, model, cases", OPERATIONS)
def test_matches_interpreter(helper, model, cases):
    assert [outcome(helper, *case) for case in cases] == [outcome(model, *case) for case in cases]


@pytest.mark.parametrize("helper, model, cases", OPERATIONS)
@settings(max_examples=100, deadline=None)
@given(a=st.one_of(st.integers(-2**61, 2**61), st.floats()),
       b=st.one_of(st.integers(-2**61, 2**61), st.floats()))
def test_random_operands_match_interpreter(helper, model, cases, a, b):
    assert outcome(helper, a, b) == outcome(model, a, b)


def test_operands_and_constants_returned_as_themselves():
    K = int("360")
    returned = [(number("rem", ZERO, 360), ZERO), (number("rsub", K, ZERO, 360), K),
                (number("add", ZERO, ONE, 0), ONE), (number("add", ZERO, ONE, 1), ONE),
                (number("radd", ONE, ZERO), ONE), (number("rmul", 2, ZERO, 2), ZERO)]
    returned += [(number("abs", x), x) for x in [ZERO, K, 2**30 + K, 2**60 + K, 10**40]]
    assert [result is expected for result, expected in returned] == [True] * len(returned)
    assert number("eq", SNAN, SNAN) == 1  # x is K: equal without comparing


def logged_type(base):
    """A subclass of `base` whose number dunders log their calls."""
    calls = []

    def logging(name, target):
        return lambda self, *args: calls.append((name,) + args) or target(self, *args)

    names = "add radd sub rsub mul rmul truediv mod abs neg eq ne lt le gt ge bool"
    namespace = {f"__{n}__": logging(n, getattr(base, f"__{n.removeprefix('i')}__"))
                 for n in (names + " iadd isub imul itruediv").split()}
    return type("Logged", (base,), namespace | {"__hash__": base.__hash__}), calls


# The in-place forms reach the subclass's __iadd__ and the like.
@pytest.mark.parametrize("base, value", [(int, 7), (int, 0), (float, -2.5)])
@pytest.mark.parametrize("helper, model, cases", OPERATIONS)
def test_subclass_goes_through_its_dunders(base, value, helper, model, cases):
    logged, calls = logged_type(base)
    expected = outcome(model, logged(value), 3)
    model_calls = calls[:]
    calls.clear()
    assert outcome(helper, logged(value), 3) == expected
    assert calls == model_calls and calls != []


# Ints read from their digits: every digit count up to five, the edges of
# 2**53, 2**60 and 2**63 on both sides, and a digit at the top of its range.
EDGE_INTS = [v + d for e in (30, 53, 60, 62, 63, 64, 90, 120, 150) for d in (-1, 0, 1)
             for v in (2**e, -2**e)] + [0, 1, -1, 2**90 - 1, -(2**90 - 1), 10**30, -10**30]
READ_INTS = st.one_of(st.sampled_from(EDGE_INTS), st.integers(-2**200, 2**200),
                      st.integers(-2**70, 2**70))


@settings(max_examples=400, deadline=None)
@given(x=READ_INTS)
def test_an_int_is_read_as_64_bits_exactly_when_it_fits(x):
    assert int64(x) == (x if -2**63 <= x < 2**63 else None)


@settings(max_examples=400, deadline=None)
@given(x=READ_INTS, divisor=st.one_of(st.sampled_from([1, 2, 90, 360, 2**30, 2**31 - 1]),
                                      st.integers(1, 2**31 - 1)))
def test_the_remainder_from_the_digits_is_the_interpreters(x, divisor):
    assert int_remainder(x, divisor) == x % divisor
