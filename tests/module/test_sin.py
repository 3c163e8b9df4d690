"""Values and failures of sin: exact results and signed zeros, big ints,
non-finite angles, failing operands, and a rebound or removed `constants`."""
import decimal
import types

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

from support.model import Model, model_entries
from support import SOURCE, module_entries, outcome, same_float, tb_entries

INF, NAN = float("inf"), float("nan")
ROOT3, ROOT2 = 0.8660254037844385, 0.7071067811865475


@pytest.mark.parametrize("angle, expected", [
    (30, 0.5), (150, 0.5), (30.0, 0.5), (-210, 0.5), (210, -0.5), (330, -0.5), (-30, -0.5),
    (-150, -0.5), (45, ROOT2), (60, ROOT3), (120, ROOT3), (240, -ROOT3), (300, -ROOT3),
    (90, 1.0), (270, -1.0), (0, 0.0), (180, 0.0), (360, 0.0), (720, 0.0), (-0.0, 0.0),
    (-180.0, 0.0), (-1e-20, 0.0), (1e-14, 0.0), (1e-13, 1.7453292519943295e-15),
    (NAN, 0.0), (INF, 0.0), (-INF, 0.0),
])
def test_values(trig, angle, expected):
    assert same_float(trig.sin(angle), expected)


@pytest.mark.parametrize("angle", [10**30, -10**30, 2**60 - 1, -2**60, 10**400 + 45])
def test_big_ints_reduce_exactly(trig, angle):
    assert same_float(trig.sin(angle), trig.sin(angle % 360))


# An int angle of any size is reduced exactly: the three angle functions give
# for it what they give for its remainder, a value or the same failure
# (tan(90)'s zero cosine) with the same traceback lines.
@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(turns=st.one_of(st.integers(-2**70, 2**70), st.integers(-2**400, 2**400),
                       st.sampled_from([2**53 // 360, 2**63 // 360, -(2**63 // 360) - 1])),
       remainder=st.one_of(st.sampled_from([0, 1, 90, 180, 270, 359]), st.integers(0, 359)))
def test_any_int_angle_gives_what_its_remainder_gives(trig, turns, remainder):
    angle = 360 * turns + remainder
    for name in ("sin", "cosin", "tan"):
        function = getattr(trig, name)
        assert outcome(function, angle, lines=tb_entries) == \
            outcome(function, remainder, lines=tb_entries), (name, angle)


@pytest.mark.parametrize("angle, change, kind, line", [
    ("abc", None, TypeError, 19), (None, None, TypeError, 19), ("%d", None, TypeError, 20),
    (decimal.Decimal(30), None, TypeError, 30),
    (30, lambda names: names.pop("constants"), NameError, 30),
    (30, lambda names: names.update(constants=types.SimpleNamespace(tau=6.28)),
     AttributeError, 30),
])
def test_failures(trig, restore_globals, angle, change, kind, line):
    """sin raises what the model raises, with one entry at the failing line."""
    if change:
        change(restore_globals)
    with pytest.raises(kind) as expected:
        Model(restore_globals).sin(angle)
    with pytest.raises(kind) as info:
        trig.sin(angle)
    assert str(info.value) == str(expected.value)
    assert tb_entries(info.value)[-1] == (SOURCE, "geometry.trigonometry.sin", line)
    assert module_entries(info.value) == model_entries(expected.value) \
        == [("geometry.trigonometry.sin", line)]


@pytest.mark.parametrize("angle", [30, 45, 200, 1e-13, -100, 10**30])
def test_constants_rebound_to_int_pi(trig, restore_globals, angle):
    before = trig.sin(angle)
    restore_globals["constants"] = types.SimpleNamespace(pi=3)
    expected = Model(restore_globals).sin(angle)
    assert same_float(trig.sin(angle), expected) and not same_float(expected, before)
