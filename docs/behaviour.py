"""Writes the generated parts of the README's Behaviour section: the docstrings
that help() shows for the inverse functions, and the table of what each kind
of input gives.  Run from the repository root, with the package installed:

    python docs/behaviour.py            # rewrite the blocks in README.md
    python docs/behaviour.py --check    # exit 1 if README.md is out of date

The tests compare README.md with `blocks()`.  numpy is needed for its rows
(it comes with the test extra).
"""
import inspect
import math
import sys
from decimal import Decimal
from fractions import Fraction

import numpy as np

from geometry import trigonometry as trig

import readme_blocks

DOCUMENTED = ("arcsin", "arccos", "arctan2")

# (how the row is labelled, the argument v).  A non-finite v also shows the
# value of each result, since that is where the surprises are.
INPUTS = [
    ("`1` (int)", 1),
    ("`0.5` (float)", 0.5),
    ("`True` (bool)", True),
    ("`Fraction(1, 2)`", Fraction(1, 2)),
    ("`Decimal('0.5')`", Decimal("0.5")),
    ("`0.5+0j` (complex)", 0.5 + 0j),
    ("`'0.5'` (str)", "0.5"),
    ("`None`", None),
    ("`nan`", math.nan),
    ("`inf`", math.inf),
    ("`-inf`", -math.inf),
    ("`10**400` (int)", 10**400),
    ("`np.float64(0.5)`", np.float64(0.5)),
    ("`np.float32(0.5)`", np.float32(0.5)),
    ("`np.int64(1)`", np.int64(1)),
    ("`np.array([0.5, 0.25])`", np.array([0.5, 0.25])),
]

CALLS = [
    ("sin(v)", lambda v: trig.sin(v)),
    ("cosin(v)", lambda v: trig.cosin(v)),
    ("tan(v)", lambda v: trig.tan(v)),
    ("_tan_rad(v)", lambda v: trig._tan_rad(v)),
    ("arctan(v)", lambda v: trig.arctan(v)),
    ("arctan2(v, 1)", lambda v: trig.arctan2(v, 1)),
    ("arctan2(1, v)", lambda v: trig.arctan2(1, v)),
    ("arcsin(v)", lambda v: trig.arcsin(v)),
    ("arccos(v)", lambda v: trig.arccos(v)),
]


def type_name(value):
    kind = type(value)
    return kind.__qualname__ if kind.__module__ == "builtins" else (
        f"{kind.__module__}.{kind.__qualname__}")


def docstrings():
    """What help() shows for the functions whose docstrings mislead."""
    parts = []
    for name in DOCUMENTED:
        function = getattr(trig, name)
        text = "\n".join(f"    {line}".rstrip() for line in inspect.getdoc(function).splitlines())
        parts.append(f"```text\n{name}{inspect.signature(function)}\n{text}\n```\n")
    return "\n".join(parts)


def input_table():
    messages = []  # "Type: message" of each distinct failure, numbered in order

    def cell(call, value):
        try:
            result = call(value)
        except Exception as exc:  # noqa: BLE001 - the failure is what the cell shows
            message = f"{type(exc).__name__}: {exc}"
            if message not in messages:
                messages.append(message)
            return f"{type(exc).__name__} [{messages.index(message) + 1}]"
        finite = not isinstance(value, float) or math.isfinite(value)
        return f"`{type_name(result)}`" if finite else f"`{type_name(result)}` {result!r}"

    lines = ["| v | " + " | ".join(f"`{label}`" for label, _ in CALLS) + " |",
             "|---" * (len(CALLS) + 1) + "|"]
    for label, value in INPUTS:
        lines.append(f"| {label} | " + " | ".join(cell(call, value) for _, call in CALLS) + " |")
    lines.append("")
    lines += [f"- [{number}] `{message}`" for number, message in enumerate(messages, 1)]
    return "\n".join(lines) + "\n"


def blocks():
    return {"docstrings": docstrings(), "input-table": input_table()}


def main(argv):
    new = blocks()
    if argv[1:] == ["--check"]:
        stale = [name for name, text in new.items() if readme_blocks.read_block(name) != text]
        if stale:
            print(f"README.md is out of date in {', '.join(stale)}: run docs/behaviour.py")
        return 1 if stale else 0
    readme_blocks.write_blocks(new)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
