"""Argument binding: messages with their entry at the def line, keyword names
of every kind, native callers' names tuples, _tan_rad's conversion, leaks."""
import contextlib
import ctypes
import gc
from array import array
import sys

import pytest

from support import module_entries, same_float

SIGNATURES = {  # name: (parameters, def line)
    "sin": (("angle",), 6), "cosin": (("angle",), 45), "tan": (("angle",), 65),
    "_tan_rad": (("rad",), 78), "arctan": (("x", "iter"), 84),
    "arctan2": (("x", "y"), 112), "arcsin": (("x",), 139), "arccos": (("x",), 155),
}
ARGUMENTS = {"arctan": (0.5, 3), "arctan2": (0.5, 0.25)}  # others: (0.5,)

_vectorcall = ctypes.pythonapi.PyObject_Vectorcall
_vectorcall.restype, _vectorcall.argtypes = ctypes.py_object, [
    ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t, ctypes.py_object]


def native_call(function, values, names):
    """Call as a native caller would: values then a names tuple it built itself."""
    vector = (ctypes.py_object * len(values))(*values)
    return _vectorcall(function, vector, len(values) - len(names), tuple(names))


class StrSub(str):
    pass


def built(text):
    """An equal str that is not the interned object."""
    copy = "".join([text[:1], text[1:]])
    assert copy == text and copy is not sys.intern(text)
    return copy


def binding_error(trig, name, call, exc_type=TypeError):
    with pytest.raises(exc_type) as info:
        call(getattr(trig, name))
    assert module_entries(info.value) == [(f"geometry.trigonometry.{name}", SIGNATURES[name][1])]
    return str(info.value)


MULTIPLE = "{f}() got multiple values for keyword argument '{p}'"
UNEXPECTED = "{{f}}() got an unexpected keyword argument '{}'"
ONE_PARAMETER = [  # (call given the function and its first parameter, message)
    (lambda f, p: f(), "{f}() takes exactly 1 positional argument (0 given)"),
    (lambda f, p: f(1, 2), "{f}() takes exactly 1 positional argument (2 given)"),
    (lambda f, p: f(1, 2, **{p: 3}), "{f}() takes exactly 1 positional argument (2 given)"),
    (lambda f, p: f(1, **{p: 2}), MULTIPLE),
    (lambda f, p: f(1, **{StrSub(p): 2}), MULTIPLE),
    (lambda f, p: f(1, foo=2), UNEXPECTED.format("foo")),
    (lambda f, p: f(**{p: 1, "foo": 2}), UNEXPECTED.format("foo")),
    (lambda f, p: f(**{StrSub("foo"): 1}), UNEXPECTED.format("foo")),
]
AT_LEAST = "arctan() takes at least 1 positional argument ({} given)"
AT_MOST = "arctan() takes at most 2 positional arguments ({} given)"
EXACTLY = "arctan2() takes exactly 2 positional arguments ({} given)"


@pytest.mark.parametrize("name, call, message", [
    *[(name, *case) for name, (params, _) in SIGNATURES.items() if len(params) == 1
      for case in ONE_PARAMETER],
    ("arctan", lambda f, p: f(), AT_LEAST.format(0)),
    ("arctan", lambda f, p: f(iter=5), AT_LEAST.format(0)),
    ("arctan", lambda f, p: f(1, 2, 3), AT_MOST.format(3)),
    ("arctan", lambda f, p: f(1, x=1), MULTIPLE),
    ("arctan", lambda f, p: f(1, 2, iter=3), MULTIPLE.replace("{p}", "iter")),
    ("arctan", lambda f, p: f(1, steps=3), UNEXPECTED.format("steps")),
    ("arctan2", lambda f, p: f(1), EXACTLY.format(1)),
    ("arctan2", lambda f, p: f(1, 2, 3, y=1), EXACTLY.format(3)),
    ("arctan2", lambda f, p: f(x=1), EXACTLY.format(1)),
    ("arctan2", lambda f, p: f(y=1), EXACTLY.format(0)),
    ("arctan2", lambda f, p: f(1, x=2), MULTIPLE),
    ("arctan2", lambda f, p: f(1, z=2), UNEXPECTED.format("z")),
])
def test_messages(trig, name, call, message):
    param = SIGNATURES[name][0][0]
    assert binding_error(trig, name, lambda f: call(f, param)) == message.format(f=name, p=param)


@pytest.mark.parametrize("name", SIGNATURES)
def test_keyword_binding(trig, name):
    function, (params, _) = getattr(trig, name), SIGNATURES[name]
    values = ARGUMENTS.get(name, (0.5,))
    expected, last = function(*values), params[-1]
    for key in [sys.intern, StrSub] + [built] * (len(last) > 1):  # 1-char strs are shared
        assert same_float(function(**{key(last): values[-1]}, **dict(zip(params, values[:-1]))),
                          expected)  # the last parameter named first
        assert same_float(function(*values[:-1], **{key(last): values[-1]}), expected)
    if name == "arctan":
        assert same_float(function(x=0.5), function(0.5, 20))


@pytest.mark.parametrize("name", SIGNATURES)
def test_native_keyword_names(trig, name):
    """Names tuples that no Python call site can build: non-str and repeated names."""
    params = SIGNATURES[name][0]
    values = ARGUMENTS.get(name, (0.5,)) + (0.25,)
    for given, names in [((0.5,), (1,)), ((0.5, 1), (params[0], b"y"))]:
        message = binding_error(trig, name, lambda f: native_call(f, given, names))
        assert message == f"{name}() keywords must be strings"
    for kind in [sys.intern, StrSub] + [built] * (len(params[-1]) > 1):
        names = (*params, kind(params[-1]))
        message = binding_error(trig, name, lambda f: native_call(f, values, names))
        assert message == MULTIPLE.format(f=name, p=params[-1])


def number(method, value):
    """An object whose one numeric method `method` returns `value`."""
    return type("Number", (), {method: lambda self: value})()


@pytest.mark.parametrize("argument", [
    1, -1, True, number("__index__", 1), number("__float__", 0.5), number("__float__", -1.0),
    type("F", (float,), {})(0.5), "a", None, 10**400, number("__float__", "0.5"),
    number("__index__", 10**400),
])
def test_tan_rad_conversion(trig, restore_globals, argument):
    """The interpreter's own conversion to a double (which an array of doubles
    uses) decides the value or the error, raised before any lookup."""
    try:
        double = array("d", [argument])[0]
    except Exception as exc:
        del restore_globals["sin"]
        assert binding_error(trig, "_tan_rad", lambda f: f(argument), type(exc)) == str(exc)
    else:
        assert same_float(trig._tan_rad(argument), trig._tan_rad(double))


def test_memory_flat_across_good_and_failing_calls(trig):
    t, failing = trig, number("__float__", None)
    calls = [  # each given a fresh float, so that a kept reference keeps a block
        lambda v: t.sin(v), lambda v: t.arctan(v, iter=3), lambda v: t._tan_rad(rad=v),
        lambda v: t.sin(**{StrSub("angle"): v}), lambda v: t.sin(v, v),
        lambda v: t.sin(v, angle=v), lambda v: t.cosin(**{StrSub("x"): v}),
        lambda v: t.arctan(v, iter=v, foo=v), lambda v: t.arctan2(x=v),
        lambda v: t._tan_rad(failing), lambda v: t.arctan(v, 2.5), lambda v: t.sin([v]),
        lambda v: native_call(t.sin, (v, v), ("angle", 5)),
        lambda v: native_call(t.arctan2, (v, v, v), ("x", "y", "y")),
    ]

    def run(times):
        for i in range(times):
            for call in calls:
                with contextlib.suppress(TypeError):
                    call(i + 0.5)
    run(200)
    gc.collect()
    before = sys.getallocatedblocks()
    run(3000)
    gc.collect()
    assert sys.getallocatedblocks() - before < 100
