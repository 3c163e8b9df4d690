"""Attributes, repr, __reduce__ and pickling of compiled functions, and their type and
metatype.  Changes go to functions of `calls_probe` unless the module's must show them."""
import asyncio
import pickle
import sys
import warnings

import pytest

from support import same_float, probe_module

probe = probe_module("calls_probe")

FUNCTIONS = ("sin", "cosin", "tan", "_tan_rad", "arctan", "arctan2", "arcsin", "arccos")
TYPE_NAME = "_compiled_3_2_4.compiled_function_or_method"
WARNING = ("changes to compiled_function.{} will not currently affect the values used in "
           "function calls")
DELETE = object()
ALIASED = ("doc", "name", "dict", "globals", "closure", "code", "defaults")


def raises(error, message, action, *args):
    with pytest.raises(error) as caught:
        action(*args)
    assert str(caught.value) == message


def change(f, attr, value):
    return delattr(f, attr) if value is DELETE else setattr(f, attr, value)


def test_shared_type_facts(trig):
    ftype, meta, registry = type(trig.sin), type(type(trig.sin)), sys.modules["_compiled_3_2_4"]
    assert type(probe.make("noargs")) is ftype is registry.compiled_function_or_method
    assert (ftype.__name__, ftype.__module__, meta.__name__, registry._shared_types_metatype) == \
        ("compiled_function_or_method", "_compiled_3_2_4", "_shared_types_metatype", meta)
    raises(TypeError, f"cannot create '{TYPE_NAME}' instances", ftype)
    raises(TypeError, "cannot create '_compiled_3_2_4._shared_types_metatype' instances", meta)
    raises(TypeError, f"cannot set 'tag' attribute of immutable type '{TYPE_NAME}'",
           setattr, ftype, "tag", 1)


def test_values_repr_and_pickle(trig):
    for name in FUNCTIONS:
        f = getattr(trig, name)
        assert f.__name__ == f.__qualname__ == f.__reduce__() == f.__code__.co_name == name
        assert f.__module__ == "geometry.trigonometry" and f.__globals__ is trig.__dict__
        assert f.__closure__ is None and f.__kwdefaults__ is None and f._is_coroutine is False
        assert f.__defaults__ == ((20,) if name == "arctan" else None) and type(f) is type(trig.sin)
        assert repr(f) == f"<compiled_function {name} at {hex(id(f))}>"
        assert all(pickle.loads(pickle.dumps(f, protocol)) is f
                   for protocol in range(pickle.HIGHEST_PROTOCOL + 1))
        assert all(getattr(f, f"func_{short}") is getattr(f, f"__{short}__") for short in ALIASED)
    assert trig._tan_rad.__doc__ is None and trig.sin.__annotations__ == {"angle": "int | float"}
    f = probe.make("noargs")
    assert (f.__doc__, f.__module__, f.__code__) == ("Takes nothing.", probe.__name__, None)
    assert repr(f) == f"<compiled_function Probe.noargs at {hex(id(f))}>"
    f.__qualname__, f.tag = "a.b", 1
    assert repr(f) == f"<compiled_function a.b at {hex(id(f))}>"
    assert f.__reduce__() == f.__reduce__(1, 2) == "a.b" and f.__name__ == "noargs"
    assert f.__dict__ == {"tag": 1} and f.__globals__ is probe.__dict__


Text, Pair, Notes = (type("Sub", (base,), {}) for base in (str, tuple, dict))
CHANGES = [  # (attribute, change, then the value read or the error raised)
    ("__doc__", 7, 7),
    ("func_doc", DELETE, None),
    ("__name__", Text("other"), Text("other")),
    ("func_name", 5, TypeError("__name__ must be set to a string object")),
    ("__name__", DELETE, TypeError("__name__ must be set to a string object")),
    ("__qualname__", b"a", TypeError("__qualname__ must be set to a string object")),
    ("__qualname__", DELETE, TypeError("__qualname__ must be set to a string object")),
    ("func_dict", {"k": 1}, {"k": 1}),
    ("__dict__", 5, TypeError("__dict__ must be set to a dictionary, not a 'int'")),
    ("func_dict", DELETE, TypeError("cannot delete __dict__")),
    ("__defaults__", Pair((1, 2)), Pair((1, 2))),
    ("func_defaults", None, None),
    ("__defaults__", DELETE, None),
    ("func_defaults", [1], TypeError("__defaults__ must be set to a tuple object")),
    ("__kwdefaults__", {"a": 1}, {"a": 1}),
    ("__kwdefaults__", None, None),
    ("__kwdefaults__", DELETE, None),
    ("__kwdefaults__", [], TypeError("__kwdefaults__ must be set to a dict object")),
    ("__annotations__", Notes(a=1), Notes(a=1)),
    ("__annotations__", None, {}),
    ("__annotations__", DELETE, {}),
    ("__annotations__", 5, TypeError("__annotations__ must be set to a dict object")),
    ("__module__", 5, 5),
    ("__module__", DELETE, None),
] + [(attr, value, AttributeError(f"attribute '{attr}' of '{TYPE_NAME}' objects is not writable"))
     for attr in ("__globals__", "func_globals", "__closure__", "func_closure", "__code__",
                  "func_code", "_is_coroutine") for value in (1, DELETE)]
FIRST = {"__defaults__": (5,), "__kwdefaults__": {"b": 2}, "__annotations__": {"b": 2}}


@pytest.mark.parametrize("attr, value, outcome", CHANGES)
def test_changes(attr, value, outcome):
    # Read back under the dunder name: each func_ alias is the same attribute as its dunder.
    name = f"__{attr[5:]}__" if attr.startswith("func_") else attr
    refused, warning = isinstance(outcome, Exception), WARNING.format(name)
    warns = name in ("__defaults__", "__kwdefaults__") and not refused
    f, g = probe.make("noargs"), probe.make("noargs")
    if name in FIRST:  # so that a change to None or a deletion shows
        with warnings.catch_warnings(action="ignore"):
            setattr(f, name, FIRST[name]), setattr(g, name, FIRST[name])
    before = getattr(f, name)
    with warnings.catch_warnings(record=True, action="always") as caught:
        if refused:
            raises(type(outcome), str(outcome), change, f, attr, value)
        else:
            change(f, attr, value)
    assert [(w.category, str(w.message), w.filename) for w in caught] == \
        ([(RuntimeWarning, warning, __file__)] if warns else [])
    after = getattr(f, name)
    assert after is before if refused else (after == outcome and type(after) is type(outcome))
    if warns:  # as an error the warning reaches the assignment, and the value is stored
        with warnings.catch_warnings(action="error"):
            raises(RuntimeWarning, warning, change, g, attr, value)
        assert getattr(g, name) == outcome


def test_arctan_keeps_its_iterations(trig):
    arctan, saved, expected = trig.arctan, trig.arctan.__defaults__, trig.arctan(0.5, 20)
    assert not same_float(arctan(0.5, 5), expected)
    with warnings.catch_warnings(action="ignore"):
        try:
            for value in ((5,), None, DELETE):
                change(arctan, "__defaults__", value)
                assert same_float(arctan(0.5), expected)
        finally:
            arctan.__defaults__ = saved


def test_is_coroutine(trig, monkeypatch):
    f = probe.make("coroutine")
    assert f._is_coroutine is f._is_coroutine is asyncio.coroutines._is_coroutine
    assert asyncio.iscoroutinefunction(f) and not asyncio.iscoroutinefunction(trig.sin)
    monkeypatch.setitem(sys.modules, "asyncio.coroutines", None)  # the marker cannot be imported
    assert probe.make("coroutine")._is_coroutine is True
