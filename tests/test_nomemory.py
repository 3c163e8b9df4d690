"""Allocation failures.  Every allocation of a call, of a failing binding and
of the start-up is failed in turn with _testcapi.set_nomemory: nothing may
crash, the failure is a MemoryError (or the error that the call raises
anyway), never this module's SystemError, and the next call without the fault
behaves as before.  allocation_counter says how many allocations there are
to fail.  The sweeps run in fresh interpreters."""
import bisect
import itertools
import json
import re
import subprocess
import sys

from support import with_tests_importable, run_python


CALLS = [  # (function, positional arguments, keyword arguments)
    ("sin", (30,), {}), ("sin", (200.5,), {}), ("sin", (10**30,), {}), ("sin", (None,), {}),
    ("cosin", (60,), {}), ("cosin", (200,), {}), ("cosin", (float("nan"),), {}),
    ("tan", (45,), {}), ("tan", (90,), {}), ("tan", ("x",), {}),
    ("_tan_rad", (0.5,), {}), ("_tan_rad", ("1",), {}),
    ("arctan", (0.5, 3), {}), ("arctan", (2,), {"iter": 3}), ("arctan", (-3.0, 2), {}),
    ("arctan", (0.5, 2.5), {}), ("arctan", (0.5,), {}),
    ("arctan2", (-1, 1), {}), ("arctan2", (-1, -1), {}), ("arctan2", (0, 5), {}),
    ("arctan2", (0, -5), {}), ("arctan2", (0, 0), {}), ("arctan2", (1, "a"), {}),
    ("arcsin", (0.5,), {}), ("arcsin", (2,), {}), ("arccos", (0.5,), {}),
    # every kind of binding error
    ("sin", (), {}), ("sin", (1, 2), {}), ("cosin", (), {"x": 1}), ("tan", (1,), {"angle": 1}),
    ("_tan_rad", (), {"rad": 1, "q": 2}), ("arctan", (), {"iter": 3}), ("arctan", (1, 2, 3), {}),
    ("arctan2", (), {"x": 1}), ("arctan2", (1,), {"y": 2, "x": 3}), ("arcsin", (), {}),
    ("arccos", (1, 2), {}),
]

CALL_SWEEP = """
import json, _testcapi
import geometry.trigonometry as M
from _trigonometry_testing import allocation_counter
from support import exact, module_entries

def outcome(call):
    try:
        return ["returns", repr(exact(call()))]
    except Exception as exc:
        return [type(exc).__name__, str(exc), module_entries(exc)]

runs, problems = 0, []
for name, args, kwargs in CALLS:
    call = lambda: getattr(M, name)(*args, **kwargs)
    clean = outcome(call)
    for n in range(1, allocation_counter.count(call) + 10):
        _testcapi.set_nomemory(n, n + 1)
        try:
            try:
                faulted = call()
            except BaseException as exc:
                faulted = exc
        finally:
            _testcapi.remove_mem_hooks()
        runs += 1
        if isinstance(faulted, BaseException):
            kind = type(faulted).__name__
            if kind != "MemoryError" and kind != clean[0]:
                problems.append([name, args, n, "raised", kind, str(faulted)])
        elif outcome(lambda: faulted) != clean:
            problems.append([name, args, n, "returned", repr(faulted)])
        if outcome(call) != clean:
            problems.append([name, args, n, "next call", outcome(call)])
print(json.dumps([runs, problems[:10]]))
"""


def test_every_allocation_of_every_call():
    setup = f"nan = float('nan')\nCALLS = {CALLS!r}\n"
    runs, problems = json.loads(run_python(with_tests_importable(setup + CALL_SWEEP)).stdout)
    assert problems == [] and runs > 10 * len(CALLS)


# The start-up: the siblings are imported beforehand and the library is
# created and executed through _imp, so that the faults land in the module's
# own slots and not in the import machinery.
START_UP = """
import importlib.util, json, sys, _imp, _testcapi
import geometry, geometry.constants, quorvel.algebra.algebra, zlib
from _trigonometry_testing import allocation_counter
spec = importlib.util.find_spec("geometry.trigonometry")

def start_up():
    module = _imp.create_dynamic(spec)
    _imp.exec_dynamic(module)
    return module
"""

COUNT = START_UP + "print(allocation_counter.count(start_up))"

# Fails allocation n of a start-up, for n from FIRST on, each a further
# attempt in this interpreter after the failed ones, up to the first start-up
# that succeeds; that one is checked.  Each attempt is reported as it is made
# and as it fails, so that a crash tells where it happened.
START_UP_SWEEP = START_UP + """
from model import Model
if REPORT_FAULTS:
    allocation_counter.report_faults()

def report(*fields):
    print(json.dumps(fields), flush=True)

for n in range(FIRST, LAST):
    report("trying", n)
    _testcapi.set_nomemory(n, n + 1)
    try:
        try:
            module = start_up()
        except BaseException as exc:
            module = exc
    finally:
        _testcapi.remove_mem_hooks()
    if isinstance(module, BaseException):
        # The half-built module must not stay behind for the next import.
        report("failed", n, type(module).__name__, "geometry.trigonometry" in sys.modules)
        continue
    break
else:
    n, module = LAST, start_up()
model = Model.standalone(module.constants, module.algebra)
values = [[getattr(module, name)(*args) == getattr(model, name)(*args), repr(getattr(module, name)(*args))]
          for name, args in (("sin", (30,)), ("cosin", (200,)), ("tan", (45,)), ("_tan_rad", (0.5,)),
                             ("arctan", (2, 5)), ("arctan2", (-1, -1)), ("arcsin", (0.5,)),
                             ("arccos", (0.5,)))]
report("started", n, sys.modules.get("geometry.trigonometry") is module, values)
"""

# CPython 3.13.0's PyDict_SetDefaultRef reports success after its table's
# resize failed and leaves the dictionary corrupt; the interpreter's own
# PyType_FromMetaclass fills a new type's dictionary with it, so a failed
# allocation there crashes inside the interpreter, whatever a module does.
# On that release alone, such a crash, and no other, ends one attempt.
SETDEFAULT_CRASHES = sys.version_info[:3] == (3, 13, 0)
CRASH_INSIDE = {"dict_setdefault_ref_lock_held", "_PyType_FromMetaclass_impl"}


def interpreter_functions(stack):
    """The functions of the interpreter's library at the innermost frames of a
    stack that allocation_counter.report_faults printed, by its symbol table."""
    frames = [(path, int(offset, 16)) for path, offset in
              re.findall(r"^(\S+)\(\+0x([0-9a-f]+)\)", stack, re.MULTILINE)]
    library = next((path for path, _ in frames if "libpython" in path), None)
    if library is None:
        return []
    symbols = sorted((int(address, 16), name) for address, kind, name in
                     (line.split() for line in subprocess.run(
                         ["nm", library], capture_output=True, text=True, check=True
                     ).stdout.splitlines() if len(line.split()) == 3)
                     if kind in "tT")
    addresses = [address for address, _ in symbols]
    innermost = itertools.dropwhile(lambda frame: frame[0] != library, frames)
    return [symbols[bisect.bisect_right(addresses, offset - 1) - 1][1]
            for _, offset in itertools.takewhile(lambda frame: frame[0] == library, innermost)]


def test_every_allocation_of_the_start_up():
    last = int(run_python(COUNT).stdout) + 10
    first, failures, successes, interpreter_crashes = 1, [], [], []
    while first <= last:
        child = run_python(with_tests_importable(
            f"FIRST, LAST, REPORT_FAULTS = {first}, {last}, {SETDEFAULT_CRASHES}\n" +
            START_UP_SWEEP), check=not SETDEFAULT_CRASHES)
        reports = [json.loads(line) for line in child.stdout.splitlines()]
        failures += [fields for kind, *fields in reports if kind == "failed"]
        n = reports[-1][1]
        if child.returncode != 0:
            assert child.returncode == 70 and reports[-1][0] == "trying", child.stderr
            assert CRASH_INSIDE <= set(interpreter_functions(child.stderr)), child.stderr
            interpreter_crashes.append(n)
        else:
            _, n, registered, values = reports[-1]
            # A start-up that completes in spite of a failed allocation (one
            # whose failure the interpreter ignores) must give a working module.
            assert registered and all(same for same, _ in values), (n, values)
            successes.append(n)
        first = n + 1
    assert [f for f in failures if f[1] not in ("MemoryError", "ImportError") or f[2]] == []
    assert len(failures) + len(successes) + len(interpreter_crashes) >= last
