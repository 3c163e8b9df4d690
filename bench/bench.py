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


def bits(value):
    return struct.pack("<d", value) if type(value) is float else repr(value)


def row(python, name, args, blocks, seconds):
    native, pure = getattr(trig, name), getattr(python, name)
    if bits(native(*args)) != bits(pure(*args)):
        raise SystemExit(f"{label(name, args)}: the module and the Python version disagree")
    repeats = measure({"math": timer(math.sin, (0.5,)), "native": timer(native, args),
                       "python": timer(pure, args)}, blocks, seconds)
    ratios = [r["native"] / r["math"] for r in repeats]
    ratio = statistics.median(ratios)
    return {"row": label(name, args),
            "ns": statistics.median(r["native"] for r in repeats) * 1e9,
            "ratio_math": ratio,
            "speedup_python": statistics.median(r["python"] / r["native"] for r in repeats),
            "spread": (max(ratios) - min(ratios)) / ratio}


def table(rows):
    lines = [f"| call | ns per call | × {BASELINE} | speed-up over Python | spread |",
             "|---|---:|---:|---:|---:|"]
    lines += [f"| `{r['row']}` | {r['ns']:,.0f} | {r['ratio_math']:,.1f} | "
              f"{r['speedup_python']:.2f}× | {r['spread']:.1%} |" for r in rows]
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="one short block per repeat: a smoke run, not a measurement")
    parser.add_argument("--json", metavar="PATH", help="also write the rows to PATH as JSON")
    options = parser.parse_args(argv)
    blocks, seconds = (1, 0.0005) if options.quick else (7, 0.03)

    python = pure_module()
    rows = [row(python, name, args, blocks, seconds) for name, args in ROWS]
    print(f"Python {platform.python_version()} on {platform.machine()}; median of {REPEATS} "
          f"repeats, each the best of {blocks} interleaved block(s) of about {seconds * 1e3:g} ms"
          f"{' (quick run)' if options.quick else ''}.\n")
    print(table(rows))
    if options.json:
        with open(options.json, "w") as out:
            json.dump(rows, out, indent=2)
            out.write("\n")


if __name__ == "__main__":
    main(sys.argv[1:])
