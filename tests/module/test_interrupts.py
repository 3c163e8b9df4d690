"""Ctrl-C ends the module's long loops: arctan's Newton passes and a sine
series that never converges, each failing at its loop's line with the usual
traceback entries.  The loops run in a child interpreter that the test
interrupts with SIGINT."""
import json
import signal
import subprocess
import sys
import time

import pytest

CHILD = """
import json, sys, time, traceback, types
import geometry.trigonometry as M
{setup}
print("running", flush=True)
try:
    {call}
except KeyboardInterrupt as exc:
    caught = time.monotonic()
    entries = [[f.name, f.lineno] for f in traceback.extract_tb(exc.__traceback__)
               if f.filename == "quorvel/geometry/trigonometry.py"]
    print(json.dumps([caught, entries]), flush=True)
"""


def interrupted(setup, call):
    """Starts `call` in a child, sends SIGINT once it runs, and returns the
    seconds from the signal to the KeyboardInterrupt, and its module entries."""
    child = subprocess.Popen([sys.executable, "-c", CHILD.format(setup=setup, call=call)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "running\n", child.stderr.read()
        time.sleep(0.3)  # well inside the loop
        assert child.poll() is None, "the loop ended by itself"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    finally:
        child.kill()
        child.wait()
    assert out, f"no KeyboardInterrupt:\n{err}"
    caught, entries = json.loads(out)
    return caught - sent, [tuple(entry) for entry in entries]


@pytest.mark.parametrize("setup, call, entries", [
    ("", "M.arctan(0.5, 10**8)", [("arctan", 103)]),
    # Folded, the interrupted loop is the inner call's.
    ("", "M.arctan(2, 10**8)", [("arctan", 98), ("arctan", 103)]),
    # With pi this large no term is ever small enough: the series runs forever.
    ("M.constants = types.SimpleNamespace(pi=1e300)", "M.sin(30)", [("sin", 37)]),
    ("M.constants = types.SimpleNamespace(pi=1e300)", "M.cosin(30)",
     [("cosin", 59), ("sin", 37)]),
])
def test_sigint_ends_the_loop(setup, call, entries):
    delay, found = interrupted(setup, call)
    assert found == [(f"geometry.trigonometry.{name}", line) for name, line in entries]
    assert delay < 1.0
