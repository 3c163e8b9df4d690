"""Call dispatch of the shared function type, through functions of the `calls_probe`
test module: each reports what its entry function received (None for null)."""
import contextlib
import gc
import sys
import warnings
import weakref

import pytest

from support import run_python, same_float, probe_module

probe = probe_module("calls_probe")

R = object()  # receiver handed to class-member functions
B = type("Key", (str,), {})("b")  # a str subclass is a keyword name too
TYPE = sys.modules["_compiled_3_2_4"].compiled_function_or_method  # the probe's defining class
LITERAL = (lambda f: f(), lambda f, a: f(a), lambda f, a, b: f(a, b))


def direct(f, args, kwargs):  # vectorcall, with the offset bit either way
    return f(*args, **kwargs) if kwargs else LITERAL[len(args)](f, *args)


def call_slot(f, args, kwargs):  # the tuple call, with no dict without keywords
    return probe.call_slot(f, args, kwargs or None)


# (kind, positional, keywords, what the entry reports or the message of the error)
CALLS = [
    ("noargs", (), {}, lambda f: (f, None)),
    ("noargs", (1,), {}, "noargs() takes no arguments (1 given)"),
    ("noargs", (1,), {"a": 1}, "noargs() takes no keyword arguments"),
    ("onearg", (5,), {}, lambda f: (f, 5)),
    ("onearg", (), {}, "onearg() takes exactly one argument (0 given)"),
    ("onearg", (1,), {"a": 1}, "onearg() takes no keyword arguments"),
    ("varkw", (1, 2), {}, lambda f: (f, (1, 2), None)),
    ("varkw", (1,), {"a": 2, "b": 3}, lambda f: (f, (1,), {"a": 2, "b": 3})),
    ("fastkw", (), {}, lambda f: (f, None, (), None, ())),
    ("fastkw", (1, 2), {B: 3, "a": 4}, lambda f: (f, None, (1, 2), ("b", "a"), (3, 4))),
    ("member_fastkw", (R, 1), {"a": 2}, lambda f: (R, None, (1,), ("a",), (2,))),
    ("member_fastkw", (), {"a": 1}, "member_fastkw() needs an argument"),
    ("static_fastkw", (1, 2), {"a": 3}, lambda f: (f, None, (1, 2), ("a",), (3,))),
    ("member_noargs", (R,), {}, lambda f: (R, None)),
    ("member_noargs", (), {}, "member_noargs() needs an argument"),
    ("member_noargs", (R, 1), {}, "member_noargs() takes no arguments (1 given)"),
    ("method", (1,), {"a": 2}, lambda f: (f, TYPE, (1,), ("a",), (2,))),
    ("member_method", (R,), {}, lambda f: (R, TYPE, (), None, ())),
    ("member_method", (), {}, "member_method() needs an argument"),
    ("member_varkw", (R, 1), {"a": 2}, lambda f: (R, (1,), {"a": 2})),
    ("member_varkw", (), {"a": 1}, "unbound method Probe.member_varkw() needs an argument"),
    ("dispatch_varargs", (1, 2), {}, lambda f: (f, (1, 2))),
    ("dispatch_varargs", (1,), {"a": 1}, "dispatch_varargs() takes no keyword arguments"),
    ("dispatch_noargs", (), {}, lambda f: (f, None)),
    ("dispatch_noargs", (1,), {}, "dispatch_noargs() takes no arguments (1 given)"),
    ("dispatch_noargs", (), {"a": 1}, "dispatch_noargs() takes no keyword arguments"),
    ("dispatch_onearg", (5,), {}, lambda f: (f, 5)),
    ("dispatch_onearg", (1, 2), {}, "dispatch_onearg() takes exactly one argument (2 given)"),
    ("dispatch_onearg", (1,), {"a": 1}, "dispatch_onearg() takes no keyword arguments"),
    ("dispatch_bad", (), {}, "Bad call flags for CompiledFunction"),
    ("varargs_only", (), {}, "Bad call flags for CompiledFunction"),  # refused at creation
    # A direct call is refused by the interpreter itself; the tuple call converts the dict.
    ("noargs", (), {1: 2}, "keywords must be strings"),
    ("fastkw", (), {"a": 1, b"b": 2}, "keywords must be strings"),
    ("method", (1,), {1: 2}, "keywords must be strings"),
]


@pytest.mark.parametrize("route", [direct, call_slot])
@pytest.mark.parametrize("kind, args, kwargs, outcome", CALLS)
def test_call(route, kind, args, kwargs, outcome):
    before = probe.calls()
    if callable(outcome):
        f = probe.make(kind)
        assert route(f, args, kwargs) == outcome(f) and probe.calls() == before + 1
        return
    with pytest.raises(SystemError if outcome.startswith("Bad") else TypeError) as caught:
        f = probe.make(kind)
        f.__name__ = "renamed"  # the messages use the definition's name
        route(f, args, kwargs)
    assert str(caught.value) == outcome and probe.calls() == before


def test_tuple_call_and_binding_of_sin(trig):
    sin, call, bound = trig.sin, type(trig.sin).__call__, trig.sin.__get__(30)
    assert same_float(call(sin, 30), sin(30)) and same_float(call(sin, angle=30), sin(30))
    assert sin.__get__(None, object) is sin and bound.__self__ == 30 and bound.__func__ is sin
    assert same_float(bound(), sin(30))

    class Degrees(float):
        sine = sin
        member = probe.make("member_fastkw")  # binding does not look at the flags

    angle = Degrees(30.0)
    assert same_float(angle.sine(), sin(30.0)) and same_float(getattr(angle, "sine")(), sin(30.0))
    assert not same_float(Degrees(60.0).sine(), angle.sine())
    assert angle.member(1, a=2) == (angle, None, (1,), ("a",), (2,))


def test_type_registered_by_the_probe_serves_the_module():
    run_python("""
        import sys
        from _trigonometry_testing import calls_probe as probe
        shared = sys.modules["_compiled_3_2_4"].compiled_function_or_method
        import geometry.trigonometry as trig
        f = probe.make("method")
        assert type(f) is type(trig.sin) is shared and f(1) == (f, shared, (1,), None, ())
        assert shared.__call__(trig.sin, angle=30).hex() == trig.sin(30).hex()
    """)


def test_weak_references(trig):
    assert weakref.ref(trig.sin)() is trig.sin
    functions, seen = [probe.make("method"), probe.make("method")], []
    functions[1].me = functions[1]  # a cycle through the instance dict
    refs = [weakref.ref(f, seen.append) for f in functions]
    del functions
    assert refs[0]() is None and seen == refs[:1]
    gc.collect()
    assert refs[1]() is None and seen == refs


def attempt(action, *args):
    with contextlib.suppress(TypeError, AttributeError, SystemError, RuntimeWarning):
        action(*args)


def exercise(trig):
    for route in (direct, call_slot):
        for kind, args, kwargs, _ in CALLS:
            attempt(lambda: route(probe.make(kind), args, kwargs))
    type(trig.sin).__call__(trig.sin, angle=30), trig.sin.__get__(30)()
    f = probe.make("coroutine")
    f.me = f  # freed by the collector
    repr(f), f.__reduce__(), weakref.ref(f), f.__get__(1)()
    for action in ("ignore", "error"):  # the setters' warning, and the warning as an error
        with warnings.catch_warnings(action=action):
            for attr in [name for name, slot in vars(TYPE).items() if hasattr(slot, "__set__")]:
                value = getattr(f, attr)
                attempt(setattr, f, attr, value), attempt(delattr, f, attr)
                attempt(setattr, f, attr, 5)


def test_no_leaks(trig):
    for _ in range(30):
        exercise(trig)
    gc.collect()
    blocks, refs = sys.getallocatedblocks(), (sys.getrefcount(R), sys.getrefcount(TYPE))
    for _ in range(300):
        exercise(trig)
    gc.collect()
    assert sys.getallocatedblocks() - blocks < 100
    assert (sys.getrefcount(R), sys.getrefcount(TYPE)) == refs
