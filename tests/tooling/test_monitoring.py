"""Calls of the module's functions as sys.monitoring tools see them.

From 3.13 a call reports its start, and its return or its unwinding, to the
tools that listen, with the function's code object, through the interpreter's
C API for monitoring events of extension code: cProfile then lists each
function with its calls, as it lists a Python function's.  3.12 has no such
interface, so there a call reports nothing and a profile charges it to the
caller.  The reference for which events a call reports is the module's
Python source (source/), run by bench/bench.py's pure_module() under the
same tool."""
import contextlib
import cProfile
import functools
import importlib.util
import io
import math
import operator
import pathlib
import pstats
import sys
from fractions import Fraction

import pytest

from support import exact, outcome, probe_module

# PyMonitoring_EnterScope and the PyMonitoring_Fire* functions are new in 3.13.
REPORTS = sys.version_info >= (3, 13)

_spec = importlib.util.spec_from_file_location(
    "bench", pathlib.Path(__file__).resolve().parents[2] / "bench" / "bench.py")
bench = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(bench)
PURE = bench.pure_module()

M = sys.monitoring
E = M.events
EVENTS = {"PY_START": E.PY_START, "PY_RETURN": E.PY_RETURN, "RAISE": E.RAISE,
          "PY_UNWIND": E.PY_UNWIND}
NAN = float("nan")
FloatSub = type("FloatSub", (float,), {})

# Calls on machine numbers without a tool, and on objects (a Fraction, a float
# subclass), with nested calls of the module's functions or none.
PROFILED = [("sin", (30,)), ("sin", (FloatSub(30.5),)), ("cosin", (60,)), ("tan", (30,)),
            ("tan", (Fraction(30),)), ("_tan_rad", (0.5,)), ("arctan", (3,)),
            ("arctan2", (-1, 2)), ("arcsin", (0.5,)), ("arccos", (0.25,)),
            ("arccos", (Fraction(1, 4),))]
# Calls that fail in a body or in one of the functions it calls.
FAILING = [("tan", (90,)), ("cosin", (NAN,)), ("tan", (NAN,)), ("arcsin", (2,)),
           ("arctan2", ("1", 1))]


def files(trig):
    return {trig.sin.__code__.co_filename, PURE.sin.__code__.co_filename}


@contextlib.contextmanager
def tool(callbacks):
    """A sys.monitoring tool listening for the events of `callbacks` {event: callback}."""
    tool_id = next(i for i in range(6) if M.get_tool(i) is None)
    M.use_tool_id(tool_id, "test_monitoring")
    try:
        for event, callback in callbacks.items():
            M.register_callback(tool_id, event, callback)
        M.set_events(tool_id, functools.reduce(operator.or_, callbacks, 0))
        yield
    finally:
        M.set_events(tool_id, 0)
        for event in callbacks:
            M.register_callback(tool_id, event, None)
        M.free_tool_id(tool_id)


def recorder(sources, events=EVENTS, action=lambda code: None):
    """Callbacks appending (event, function name) for code of `sources`, and their list."""
    seen = []

    def callback(name):
        def record(code, *rest):
            if code.co_filename in sources:
                seen.append((name, code.co_name))
                return action(code)
        return record

    return {events[name]: callback(name) for name in events}, seen


def kind(outcome):
    """The type of the result, or of the exception, of a support.outcome."""
    return outcome[1][0] if outcome[0] == "returns" else outcome[1]


def observed(module, calls, sources, events=EVENTS, action=lambda code: None):
    """Outcomes of `calls` (name, args) under a tool, and the events it saw."""
    callbacks, seen = recorder(sources, events, action)
    with tool(callbacks):
        outcomes = [outcome(lambda: getattr(module, name)(*args)) for name, args in calls]
    return outcomes, seen


def profiled(call, times=3):
    profiler = cProfile.Profile()
    profiler.enable()
    try:
        for _ in range(times):
            result = call()
    finally:
        profiler.disable()
    return result, pstats.Stats(profiler)


def call_graph(stats, source):
    """{function: (calls, {caller: calls})} of the functions of `source`."""
    return {name: (calls, {caller[2]: counts[0] for caller, counts in callers.items()})
            for (file, line, name), (_, calls, _, _, callers) in stats.stats.items()
            if file == source}


@pytest.mark.parametrize("name, args", PROFILED)
def test_cprofile_counts_the_calls_that_the_python_source_makes(trig, name, args):
    result, stats = profiled(lambda: getattr(trig, name)(*args))
    _, pure_stats = profiled(lambda: getattr(PURE, name)(*args))
    # A profiled call runs on objects and gives what an unprofiled one gives.
    assert exact(result) == exact(getattr(trig, name)(*args))
    expected = call_graph(pure_stats, PURE.sin.__code__.co_filename) if REPORTS else {}
    assert call_graph(stats, trig.sin.__code__.co_filename) == expected
    assert expected or not REPORTS


def test_cprofile_lists_sin_with_its_call_count(trig):
    code = trig.sin.__code__

    def loop():
        for _ in range(1000):
            trig.sin(30)

    _, stats = profiled(loop, times=1)
    out = io.StringIO()
    stats.stream = out
    stats.sort_stats("calls").print_stats()
    listed = [line.split() for line in out.getvalue().splitlines()
              if line.endswith(f"{code.co_filename}:{code.co_firstlineno}(sin)")]
    assert [row[0] for row in listed] == (["1000"] if REPORTS else [])


@pytest.mark.parametrize("name, args", PROFILED[:4] + FAILING)
def test_events_are_those_of_the_python_source(trig, name, args):
    ours = observed(trig, [(name, args)], files(trig))
    pure = observed(PURE, [(name, args)], files(trig))
    assert ours[1] == (pure[1] if REPORTS else [])
    assert kind(ours[0][0]) == kind(pure[0][0])


def test_a_binding_failure_is_reported_inside_the_function(trig):
    # Its traceback entry is at the def line of the function, so its events
    # are the function's; a Python function fails in its caller instead.
    outcomes, seen = observed(trig, [("sin", ()), ("arctan", (1, 2, 3))], files(trig))
    assert [o[:2] for o in outcomes] == [("raises", TypeError)] * 2
    expected = [(event, name) for name in ("sin", "arctan")
                for event in ("PY_START", "RAISE", "PY_UNWIND")]
    assert seen == (expected if REPORTS else [])


def test_disable_turns_off_one_event_of_one_function(trig):
    # A callback's DISABLE holds for that function and event until
    # restart_events(); the functions that it calls still report theirs.
    calls = [("tan", (30,)), ("tan", (30,)), ("sin", (10,)), ("tan", (Fraction(30),))]
    for event in ("PY_START", "PY_RETURN"):
        only = {event: EVENTS[event]}
        runs = {}
        for module in (trig, PURE):
            callbacks, seen = recorder(files(trig), only, lambda code: M.DISABLE)
            with tool(callbacks):
                outcomes = [outcome(lambda: getattr(module, n)(*a)) for n, a in calls]
                M.restart_events()
                outcomes.append(outcome(lambda: module.tan(30)))
            runs[module] = outcomes, seen
        assert runs[trig][0] == runs[PURE][0]
        assert runs[trig][1] == (runs[PURE][1] if REPORTS else []), event
        assert runs[PURE][1].count((event, "tan")) == 2


@pytest.mark.parametrize("event", ["RAISE", "PY_UNWIND"])
def test_disable_of_an_exception_event_fails_as_for_python_code(trig, event):
    only = {event: EVENTS[event]}
    ours = observed(trig, [("tan", (90,))] * 2, files(trig), only, lambda code: M.DISABLE)
    pure = observed(PURE, [("tan", (90,))] * 2, files(trig), only, lambda code: M.DISABLE)
    if REPORTS:
        assert ours == pure
        assert ours[0][0] == ("raises", ValueError,
                              f"Cannot disable {event} events. Callback removed.")
    else:
        assert ours == ([outcome(lambda: trig.tan(90))] * 2, [])


class CallbackError(Exception):
    pass


def fail(code):
    raise CallbackError(code.co_name)


@pytest.mark.parametrize("event", EVENTS)
def test_a_callback_that_raises_fails_the_call(trig, event):
    # As for Python functions: the call fails with the callback's exception
    # (RAISE and PY_UNWIND follow), which replaces an exception in flight.
    calls = [("tan", (30,)), ("tan", (90,))]
    listened = {event: EVENTS[event], "PY_UNWIND": E.PY_UNWIND}
    ours = observed(trig, calls, files(trig), listened,
                    lambda code: fail(code) if code.co_name == "tan" else None)
    pure = observed(PURE, calls, files(trig), listened,
                    lambda code: fail(code) if code.co_name == "tan" else None)
    if REPORTS:
        assert ours == pure
        assert ("raises", CallbackError, "tan") in ours[0]
    else:
        assert ours == ([outcome(lambda: trig.tan(30)), outcome(lambda: trig.tan(90))], [])


def test_a_result_refused_by_a_callback_is_released():
    probe = probe_module("calls_probe")
    code = (lambda: None).__code__.replace(co_name="probed", co_filename="probed.py")
    f, held = probe.make("onearg", code), object()
    before = sys.getrefcount(held)
    refuse = lambda code, offset, result: fail(code) if code is f.__code__ else None  # noqa: E731
    with tool({E.PY_RETURN: refuse}):
        for _ in range(10):
            with contextlib.suppress(CallbackError):
                f(held)  # the result (f, held) is refused on 3.13
    assert sys.getrefcount(held) == before


def test_calls_made_by_a_callback_report_nothing(trig):
    # The interpreter reports no event while a callback runs; a callback that
    # calls the module must not see those calls (it would recurse).
    ours, pure = (observed(module, [("tan", (30,))], files(trig), {"PY_START": E.PY_START},
                           lambda code, module=module: module.cosin(10))
                  for module in (trig, PURE))
    assert ours[0] == pure[0]
    assert ours[1] == (pure[1] if REPORTS else [])
    assert pure[1] == [("PY_START", name) for name in ("tan", "sin", "cosin", "sin", "sin")]


# What the calls_probe entries report, as in test_call_dispatch: every call
# convention goes through the same start and end.
CONVENTIONS = [("noargs", ()), ("onearg", (5,)), ("varkw", (1, 2)), ("fastkw", (1,)),
               ("member_fastkw", (None, 1)), ("static_fastkw", (1,)), ("member_noargs", (None,)),
               ("method", (1,)), ("member_method", (None,)), ("member_varkw", (None, 1)),
               ("dispatch_varargs", (1, 2)), ("dispatch_noargs", ()), ("dispatch_onearg", (5,))]


@pytest.mark.parametrize("kind, args", CONVENTIONS)
def test_every_call_convention_reports_a_call_with_a_code_object(kind, args):
    probe = probe_module("calls_probe")
    code = (lambda: None).__code__.replace(co_name=kind, co_filename="probed.py")
    with_code, without = probe.make(kind, code), probe.make(kind)
    callbacks, seen = recorder({"probed.py"})
    with tool(callbacks):
        without(*args)                          # no code object: nothing to report with
        with_code(*args)                        # vectorcall, or the tuple call
        probe.call_slot(with_code, args, None)  # the tuple call
    expected = [("PY_START", kind), ("PY_RETURN", kind)] * 2
    assert seen == (expected if REPORTS else [])


@pytest.mark.parametrize("with_profiler", [False, True])
def test_setprofile_and_settrace_see_no_compiled_call(trig, with_profiler):
    # sys.setprofile and sys.settrace report Python frames and calls of
    # built-in functions only; a compiled function is neither, so its calls
    # show as those of any other callable that they do not report (a type),
    # with or without a sys.monitoring profiler running alongside.
    def caller(f, x):
        try:
            return f(x)
        except Exception:  # noqa: BLE001
            return None

    def events(install, f, x):
        seen = []

        def hook(frame, event, arg):
            if frame.f_code is caller.__code__:
                seen.append(event)
            return hook

        profiler = cProfile.Profile() if with_profiler else None
        if profiler:
            profiler.enable()
        install(hook)
        try:
            caller(f, x)
        finally:
            install(None)
            if profiler:
                profiler.disable()
        return seen

    # (call, what int is given to return or to fail as the call does)
    calls = [(trig.sin, 30, 30), (trig.tan, 30, 30), (trig.sin, "x", "x"), (trig.arcsin, 2, "x")]
    for install in (sys.setprofile, sys.settrace):
        for f, x, like in calls:
            assert events(install, f, x) == events(install, int, like), (install, f, x)
