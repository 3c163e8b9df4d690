"""The machine-number path of the function bodies against their generic path.

With exact float and int operands, a `constants` module whose `pi` is an exact
float, `algebra.sqrt` being the interpreter's `math.sqrt` and every called name
still bound to the module's own function, a body may compute in doubles and
machine ints and box only its result.  These tests force the generic sequence
by legitimate rebindings that keep every value the same (a namespace in place
of the `constants` module, a Python wrapper around `math.sqrt` or around the
module's own functions) and compare the two in one process: results by their
bits, failures by type, message and traceback entries, and the pool's shared
0.0 by identity.  Rebindings made between calls or from inside a call must be
seen at the next use, exactly as the pure-Python model sees them."""
import builtins
import cmath
import contextlib
import decimal
import fractions
import math
import random
import struct
import types
from typing import NamedTuple

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from geometry import trigonometry as TRIG
from model import Model, model_entries
from support import exact, module_entries, source

NAMES = Model.NAMES
CALLED = ("sin", "cosin", "_tan_rad", "arctan", "arctan2", "arcsin")   # names the bodies call
NATIVE = {name: getattr(TRIG, name) for name in NAMES}
CONSTANTS, ALGEBRA = TRIG.constants, TRIG.algebra
PI, SQRT = CONSTANTS.pi, ALGEBRA.sqrt
NAN, INF = float("nan"), float("inf")
MISSING = object()

IntSub, FloatSub = type("IntSub", (int,), {}), type("FloatSub", (float,), {})


def through_python(function):
    """A Python function that calls `function`: the same results, but not the
    object that the machine path trusts."""
    def call(*args, **kwargs):
        return function(*args, **kwargs)
    return call


# Each of these keeps every value the module computes with and disables the
# machine path of the bodies that rely on what it replaces.
GENERIC = {
    "constants-namespace": lambda: {"constants": types.SimpleNamespace(pi=PI)},
    "sqrt-wrapper": lambda: {"algebra": types.SimpleNamespace(sqrt=through_python(SQRT))},
    "function-wrappers": lambda: {name: through_python(NATIVE[name]) for name in CALLED},
}
GENERIC["everything"] = lambda parts=tuple(GENERIC.values()): {
    name: value for make in parts for name, value in make().items()}


@contextlib.contextmanager
def rebound(namespace, values):
    """Bind `values` in the dictionary `namespace` for the duration."""
    saved = {name: namespace.get(name, MISSING) for name in values}
    namespace.update(values)
    try:
        yield
    finally:
        for name, value in saved.items():
            if value is MISSING:
                namespace.pop(name, None)
            else:
                namespace[name] = value


def generic(config):
    return rebound(vars(TRIG), GENERIC[config]())


with generic("everything"):
    ZERO = TRIG.arctan2(0, 0)     # the constant pool's float 0.0


@pytest.fixture(autouse=True)
def pristine(restore_globals):
    """Every test starts from the bindings the module was built with, and
    whatever it rebinds (module names, `pi`, `sqrt`, builtins) is put back."""
    assert all(restore_globals[name] is NATIVE[name] for name in NAMES)
    assert restore_globals["constants"] is CONSTANTS and restore_globals["algebra"] is ALGEBRA
    assert CONSTANTS.pi is PI and ALGEBRA.sqrt is SQRT
    snapshot = [(d, dict(d)) for d in (vars(CONSTANTS), vars(ALGEBRA), vars(builtins))]
    yield
    for namespace, saved in snapshot:
        restore(namespace, saved)


def restore(namespace, saved):
    """Put back the bindings of `saved`, one assignment per changed name."""
    for name in [name for name in namespace if name not in saved]:
        del namespace[name]
    for name, value in saved.items():
        if namespace.get(name, MISSING) is not value:
            namespace[name] = value


# What a call gives

def linked(exc):
    return tuple((type(e), str(e)) for e in (exc.__context__, exc.__cause__) if e is not None)


def observe(function, args, kwargs=None):
    """Comparable with ==: the result's type and bits, whether it is the pool's
    0.0 and whether it is one of the arguments; or the exception's type,
    message, arguments, traceback entries in the module and linked exceptions."""
    try:
        result = function(*args, **(kwargs or {}))
    except Exception as exc:  # noqa: BLE001 - every failure is compared
        return ("raises", type(exc), str(exc), repr(exc.args), module_entries(exc), linked(exc))
    return ("returns", exact(result), result is ZERO, tuple(result is a for a in args))


class Outcome(NamedTuple):
    key: tuple      # comparable between the module and the model
    value: object   # the result or the exception


def attempt(function, args, kwargs=None):
    """The outcome of a call of the module or of the model; traceback entries
    of both are read, the model's tags first (it calls inwards)."""
    try:
        result = function(*args, **(kwargs or {}))
    except Exception as exc:  # noqa: BLE001
        entries = model_entries(exc) + module_entries(exc)
        return Outcome(("raises", type(exc), str(exc), entries), exc)
    return Outcome(("returns", exact(result)), result)


def mismatches(calls, first, second):
    differing = [(call, a, b) for call, a, b in zip(calls, first, second, strict=True) if a != b]
    return "\n".join(f"{call}:\n  {a}\n  {b}" for call, a, b in differing[:10]) + (
        f"\n... {len(differing)} calls differ" if differing else "")


def compare_paths(calls, config):
    """Run `calls` (name, args, kwargs) as configured, then with the generic
    path forced by `config`; the two lists of outcomes must be equal."""
    machine = [observe(NATIVE[name], args, kwargs) for name, args, kwargs in calls]
    with generic(config):
        forced = [observe(NATIVE[name], args, kwargs) for name, args, kwargs in calls]
    assert machine == forced, mismatches(calls, machine, forced)


# Boundary inputs

def ulps(value, count=4):
    """`value` and the `count` floats on either side of it."""
    below = above = value
    values = [value]
    for _ in range(count):
        below, above = math.nextafter(below, -INF), math.nextafter(above, INF)
        values += [below, above]
    return values


def unique(values):
    seen, kept = set(), []
    for value in values:
        if exact(value) not in seen:
            seen.add(exact(value))
            kept.append(value)
    return kept


# Ints of no, one, two and three or more 30-bit digits.
DIGITS = [0, 1, 2**30 - 1, 2**30, 2**60 - 1, 2**60, 2**90, 10**30, 10**400]
INTS = unique(sign * value for value in DIGITS + [2, 3, 2**53 - 1, 2**53, 2**53 + 1]
              for sign in (1, -1))
EDGE_FLOATS = [
    0.0, -0.0, NAN, -NAN, INF, -INF, 5e-324, -5e-324, 2.2250738585072014e-308,
    -2.2250738585072014e-308, 2.225073858507201e-308, -2.225073858507201e-308,
    1e-200, 1e-20, -1e-20, 1e-14, 1e-13, 1e200, 1e300, -1e300, 1.7976931348623157e308,
    -1.7976931348623157e308, 2.0**53, 2.0**53 + 2, *ulps(math.sqrt(1.7976931348623157e308), 1),
]
NEAR_ONE = [*ulps(1.0), *ulps(-1.0), 0.5, -0.5, 0.75, -0.75, 2.0, -2.0, 3.0, -3.0]
RIGHT_ANGLES = [value for k in range(-8, 9) for value in [90 * k, *ulps(90.0 * k)]]
RADIAN_RIGHT_ANGLES = [value for k in range(-4, 5) for value in ulps(k * PI / 2, 2)]
OTHER_TYPES = [True, False, IntSub(7), FloatSub(30.5), FloatSub(-0.0), fractions.Fraction(1, 3),
               decimal.Decimal("0.5")]
BOUNDARY = unique(INTS + EDGE_FLOATS + NEAR_ONE + RIGHT_ANGLES + RADIAN_RIGHT_ANGLES
                  + OTHER_TYPES)
PAIRS = unique(INTS + EDGE_FLOATS + [1.0, -1.0, 0.5, -0.5, 2.0, -3.0, 90.0, True, False,
                                        FloatSub(2.5)])
ITERS = (-3, 0, 1, 2, 20)


def boundary_calls(name):
    if name == "arctan":
        for x in BOUNDARY:
            yield name, (x,), {}
            yield from ((name, (x, passes), {}) for passes in ITERS + (True, 2.0, -10**30))
            yield name, (x,), {"iter": 2}
            yield name, (), {"x": x, "iter": 20}
    elif name == "arctan2":
        yield from ((name, (x, y), {}) for x in PAIRS for y in PAIRS)
    else:
        yield from ((name, (x,), {}) for x in BOUNDARY)


@pytest.mark.parametrize("config", sorted(GENERIC))
@pytest.mark.parametrize("name", NAMES)
def test_boundary_inputs(name, config):
    compare_paths(list(boundary_calls(name)), config)


SHARED_ZERO = [
    ("arctan", (x, passes)) for x in (0, 0.5, -1, 1.0, -0.0, NAN, 5e-324) for passes in (0, -3)
] + [("arctan2", (x, y)) for x in (0, 0.0, -0.0, NAN) for y in (0, 0.0, -0.0, NAN)] + [
    ("arctan2", (NAN, 1.0)), ("arctan2", (-1, NAN)), ("arcsin", (NAN,)), ("arcsin", (-NAN,)),
]
FRESH_ZERO = [("sin", (0,)), ("sin", (0.0,)), ("sin", (NAN,)), ("sin", (360,)), ("tan", (0,)),
              ("cosin", (270,)), ("_tan_rad", (0.0,)), ("arctan", (0.0,)), ("arctan", (0, 1)),
              ("arctan", (-0.0,)), ("arctan2", (1, 0)), ("arcsin", (1,))]


@pytest.mark.parametrize("config", [None] + sorted(GENERIC))
def test_shared_zero_is_returned_where_the_generic_path_returns_it(config):
    with generic(config) if config else contextlib.nullcontext():
        assert all(NATIVE[name](*args) is ZERO for name, args in SHARED_ZERO)
        fresh = [NATIVE[name](*args) for name, args in FRESH_ZERO]
    assert all(type(r) is float and r == 0 and r is not ZERO for r in fresh)


@pytest.mark.parametrize("name", NAMES)
def test_boundary_results_agree_with_the_model(name):
    model = Model.standalone(CONSTANTS, ALGEBRA)
    calls = [call for call in boundary_calls(name) if not call[2]]   # keywords bind the same
    if name == "arctan2":
        calls = calls[::7]   # every pair is cheap natively, not in the model
    native = [attempt(NATIVE[n], args, kwargs).key for n, args, kwargs in calls]
    modelled = [attempt(getattr(model, n), args, kwargs).key for n, args, kwargs in calls]
    assert native == modelled, mismatches(calls, native, modelled)


# Random inputs

def random_double(rng):
    """Any double, from a random bit pattern: NaNs, infinities and subnormals included."""
    return struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]


def random_int(rng):
    bits = rng.choice((3, 9, 29, 30, 31, 52, 53, 54, 59, 60, 61, 64, 90, 200, 1400))
    return rng.choice((1, -1)) * rng.getrandbits(bits)


def near(rng, value):
    """`value` or a float up to six ulps to one side of it."""
    step = rng.choice((INF, -INF))
    for _ in range(rng.randrange(7)):
        value = math.nextafter(value, step)
    return value


def mix(*choices):
    return lambda rng: rng.choice(choices)(rng)


ANGLE = mix(lambda rng: rng.uniform(-1000, 1000), random_double, random_int,
            lambda rng: rng.randint(-1000, 1000), lambda rng: 90 * rng.randint(-16, 16),
            lambda rng: near(rng, 90.0 * rng.randint(-16, 16)),
            lambda rng: rng.uniform(-1e-12, 1e-12))
RADIAN = mix(lambda rng: rng.uniform(-10, 10), random_double, random_int,
             lambda rng: near(rng, rng.randint(-8, 8) * PI / 2),
             lambda rng: near(rng, rng.randint(-16, 16) * 90.0) * PI / 180.0)
RATIO = mix(lambda rng: rng.uniform(-1, 1), lambda rng: rng.uniform(-3, 3), random_double,
            random_int, lambda rng: rng.randint(-3, 3),
            lambda rng: near(rng, rng.choice((1.0, -1.0))), lambda rng: rng.uniform(-1000, 1000),
            lambda rng: rng.choice(EDGE_FLOATS))
COORDINATE = mix(ANGLE, RATIO, lambda rng: rng.choice(EDGE_FLOATS))


def random_calls(name, rng, count):
    if name == "arctan":
        for _ in range(count):
            x, passes = RATIO(rng), rng.choice((None, None, None, 20, 0, 1, 2, 5, -2))
            if passes is None:
                yield name, (x,), {}
            elif rng.random() < 0.5:
                yield name, (x, passes), {}
            else:
                yield name, (x,), {"iter": passes}
    elif name == "arctan2":
        yield from ((name, (COORDINATE(rng), COORDINATE(rng)), {}) for _ in range(count))
    else:
        draw = {"_tan_rad": RADIAN, "arcsin": RATIO, "arccos": RATIO}.get(name, ANGLE)
        yield from ((name, (draw(rng),), {}) for _ in range(count))


@pytest.mark.parametrize("name", NAMES)
def test_random_inputs(name):
    rng = random.Random(f"machine-path {name}")
    compare_paths(list(random_calls(name, rng, 10**5)), "everything")


NUMBERS = st.one_of(st.floats(), st.integers(), st.floats(-1000, 1000), st.floats(-1.5, 1.5),
                    st.builds(lambda k, n: ulps(90.0 * k, 4)[n], st.integers(-12, 12),
                              st.integers(0, 8)), st.booleans())
CALLS = st.one_of(
    st.tuples(st.sampled_from(("sin", "cosin", "tan", "_tan_rad", "arcsin", "arccos")),
              st.tuples(NUMBERS)),
    st.tuples(st.just("arctan"), st.one_of(st.tuples(NUMBERS),
                                           st.tuples(NUMBERS, st.integers(-3, 6)))),
    st.tuples(st.just("arctan2"), st.tuples(NUMBERS, NUMBERS)))


@settings(max_examples=300, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(call=CALLS, config=st.sampled_from(sorted(GENERIC)))
def test_hypothesis_inputs(call, config):
    compare_paths([call + ({},)], config)


# Rebinding

class Raises(NamedTuple):
    type: type
    message: str


class Near(NamedTuple):
    value: float
    tolerance: float = 1e-14


SAME = object()   # the outcome before the rebinding


def meets(outcome, expected, before):
    if expected is None:
        return True
    if expected is SAME:
        return outcome.key == before.key
    if isinstance(expected, Raises):
        return outcome.key[:3] == ("raises", expected.type, expected.message)
    if isinstance(expected, Near):
        return type(outcome.value) is float and abs(outcome.value - expected.value) <= \
            expected.tolerance
    return outcome.key == ("returns", exact(expected))


def with_pi(value, name, *args):
    """What the module's own `name` gives with `constants.pi` bound to `value`."""
    CONSTANTS.pi = value
    try:
        return NATIVE[name](*args)
    finally:
        CONSTANTS.pi = PI


def module_with(**attributes):
    module = types.ModuleType("replacement")
    vars(module).update(attributes)
    return module


class PiProperty(types.ModuleType):
    """A module type whose `pi` is a property: its instances read 3.0, whatever
    their dictionary holds."""
    pi = property(lambda self: 3.0)


def put(**values):
    return lambda namespace, functions: namespace.update(values)


def delete(name):
    return lambda namespace, functions: namespace.pop(name)


def setting(target, **values):
    """Rebind attributes of a shared module (`constants`, `algebra` or builtins)."""
    def rebind(namespace, functions):
        for name, value in values.items():
            if value is MISSING:
                delattr(target, name)
            else:
                setattr(target, name, value)
    return rebind


def combined(*rebinds):
    def rebind(namespace, functions):
        for each in rebinds:
            each(namespace, functions)
    return rebind


def spying(name, then):
    """Bind a stand-in for the world's own `name` that, at its first call, runs
    then(namespace), binds the original back and forwards the call to it."""
    def rebind(namespace, functions):
        original = functions[name]

        def spy(*args):
            then(namespace)
            namespace[name] = original
            return original(*args)
        namespace[name] = spy
    return rebind


def sqrt_rebinding(then):
    """`algebra.sqrt` becomes math.sqrt behind a spy that runs then(namespace)
    at its first call."""
    def rebind(namespace, functions):
        pending = [then]

        def spy(value):
            while pending:
                pending.pop()(namespace)
            return math.sqrt(value)
        ALGEBRA.sqrt = spy
    return rebind


class PiSpy(float):
    """A `pi` whose arithmetic rebinds `constants.pi` to `then` and computes as
    the plain float would: the binding changes at its first use in a call."""

    def __new__(cls, value, then):
        spy = super().__new__(cls, value)
        spy.then = then
        return spy

    def _fire(self):
        CONSTANTS.pi = self.then
        return float(self)

    def __rmul__(self, other):
        return other * self._fire()

    def __rtruediv__(self, other):
        return other / self._fire()

    def __truediv__(self, other):
        return self._fire() / other

    def __neg__(self):
        return -self._fire()

    def __radd__(self, other):
        return other + self._fire()

    def __rsub__(self, other):
        return other - self._fire()


S30, S60 = NATIVE["sin"](30), NATIVE["sin"](60)
Q = math.sqrt(0.75) / 0.5   # arcsin(0.5) folds arctan(Q)
ROOT = math.sqrt(1 - 0.6 * 0.6)   # the cosine when the sine is 0.6


def source_arctan(tangent, x):
    """arctan(x) of the module's Python source with `_tan_rad` bound to `tangent`."""
    return source.load(_tan_rad=tangent).arctan(x)


# (rebinding, calls, expected outcomes: a value, Near, Raises, SAME or None)
BETWEEN_CALLS = {
    "sin=0.6": (put(sin=lambda angle: 0.6), [("cosin", (30,)), ("cosin", (200,)), ("tan", (30,)),
                                               ("_tan_rad", (0.5,))],
                lambda: [ROOT, -ROOT, 0.6 / ROOT, 0.6 / ROOT]),
    "sin=arccos": (put(sin=NATIVE["arccos"]), [("cosin", (30,)), ("tan", (30,))],
                   lambda: [Raises(ValueError, "math domain error")] * 2),
    "sin=arctan2": (put(sin=NATIVE["arctan2"]), [("cosin", (30,)), ("_tan_rad", (1,))],
                    lambda: [Raises(TypeError, "arctan2() takes exactly 2 positional arguments "
                                               "(1 given)")] * 2),
    "sin=builtin": (combined(delete("sin"), setting(builtins, sin=lambda angle: 0.6)),
                    [("cosin", (30,)), ("tan", (30,))],
                    lambda: [ROOT, 0.6 / ROOT]),
    "sin-deleted": (delete("sin"), [("cosin", (30,)), ("_tan_rad", (0.5,))],
                    lambda: [Raises(NameError, "name 'sin' is not defined")] * 2),
    "cosin=4.0": (put(cosin=lambda angle: 4.0), [("tan", (30,)), ("_tan_rad", (0.5,))],
                  lambda: [0.125, NATIVE["sin"](0.5 * 180.0 / PI) / 4.0]),
    "cosin=sin": (put(cosin=NATIVE["sin"]), [("tan", (30,)), ("tan", (0,)), ("_tan_rad", (0.0,))],
                  lambda: [1.0, Raises(ZeroDivisionError, "float division by zero"),
                           Raises(ZeroDivisionError, "float division by zero")]),
    "_tan_rad=0.0": (put(_tan_rad=lambda rad: 0.0), [("arctan", (0.5, 2)), ("arctan", (3, 1))],
                     lambda: [1.0, PI / 2 - 1 / 3]),
    "_tan_rad=tan": (put(_tan_rad=NATIVE["tan"]), [("arctan", (0.5,)), ("arctan", (-2,))],
                     lambda: [source_arctan(NATIVE["tan"], 0.5),
                              source_arctan(NATIVE["tan"], -2)]),
    "arctan=x*iter": (put(arctan=lambda x, iter=20: x * iter),
                      [("arctan2", (2, 1)), ("arctan2", (-2, 1)), ("arctan2", (-2, -1)),
                       ("arctan", (3,))],
                      lambda: [10.0, -10.0 + PI, 10.0 - PI, PI / 2 - 1 / 3 * 20]),
    "arctan=sin": (put(arctan=NATIVE["sin"]), [("arctan2", (2, 1)), ("arctan", (3,))],
                   lambda: [NATIVE["sin"](0.5), Raises(
                       TypeError, "sin() takes exactly 1 positional argument (2 given)")]),
    "arctan-deleted": (delete("arctan"), [("arctan2", (1, 1)), ("arcsin", (0.5,))],
                       lambda: [Raises(NameError, "name 'arctan' is not defined")] * 2),
    "arctan2=pair": (put(arctan2=lambda x, y: (x, y)), [("arcsin", (0.5,)), ("arccos", (0.5,))],
                     lambda: [(0.5, math.sqrt(0.75)), Raises(
                         TypeError, "unsupported operand type(s) for -: 'float' and 'tuple'")]),
    "arctan2=arctan": (put(arctan2=NATIVE["arctan"]), [("arcsin", (0.5,)), ("arcsin", (0,))],
                       lambda: [Raises(TypeError, "'float' object cannot be interpreted as an "
                                                  "integer")] * 2),
    "arcsin=0.25": (put(arcsin=lambda x: 0.25), [("arccos", (0.5,))], lambda: [PI / 2 - 0.25]),
    "arcsin=sin": (put(arcsin=NATIVE["sin"]), [("arccos", (30,))], lambda: [PI / 2 - 0.5]),
    "constants=namespace(pi=3)": (
        put(constants=types.SimpleNamespace(pi=3)),
        [("sin", (30,)), ("arctan2", (0, 1)), ("arctan2", (0, -1)), ("arccos", (0.5,))],
        lambda: [Near(math.sin(0.5)), 1.5, -1.5, None]),
    "constants=module(pi=3.0)": (
        put(constants=module_with(pi=3.0)),
        [("sin", (90,)), ("arctan2", (0, 1)), ("_tan_rad", (0.5,)), ("arctan", (3,))],
        lambda: [Near(math.sin(1.5)), 1.5, None, None]),
    "constants=math": (put(constants=math), [("sin", (30.5,)), ("arctan2", (0, 1)),
                                             ("arccos", (0.25,))], lambda: [SAME] * 3),
    "constants=pi-property": (
        put(constants=(lambda m: (vars(m).update(pi=PI), m)[1])(PiProperty("replacement"))),
        [("arctan2", (0, 1)), ("sin", (90,))], lambda: [1.5, Near(math.sin(1.5))]),
    "constants-deleted": (delete("constants"), [("sin", (30,)), ("arccos", (0.5,))],
                          lambda: [Raises(NameError, "name 'constants' is not defined")] * 2),
    "algebra=namespace(sqrt=2.0)": (
        put(algebra=types.SimpleNamespace(sqrt=lambda value: 2.0)),
        [("cosin", (30,)), ("cosin", (200,)), ("arcsin", (0.5,))],
        lambda: [2.0, -2.0, None]),
    "algebra=module(sqrt=fabs)": (
        put(algebra=module_with(sqrt=math.fabs)), [("cosin", (60,)), ("arcsin", (2,))],
        lambda: [math.fabs(1 - S60 * S60), None]),
    "algebra=math": (put(algebra=math), [("cosin", (60,)), ("arcsin", (0.5,))],
                     lambda: [SAME] * 2),
    "algebra=cmath": (put(algebra=cmath), [("cosin", (30,)), ("arcsin", (2,))],
                      lambda: [None, Raises(
                          TypeError, "'>' not supported between instances of 'complex' and "
                                     "'int'")]),
    "algebra-deleted": (delete("algebra"), [("cosin", (30,)), ("arccos", (0.5,))],
                        lambda: [Raises(NameError, "name 'algebra' is not defined")] * 2),
    "pi=3.0": (setting(CONSTANTS, pi=3.0),
               [("sin", (30,)), ("arctan2", (0, 1)), ("_tan_rad", (0.5,)), ("arccos", (0.5,))],
               lambda: [Near(math.sin(0.5)), 1.5, None, None]),
    "pi=3": (setting(CONSTANTS, pi=3), [("sin", (90,)), ("arctan2", (0, 1)), ("arctan2", (0, -1)),
                                        ("arctan", (-3,))],
             lambda: [Near(math.sin(1.5)), 1.5, -1.5, None]),
    "pi=Fraction(22, 7)": (
        setting(CONSTANTS, pi=fractions.Fraction(22, 7)),
        [("arctan2", (0, 1)), ("arctan2", (0, -1)), ("sin", (30,)), ("arctan", (3,))],
        lambda: [fractions.Fraction(11, 7), fractions.Fraction(-11, 7), Near(math.sin(11 / 21)),
                 fractions.Fraction(11, 7) - with_pi(fractions.Fraction(22, 7), "arctan", 1 / 3)]),
    "pi=FloatSub": (setting(CONSTANTS, pi=FloatSub(PI)),
                    [("sin", (30.5,)), ("arctan2", (0, 1)), ("tan", (30,)), ("arccos", (0.25,))],
                    lambda: [SAME, PI / 2, SAME, SAME]),
    "pi-deleted": (setting(CONSTANTS, pi=MISSING), [("sin", (30,)), ("arctan2", (0, 1))],
                   lambda: [Raises(AttributeError,
                                   "module 'geometry.constants' has no attribute 'pi'")] * 2),
    "sqrt=fabs": (setting(ALGEBRA, sqrt=math.fabs), [("cosin", (60,)), ("arcsin", (2,))],
                  lambda: [math.fabs(1 - S60 * S60), None]),
    "sqrt=wrapper": (setting(ALGEBRA, sqrt=through_python(math.sqrt)),
                     [("cosin", (60,)), ("arccos", (0.25,)), ("arcsin", (2,))],
                     lambda: [SAME] * 3),
    "sqrt=-1.0": (setting(ALGEBRA, sqrt=lambda value: -1.0), [("cosin", (30,)),
                                                               ("arcsin", (0.5,))],
                  lambda: [-1.0, None]),
}

# Rebindings to other objects that compute the same values.
UNCHANGED = {"constants=math", "algebra=math", "pi=FloatSub", "sqrt=wrapper"}

# Rebindings made while a call runs; the calls run in order, so a rebinding is
# seen by the rest of the call that made it and by every later call.
INSIDE_A_CALL = {
    "sqrt rebinds pi": (
        sqrt_rebinding(lambda namespace: setattr(CONSTANTS, "pi", 3.0)),
        [("arccos", (0.5,)), ("arccos", (0.5,))],
        lambda: [PI / 2 - (3.0 / 2 - with_pi(3.0, "arctan", 1 / Q)),
                 with_pi(3.0, "arccos", 0.5)]),
    "sqrt rebinds pi after tan's sine": (
        sqrt_rebinding(lambda namespace: setattr(CONSTANTS, "pi", 3.0)),
        [("tan", (30,)), ("tan", (30,))], lambda: [SAME, with_pi(3.0, "tan", 30)]),
    "pi rebinds itself to the plain float": (
        setting(CONSTANTS, pi=PiSpy(PI, PI)),
        [("tan", (30,)), ("tan", (30,)), ("_tan_rad", (0.5,)), ("arccos", (0.25,))],
        lambda: [SAME] * 4),
    "pi rebinds itself to 3.0": (
        setting(CONSTANTS, pi=PiSpy(PI, 3.0)), [("tan", (30,)), ("tan", (30,))],
        lambda: [S30 / with_pi(3.0, "cosin", 30), with_pi(3.0, "tan", 30)]),
    "sqrt rebinds sin": (
        sqrt_rebinding(lambda namespace: namespace.update(sin=lambda angle: 0.0)),
        [("tan", (30,)), ("tan", (30,))], lambda: [SAME, 0.0]),
    "sqrt rebinds _tan_rad": (
        sqrt_rebinding(lambda namespace: namespace.update(_tan_rad=lambda rad: 0.0)),
        [("arctan", (0.5, 2))], lambda: [1.0]),
    "sqrt rebinds cosin": (
        sqrt_rebinding(lambda namespace: namespace.update(cosin=lambda angle: 4.0)),
        [("_tan_rad", (0.5,)), ("_tan_rad", (0.5,))],
        lambda: [SAME, NATIVE["sin"](0.5 * 180.0 / PI) / 4.0]),
    "sqrt rebinds arctan2": (
        sqrt_rebinding(lambda namespace: namespace.update(arctan2=lambda x, y: y)),
        [("arcsin", (0.5,)), ("arcsin", (0.5,))], lambda: [SAME, math.sqrt(0.75)]),
    "sqrt rebinds arcsin": (
        sqrt_rebinding(lambda namespace: namespace.update(arcsin=lambda x: 0.25)),
        [("arccos", (0.5,)), ("arccos", (0.5,))], lambda: [SAME, PI / 2 - 0.25]),
    "arctan rebinds constants": (
        spying("arctan", lambda namespace: namespace.update(
            constants=types.SimpleNamespace(pi=3.0))),
        [("arctan2", (-1, 1)), ("arctan2", (-1, 1))],
        lambda: [with_pi(3.0, "arctan2", -1, 1)] * 2),
    "sin rebinds algebra": (
        spying("sin", lambda namespace: namespace.update(
            algebra=types.SimpleNamespace(sqrt=lambda value: 2.0))),
        [("cosin", (30,)), ("cosin", (30,))], lambda: [SAME, 2.0]),
    "arcsin rebinds pi": (
        spying("arcsin", lambda namespace: setattr(CONSTANTS, "pi", 3)),
        [("arccos", (0.5,)), ("arccos", (0.5,))],
        lambda: [PI / 2 - with_pi(3, "arcsin", 0.5), with_pi(3, "arccos", 0.5)]),
}


def worlds():
    """The module's namespace and a model's, each with its own functions."""
    model = Model.standalone(CONSTANTS, ALGEBRA)
    return [(vars(TRIG), NATIVE), (model.namespace, {name: getattr(model, name) for name in NAMES})]


def run_rebinding(rebind, calls, expected):
    expected = expected()
    shared = [(d, dict(d)) for d in (vars(TRIG), vars(CONSTANTS), vars(ALGEBRA), vars(builtins))]
    plain = [observe(NATIVE[name], args) for name, args in calls]
    for _ in range(3):   # warm whatever a call could cache
        assert [observe(NATIVE[name], args) for name, args in calls] == plain
    before = [attempt(NATIVE[name], args) for name, args in calls]
    seen = []
    for namespace, functions in worlds():
        rebind(namespace, functions)
        seen.append([attempt(functions[name], args) for name, args in calls])
        for d, saved in shared:
            restore(d, saved)
    native, modelled = seen
    assert [o.key for o in native] == [o.key for o in modelled]
    wrong = [(call, o.key, e) for call, o, b, e in zip(calls, native, before, expected, strict=True)
             if not meets(o, e, b)]
    assert not wrong
    # Bound back, the module computes exactly what it did before.
    assert [observe(NATIVE[name], args) for name, args in calls] == plain
    return native, before


@pytest.mark.parametrize("label", BETWEEN_CALLS)
def test_rebinding_between_calls(label):
    rebind, calls, expected = BETWEEN_CALLS[label]
    after, before = run_rebinding(rebind, calls, expected)
    if label not in UNCHANGED:
        assert [o.key for o in after] != [o.key for o in before]


@pytest.mark.parametrize("label", INSIDE_A_CALL)
def test_rebinding_inside_a_call(label):
    run_rebinding(*INSIDE_A_CALL[label])


def test_a_generic_configuration_reaches_its_python_code():
    """The forced configurations really route through the replacements."""
    reads = []

    class Constants:
        def __getattr__(self, name):
            reads.append(name)
            return PI if name == "pi" else getattr(CONSTANTS, name)

    sqrt_calls = []
    with rebound(vars(TRIG), {"constants": Constants(),
                              "algebra": types.SimpleNamespace(
                                  sqrt=lambda value: sqrt_calls.append(value) or SQRT(value))}):
        value = NATIVE["arccos"](0.25)
    # arccos and arctan's fold read pi once each; each of the 2 * 20 calls of
    # _tan_rad reads it twice and through three sines; arcsin and the cosine of
    # each _tan_rad take one square root.
    assert reads == ["pi"] * (2 + 20 * 2 * 5) and len(sqrt_calls) == 1 + 20 * 2
    assert exact(value) == exact(NATIVE["arccos"](0.25))
