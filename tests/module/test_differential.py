"""The function bodies against the pure-Python model in support/model.py: results
bit for bit, exceptions by type, message and traceback lines, the sequence of
number-protocol operations the arguments see, and the sequence of lookups,
attribute reads and calls of module-level names."""
import builtins
import functools
import operator
import types

import pytest
from hypothesis import given, settings, strategies as st

from geometry import trigonometry as TRIG
from support import exact_through, model
from support.model import Model

NAMES = Model.NAMES
MODEL = Model.standalone(TRIG.constants, TRIG.algebra)
NAN, INF, DELETED = float("nan"), float("inf"), object()


# Random and adversarial arguments

IntSub, FloatSub = type("IntSub", (int,), {}), type("FloatSub", (float,), {})


BIG = (2**30, -2**30, 2**60, -2**60, 2**90, 10**400, -10**400)
ANY = st.one_of(
    st.integers(-1000, 1000), st.integers(), st.builds(operator.add, st.sampled_from(BIG),
                                                      st.integers(-400, 400)),
    st.floats(), st.floats(-3, 3), st.sampled_from((
        0.0, -0.0, NAN, -NAN, INF, -INF, 5e-324, -5e-324, 2.2250738585072014e-308, -1e-20,
        1e-14, 1e-13, 89.99999999999999, 90.00000000000001, 269.99999999999994, 1e300)),
    st.booleans(), st.builds(IntSub, st.integers(-1000, 1000)), st.builds(FloatSub, st.floats()),
    st.fractions(max_denominator=10**6), st.decimals(), st.complex_numbers(),
    st.text(max_size=3), st.sampled_from(("%d", "%s")), st.none())
PASSES = st.one_of(st.integers(-2, 3), st.sampled_from((True, IntSub(2), 2.5, "3", None)))
CALLS = st.one_of(
    st.tuples(st.sampled_from(NAMES[:4] + NAMES[6:]), st.tuples(ANY)),
    st.tuples(st.just("arctan"), st.one_of(st.tuples(ANY), st.tuples(ANY, PASSES))),
    st.tuples(st.just("arctan2"), st.tuples(ANY, ANY)))


@settings(max_examples=2000, deadline=None)
@given(CALLS)
def test_random_arguments(call):
    name, args = call
    assert outcome(getattr(TRIG, name), *args) == outcome(getattr(MODEL, name), *args)


# The operations seen by a number that logs every protocol call

class Logged:
    """Wraps an int, float, bool or complex and logs each protocol operation
    applied to it; number results come back wrapped."""

    def __init__(self, value, log):
        self.value, self.log = value, log

    def apply(self, name, function, others, wrap):
        self.log.append((name, key(self)) + tuple(map(key, others)))
        result = function(self.value, *(o.value if isinstance(o, Logged) else o for o in others))
        return Logged(result, self.log) if wrap and type(result) in (int, float, bool, complex) \
            else result


def _method(name, function, wrap=True):
    return lambda self, *others: self.apply(name, function, others, wrap)


for _name in ("ge", "gt", "lt", "le", "eq", "neg", "abs", "mod", "mul", "truediv", "add",
              "sub", "pow"):
    _function = getattr(operator, _name)
    setattr(Logged, f"__{_name}__", _method(_name, _function))
    if _name in ("mod", "mul", "truediv", "add", "sub", "pow"):
        setattr(Logged, f"__r{_name}__", _method("r" + _name, lambda a, b, f=_function: f(b, a)))
    if _name in ("add", "sub", "mul"):
        setattr(Logged, f"__i{_name}__", _method("i" + _name, _function))
for _name, _function in (("bool", bool), ("float", float), ("index", operator.index)):
    setattr(Logged, f"__{_name}__", _method(_name, _function, wrap=False))

key = exact_through(Logged)   # a result's type and contents, seen through a Logged
outcome = functools.partial(model.outcome, describe=key)


# Lookups, attribute reads and calls of module-level names

class Spy:
    """Stands in for a callable: logs each call, then calls the real one."""

    def __init__(self, name, target, log):
        self.name, self.target, self.log = name, target, log

    def __call__(self, *args):
        self.log.append(("call", self.name) + tuple(map(key, args)))
        return self.target(*args)


class Attributes:
    """Stands in for a sibling module: logs each attribute read."""

    def __init__(self, label, log, **values):
        self.label, self.log, self.values = label, log, values

    def __getattr__(self, name):
        self.log.append(("attribute", self.label, name))
        return self.values[name]


@pytest.fixture
def traced(restore_globals, monkeypatch):
    """Hides the module-level names behind a logging `__getattr__` of builtins,
    each found as a logging stand-in; gives the outcome and log of one call of a
    body (with `wrap`, the arguments, `pi` and `sqrt`'s results are Logged)."""
    log, hidden = [], {}
    originals = {name: restore_globals.pop(name) for name in NAMES + ("constants", "algebra")}
    model = Model(restore_globals)

    def lookup(name):
        if name not in hidden:
            raise AttributeError(name)
        log.append(("lookup", name))
        return hidden[name]

    def run(name, values, wrap=False, in_model=False):
        number = (lambda v: Logged(v, log)) if wrap else (lambda v: v)
        pi, sqrt = originals["constants"].pi, originals["algebra"].sqrt
        hidden.update({n: Spy(n, originals[n], log) for n in NAMES},
                      constants=Attributes("constants", log, pi=number(pi)),
                      algebra=Attributes("algebra", log,
                                         sqrt=Spy("sqrt", lambda v: number(sqrt(v)), log)))
        log.clear()
        function = getattr(model, name) if in_model else originals[name]
        return outcome(function, *map(number, values)), list(log)

    monkeypatch.setitem(vars(builtins), "__getattr__", lookup)
    return run


@pytest.mark.parametrize("wrap", [False, True], ids=["plain", "logged"])
@pytest.mark.parametrize("name, values", [
    ("sin", (30,)), ("sin", (200.5,)), ("sin", (-100,)), ("sin", (NAN,)), ("cosin", (60,)),
    ("cosin", (135.0,)), ("cosin", (200,)), ("cosin", (300,)), ("cosin", (INF,)),
    ("cosin", (1j,)), ("tan", (45,)), ("tan", (90,)), ("_tan_rad", (0.5,)), ("_tan_rad", (2,)),
    ("_tan_rad", ("1",)), ("arctan", (0.3, 3)), ("arctan", (2, 2)), ("arctan", (-3.0, 1)),
    ("arctan", (0.5, 2.5)), ("arctan", (0.5, -3)), ("arctan2", (1, 2)), ("arctan2", (-1, 0.5)),
    ("arctan2", (-1, -2)), ("arctan2", (0, 3)), ("arctan2", (0.0, -3)), ("arctan2", (0, 0)),
    ("arctan2", (-0.0, NAN)), ("arcsin", (0.5,)), ("arcsin", (0,)), ("arccos", (0.25,)),
])
def test_lookup_and_call_sequence(traced, name, values, wrap):
    assert traced(name, values, wrap) == traced(name, values, wrap, in_model=True)


@pytest.mark.parametrize("name, args, callees, expected", [
    ("cosin", (60,), {"sin", "sqrt"}, ["sin", "sin", "sqrt"]),
    ("cosin", (200,), {"sin", "sqrt"}, ["sin", "sin", "sqrt"]),
    ("arctan", (0.3, 5), {"_tan_rad", "arctan"}, ["_tan_rad"] * 10),
    ("arctan2", (0, 0), set(NAMES), []),
])
def test_call_counts(traced, name, args, callees, expected):
    log = traced(name, args)[1]
    assert [e[1] for e in log if e[0] == "call" and e[1] in callees] == expected


def test_arccos_calls_bound_method_with_self_first(trig, restore_globals):
    seen = []
    holder = type("Holder", (), {"arcsin": lambda self, x: seen.append((self, x)) or 0.25})()
    trig.arcsin = holder.arcsin
    assert outcome(trig.arccos, 0.5) == ("returns", key(trig.constants.pi / 2 - 0.25))
    assert seen == [(holder, 0.5)]


@pytest.mark.parametrize("name, replacement, caller, args", [
    ("sin", lambda angle: 0.6, "cosin", (30,)),
    ("cosin", lambda angle: 4.0, "tan", (30,)),
    ("_tan_rad", lambda theta: 0.0, "arctan", (0.5, 2)),
    ("arctan", lambda q: q, "arctan2", (2, 1)),
    ("arctan2", lambda x, y: (x, y), "arcsin", (0.5,)),
    ("constants", types.SimpleNamespace(pi=3), "arctan2", (0, -1)),
    ("constants", types.SimpleNamespace(pi=3), "arccos", (0.5,)),
    ("algebra", types.SimpleNamespace(sqrt=lambda v: 2.0), "cosin", (30,)),
    ("arctan", DELETED, "arctan2", (1, 1)),
    ("algebra", DELETED, "arccos", (0.5,)),
    ("cosin", DELETED, "_tan_rad", (0.5,)),
])
def test_rebinding_takes_effect_at_next_call(trig, restore_globals, name, replacement, caller,
                                             args):
    function, original = getattr(trig, caller), restore_globals[name]
    before = outcome(function, *args)
    del restore_globals[name]
    if replacement is not DELETED:
        restore_globals[name] = replacement
    after = outcome(function, *args)
    assert after != before and after == outcome(getattr(Model(restore_globals), caller), *args)
    restore_globals[name] = original
    assert outcome(function, *args) == before
