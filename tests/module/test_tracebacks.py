"""Traceback entries of failures: file, function and line of the innermost
entry, the chain through callees, and the frames and code objects behind them."""
import traceback
import types

import pytest

from support import SOURCE, module_entries, tb_entries


def failure(call, exc_type=Exception):
    with pytest.raises(exc_type) as info:
        call()
    return info.value


def innermost_frame(exc):
    return list(traceback.walk_tb(exc.__traceback__))[-1][0]


@pytest.mark.parametrize("call, exc_type, name, line", [
    (lambda t: t.sin(None), TypeError, "sin", 19),
    (lambda t: t.sin(), TypeError, "sin", 6),
    (lambda t: t.cosin(float("nan")), UnboundLocalError, "cosin", 62),
    (lambda t: t.tan(90), ZeroDivisionError, "tan", 76),
    (lambda t: t._tan_rad("a"), TypeError, "_tan_rad", 78),
    (lambda t: t.arctan(0.5, 2.5), TypeError, "arctan", 103),
    (lambda t: t.arctan2(1, "a"), TypeError, "arctan2", 127),
    (lambda t: t.arccos(x=1, y=2), TypeError, "arccos", 155),
])
def test_innermost_entry(trig, call, exc_type, name, line):
    exc = failure(lambda: call(trig), exc_type)
    assert tb_entries(exc)[-1] == (SOURCE, f"geometry.trigonometry.{name}", line)
    assert len(module_entries(exc)) == 1
    frame = innermost_frame(exc)
    assert frame.f_lineno == line and frame.f_globals is trig.__dict__


def raising_sqrt(value):
    raise ValueError("negative")


@pytest.mark.parametrize("call, globals_, expected", [
    (lambda t: t.tan("x"), {}, [("tan", 76), ("sin", 19)]),
    (lambda t: t.tan(float("inf")), {}, [("tan", 76), ("cosin", 62)]),
    (lambda t: t.arctan(2, 2.5), {}, [("arctan", 98), ("arctan", 103)]),
    (lambda t: t.arccos(2), {"algebra": types.SimpleNamespace(sqrt=raising_sqrt)},
     [("arccos", 167), ("arcsin", 151)]),
    (lambda t: t.arcsin(-1), {"arctan": None}, [("arcsin", 151), ("arctan2", 129)]),
])
def test_entries_chain_through_callees(trig, restore_globals, call, globals_, expected):
    restore_globals.update(globals_)
    exc = failure(lambda: call(trig))
    assert module_entries(exc) == [(f"geometry.trigonometry.{name}", line)
                                   for name, line in expected]
    innermost = "raising_sqrt" if "algebra" in globals_ else module_entries(exc)[-1][0]
    assert tb_entries(exc)[-1][1] == innermost  # a Python callee's frame stays innermost


def test_failures_at_one_line_share_one_code_object(trig):
    def code(call):
        return innermost_frame(failure(call)).f_code
    at_19 = code(lambda: trig.sin(None))
    assert code(lambda: trig.sin("abc")) is at_19
    assert (at_19.co_filename, at_19.co_name, at_19.co_firstlineno) == \
        (SOURCE, "geometry.trigonometry.sin", 19)
    at_6 = code(lambda: trig.sin())
    assert at_6 is not at_19 and code(lambda: trig.sin(1, 2)) is at_6
