"""Allocation failures.  Every allocation of a call, of a failing binding and
of the start-up is failed in turn (with _testcapi.set_nomemory, and with
allocation_counter.fail for the start-up, which can spare some): nothing may
crash, the failure is a MemoryError (or the error that the call raises
anyway), never this module's SystemError, and the next call without the fault
behaves as before.  allocation_counter says how many allocations there are
to fail.  The sweeps run in fresh interpreters."""
import json
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
import support
from support import exact, module_entries

def outcome(call):
    return support.outcome(call, describe=lambda result: repr(exact(result)),
                           failure=lambda exc: (type(exc).__name__, str(exc)),
                           lines=module_entries)

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

# CPython 3.13.0's PyDict_SetDefaultRef reports success after its table's
# resize failed and leaves the dictionary corrupt; the interpreter's own
# PyType_FromMetaclass fills a new type's dictionary with it, so a failed
# allocation there crashes the interpreter, at once or at a later collection,
# whatever a module does.  On that release alone the sweep spares the
# allocations made inside PyType_FromMetaclass, found by the return
# addresses on the stack; everywhere else it fails every one.
SPARE_TYPE_CREATION = sys.version_info[:3] == (3, 13, 0)

# Fails allocation n of a start-up, for n from FIRST on, each a further
# attempt in this interpreter after the failed ones, up to the first start-up
# that succeeds; that one is checked.  Each attempt is reported as it fails.
START_UP_SWEEP = START_UP + """
import subprocess
from support.model import Model

def function_ranges(library_part, names):
    # [start, end) of the named functions of a loaded library, from its
    # symbol table and where it is mapped in this process.
    with open("/proc/self/maps") as maps:
        path, base = next((line.split()[-1], int(line.split("-")[0], 16)) for line in maps
                          if library_part in line and line.split()[2] == "00000000")
    symbols = subprocess.run(["nm", "-S", "--defined-only", path], capture_output=True,
                             text=True, check=True).stdout.splitlines()
    return [(base + int(fields[0], 16), base + int(fields[0], 16) + int(fields[1], 16))
            for fields in map(str.split, symbols) if len(fields) == 4 and fields[3] in names]

SPARED = (function_ranges("libpython", {"_PyType_FromMetaclass_impl"})
          if SPARE_TYPE_CREATION else [])
assert len(SPARED) == SPARE_TYPE_CREATION

def report(*fields):
    print(json.dumps(fields), flush=True)

for n in range(FIRST, LAST):
    allocation_counter.fail(n, SPARED)
    try:
        try:
            module = start_up()
        except BaseException as exc:
            module = exc
    finally:
        spared = allocation_counter.stop_failing()
    if isinstance(module, BaseException):
        # The half-built module must not stay behind for the next import.
        report("failed", n, type(module).__name__, "geometry.trigonometry" in sys.modules)
        continue
    break
else:
    n, module, spared = LAST, start_up(), False
model = Model.standalone(module.constants, module.algebra)
values = [[getattr(module, name)(*args) == getattr(model, name)(*args), repr(getattr(module, name)(*args))]
          for name, args in (("sin", (30,)), ("cosin", (200,)), ("tan", (45,)), ("_tan_rad", (0.5,)),
                             ("arctan", (2, 5)), ("arctan2", (-1, -1)), ("arcsin", (0.5,)),
                             ("arccos", (0.5,)))]
report("started", n, spared, sys.modules.get("geometry.trigonometry") is module, values)
"""


def test_every_allocation_of_the_start_up():
    last = int(run_python(COUNT).stdout) + 10
    first, failures, successes, spared = 1, [], [], []
    while first <= last:
        reports = [json.loads(line) for line in run_python(with_tests_importable(
            f"FIRST, LAST, SPARE_TYPE_CREATION = {first}, {last}, {SPARE_TYPE_CREATION}\n"
            + START_UP_SWEEP)).stdout.splitlines()]
        failures += [fields for kind, *fields in reports if kind == "failed"]
        _, n, was_spared, registered, values = reports[-1]
        # A start-up that completes in spite of a failed allocation (one whose
        # failure the interpreter ignores) must give a working module.
        assert registered and all(same for same, _ in values), (n, values)
        (spared if was_spared else successes).append(n)
        first = n + 1
    assert [f for f in failures if f[1] not in ("MemoryError", "ImportError") or f[2]] == []
    assert len(failures) + len(successes) + len(spared) >= last
    # Only the one release spares anything (there, type creation makes about
    # a third of the start-up's allocations).
    assert bool(spared) == SPARE_TYPE_CREATION
