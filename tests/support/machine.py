"""Helpers of the machine-path tests (tests/machine): the configurations
that force the generic path while keeping every value, the outcomes compared
between the two paths and with the model, boundary and random inputs, and the
rebindings made between calls and from inside a call."""
import builtins
import contextlib
import decimal
import fractions
import math
import struct
import types
from typing import NamedTuple

from geometry import trigonometry as TRIG
from support import exact, module_entries, outcome, raised, source
from support import model
from support.model import Model

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
    return outcome(function, *args, kwargs=kwargs,
                   describe=lambda result: (exact(result), result is ZERO,
                                            tuple(result is a for a in args)),
                   failure=lambda exc: (*raised(exc), repr(exc.args)),
                   lines=lambda exc: (module_entries(exc), linked(exc)))


def attempt(function, args, kwargs=None):
    """The outcome of a call of the module or of the model, comparable
    between the two (support.model.outcome)."""
    return model.outcome(function, *args, kwargs=kwargs)


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
# Ints read from their digits: the edges of 64 bits, and a large angle that
# reduces to each quadrant's edge.
EXPORTED = [2**63 - 1, 2**63, 2**64 + 1] + [360 * 2**70 + r for r in (0, 90, 270)]
INTS = unique(sign * value for value in DIGITS + EXPORTED + [2, 3, 2**53 - 1, 2**53, 2**53 + 1]
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



class Raises(NamedTuple):
    type: type
    message: str


class Near(NamedTuple):
    value: float
    tolerance: float = 1e-14


SAME = object()   # the outcome before the rebinding


def meets(outcome, expected, before):
    """Whether `outcome` is what `expected` describes (see BETWEEN_CALLS)."""
    if expected is None:
        return True
    if expected is SAME:
        return outcome == before
    if isinstance(expected, Raises):
        return outcome[:3] == ("raises", expected.type, expected.message)
    if isinstance(expected, Near):
        if outcome[0] != "returns" or outcome[1][0] is not float:
            return False
        return abs(struct.unpack("<d", outcome[1][1])[0] - expected.value) <= expected.tolerance
    return outcome == ("returns", exact(expected))


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



def source_arctan(tangent, x):
    """arctan(x) of the module's Python source with `_tan_rad` bound to `tangent`."""
    return source.load(_tan_rad=tangent).arctan(x)




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
    assert native == modelled
    wrong = [(call, o, e) for call, o, b, e in zip(calls, native, before, expected, strict=True)
             if not meets(o, e, b)]
    assert not wrong
    # Bound back, the module computes exactly what it did before.
    assert [observe(NATIVE[name], args) for name, args in calls] == plain
    return native, before
