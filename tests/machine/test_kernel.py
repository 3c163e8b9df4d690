"""The floor kernel that bench/bench.py measures calls against computes what
the module computes, bit for bit, and fails where the module raises: on the
benchmark's calls, on edge cases and on 10**5 random calls per function."""
import math
import random

import pytest

from geometry import trigonometry
from support import bits, probe_module

kernel = probe_module("floor_kernel")

INF, NAN = math.inf, math.nan
COUNT = 10**5


def module_outcome(name, args):
    """The bits of the module's result, or None when it raises."""
    try:
        value = getattr(trigonometry, name)(*args)
    except (ArithmeticError, ValueError, UnboundLocalError):
        return None
    assert type(value) is float, (name, args, value)
    return bits(value)


def kernel_outcome(name, args):
    """The bits of the kernel's result, or None when it reports that the
    module raises.  Its ValueError, an input it does not compute, passes."""
    try:
        value = kernel.evaluate(name, *args)
    except ArithmeticError:
        return None
    return bits(value)


def disagreements(name, calls):
    found = []
    for args in calls:
        expected, got = module_outcome(name, args), kernel_outcome(name, args)
        if got != expected:
            found.append((args, expected, got))
    return found


BENCHMARK_CALLS = [("sin", (30,)), ("sin", (30.5,)), ("sin", (10**30,)), ("cosin", (60,)),
                   ("tan", (30,)), ("_tan_rad", (0.5,)), ("arctan", (0.5,)), ("arctan", (3,)),
                   ("arctan2", (-1, 2)), ("arcsin", (0.5,)), ("arccos", (0.25,))]

EDGE_CALLS = {
    # Reductions: a float that lands on 360.0, ints beyond 64 bits, the
    # quadrant boundaries, signed zeros, NaN and infinities.
    "sin": [(-1e-20,), (10**30,), (-10**30,), (2**127 - 1,), (-2**127,), (2**64 + 30,),
            (90,), (270,), (-90,), (180,), (0.0,), (-0.0,), (1e-13,), (1e-14,), (1e300,),
            (-1e300,), (NAN,), (INF,), (-INF,), (359.99999999999994,)],
    "cosin": [(90,), (270,), (-90,), (180,), (-1e-20,), (360,), (-10**30,), (2**100,),
              (NAN,), (INF,), (-INF,), (90.0,), (-0.0,)],
    "tan": [(90,), (270,), (-90,), (180,), (45,), (0,), (10**30 + 90,), (NAN,), (INF,)],
    "_tan_rad": [(0,), (1e-20,), (2**127 - 1,), (2**100 + 1,), (-1.0,), (NAN,), (INF,),
                 (math.pi / 2,), (1e300,)],
    "arctan": [(0,), (1,), (-1,), (2,), (-2,), (2**53,), (-2**53,), (NAN,), (INF,), (-INF,),
               (0.5, 0), (0.5, -3), (5, 0), (0.3, 5), (1.0000000000000002,), (-0.0,),
               (1e-320,), (1e308,)],
    "arctan2": [(0, 0), (0, 5), (0, -5), (0.0, 5), (-0.0, 5), (1, 1), (-1, 1), (-1, -1),
                (-1, 0), (-1, -0.0), (NAN, 1), (-1, NAN), (0, NAN), (1, -1), (5e-324, 1.0),
                (-5e-324, -1e308), (2**53, -2**53), (3, 7), (INF, 1), (-INF, -INF)],
    # Squares that underflow, overflow, or leave 1 - x ** 2 negative.
    "arcsin": [(0,), (0.0,), (-0.0,), (1,), (-1,), (2,), (-3,), (2**40,), (1.0,), (-1.0,),
               (1e-160,), (1e-200,), (1e200,), (1.0000000000000002,), (NAN,), (INF,)],
    "arccos": [(0,), (1,), (-1,), (0.5,), (-0.25,), (1e-160,), (2,), (NAN,), (-INF,)],
}


def wide_float(rng):
    """A float of any sign and a magnitude from 1e-20 to 1e20."""
    return rng.choice((-1.0, 1.0)) * 10.0 ** rng.uniform(-20, 20)


def random_int(rng):
    return rng.choice((rng.randint(-1000, 1000), rng.randint(-2**62, 2**62)))


def angle(rng):
    kind = rng.random()
    if kind < 0.5:
        return rng.uniform(-1000.0, 1000.0)
    if kind < 0.7:
        return wide_float(rng)
    if kind < 0.95:
        return random_int(rng)
    return rng.randint(-2**127, 2**127 - 1)


def ratio(rng):
    kind = rng.random()
    if kind < 0.6:
        return rng.uniform(-4.0, 4.0)
    if kind < 0.9:
        return wide_float(rng)
    return rng.randint(-2**53, 2**53)


def coordinate(rng):
    kind = rng.random()
    if kind < 0.7:
        return rng.uniform(-10.0, 10.0)
    if kind < 0.85:
        return rng.randint(-10, 10)
    return rng.choice((0, 0.0, -0.0, wide_float(rng)))


def sine_of_something(rng):
    kind = rng.random()
    if kind < 0.9:
        return rng.uniform(-1.0, 1.0)
    if kind < 0.95:
        return rng.randint(-2, 2)
    return rng.uniform(-1.001, 1.001)


RANDOM_CALLS = {
    "sin": lambda rng: (angle(rng),),
    "cosin": lambda rng: (angle(rng),),
    "tan": lambda rng: (angle(rng),),
    "_tan_rad": lambda rng: (rng.choice((rng.uniform(-10.0, 10.0), wide_float(rng),
                                         random_int(rng))),),
    "arctan": lambda rng: (ratio(rng),) if rng.random() < 0.9 else (ratio(rng),
                                                                   rng.randint(-2, 40)),
    "arctan2": lambda rng: (coordinate(rng), coordinate(rng)),
    "arcsin": lambda rng: (sine_of_something(rng),),
    "arccos": lambda rng: (sine_of_something(rng),),
}


def test_benchmark_calls():
    for name, args in BENCHMARK_CALLS:
        assert module_outcome(name, args) is not None, (name, args)
        assert kernel_outcome(name, args) == module_outcome(name, args), (name, args)


@pytest.mark.parametrize("name", sorted(EDGE_CALLS))
def test_edge_cases(name):
    assert disagreements(name, EDGE_CALLS[name]) == []


@pytest.mark.parametrize("name", sorted(RANDOM_CALLS))
def test_random_calls(name):
    rng = random.Random(f"floor kernel {name}")
    make = RANDOM_CALLS[name]
    assert disagreements(name, (make(rng) for _ in range(COUNT))) == []


def test_what_the_kernel_does_not_compute():
    # The interpreter divides ints beyond 2**53 from their exact quotient.
    with pytest.raises(ValueError, match="beyond 2\\*\\*53"):
        kernel.evaluate("arctan", 2**53 + 1)
    with pytest.raises(ValueError, match="at most 64 bits"):
        kernel.evaluate("arcsin", 2**64)
    with pytest.raises(ValueError, match="at most 128 bits"):
        kernel.evaluate("sin", 2**127)
    with pytest.raises(TypeError):
        kernel.evaluate("sin", True)
    with pytest.raises(TypeError):
        kernel.evaluate("arctan", 0.5, 2.0)


def test_time_runs_the_call_it_is_given():
    assert kernel.time("arctan", 0.5, n=10) > 0
    # A call that has no value is not timed.
    with pytest.raises(ArithmeticError):
        kernel.time("tan", 90, n=10)
    with pytest.raises(TypeError):
        kernel.time("sin", 30)
