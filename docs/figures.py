"""Draws the README's pictures (needs the docs extra: pip install '.[docs]').

    python docs/figures.py accuracy [docs/accuracy.png]
        the error in ulps of each function against math over its domain,
        from the measurements of docs/accuracy.py;
    python docs/figures.py speed BENCH.json [docs/speed.png]
        the benchmark's ratios as bars, from the file that
        `python bench/bench.py --json BENCH.json` writes: a list of rows
        {"row", "ns", "ratio_math", "speedup_python", "spread"}, and
        "kernel_ns", "x_floor" where the floor kernel was built (a third
        panel).
"""
import json
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 - after the backend is chosen

import accuracy  # noqa: E402

DOCS = pathlib.Path(__file__).resolve().parent
ROW_KEYS = {"row", "ns", "ratio_math", "speedup_python", "spread"}
X_LABEL = {"sin": "angle (degrees)", "cosin": "angle (degrees)", "tan": "angle (degrees)",
           "_tan_rad": "angle (radians)", "arctan": "x", "arctan2": "angle a of (cos a, sin a)",
           "arcsin": "x", "arccos": "x"}


def load_rows(path):
    """The benchmark rows of a JSON file, checked for the fields the chart uses."""
    rows = json.loads(pathlib.Path(path).read_text(encoding="utf-8"))
    if not isinstance(rows, list) or not rows:
        raise ValueError(f"{path}: expected a non-empty JSON list of rows")
    for row in rows:
        missing = ROW_KEYS - set(row) if isinstance(row, dict) else ROW_KEYS
        if missing:
            raise ValueError(f"{path}: row {row!r} lacks {', '.join(sorted(missing))}")
    return rows


def draw_accuracy(out):
    found = accuracy.measure()
    figure, axes = plt.subplots(4, 2, figsize=(11, 12), layout="constrained")
    for axis, (name, (grid, _, errors, _)) in zip(axes.flat, found.items()):
        axis.plot(grid, errors, ".", markersize=1.5, color="tab:blue")
        axis.set_yscale("symlog", linthresh=1)
        axis.set_ylim(bottom=0)
        axis.grid(True, which="major", alpha=0.3)
        axis.set_title(f"{name}  vs  {accuracy.REFERENCE[name]}", fontsize=10)
        axis.set_xlabel(X_LABEL[name], fontsize=9)
        axis.set_ylabel("error (ulps)", fontsize=9)
    figure.suptitle("geometry.trigonometry: error against math, in units in the last place")
    figure.savefig(out, dpi=90)


def draw_speed(rows, out):
    names = [row["row"] for row in rows]
    floors = [row.get("x_floor") for row in rows]
    panels = 3 if any(floors) else 2
    figure, axes = plt.subplots(1, panels, figsize=(5.5 * panels, 0.45 * len(rows) + 1.8),
                                sharey=True, layout="constrained")
    slow, fast = axes[0], axes[1]
    ratios = [row["ratio_math"] for row in rows]
    speedups = [row["speedup_python"] for row in rows]
    slow.barh(names, ratios, color="tab:orange")
    slow.set_xscale("log")  # the inverse functions are a hundred times slower than sin
    slow.set_xlim(1, max(ratios) * 8)
    slow.set_xlabel("time per call ÷ time of math.sin(0.5), log scale  (lower is better)")
    fast.barh(names, speedups, color="tab:green")
    fast.axvline(1, color="black", linewidth=0.8)
    fast.set_xlim(0, max(max(speedups), 1) * 1.35)
    fast.set_xlabel("speed-up over the pure-Python version  (higher is better)")
    slow.invert_yaxis()
    for axis, values in ((slow, ratios), (fast, speedups)):
        axis.grid(True, axis="x", which="major", alpha=0.3)
        for y, (value, row) in enumerate(zip(values, rows)):
            shown = f"{value:,.0f}" if value >= 100 else f"{value:.3g}"
            axis.annotate(f"{shown}×, spread {row['spread']:.0%}", (value, y), xytext=(4, -3),
                          textcoords="offset points", fontsize=8)
    if panels == 3:
        floor = axes[2]
        floor.barh(names, [value or 0 for value in floors], color="tab:blue")
        floor.axvline(1, color="black", linewidth=0.8)
        floor.set_xlim(0, max(value or 0 for value in floors) * 1.3)
        floor.set_xlabel("time per call ÷ (kernel + math.fabs(0.5))  (lower is better)")
        floor.grid(True, axis="x", which="major", alpha=0.3)
        for y, value in enumerate(floors):
            floor.annotate(f"{value:.2f}×" if value else "not taken by the kernel",
                           (value or 0, y), xytext=(4, -3), textcoords="offset points",
                           fontsize=8)
    figure.suptitle("geometry.trigonometry: benchmark ratios, measured in one run "
                    "(spread: the relative spread of the repeats)")
    figure.savefig(out, dpi=90)


def main(argv):
    if argv[1:2] == ["accuracy"] and len(argv) <= 3:
        draw_accuracy(argv[2] if len(argv) == 3 else DOCS / "accuracy.png")
    elif argv[1:2] == ["speed"] and len(argv) in (3, 4):
        draw_speed(load_rows(argv[2]), argv[3] if len(argv) == 4 else DOCS / "speed.png")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
