"""What no Python code may do to the interpreter through this module: recurse
without end.  Cases that used to crash run in a fresh interpreter, so that a
regression fails the test instead of ending the run."""
import json
import os

import pytest

from _trigonometry_testing import calls_probe
from support import run_python

TESTS = os.path.dirname(__file__)
RECURSION_SUFFIX = " while calling a Python object"


# Endless recursion through the module's names

RECURSION = """
import collections, functools, json, traceback, types
import geometry.trigonometry as M
from model import Model, model_entries

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
    out = run_python(f"CASE = {case!r}\n" + RECURSION, TESTS).stdout
    (message, entries), expected = json.loads(out)
    assert message == "maximum recursion depth exceeded" + RECURSION_SUFFIX
    # Every level failed at the line where it called the next one, the line at
    # which the model's levels fail, and added its own entry: the interpreter's
    # limit of C recursion is 1500 levels.
    assert set(map(tuple, entries)) == {tuple(expected)} and len(entries) > 1000


def test_recursion_guard_is_left_on_every_path(trig):
    # Calls through every entry, that succeed or fail, many times over: a
    # level entered and not left would end in RecursionError.
    functions = [calls_probe.make(kind) for kind in
                 ("noargs", "onearg", "varkw", "fastkw", "method", "dispatch_varargs",
                  "dispatch_noargs", "dispatch_onearg")]
    for _ in range(2000):
        for f in functions:
            for args in ((), (1,)):
                try:
                    f(*args), calls_probe.call_slot(f, args, None)
                except TypeError:
                    pass
        with pytest.raises(TypeError):
            trig.sin(None)
    assert trig.sin(30) == 0.5
