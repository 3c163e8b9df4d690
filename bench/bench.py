"""Speed of geometry.trigonometry, as ratios measured in one run.

Every row times one call three ways, interleaved block by block: the module's
function, the same call of the module's Python source run by the interpreter
(SOURCE below, which reaches `constants`, `algebra` and its own functions
through module-level names the way the module does), and math.sin(0.5) as the
yardstick, timed afresh for every row so that a shared machine's drift touches
both sides of the ratio alike.  A repeat keeps the best block of each; a row
reports the median of three repeats and the spread of its ratio to math.sin
over them (max - min, relative to the median).  Ratios, not absolute times,
are what carry from one machine to another.

    python bench/bench.py [--quick] [--json PATH]

Where the test-only modules are built (TRIGONOMETRY_TEST_MODULES=ON), two
more columns follow for the rows whose arguments are exact ints and floats:
"kernel ns", the time of the same call in the floor kernel
(_trigonometry_testing.floor_kernel, the eight functions on plain doubles and
64-bit ints in the same order of operations, timed by its own loop in C++),
and "x floor", the module's time over the kernel's plus that of
math.fabs(0.5), the cheapest built-in call that returns a new float: how far
a call stands above the arithmetic and the one allocation it cannot avoid.
Both are timed in the same interleaved blocks as the module's calls.
"""
import argparse
import importlib.util
import json
import math
import platform
import statistics
import struct
import sys
import timeit
from pathlib import Path

from geometry import trigonometry as trig

# The module's Python source, which the module was compiled from: run as a
# module of the `geometry` package beside the compiled one, never in its place.
SOURCE = (Path(__file__).resolve().parent.parent
          / "source" / "quorvel" / "geometry" / "trigonometry.py")


class FloatSub(float):
    """An angle of a float subclass: the module's generic path."""

    def __repr__(self):
        return f"FloatSub({float(self)!r})"


ROWS = [("sin", (30,)), ("sin", (30.5,)), ("sin", (10**30,)), ("cosin", (60,)), ("tan", (30,)),
        ("_tan_rad", (0.5,)), ("arctan", (0.5,)), ("arctan", (3,)), ("arctan2", (-1, 2)),
        ("arcsin", (0.5,)), ("arccos", (0.25,)), ("sin", (FloatSub(30.5),))]
BASELINE = "math.sin(0.5)"
REPEATS = 3
FLOOR_CALL = "math.fabs(0.5)"


def label(name, args):
    shown = ["10**30" if a == 10**30 and type(a) is int else repr(a) for a in args]
    return f"{name}({', '.join(shown)})"


def pure_module():
    """The Python source run as `geometry.pure_trigonometry`, whose relative
    import finds geometry.constants; it is entered in no registry."""
    spec = importlib.util.spec_from_file_location("geometry.pure_trigonometry", SOURCE)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def timer(function, args):
    names = [f"a{i}" for i in range(len(args))]
    return timeit.Timer(f"f({', '.join(names)})", globals={"f": function, **dict(zip(names, args))})


def loops_for(t, seconds):
    """How many calls of timer `t` take about `seconds`."""
    number = 1
    while (elapsed := t.timeit(number)) < min(seconds, 0.005):
        number *= 2
    return max(1, round(number * seconds / elapsed))


def measure(timers, blocks, seconds):
    """Best time per call of each timer over interleaved blocks, per repeat."""
    loops = {kind: loops_for(t, seconds) for kind, t in timers.items()}
    repeats = []
    for _ in range(REPEATS):
        best = dict.fromkeys(timers, math.inf)
        for block in range(blocks):
            kinds = list(timers)
            kinds = kinds[block % len(kinds):] + kinds[:block % len(kinds)]
            for kind in kinds:
                best[kind] = min(best[kind], timers[kind].timeit(loops[kind]) / loops[kind])
        repeats.append(best)
    return repeats


def floor_kernel():
    """The floor kernel, or None when the test-only modules are not built."""
    try:
        from _trigonometry_testing import floor_kernel as kernel
    except ModuleNotFoundError as exc:
        if exc.name not in ("_trigonometry_testing", "_trigonometry_testing.floor_kernel"):
            raise
        return None
    return kernel


class KernelTimer:
    """timeit.Timer's timeit() over the kernel's own loop of `number` calls."""

    def __init__(self, kernel, name, args):
        self.kernel, self.name, self.args = kernel, name, args

    def timeit(self, number):
        return self.kernel.time(self.name, *self.args, n=number) * number * 1e-9


def floor_timers(kernel, name, args):
    """The floor columns' timers of a row: none unless every argument is an
    exact int or float, which is all the kernel takes."""
    if kernel is None or not all(type(a) in (int, float) for a in args):
        return {}
    if bits(kernel.evaluate(name, *args)) != bits(getattr(trig, name)(*args)):
        raise SystemExit(f"{label(name, args)}: the module and the floor kernel disagree")
    return {"fabs": timer(math.fabs, (0.5,)), "kernel": KernelTimer(kernel, name, args)}


def floor_columns(repeats):
    """kernel ns and x floor of a row, each the median over the repeats (of
    the best block in each); None for a row the kernel does not take."""
    if "kernel" not in repeats[0]:
        return {"kernel_ns": None, "x_floor": None}
    return {"kernel_ns": statistics.median(r["kernel"] for r in repeats) * 1e9,
            "x_floor": statistics.median(r["native"] / (r["kernel"] + r["fabs"])
                                         for r in repeats)}


def bits(value):
    return struct.pack("<d", value) if type(value) is float else repr(value)


def row(python, name, args, blocks, seconds, kernel=None, floor=False):
    native, pure = getattr(trig, name), getattr(python, name)
    if bits(native(*args)) != bits(pure(*args)):
        raise SystemExit(f"{label(name, args)}: the module and the Python version disagree")
    timers = {"math": timer(math.sin, (0.5,)), "native": timer(native, args),
              "python": timer(pure, args)}
    if floor:
        timers.update(floor_timers(kernel, name, args))
    repeats = measure(timers, blocks, seconds)
    ratios = [r["native"] / r["math"] for r in repeats]
    ratio = statistics.median(ratios)
    result = {"row": label(name, args),
              "ns": statistics.median(r["native"] for r in repeats) * 1e9,
              "ratio_math": ratio,
              "speedup_python": statistics.median(r["python"] / r["native"] for r in repeats),
              "spread": (max(ratios) - min(ratios)) / ratio}
    if floor:
        result.update(floor_columns(repeats))
    return result


def table(rows, floor=False):
    lines = [f"| call | ns per call | × {BASELINE} | speed-up over Python | spread |",
             "|---|---:|---:|---:|---:|"]
    lines += [f"| `{r['row']}` | {r['ns']:,.0f} | {r['ratio_math']:,.1f} | "
              f"{r['speedup_python']:.2f}× | {r['spread']:.1%} |" for r in rows]
    if floor:
        lines = [line + cells for line, cells in zip(lines, floor_cells(rows))]
    return "\n".join(lines)


def floor_cells(rows):
    """The floor columns' cells of the table's lines, header first."""
    yield " kernel ns | × floor |"
    yield "---:|---:|"
    for r in rows:
        if r["kernel_ns"] is None:
            yield " – | – |"
        else:
            yield f" {r['kernel_ns']:,.0f} | {r['x_floor']:,.2f} |"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="one short block per repeat: a smoke run, not a measurement")
    parser.add_argument("--json", metavar="PATH", help="also write the rows to PATH as JSON")
    options = parser.parse_args(argv)
    blocks, seconds = (1, 0.0005) if options.quick else (7, 0.03)

    kernel = floor_kernel()
    floor = kernel is not None
    python = pure_module()
    rows = [row(python, name, args, blocks, seconds, kernel, floor) for name, args in ROWS]
    print(f"Python {platform.python_version()} on {platform.machine()}; median of {REPEATS} "
          f"repeats, each the best of {blocks} interleaved block(s) of about {seconds * 1e3:g} ms"
          f"{' (quick run)' if options.quick else ''}.\n")
    if floor:
        print(f"kernel ns: the floor kernel's loop, timed in C++; × floor: ns per call / "
              f"(kernel ns + {FLOOR_CALL} ns), both per repeat, the median of the repeats.\n")
    else:
        print("No floor columns: _trigonometry_testing.floor_kernel is built only with "
              "TRIGONOMETRY_TEST_MODULES=ON.\n")
    print(table(rows, floor))
    if options.json:
        with open(options.json, "w") as out:
            json.dump(rows, out, indent=2)
            out.write("\n")


if __name__ == "__main__":
    main(sys.argv[1:])
