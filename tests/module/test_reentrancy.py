"""Re-entrancy: Python code that runs in the middle of a body, from a dunder of
an argument, of pi or of sqrt's result, and changes what the body relies on.
At each protocol operation in turn, a Meddler rebinds or deletes a module-level
name, replaces constants.pi (dropping the last reference to the old value) or
collects garbage; the outcome must be the model's under the same meddling.
(Raising at each operation is the sweep of test_failure_lines.)  Each function
is swept in a fresh interpreter, so that a crash fails its test."""
import json

import pytest

from support import with_tests_importable, run_python


SWEEP = """
import gc, json, math, types
import geometry.trigonometry as TRIG
from support.meddling import NATIVE, Meddling, outcome, sweep_namespace

PI = TRIG.constants.pi
Pi = type("Pi", (float,), {})  # freed when its last reference goes, unlike a float
REPLACEMENTS = {
    "constants": types.SimpleNamespace(pi=3), "algebra": types.SimpleNamespace(sqrt=math.sqrt),
    "sin": lambda angle: 0.5, "cosin": lambda angle: 0.75, "_tan_rad": lambda rad: 0.375,
    "arctan": lambda x, iter=20: 0.125, "arctan2": lambda x, y: 0.625, "arcsin": lambda x: 0.875,
}


def actions(names):
    for name in names:
        yield f"rebind {name}", lambda namespace, name=name: namespace.update(
            {name: REPLACEMENTS[name]})
        yield f"delete {name}", lambda namespace, name=name: namespace.pop(name)
    yield "replace pi", lambda namespace: setattr(namespace["constants"], "pi", Pi(3.0))
    yield "collect", lambda namespace: gc.collect()


def run(target, act, at):
    meddling = Meddling(at, lambda meddling, what: act(namespace))
    constants = types.SimpleNamespace(pi=Pi(PI))
    algebra = types.SimpleNamespace(sqrt=meddling.sqrt)
    namespace = sweep_namespace(target, NAME, constants, algebra)
    if MEDDLING_PI:
        constants.pi = meddling.number(constants.pi)
    function = namespace[NAME]
    del constants, algebra  # the namespace holds the only references
    return outcome(function, *map(meddling.number, ARGS)), meddling.reached


runs, mismatches = 0, []
for label, act in actions(NAMES):
    at = 1
    while True:
        found, reached = run("module", act, at)
        expected = run("model", act, at)[0]
        runs += 1
        if found != expected:
            mismatches.append([label, at, repr(found), repr(expected)])
        if not reached:
            break
        at += 1
vars(TRIG).update(NATIVE)
print(json.dumps([runs, mismatches[:5]]))
"""

# (function, arguments, whether pi meddles, the module-level names it reaches)
SCENARIOS = [
    ("sin", (200,), False, ["constants"]),
    ("cosin", (135,), False, ["constants", "algebra", "sin"]),
    # Angles so small that the series makes one pass: the loop has had its
    # sweep above, and every call of sin and cosin still meddles.
    ("tan", (1e-13,), False, ["constants", "algebra", "sin", "cosin"]),
    ("_tan_rad", (1e-15,), True, ["constants", "algebra", "sin", "cosin"]),
    ("arctan", (2, 2), False, ["constants", "algebra", "sin", "cosin", "_tan_rad", "arctan"]),
    ("arctan2", (-1, -1), False,
     ["constants", "algebra", "sin", "cosin", "_tan_rad", "arctan"]),
    ("arcsin", (0.5,), False,
     ["constants", "algebra", "sin", "cosin", "_tan_rad", "arctan", "arctan2"]),
    ("arccos", (0.5,), False,
     ["constants", "algebra", "sin", "cosin", "_tan_rad", "arctan", "arctan2", "arcsin"]),
]


@pytest.mark.parametrize("name, args, meddling_pi, names", SCENARIOS,
                         ids=[scenario[0] for scenario in SCENARIOS])
def test_meddling_at_every_operation_matches_the_model(name, args, meddling_pi, names):
    setup = f"NAME, ARGS, MEDDLING_PI, NAMES = {name!r}, {args!r}, {meddling_pi!r}, {names!r}\n"
    runs, mismatches = json.loads(run_python(with_tests_importable(setup + SWEEP)).stdout)
    assert mismatches == [] and runs > 2 * len(names) + 2
