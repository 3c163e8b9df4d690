"""What no Python code may do to the interpreter through this module: recurse
without end, run its code objects, forge the shared type, leave a half-built
module behind, hide its traceback entries or keep a cycle from the collector.
Cases that used to crash run in a fresh interpreter, so that a regression
fails the test instead of ending the run."""
import gc
import json
import os
import re
import sys
import warnings
import weakref

import pytest

from _trigonometry_testing import calls_probe
from support.model import Model, model_entries
from support import with_tests_importable, SOURCE, module_entries, run_python, tb_entries

RECURSION_SUFFIX = " while calling a Python object"


# Endless recursion through the module's names

RECURSION = """
import collections, functools, json, traceback, types
import geometry.trigonometry as M
from support.model import Model, model_entries

class Names:
    # The model's namespace seen through attributes, as the module's is.
    def __init__(self, namespace):
        object.__setattr__(self, "namespace", namespace)
    def __getattr__(self, name):
        return self.namespace[name]
    def __setattr__(self, name, value):
        self.namespace[name] = value

def native_entries(exc):
    return [[f.name, f.lineno] for f in traceback.extract_tb(exc.__traceback__)
            if f.filename == "quorvel/geometry/trigonometry.py"]

def recursion(M, entries):
    try:
        exec(CASE, {"M": M, "functools": functools, "types": types})
    except RecursionError as exc:
        return [str(exc), entries(exc)]
    return None

native = recursion(M, native_entries)
model = recursion(Names(Model.standalone(M.constants, M.algebra).namespace),
                  lambda exc: [list(entry) for entry in model_entries(exc)])
print(json.dumps([native, collections.Counter(map(tuple, model[1])).most_common(1)[0][0]]))
"""


@pytest.mark.parametrize("case", [
    "M.sin = M.cosin; M.cosin(30)",
    "M.arcsin = M.arccos; M.arccos(0.5)",
    "M._tan_rad = M.arctan; M.arctan(0.5)",
    "M.sin = M.tan; M.tan(30)",
    "M.cosin = M.tan; M.tan(30)",
    "M.sin = functools.partial(M.cosin); M.cosin(30)",
    "M.algebra = types.ModuleType('a'); M.algebra.sqrt = M.cosin; M.cosin(30)",
])
def test_endless_recursion_raises_recursion_error(case):
    out = run_python(with_tests_importable(f"CASE = {case!r}\n" + RECURSION)).stdout
    (message, entries), expected = json.loads(out)
    assert message == "maximum recursion depth exceeded" + RECURSION_SUFFIX
    # Every level failed at the line where it called the next one, the line at
    # which the model's levels fail, and added its own entry: the interpreter's
    # limit of C recursion is 1500 levels on 3.12, 10000 on 3.13.
    assert set(map(tuple, entries)) == {tuple(expected)} and len(entries) > 1000


# The stack that a level of recursion through the module's functions takes:
# measured at about 640 bytes on 3.12 and 610 on 3.13, so the full depth of
# 3.13's C recursion limit needs about 6 MiB of stack.  A thread given 1 KiB
# a level (and some room for the interpreter below) still ends in
# RecursionError; one with less than the full depth needs can crash, as any
# deep C recursion in the interpreter can before 3.14 measures the stack.
# Under AddressSanitizer every frame is several times larger (about 3.5 KiB a
# level was measured), and the interpreter, not built with it, keeps its
# limit: there the budget is 4 KiB.
STACK_PER_LEVEL = """
import ctypes, threading, traceback
import geometry.trigonometry as M
M.sin = M.cosin

def depth():
    try:
        M.cosin(30)
    except RecursionError as exc:
        return len(traceback.extract_tb(exc.__traceback__))

levels = depth()
budget = 4096 if hasattr(ctypes.CDLL(None), "__asan_init") else 1024
threading.stack_size(levels * budget + (1 << 20))
outcome = []
thread = threading.Thread(target=lambda: outcome.append(depth()))
thread.start()
thread.join()
print(levels, outcome[0])
"""


def test_recursion_limit_fits_in_a_kibibyte_of_stack_a_level():
    levels, in_thread = map(int, run_python(STACK_PER_LEVEL).stdout.split())
    assert levels > 1000 and in_thread == levels


def attempt(call, *args):
    try:
        call(*args)
    except (TypeError, SystemError):
        pass


def test_recursion_guard_is_left_on_every_path(trig):
    # Calls through every entry and the tuple call, that succeed or fail, many
    # times over: a level entered and not left would end in RecursionError.
    functions = [calls_probe.make(kind) for kind in
                 ("noargs", "onearg", "varkw", "fastkw", "method", "dispatch_varargs",
                  "dispatch_noargs", "dispatch_onearg", "silent_failure")]
    for _ in range(2000):
        for f in functions:
            for args in ((), (1,)):
                attempt(f, *args)
                attempt(calls_probe.call_slot, f, args, None)
        attempt(trig.sin, None)
    assert trig.sin(30) == Model.standalone(trig.constants, trig.algebra).sin(30)


# The traceback routine and the results of native callees

BAD_CALLEE = """
import json, traceback
import geometry.trigonometry as M
from _trigonometry_testing import calls_probe
M.sin = calls_probe.make({kind!r})
try:
    M.cosin(30)
except SystemError as exc:
    entries = [[f.name, f.lineno] for f in traceback.extract_tb(exc.__traceback__)
               if f.filename == "quorvel/geometry/trigonometry.py"]
    cause = exc.__cause__
    print(json.dumps([str(exc), entries, cause and [type(cause).__name__, str(cause)]]))
"""


@pytest.mark.parametrize("kind, message, cause", [
    ("silent_failure", r"NULL result without error in PyObject_Call", None),
    ("stray_error", r"<compiled_function Probe\.stray_error at 0x[0-9a-f]+> returned a result "
     r"with an exception set", ["KeyError", "'stray'"]),
])
def test_native_callee_that_breaks_the_error_convention(kind, message, cause):
    out = run_python(BAD_CALLEE.format(kind=kind)).stdout.splitlines()
    assert out, "cosin(30) did not fail"
    found_message, entries, found_cause = json.loads(out[-1])
    assert re.fullmatch(message, found_message) and found_cause == cause
    assert entries == [["geometry.trigonometry.cosin", 59]]


def test_entry_asked_for_without_an_exception():
    out = run_python("""
        import json, traceback
        from _trigonometry_testing import runtime_probe
        try:
            runtime_probe.add_traceback(b"geometry.trigonometry.sin", 19, {}, False)
        except SystemError as exc:
            last = traceback.extract_tb(exc.__traceback__)[-1]
            print(json.dumps([str(exc), last.filename, last.name, last.lineno]))
    """).stdout
    assert json.loads(out) == ["error return without exception set", SOURCE,
                               "geometry.trigonometry.sin", 19]


@pytest.mark.parametrize("removed", [("__builtins__",), ("__name__",), ("__builtins__", "__name__")])
def test_entries_do_not_depend_on_the_module_dictionary(trig, restore_globals, removed):
    for key in removed:
        del restore_globals[key]
    model = Model(restore_globals)
    for call in (lambda m: m.sin(None), lambda m: m.tan(90), lambda m: m.arctan(2, 2.5)):
        native, expected = failure(lambda: call(trig)), failure(lambda: call(model))
        assert module_entries(native) == model_entries(expected) + module_entries(expected)
        assert module_entries(native) and tb_entries(native)[-1][0] == SOURCE


def failure(call):
    with pytest.raises(Exception) as info:
        call()
    return info.value


# The shared type from the registry

FORGED = """
import gc, json, sys, types
registry = sys.modules["_compiled_3_2_4"] = types.ModuleType("_compiled_3_2_4")
{setup}
try:
    import geometry.trigonometry
except TypeError as exc:
    outcome = str(exc)
else:
    outcome = None
gc.collect()
print(json.dumps([outcome, "geometry.trigonometry" in sys.modules]))
"""
GENUINE_SIZE = sys.modules["_compiled_3_2_4"].compiled_function_or_method.__basicsize__
# A class with one slot per pointer of the record has its size, the GC flag and
# none of its layout.
SLOTS = tuple(f"s{i}" for i in range((GENUINE_SIZE - object.__basicsize__) // 8))


# The function type's layout is checked, whatever its metaclass; the
# metatype's is not (see test_registered_metatype_serves).
@pytest.mark.parametrize("setup", [
    f"registry.compiled_function_or_method = type('compiled_function_or_method', (), "
    f"{{'__slots__': {SLOTS!r}}})",
    f"class Meta(type): pass\nregistry._shared_types_metatype = Meta\n"
    f"registry.compiled_function_or_method = Meta('compiled_function_or_method', (), "
    f"{{'__slots__': {SLOTS!r}}})",
])
def test_forged_shared_type_is_refused(setup):
    assert type("forgery", (), {"__slots__": SLOTS}).__basicsize__ == GENUINE_SIZE
    out = run_python(FORGED.format(setup=setup)).stdout
    assert json.loads(out) == [
        "Shared compiled type compiled_function_or_method has an incompatible layout, try "
        "recompiling", False]


REGISTERED_METATYPE = """
import json, sys, types
{setup}
registry = sys.modules["_compiled_3_2_4"] = types.ModuleType("_compiled_3_2_4")
registry._shared_types_metatype = Meta
try:
    import geometry.trigonometry as M
except TypeError as exc:
    print(json.dumps(["TypeError", str(exc), "geometry.trigonometry" in sys.modules]))
    raise SystemExit
try:
    type("X", (type(M.sin),), {{}})
    subclass = "made"
except TypeError as exc:
    subclass = str(exc)
print(json.dumps(["imported", type(type(M.sin)) is Meta, M.sin(30), M.arcsin(0.5), subclass]))
"""


# A metatype registered before the first import serves as the function type's
# metaclass, any subclass of type among them, with no layout check: the
# runtime never allocates or reads its instances beyond the function type.
# The class statement's metaclass lets the function type be subclassed, as
# type does; a metaclass with a tp_new of its own cannot make a type from a
# type specification, and the import fails cleanly.
@pytest.mark.parametrize("setup, subclass", [
    ("class Meta(type): pass", "made"),
    ("Meta = type", "made"),
    ("class Meta(type): __slots__ = ()", "made"),
])
def test_registered_metatype_serves(trig, setup, subclass):
    model = Model.standalone(trig.constants, trig.algebra)
    out = run_python(REGISTERED_METATYPE.format(setup=setup)).stdout
    assert json.loads(out) == ["imported", True, model.sin(30), model.arcsin(0.5), subclass]


@pytest.mark.parametrize("setup", ["import abc; Meta = abc.ABCMeta",
                                   "class Meta(type):\n    def __new__(*args): pass"])
def test_registered_metatype_with_its_own_new_fails_the_import(setup):
    out = run_python(REGISTERED_METATYPE.format(setup=setup)).stdout
    assert json.loads(out) == ["TypeError", "Metaclasses with custom tp_new are not supported.",
                               False]


def test_genuine_shared_type_of_another_module_is_accepted(trig):
    out = run_python("""
        import json, sys
        from _trigonometry_testing import calls_probe
        registered = sys.modules["_compiled_3_2_4"].compiled_function_or_method
        import geometry.trigonometry as M
        print(json.dumps([type(M.sin) is registered, M.sin(30), calls_probe.make("onearg")(7)[1]]))
    """).stdout
    assert json.loads(out) == [True, Model.standalone(trig.constants, trig.algebra).sin(30), 7]


# A start-up that fails after registering the module

def test_failed_start_up_under_another_name_leaves_no_module(trig):
    # Loaded as elsewhere.trigonometry, the start-up registers itself under its
    # own name, then fails at the relative import from a package that is not there.
    out = run_python("""
        import importlib.machinery, importlib.util, json, os, sys, geometry
        # An editable install spreads the package over several directories.
        library = next(os.path.join(directory, name) for directory in geometry.__path__
                       for name in os.listdir(directory) if name.startswith("trigonometry.")
                       and name.endswith(tuple(importlib.machinery.EXTENSION_SUFFIXES)))
        spec = importlib.util.spec_from_file_location("elsewhere.trigonometry", library)
        try:
            spec.loader.exec_module(importlib.util.module_from_spec(spec))
        except ImportError as exc:
            failure = str(exc)
        left = "geometry.trigonometry" in sys.modules
        import geometry.trigonometry as M
        print(json.dumps([failure, left, hasattr(M, "sin") and M.sin(30)]))
    """).stdout
    failure, left, value = json.loads(out)
    assert failure == "No module named 'elsewhere'" and not left
    assert value == Model.standalone(trig.constants, trig.algebra).sin(30)


# Running the published code objects

RUN_CODE = """
import json, traceback, types
import geometry.trigonometry as M
results = []
for name, args in {calls!r}:
    function = types.FunctionType(getattr(M, name).__code__, {{}})
    for handling in (False, True):
        try:
            if handling:
                try:
                    raise KeyError("being handled")
                except KeyError:
                    function(*args)
            else:
                function(*args)
        except Exception as exc:
            last = traceback.extract_tb(exc.__traceback__)[-1]
            results.append([name, type(exc).__name__, str(exc), last.filename, last.name, last.lineno])
print(json.dumps(results))
"""
CALLS = [("sin", (30,)), ("cosin", (30,)), ("tan", (30,)), ("_tan_rad", (0.5,)),
         ("arctan", (0.5, 3)), ("arctan2", (1, 2)), ("arcsin", (0.5,)), ("arccos", (0.5,))]


def deleted_twice(local):
    """What the interpreter raises for a local deleted twice."""
    namespace = {}
    exec(f"def f({local}):\n    del {local}\n    del {local}", namespace)
    exc = failure(lambda: namespace["f"](0))
    return [type(exc).__name__, str(exc)]


def test_running_a_code_object_raises(trig):
    results = json.loads(run_python(RUN_CODE.format(calls=CALLS)).stdout)
    expected = []
    for name, _ in CALLS:
        code = getattr(trig, name).__code__
        line = next(line for start, end, line in code.co_lines() if start <= 2 < end)
        expected += [[name, *deleted_twice(code.co_varnames[0]), SOURCE, name, line]] * 2
    assert results == expected


# Cycles through the fields of a function object

Text = type("Text", (str,), {})


def closes_a_cycle(attribute):
    def close(f):
        if attribute == "__annotations__":
            f.__annotations__ = {"self": f}
        else:
            text = Text("cycle")
            text.function = f
            setattr(f, attribute, text)
    return close


@pytest.mark.parametrize("close", [closes_a_cycle(name) for name in
                                   ("__annotations__", "__name__", "__qualname__", "__doc__")] +
                         [lambda f: setattr(f, "me", f),
                          lambda f: setattr(f, "__defaults__", (f,)),
                          lambda f: setattr(f, "__kwdefaults__", {"f": f})])
def test_cycles_through_a_function_are_collected(close):
    f = calls_probe.make("noargs")
    with warnings.catch_warnings(action="ignore"):  # the defaults setters warn
        close(f)
    alive = weakref.ref(f)
    del f
    gc.collect()
    assert alive() is None
