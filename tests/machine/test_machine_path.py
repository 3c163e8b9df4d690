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
import fractions
import math
import random
import types

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from geometry import trigonometry as TRIG
from support import exact
from support.machine import (
    ALGEBRA, CONSTANTS, FloatSub, GENERIC, MISSING, NAMES, NAN, NATIVE, Model, Near, PI,
    PiProperty, PiSpy, Raises, SAME, SQRT, ZERO, attempt, boundary_calls, combined,
    compare_paths, delete, generic, mismatches, module_with, put, random_calls, rebound,
    restore, run_rebinding, setting, source_arctan, spying, sqrt_rebinding, through_python,
    ulps, with_pi)



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
    native = [attempt(NATIVE[n], args, kwargs) for n, args, kwargs in calls]
    modelled = [attempt(getattr(model, n), args, kwargs) for n, args, kwargs in calls]
    assert native == modelled, mismatches(calls, native, modelled)


# Random inputs

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

S30, S60 = NATIVE["sin"](30), NATIVE["sin"](60)
Q = math.sqrt(0.75) / 0.5   # arcsin(0.5) folds arctan(Q)
ROOT = math.sqrt(1 - 0.6 * 0.6)   # the cosine when the sine is 0.6


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


@pytest.mark.parametrize("label", BETWEEN_CALLS)
def test_rebinding_between_calls(label):
    rebind, calls, expected = BETWEEN_CALLS[label]
    after, before = run_rebinding(rebind, calls, expected)
    if label not in UNCHANGED:
        assert after != before


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
