"""Draws the README's pictures (needs the docs extra: pip install '.[docs]').

    python docs/figures.py accuracy [docs/accuracy.png]
        the error in ulps of each function against math over its domain,
        from the measurements of docs/accuracy.py;
    python docs/figures.py speed [LABEL=]BENCH.json ... [docs/speed.png]
        the benchmark's ratios as bars, from the files that
        `python bench/bench.py --json BENCH.json` writes, one run each (say
        one per interpreter), side by side: a list of rows
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


def run_of(argument):
    """A run named on the command line as FILE.json or LABEL=FILE.json: its
    label (the file's stem by default) and its rows."""
    label, _, path = argument.rpartition("=")
    return label or pathlib.Path(path).stem, load_rows(path)


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


def draw_speed(runs, out):
    """`runs`: (label, rows) pairs, one per benchmark run, drawn side by side
    in each panel; every run has the same rows."""
    names = [row["row"] for row in runs[0][1]]
    with_floor = any(row.get("x_floor") for _, rows in runs for row in rows)
    panels = 3 if with_floor else 2
    figure, axes = plt.subplots(1, panels,
                                figsize=(5.5 * panels, 0.45 * len(names) * len(runs) + 1.8),
                                sharey=True, layout="constrained")
    height = 0.8 / len(runs)
    colors = ["tab:orange", "tab:blue", "tab:green", "tab:red"]
    panel_values = [
        (axes[0], "ratio_math",
         "time per call ÷ time of math.sin(0.5), log scale  (lower is better)"),
        (axes[1], "speedup_python", "speed-up over the pure-Python version  (higher is better)"),
    ]
    if with_floor:
        panel_values.append(
            (axes[2], "x_floor", "time per call ÷ (kernel + math.fabs(0.5))  (lower is better)"))
    for axis, key, label in panel_values:
        largest = 1.0
        for k, (run_label, rows) in enumerate(runs):
            values = [row.get(key) or 0 for row in rows]
            largest = max(largest, *values)
            ys = [y + (k - (len(runs) - 1) / 2) * height for y in range(len(names))]
            axis.barh(ys, values, height=height, color=colors[k % len(colors)], label=run_label)
            for y, value, row in zip(ys, values, rows):
                if key == "x_floor":
                    shown = f"{value:.2f}×" if value else "not taken by the kernel"
                else:
                    number = f"{value:,.0f}" if value >= 100 else f"{value:.3g}"
                    shown = f"{number}×, spread {row['spread']:.0%}"
                axis.annotate(shown, (value, y), xytext=(4, -3), textcoords="offset points",
                              fontsize=7)
        if key == "ratio_math":
            axis.set_xscale("log")  # the inverse functions are a hundred times slower than sin
            axis.set_xlim(1, largest * 8)
        else:
            axis.axvline(1, color="black", linewidth=0.8)
            axis.set_xlim(0, largest * 1.35)
        axis.set_xlabel(label)
        axis.grid(True, axis="x", which="major", alpha=0.3)
    axes[0].set_yticks(range(len(names)), names)
    axes[0].invert_yaxis()
    if len(runs) > 1:
        axes[0].legend(loc="upper right", fontsize=8)
    figure.suptitle("geometry.trigonometry: benchmark ratios, each run measured in one process "
                    "(spread: the relative spread of the repeats)")
    figure.savefig(out, dpi=90)


def main(argv):
    if argv[1:2] == ["accuracy"] and len(argv) <= 3:
        draw_accuracy(argv[2] if len(argv) == 3 else DOCS / "accuracy.png")
    elif argv[1:2] == ["speed"] and len(argv) >= 3:
        inputs = [arg for arg in argv[2:] if not arg.endswith(".png")]
        outputs = [arg for arg in argv[2:] if arg.endswith(".png")]
        if not inputs or len(outputs) > 1:
            print(__doc__, file=sys.stderr)
            return 2
        runs = [run_of(arg) for arg in inputs]
        if len({tuple(row["row"] for row in rows) for _, rows in runs}) != 1:
            raise ValueError("the runs have different rows")
        draw_speed(runs, outputs[0] if outputs else DOCS / "speed.png")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
