"""bench/bench.py keeps working: a quick run prints its table, with the floor
columns where the floor kernel is built, and writes every row as JSON.  Only
the shape of its output is checked, never a timing."""
import importlib.util
import json
import math
import subprocess
import sys
from pathlib import Path

BENCH = Path(__file__).resolve().parents[2] / "bench" / "bench.py"
ROWS = ["sin(30)", "sin(30.5)", "sin(10**30)", "cosin(60)", "tan(30)", "_tan_rad(0.5)",
        "arctan(0.5)", "arctan(3)", "arctan2(-1, 2)", "arcsin(0.5)", "arccos(0.25)",
        "sin(FloatSub(30.5))"]


def test_quick_run_reports_every_row(tmp_path):
    written = tmp_path / "rows.json"
    run = subprocess.run([sys.executable, str(BENCH), "--quick", "--json", str(written)],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert run.stderr == ""

    table = [line for line in run.stdout.splitlines() if line.startswith("|")]
    floor = (importlib.util.find_spec("_trigonometry_testing") is not None
             and importlib.util.find_spec("_trigonometry_testing.floor_kernel") is not None)
    floor_header = [" kernel ns ", " × floor "] if floor else []
    assert table[0].split("|")[1:-1] == [
        " call ", " ns per call ", " × math.sin(0.5) ", " speed-up over Python ",
        " spread "] + floor_header
    assert [line.split("|")[1].strip(" `") for line in table[2:]] == ROWS

    rows = json.loads(written.read_text())
    assert [row["row"] for row in rows] == ROWS
    floor_keys = {"kernel_ns", "x_floor"} if floor else set()
    for row in rows:
        assert set(row) == {"row", "ns", "ratio_math", "speedup_python", "spread"} | floor_keys
        if floor:
            # The kernel takes exact ints and floats only: not the subclass row.
            exact = not row["row"].startswith("sin(FloatSub")
            for key in ("kernel_ns", "x_floor"):
                assert (math.isfinite(row[key]) and row[key] > 0) if exact else row[key] is None
        assert all(math.isfinite(row[k]) and row[k] > 0
                   for k in ("ns", "ratio_math", "speedup_python")), row
        assert math.isfinite(row["spread"]) and row["spread"] >= 0, row
