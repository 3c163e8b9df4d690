"""The bindings that let a call run on machine numbers (constants.pi an exact
float of a module, algebra.sqrt the interpreter's math.sqrt, the module's own
functions under their names) are watched: whatever changes them, however it
is done, shows at the next use, and results stay those of the pure-Python
model of the bodies whether the proof holds or not."""
import cmath
import math
import types

import pytest

from support import run_python
from support.model import Model, outcome

CALLS = [("sin", (30.5,)), ("sin", (10**30,)), ("cosin", (60,)), ("tan", (30,)),
         ("_tan_rad", (0.5,)), ("arctan", (0.5,)), ("arctan", (3, 5)), ("arctan2", (-1, 2)),
         ("arcsin", (0.5,)), ("arccos", (0.25,)), ("tan", (90,)), ("cosin", (math.nan,)),
         ("arcsin", (2,)), ("arcsin", (math.nan,))]


def model_namespace(constants, algebra):
    model = Model.standalone(constants, algebra)
    return model.namespace


def check_all(trig, constants, algebra):
    namespace = model_namespace(constants, algebra)
    for name, args in CALLS:
        assert outcome(getattr(trig, name), *args) == \
            outcome(getattr(Model(namespace), name), *args), name


def test_one_module_as_constants_and_algebra(trig, restore_globals):
    both = types.ModuleType("both")
    both.pi, both.sqrt = math.pi, math.sqrt
    trig.constants = trig.algebra = both
    check_all(trig, both, both)
    both.pi = 3.0                       # seen through the shared dictionary's watch
    check_all(trig, both, both)
    both.sqrt = lambda v: 1.5
    check_all(trig, both, both)


def test_the_module_as_its_own_constants(trig, restore_globals):
    trig.pi = 2.5
    trig.constants = trig
    check_all(trig, trig, trig.algebra)
    del trig.pi
    check_all(trig, trig, trig.algebra)  # AttributeError at each reader's line


def test_pi_changed_in_place_of_the_bound_module(trig):
    constants = trig.constants
    original = constants.pi
    before = [outcome(getattr(trig, name), *args) for name, args in CALLS]
    try:
        for value in (3.0, 3, -0.0, 1e3, type("F", (float,), {})(original)):
            constants.pi = value
            check_all(trig, constants, trig.algebra)
    finally:
        constants.pi = original
    assert [outcome(getattr(trig, name), *args) for name, args in CALLS] == before


def test_a_key_that_is_not_a_string(trig, restore_globals):
    before = [outcome(getattr(trig, name), *args) for name, args in CALLS]
    trig.__dict__[1] = "one"
    check_all(trig, trig.constants, trig.algebra)
    del trig.__dict__[1]
    assert [outcome(getattr(trig, name), *args) for name, args in CALLS] == before


def test_a_function_found_only_in_builtins(trig, restore_globals, monkeypatch):
    import builtins
    monkeypatch.setattr(builtins, "sin", trig.sin, raising=False)
    del trig.sin
    namespace = model_namespace(trig.constants, trig.algebra)
    del namespace["sin"]  # the model finds the module's sin in builtins too
    for name, args in CALLS:
        if name != "sin":
            assert outcome(getattr(trig, name), *args) == \
                outcome(getattr(Model(namespace), name), *args)


@pytest.mark.parametrize("sqrt", [cmath.sqrt, lambda v: math.sqrt(v)], ids=["cmath", "lambda"])
def test_sqrt_other_than_math_sqrt(trig, restore_globals, sqrt):
    algebra = types.ModuleType("algebra")
    algebra.sqrt = sqrt
    trig.algebra = algebra
    check_all(trig, trig.constants, algebra)


def test_dictionary_cleared_and_restored(trig):
    saved = dict(trig.__dict__)
    before = [outcome(getattr(trig, name), *args) for name, args in CALLS]
    trig.__dict__.clear()
    try:
        assert outcome(saved["cosin"], 60)[:3] == ("raises", NameError,
                                                   "name 'algebra' is not defined")
    finally:
        trig.__dict__.update(saved)
    assert [outcome(getattr(trig, name), *args) for name, args in CALLS] == before


def test_no_dict_watcher_left(tmp_path):
    """With every watcher id taken before the first call, calls take the object
    path and give the same results."""
    code = """
        import _testcapi, struct
        taken = []
        try:
            while True:
                taken.append(_testcapi.add_dict_watcher(0))
        except RuntimeError:
            pass
        import geometry.trigonometry as t
        nan = float("nan")
        calls = %r
        def key(f, *a):
            try:
                r = f(*a)
                return ("r", struct.pack("<d", r) if type(r) is float else repr(r))
            except Exception as e:
                return ("e", type(e).__name__, str(e))
        print(repr([key(getattr(t, n), *a) for n, a in calls]))
    """ % (CALLS,)
    starved = run_python(code).stdout
    normal = run_python(code.replace("while True", "while False")).stdout
    assert starved == normal and starved.count("'r'") >= 10
