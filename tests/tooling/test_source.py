"""The Python source source/quorvel/geometry/trigonometry.py against what the
module publishes, and against the line numbers written into the C++ sources.

Compared for each function:
- the code object: first line, local names in order, argument counts, local
  count, name and the CO_OPTIMIZED | CO_NEWLOCALS flags; the row of the
  function table (def line, argument counts, local names) and the descriptor
  word that the build checks it against;
- `__doc__` with the docstring as written (from the syntax tree, since 3.13's
  compiler dedents docstrings), `__annotations__` with the text of each
  annotation (the module publishes the text, the file evaluates it), and
  `__defaults__` with the default expressions;
- the line table: the module's table is the one in data/pool_entries.py; the
  lines it names are the def line and the line of every statement, the lines
  that CPython's own compile of the file names too; every position in it starts
  at a token of its line, ends within the line, and the first one on a line
  starts where the statement (an `elif`: its test) starts.  The positions are
  not compared with those of CPython's compile: the module's table has one
  entry per operand and operator of an expression, CPython's one per
  instruction, and the two split a line differently.
- the `// N` comments and `failed(N)` calls under src/geometry name statement
  lines, both alike on one line, and a "Lines A to B of f" comment lies in f.
Run as a module, the file gives the module's results bit for bit and fails
where the module fails, at the same lines."""
import ast
import io
import json
import math
import re
import runpy
import sys
import tokenize
import traceback
from decimal import Decimal
from fractions import Fraction
from pathlib import Path

import pytest

from geometry import trigonometry as TRIG
from support import copy_package_tree, module_entries, outcome, run_python, source

ROOT = Path(__file__).resolve().parents[2]
NAMES = source.NAMES
POOL = {entry.name: entry[1]
        for entry in runpy.run_path(str(ROOT / "data" / "pool_entries.py"))["ENTRIES"]}
LINES = source.TEXT.splitlines()
TOKEN_STARTS = {}
for _token in tokenize.generate_tokens(io.StringIO(source.TEXT).readline):
    TOKEN_STARTS.setdefault(_token.start[0], set()).add(_token.start[1])
CO_OPTIMIZED, CO_NEWLOCALS = 1, 2


def test_the_file_defines_the_module_functions_in_order():
    published = [name for name, value in vars(TRIG).items()
                 if type(value) is type(TRIG.sin)]
    assert list(NAMES) == published


def import_line(name):
    """The line of the module-level import that binds `name`."""
    return next(node.lineno for node in source.TREE.body
                if isinstance(node, ast.ImportFrom)
                and any((alias.asname or alias.name) == name for alias in node.names))


# A start-up whose import of `name` fails reports the line of that import.
STARTUP = {
    "constants": ("geometry", "constants.py", "ImportError"),
    "algebra": ("quorvel/algebra", "algebra.py", "ModuleNotFoundError"),
}


@pytest.mark.parametrize("name", STARTUP)
def test_start_up_failures_name_the_import_lines(tmp_path, name):
    folder, file, kind = STARTUP[name]
    tree = copy_package_tree(tmp_path)
    (tree / folder / file).unlink()
    out = run_python("""
        import json, traceback
        try:
            import geometry.trigonometry
        except ImportError as exc:
            print(json.dumps([type(exc).__name__,
                              [(f.name, f.lineno) for f in traceback.extract_tb(exc.__traceback__)
                               if f.filename == "quorvel/geometry/trigonometry.py"]]))
        """, tree).stdout
    assert json.loads(out) == [kind, [["init geometry.trigonometry", import_line(name)]]]


@pytest.mark.parametrize("name", NAMES)
def test_code_object(name):
    native, compiled = getattr(TRIG, name).__code__, source.CODES[name]
    fields = ("co_firstlineno", "co_varnames", "co_argcount", "co_posonlyargcount",
              "co_kwonlyargcount", "co_nlocals", "co_name")
    assert [getattr(native, f) for f in fields] == [getattr(compiled, f) for f in fields]
    mask = CO_OPTIMIZED | CO_NEWLOCALS
    assert native.co_flags & mask == compiled.co_flags & mask == mask


@pytest.mark.parametrize("name", NAMES)
def test_docstring_annotations_and_defaults(name):
    function, node = getattr(TRIG, name), source.FUNCTIONS[name]
    assert function.__doc__ == ast.get_docstring(node, clean=False)
    written = [(arg.arg, ast.get_source_segment(source.TEXT, arg.annotation))
               for arg in node.args.args if arg.annotation is not None]
    if node.returns is not None:
        written.append(("return", ast.get_source_segment(source.TEXT, node.returns)))
    assert list(function.__annotations__.items()) == written
    assert function.__defaults__ == (source.defaults(name) or None)
    assert function.__kwdefaults__ is None


def first_column(name, line):
    """Where the statement that starts on `line` starts: a def at its keyword,
    an `elif` at its test, anything else at its first token."""
    node = source.FUNCTIONS[name]
    if node.lineno == line:
        return node.col_offset
    for child in ast.walk(node):
        if isinstance(child, ast.stmt) and child is not node and child.lineno == line:
            if LINES[line - 1][child.col_offset:].startswith("elif "):
                return child.test.col_offset
            return child.col_offset
    raise AssertionError(f"no statement of {name} starts at line {line}")


@pytest.mark.parametrize("name", NAMES)
def test_line_table(name):
    code = getattr(TRIG, name).__code__
    assert code.co_linetable == bytes.fromhex(POOL[f"LINES_{name.lstrip('_').upper()}"])
    lines = [line for _, _, line in code.co_lines()]
    lines = [line for i, line in enumerate(lines) if i == 0 or lines[i - 1] != line]
    statements = [source.statement_line(name)] + [line for line, _ in source.statements(name)]
    assert lines == sorted(set(statements))
    assert set(lines) == {line for _, _, line in source.CODES[name].co_lines() if line}
    firsts = {}
    for line, end_line, start, end in code.co_positions():
        assert end_line == line and start in TOKEN_STARTS[line], (line, start)
        assert start < end <= len(LINES[line - 1]), (line, start, end)
        firsts.setdefault(line, start)
    assert firsts == {line: first_column(name, line) for line in firsts}


# A row written by position, {POOL_SIN, 6, 1, 1, INT_COUNT, {POOL_ANGLE, ...}, or
# with designators, {.name = POOL_SIN, .def_line = 6, ..., .locals = {...}.
ROW = re.compile(r"\{POOL_(\w+),\s*(\d+),\s*(\d+),\s*(\d+),\s*\w+,\s*\{([^}]*)\}")
DESIGNATED = re.compile(r"\.name\s*=\s*POOL_(\w+),(.*?)(?=\.name\s*=|\Z)", re.S)
FIELDS = ("def_line", "argument_count", "required_count")
DESCRIPTOR = re.compile(r"code_descriptor\(function_rows\[(\w+)\]\)\s*==\s*(\d+)")


def cxx_files():
    files = sorted(p for pattern in ("*.h", "*.cpp")
                   for p in (ROOT / "src" / "geometry").rglob(pattern))
    assert files
    return files


def function_of(index):
    """The source function that a C++ index name (SIN, TAN_RAD, ...) stands for."""
    return next(name for name in NAMES if name.lstrip("_").upper() == index)


def test_function_rows():
    rows = {}
    descriptors = {}
    for path in cxx_files():
        text = path.read_text()
        found = ROW.findall(text)
        for index, fields in DESIGNATED.findall(text):
            numbers = [re.search(rf"\.{field}\s*=\s*(\d+)", fields) for field in FIELDS]
            locals_ = re.search(r"\.locals\s*=\s*\{([^}]*)\}", fields)
            assert all(numbers) and locals_, f"{path}: row {index}"
            found.append((index, *(n[1] for n in numbers), locals_[1]))
        for index, line, count, required, locals_ in found:
            names = tuple(POOL[local.strip().removeprefix("POOL_")]
                          for local in locals_.split(","))
            rows[POOL[index]] = (int(line), int(count), int(required), names)
        descriptors.update((function_of(index), int(word))
                           for index, word in DESCRIPTOR.findall(text))
    expected = {}
    for name in NAMES:
        code, node = source.CODES[name], source.FUNCTIONS[name]
        expected[name] = (code.co_firstlineno, code.co_argcount,
                          code.co_argcount - len(node.args.defaults), code.co_varnames)
    assert rows == expected
    # argument count in bits 0-1, local count in bits 4-6, first line in bits 17-24
    assert {name: (word & 3, word >> 4 & 7, word >> 17 & 255)
            for name, word in descriptors.items()} == {
        name: (code.co_argcount, code.co_nlocals, code.co_firstlineno)
        for name, code in source.CODES.items()}


LINE_COMMENT = re.compile(r"//\s*(\d+)\s*$")
FAILED = re.compile(r"\bfailed\((\d+)\)")
RANGE = re.compile(r"[Ll]ines (\d+) to (\d+) of (\w+)")


def test_line_numbers_in_the_cxx_sources():
    statement_lines = {line for name in NAMES for line, _ in source.statements(name)}
    ranges = {name: range(source.statement_line(name), max(source.statements(name))[0] + 1)
              for name in NAMES}
    seen = 0
    for path in cxx_files():
        for number, text in enumerate(path.read_text().splitlines(), 1):
            where = f"{path.relative_to(ROOT)}:{number}: {text.strip()}"
            named = {int(n) for n in LINE_COMMENT.findall(text) + FAILED.findall(text)}
            assert len(named) <= 1 and named <= statement_lines, where
            seen += len(named)
            for first, last, name in RANGE.findall(text):
                assert {int(first), int(last)} <= statement_lines, where
                assert int(first) in ranges[name] and int(last) in ranges[name], where
    assert seen


FloatSub = type("FloatSub", (float,), {})
ANGLES = [0, 30, 45, 60, 90, 150, 200, 270, 359.5, -30, -150, -210, 10**30, -10**30, 1e-13,
          30.5, -0.0, True, FloatSub(30.5), Fraction(1, 3), math.nan, math.inf, Decimal(30),
          "30"]
RATIOS = [-1, -0.5, 0, 0.25, 0.5, 1, 1.0000000000000002, 2, -3.5, Fraction(1, 2), math.nan]
COORDINATES = [-2, -0.5, 0, 0.0, -0.0, 1, 3.5, math.nan, "1"]
SAMPLE = ([("sin", (a,)) for a in ANGLES] + [("cosin", (a,)) for a in ANGLES]
          + [("tan", (a,)) for a in ANGLES]
          + [("_tan_rad", (r,)) for r in (0.0, 0.5, -1.2, 3.0, 1e-300, 1, math.pi / 2)]
          + [("arctan", (x,)) for x in RATIOS + [10.0, -1e300]]
          + [("arctan", (x, n)) for x in (0.5, 3) for n in (0, 2, -1, 2.5)]
          + [("arctan2", (x, y)) for x in COORDINATES for y in COORDINATES]
          + [("arcsin", (x,)) for x in RATIOS] + [("arccos", (x,)) for x in RATIOS])


def source_entries(exc):
    return [(f"geometry.trigonometry.{frame.name}", frame.lineno)
            for frame in traceback.extract_tb(exc.__traceback__)
            if frame.filename == str(source.PATH)]


def failed(exc):
    """The failure's type alone: the interpreter words some messages of its
    own differently (an unbound local, for one)."""
    return ("raises", type(exc))


def test_run_as_a_module_it_computes_what_the_module_computes():
    loaded = source.load()
    assert source.MODULE_NAME not in sys.modules
    assert sys.modules["geometry.trigonometry"] is TRIG
    assert loaded.constants is TRIG.constants and loaded.algebra is TRIG.algebra
    native = [outcome(getattr(TRIG, name), *args, failure=failed, lines=module_entries)
              for name, args in SAMPLE]
    python = [outcome(getattr(loaded, name), *args, failure=failed, lines=source_entries)
              for name, args in SAMPLE]
    differing = [(call, a, b) for call, a, b in zip(SAMPLE, native, python) if a != b]
    assert not differing
    # the sample reaches both kinds of outcome and more than one failure line
    assert {o[0] for o in native} == {"returns", "raises"}
    assert len({o[2][-1] for o in native if o[0] == "raises"}) > 5
