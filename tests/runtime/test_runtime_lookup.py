"""The runtime's exception matching, calls of looked-up objects, module-level
name lookup, the per-line code-object cache and the traceback routine."""
import builtins
import functools
import gc
import math
import random
import sys
import traceback
import types

import pytest

import support
from support import SOURCE, module_entries, tb_entries, probe_module

probe = probe_module("runtime_probe")

Base = type("Base", (Exception,), {})
Derived = type("Derived", (Base,), {})
Claimant = type("ClaimsAll", (type,), {"__subclasscheck__": lambda *_: True})(
    "Claimant", (Exception,), {})


@pytest.mark.parametrize("raised, wanted, expected", [
    (ValueError, ValueError, 1), (Derived, Base, 1), (Derived, BaseException, 1),
    (Base, Derived, 0), (ValueError, Claimant, 0),  # the MRO decides, not __subclasscheck__
    (KeyError, (TypeError, LookupError), 1), (KeyError, (), 0),
    # Items that are not exception classes are skipped, nested tuples included.
    (KeyError, (5, KeyError(), ((KeyError,),), LookupError), 1),
    (KeyError, (5, KeyError(), ((KeyError,),)), 0), (KeyError, (object,), 0),
    (KeyError, None, 0), (int, int, 1), (bool, int, 0), (5, ValueError, 0),
    (KeyError("k"), LookupError, 1), (KeyError("k"), TypeError, 0),  # the interpreter's rules
])
def test_exception_matches(raised, wanted, expected):
    assert probe.exception_matches(raised, wanted) == expected


CALLS = [(abs, (-3,)), (abs, ()), (math.sqrt, ("a",)), (max, (3, 9)), (lambda *args: args, ()),
         (types.MethodType(lambda *args: args, "self"), (1, 2)), (int, ("12",)),
         (types.SimpleNamespace, ()), (types.SimpleNamespace, (1,)), (probe.null_result, (1, 2)),
         (probe.compiled_null, ())]


# Results compared as they are: some are tuples of the objects a callee saw.
outcome = functools.partial(support.outcome, describe=lambda result: result)


@pytest.mark.parametrize("offset", [False, True])
def test_call_object(offset):
    assert [outcome(probe.call, f, offset, *args) for f, args in CALLS] == [
        outcome(f, *args) for f, args in CALLS]
    # Only the direct path gives this text; the interpreter's own names the function.
    for function in (probe.null_result, probe.compiled_null):
        with pytest.raises(SystemError, match="^NULL result without error in PyObject_Call$"):
            probe.call(function, offset, 1)
    for function, self in ((probe.reporter, probe), (probe.static_reporter, None)):
        assert probe.call(function, offset, 7) == function(7) == (self, 7)
    # Each direct call leaves the recursion guard as it found it.
    assert [probe.call(abs, offset, -i) for i in range(5000)] == list(range(5000))


class Collides(str):
    """A dict key that has the hash of its text and fails to compare."""
    __hash__ = str.__hash__

    def __eq__(self, other):
        raise RuntimeError("comparison failed")


def hook(error):
    """An object whose attribute hook raises `error`."""
    def __getattr__(self, name):
        raise error
    return type("Hook", (), {"__getattr__": __getattr__})()


# The builtins module has its own attribute hook; a namespace uses the generic one.
@pytest.mark.parametrize("builtins_", [builtins, types.SimpleNamespace(len=len)])
def test_module_dictionary_comes_first_then_builtins(builtins_):
    marker = object()
    assert probe.get_module_global({"len": marker}, builtins_, "len") is marker
    assert probe.get_module_global({}, builtins_, "len") is len  # primes the type cache too,
    # whose misses would clear the error that probing this dictionary raises and must drop:
    assert probe.get_module_global({Collides("len"): marker}, builtins_, "len") is len


@pytest.mark.parametrize("builtins_", [
    builtins, types.SimpleNamespace(), hook(AttributeError("no")),
    hook(type("Sub", (AttributeError,), {})())])
def test_missing_name_raises_name_error(builtins_):
    with pytest.raises(NameError, match="^name 'zzz' is not defined$"):
        probe.get_module_global({Collides("zzz"): 1}, builtins_, "zzz")


def test_other_builtins_errors_propagate_unchanged():
    error = KeyError("zzz")
    with pytest.raises(KeyError) as info:
        probe.get_module_global({}, hook(error), "zzz")
    assert info.value is error


@pytest.fixture
def cache():
    yield probe.cache(0, None, True)
    probe.cache(0, None, True)


def code_object(tag):
    return compile(f"v{tag} = 0", "<cache>", "exec")  # unequal for unequal tags


def test_cache_keeps_lines_sorted_and_grows_by_64(cache):
    lines = [84, 6, 45] + random.Random(65).sample(range(100, 9999), 126)
    codes = [(line, code_object(line)) for line in lines]
    for count, (line, code) in enumerate(codes, 1):
        assert probe.cache(line, code) == (count, 64 * -(-count // 64), sorted(codes[:count]))


def test_cache_replaces_and_never_stores_line_zero(cache):
    first, second = code_object("first"), code_object("second")
    assert probe.cache(0, first) == (0, 0, [])
    held = sys.getrefcount(first)
    probe.cache(45, first)
    assert sys.getrefcount(first) == held + 1
    probe.cache(45, second)
    assert probe.cache(0, first) == (1, 64, [(45, second)]) and sys.getrefcount(first) == held


# PyFrame_New reads both keys, and with an exception pending fails on a miss.
GLOBALS = {"__builtins__": builtins, "__name__": "probe_globals"}


def fail(line, name=b"geometry.trigonometry.sin", globals_=GLOBALS, trigger=None):
    with pytest.raises(Exception) as info:
        probe.add_traceback(name, line, globals_, trigger)
    return info.value


def added_frame(exc):
    """The frame of the traceback entry that names the module's source file."""
    return next(f for f, _ in traceback.walk_tb(exc.__traceback__) if f.f_code.co_filename == SOURCE)


def test_entry_has_the_line_globals_and_a_shared_code_object(cache):
    first, second = fail(19), fail(19)
    assert type(first) is ValueError and str(first) == "probe failure"
    assert module_entries(first) == module_entries(second) == [("geometry.trigonometry.sin", 19)]
    frames = [added_frame(exc) for exc in (first, second)]
    assert frames[0].f_code is frames[1].f_code and frames[0].f_globals is GLOBALS
    assert probe.cache() == (1, 64, [(19, frames[0].f_code)])
    # The first failure at a line names it for good.
    assert module_entries(fail(19, b"init geometry.trigonometry")) == module_entries(first)
    # The frame's line is the failing line, not one read from the code object.
    probe.cache(77, compile("pass", SOURCE, "exec"))
    assert added_frame(fail(77)).f_lineno == 77


def test_pending_exception_is_kept_with_its_traceback(cache):
    error = KeyError("from callee")

    def callee():
        raise error

    for _ in range(2):  # a cache miss, then a hit
        error.__traceback__ = None
        assert fail(56, b"geometry.trigonometry.cosin", trigger=callee) is error
        assert tb_entries(error)[1:] == [(SOURCE, "geometry.trigonometry.cosin", 56),
                                         (__file__, "callee", callee.__code__.co_firstlineno + 1)]
    # A code object that cannot be made replaces it, and so does the error of
    # a frame that cannot be made, with no entry.
    assert type(fail(30, b"\xff")) is UnicodeDecodeError and probe.cache()[0] == 1
    exc = fail(31, globals_={Collides("__builtins__"): builtins})
    assert module_entries(exc) == [] and str(exc) == "comparison failed"
    # The frame is made with the exception set aside, so globals that lack
    # __builtins__ and __name__ still give the entry.
    assert module_entries(exc := fail(32, globals_={})) == [("geometry.trigonometry.sin", 32)]
    assert type(exc) is ValueError and added_frame(exc).f_builtins is builtins.__dict__


def test_repeated_failures_hold_no_references(cache):
    fail(40)
    gc.collect()
    code = probe.cache()[2][0][1]
    held = sys.getrefcount(code), sys.getrefcount(GLOBALS)
    for _ in range(20):
        fail(40)
    gc.collect()
    assert (sys.getrefcount(code), sys.getrefcount(GLOBALS)) == held
