"""Every line at which a body reports a failure is produced by some call and
checked.  Arguments, pi and sqrt are Meddlers that raise Fault at their N-th
protocol operation; each scenario is swept over every N, and each outcome
(result, or exception with its traceback lines) is compared with the model's
for the same fault.  Binding failures come from a keyword name whose
comparison faults, and `i += 1` in the sine series, which no argument
touches, from failing each allocation of a series that never converges."""
import json
import types

from geometry import trigonometry as TRIG
from support.meddling import NATIVE, Fault, Meddling, MeddlingKeyword, fault, outcome, sweep_namespace
from support import run_python

# The lines at which each function reports its failures: its def line for
# binding, the lines of its statements otherwise.
FAILURE_LINES = {
    "sin": {6, 19, 20, 21, 24, 25, 26, 27, 30, 37, 38, 39, 40, 42},
    "cosin": {45, 56, 58, 59, 60, 61, 62},
    "tan": {65, 76},
    "_tan_rad": {78, 82},
    "arctan": {84, 97, 98, 99, 100, 103, 108},
    "arctan2": {112, *range(126, 136)},
    "arcsin": {139, 151},
    "arccos": {155, 167},
}
NAN = float("nan")
PI = TRIG.constants.pi

# (function, arguments, whether pi meddles too).  Each argument is a Meddler;
# the scenarios pick the branches so that every statement gets its turn.
SCENARIOS = [
    ("sin", (30,), True), ("sin", (200,), False), ("sin", (100,), False), ("sin", (-100,), False),
    ("cosin", (300,), False), ("cosin", (135,), False), ("cosin", (NAN,), False),
    ("tan", (45,), False),
    ("_tan_rad", (0.5,), True),
    ("arctan", (0.5, 2), False), ("arctan", (2, 2), False), ("arctan", (-2, 2), False),
    ("arctan2", (1, 1), False), ("arctan2", (-1, 1), False), ("arctan2", (-1, -1), False),
    ("arctan2", (0, 1), True), ("arctan2", (0, -1), True),
    ("arcsin", (0.5,), False),
    ("arccos", (0.5,), False),
]


def run(target, name, values, meddling_pi, at):
    """The outcome of `name` in `target` ("module" or "model") with a fault at
    operation `at`, and whether the fault was reached."""
    meddling = Meddling(at, fault)
    pi = meddling.number(PI) if meddling_pi else PI
    constants = types.SimpleNamespace(pi=pi)
    algebra = types.SimpleNamespace(sqrt=meddling.sqrt)
    function = sweep_namespace(target, name, constants, algebra)[name]
    return outcome(function, *map(meddling.number, values)), meddling.reached


def sweep(name, values, meddling_pi):
    """Outcomes of the module and of the model for every fault position, and
    then without a fault."""
    at, outcomes = 1, []
    while True:
        found, reached = run("module", name, values, meddling_pi, at)
        outcomes.append((at, found, run("model", name, values, meddling_pi, at)[0]))
        if not reached:
            return outcomes
        at += 1


def binding_sweep(name):
    """Outcomes of calls whose keyword name faults at each of its comparisons."""
    function = NATIVE[name]
    parameter = function.__code__.co_varnames[0]
    at, outcomes = 1, []
    while True:
        meddling = Meddling(at, fault)
        found = outcome(lambda: function(**{MeddlingKeyword(parameter, meddling): 0.5}))
        if not meddling.reached:
            return outcomes
        outcomes.append(found)
        at += 1


ALLOCATION_FAULTS = """
import json, traceback, types, _testcapi
import geometry.trigonometry as M
# No term of this series is ever small enough: i grows past the ints that the
# interpreter keeps ready, and i += 1 has to allocate.
M.constants = types.SimpleNamespace(pi=1e300)
found = set()
for n in range(1, 20000):
    _testcapi.set_nomemory(n, n + 1)
    try:
        M.sin(30)
    except MemoryError as exc:
        failure = exc
    finally:
        _testcapi.remove_mem_hooks()
    found.add(tuple((f.name, f.lineno) for f in traceback.extract_tb(failure.__traceback__)
                    if f.filename == "quorvel/geometry/trigonometry.py"))
    if (("geometry.trigonometry.sin", 39),) in found:
        break
print(json.dumps(sorted(found)))
"""


def test_every_failure_line_is_produced(restore_globals):
    produced = set()  # (function, line) of every entry of every failure
    for name, values, meddling_pi in SCENARIOS:
        for at, found, expected in sweep(name, values, meddling_pi):
            assert found == expected, (name, values, at)
            if found[0] == "raises":
                produced.update(found[3])
    for name in FAILURE_LINES:
        entry = (f"geometry.trigonometry.{name}", NATIVE[name].__code__.co_firstlineno)
        outcomes = binding_sweep(name)
        assert outcomes and all(o[:2] == ("raises", Fault) and o[3] == [entry] for o in outcomes)
        produced.add(entry)
    for entries in json.loads(run_python(ALLOCATION_FAULTS).stdout):
        produced.update(map(tuple, entries))
    expected = {(f"geometry.trigonometry.{name}", line)
                for name, lines in FAILURE_LINES.items() for line in lines}
    assert not expected - produced, f"no call failed at {sorted(expected - produced)}"
    assert not produced - expected, f"failures at unknown lines {sorted(produced - expected)}"
