"""Measures each function against the `math` module over a dense grid of its
domain and writes the largest errors into README.md.  Run from the
repository root, with the package installed:

    python docs/accuracy.py             # rewrite the figures in README.md
    python docs/accuracy.py --check     # exit 1 if README.md is out of date

The error of a result is |result - reference| in units in the last place of
the reference (math.ulp).  The degree functions are compared with math's
function of the angle first reduced exactly, by remainder and reflection, to
where the conversion to radians is accurate: without that, math's own value
at a multiple of 180 degrees is not 0 but about 1.2e-16, and its error, not
the module's, would dominate.  docs/figures.py draws the same measurements.
"""
import math
import sys

from geometry import trigonometry as trig

import readme_blocks


def reduced_sin(degrees):
    r = math.remainder(degrees, 360)            # exact, in [-180, 180]
    r = 180 - r if r > 90 else -180 - r if r < -90 else r   # exact, in [-90, 90]
    return math.sin(math.radians(r))


def reduced_cos(degrees):
    r = abs(math.remainder(degrees, 360))       # exact, in [0, 180]
    # 90 - r is exact for r >= 45; below that the cosine is far from zero
    return math.cos(math.radians(r)) if r < 45 else math.sin(math.radians(90 - r))


def reduced_tan(degrees):
    return math.tan(math.radians(math.remainder(degrees, 180)))   # exact, in [-90, 90]


DEGREES = [k / 20 for k in range(-7200, 7201)]            # -360 to 360 by 0.05
POLES = (90.0, -90.0)
CIRCLE = [-math.pi + 2 * math.pi * k / 2000 for k in range(2000)]

# name: (function, reference, grid, the grid in words)
CASES = {
    "sin": (trig.sin, reduced_sin, DEGREES, "-360° to 360° by 0.05°"),
    "cosin": (trig.cosin, reduced_cos, DEGREES, "-360° to 360° by 0.05°"),
    "tan": (trig.tan, reduced_tan,
            [d for d in DEGREES if math.remainder(d, 180) not in POLES],
            "-360° to 360° by 0.05°, without ±90° and ±270°"),
    "_tan_rad": (trig._tan_rad, math.tan, [k / 2000 for k in range(-3140, 3141)],
                 "-1.57 to 1.57 by 0.0005"),
    "arctan": (trig.arctan, math.atan, [k / 200 for k in range(-2000, 2001)],
               "-10 to 10 by 0.005"),
    "arctan2": (lambda a: trig.arctan2(math.cos(a), math.sin(a)),
                lambda a: math.atan2(math.sin(a), math.cos(a)), CIRCLE,
                "(cos a, sin a) for 2000 angles a from -π by 2π/2000"),
    "arcsin": (trig.arcsin, math.acos, [k / 2000 for k in range(-2000, 2001)],
               "-1 to 1 by 0.0005"),
    "arccos": (trig.arccos, math.asin, [k / 2000 for k in range(-2000, 2001)],
               "-1 to 1 by 0.0005"),
}
REFERENCE = {
    "sin": "math.sin(math.radians(d))", "cosin": "math.cos(math.radians(d))",
    "tan": "math.tan(math.radians(d))", "_tan_rad": "math.tan(r)", "arctan": "math.atan(x)",
    "arctan2": "math.atan2(y, x)", "arcsin": "math.acos(x)", "arccos": "math.asin(x)",
}


def ulps(result, reference):
    return 0.0 if result == reference else abs(result - reference) / math.ulp(reference)


def measure():
    """{name: (grid, reference values, errors in ulps, absolute errors)}."""
    found = {}
    for name, (function, reference, grid, _) in CASES.items():
        results = [function(v) for v in grid]
        references = [reference(v) for v in grid]
        found[name] = (grid, references,
                       [ulps(got, want) for got, want in zip(results, references)],
                       [abs(got - want) for got, want in zip(results, references)])
    return found


def where(name, value):
    if name == "arctan2":
        return f"`arctan2({math.cos(value):.6g}, {math.sin(value):.6g})`"
    return f"`{name}({value!r})`"


def figures(found=None):
    """The README's table of the largest errors."""
    found = measure() if found is None else found
    lines = ["| function | compared with | inputs | largest error (ulps) | at "
             "| largest absolute error |", "|---|---|---|---:|---|---:|"]
    for name, (grid, _, errors, absolute) in found.items():
        worst = max(range(len(grid)), key=errors.__getitem__)
        lines.append(f"| `{name}` | `{REFERENCE[name]}` | {CASES[name][3]} "
                     f"| {errors[worst]:,.0f} | {where(name, grid[worst])} "
                     f"| {max(absolute):.2g} |")
    return "\n".join(lines) + "\n"


def main(argv):
    new = figures()
    if argv[1:] == ["--check"]:
        stale = readme_blocks.read_block("accuracy") != new
        if stale:
            print("README.md's accuracy figures are out of date: run docs/accuracy.py")
        return int(stale)
    readme_blocks.write_blocks({"accuracy": new})
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
