"""The function type and its metatype as objects: every way of making a class
or an instance from them, and their dunders and attributes called with odd
arguments.  Nothing may crash; each outcome is compared with that of a
comparable immutable built-in type.  The sweep runs in a fresh interpreter,
so that a crash fails the test instead of ending the run."""
import json
import types

import pytest

from support import run_python, with_tests_importable

# Every spelling of making a class from the function type, or an instance of
# the metatype, refuses as the class statement does.
MAKERS = [
    "types.new_class('X', (F,))",
    "type('X', (F,), {})",
    "type.__new__(type, 'X', (F,), {})",
    "type.__call__(type, 'X', (F,), {})",
    "M('X', (), {})",
    "M.__call__(M, 'X', (), {})",
    "type.__call__(M, 'X', (F,), {})",
]


def test_every_way_of_making_a_class_refuses_as_the_class_statement(trig):
    F = type(trig.sin)
    M = type(F)
    with pytest.raises(TypeError) as statement:
        class X(F):  # noqa: F841 - the class statement is what is compared with
            pass
    for maker in MAKERS:
        with pytest.raises(TypeError) as made:
            eval(maker, {"types": types, "F": F, "M": M})
        assert str(made.value) == str(statement.value), maker
    # The flags a user reads are unchanged: no instances, immutable.
    assert M.__flags__ & 0x180 == 0x180 and "__new__" not in vars(M)


# Each case is an expression of T, the type under test (or of I, one of its
# instances), evaluated for the module's type and for the reference type.
TYPE_CASES = [
    "T.__new__(T)", "T.__new__(T, 1, 2)", "T.__new__(object)", "T.__new__(int)", "T.__new__()",
    "T.__init__(T)", "T.__init__(T, 'X', (), {})", "T.__init__(1)", "type.__init__(T, 'X', (), {})",
    "T()", "T(1, 2, 3)", "T.__call__()", "T.__call__(T)", "T.__call__(None)",
    "T.__call__(T, 'X', (), {})", "type.__call__(T)",
    "T.mro()", "type.mro(T)", "T.__subclasses__()", "T.__instancecheck__(1)",
    "T.__subclasscheck__(int)", "T.__subclasscheck__(1)", "T.__prepare__('X', ())",
    "T.__init_subclass__()", "T.__init_subclass__(1)", "T.__set_name__",
    "setattr(T, 'x', 1)", "delattr(T, '__doc__')", "T.__dict__['x']", "T.__dict__.clear()",
    "setattr(T, '__bases__', (object,))", "setattr(T, '__mro__', ())",
    "setattr(T, '__name__', 'y')", "setattr(T, '__qualname__', 'y')",
    "setattr(T, '__module__', 'z')", "setattr(T, '__doc__', 'd')",
    "type.__setattr__(T, 'x', 1)", "object.__setattr__(T, 'x', 1)",
    "type.__delattr__(T, '__name__')",
    "copy.copy(T)", "copy.deepcopy(T)", "pickle.loads(pickle.dumps(T))", "copyreg.__newobj__(T)",
    "T.__reduce_ex__(2)", "T.__reduce__()", "weakref.ref(T)() is T",
    "len(gc.get_referents(T)) > 0", "repr(T)", "hash(T) == hash(T)", "T.__sizeof__() > 0",
    "sorted(T.__dir__(T))", "type('X', (T,), {})", "type.__new__(type, 'X', (T,), {})",
    "types.new_class('X', (T,))", "T.__text_signature__", "T.__abstractmethods__",
]
INSTANCE_CASES = [
    "setattr(I, '__class__', types.BuiltinFunctionType)", "setattr(I, '__class__', type(I))",
    "setattr(I, '__class__', int)", "object.__setattr__(I, '__class__', object)",
    "type(I).__call__(I)", "type(I).__new__(type(I))", "object.__reduce_ex__(I, 2)",
    "copyreg.__reduce_ex__(I, 2)", "weakref.ref(I)() is I", "len(gc.get_referents(I)) > 0",
]

SWEEP = """
import copy, copyreg, gc, json, pickle, sys, types, weakref
from geometry import trigonometry as trig

from support import outcome as call_outcome

def outcome(case, **names):
    # exception types alone: the reference types word their messages their own way
    return call_outcome(eval, case, {**globals(), **names},
                        describe=lambda r: "a type" if isinstance(r, type) else type(r).__name__,
                        failure=lambda exc: (type(exc).__name__,))

F, M = type(trig.sin), type(type(trig.sin))
pairs = {"F": (F, types.BuiltinFunctionType), "M": (M, type)}
found = {name: {case: [outcome(case, T=T), outcome(case, T=R)] for case in TYPE_CASES}
         for name, (T, R) in pairs.items()}
found["instance"] = {case: [outcome(case, I=trig.sin), outcome(case, I=len)]
                     for case in INSTANCE_CASES}
gc.collect()
print(json.dumps([found, trig.sin(30) == 0.5]))
"""

# Where the module's types part from the reference types (builtin functions'
# type for the function type, `type` for the metatype), and why.
DIFFERENCES = {
    # Registered in _compiled_3_2_4, the function type pickles by reference;
    # builtin_function_or_method is found in no module.
    ("F", "pickle.loads(pickle.dumps(T))"): (["returns", "a type"], ["PicklingError"]),
    # The function type is a base type (its class statement fails in the
    # metatype instead), and the metatype makes no classes at all.
    ("M", "T.__call__(T, 'X', (), {})"): (["TypeError"], ["returns", "a type"]),
    ("M", "type('X', (T,), {})"): (["TypeError"], ["returns", "a type"]),
    ("M", "type.__new__(type, 'X', (T,), {})"): (["TypeError"], ["returns", "a type"]),
    ("M", "types.new_class('X', (T,))"): (["TypeError"], ["returns", "a type"]),
    # The metatype's __module__ is the descriptor that gives its instances
    # theirs, so pickle cannot find the metatype by name: a clean error.
    ("M", "pickle.loads(pickle.dumps(T))"): (["PicklingError"], ["returns", "a type"]),
}


def test_type_surface_sweep():
    child = run_python(with_tests_importable(
        f"TYPE_CASES = {TYPE_CASES!r}\nINSTANCE_CASES = {INSTANCE_CASES!r}\n" + SWEEP),
        check=False)
    assert child.returncode == 0, child.stderr
    found, still_works = json.loads(child.stdout)
    assert still_works
    different = {(name, case): tuple(pair) for name, cases in found.items()
                 for case, pair in cases.items() if pair[0] != pair[1]}
    # Exception types are compared, so that the references' own wording of a
    # message (which names their type) does not count as a difference.
    assert different == {key: tuple(pair) for key, pair in DIFFERENCES.items()}
    assert sum(len(cases) for cases in found.values()) == 2 * len(TYPE_CASES) + len(INSTANCE_CASES)
