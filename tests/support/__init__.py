"""Helpers shared by the test files: exact comparison and the outcome of a
call, traceback inspection, the test-only extension modules, and fresh
interpreters running against a copy of the package.  The modules beside this
one hold the rest: `source` (the module's Python source), `model` (the
pure-Python model of the bodies), `meddling` (numbers that act in the middle
of a call) and `machine` (the machine-path comparisons)."""
import os
import shutil
import struct
import subprocess
import sys
import textwrap
import traceback

import importlib

import pytest

import geometry
import quorvel

SOURCE = "quorvel/geometry/trigonometry.py"
TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTING = "_trigonometry_testing"


def probe_module(name):
    """The test-only extension module `_trigonometry_testing.<name>`.  A build
    without them skips the whole calling test file, saying how to get them."""
    try:
        return importlib.import_module(f"{TESTING}.{name}")
    except ModuleNotFoundError as exc:
        if exc.name not in (TESTING, f"{TESTING}.{name}"):
            raise
        pytest.skip(f"{TESTING}.{name} is built only when the package is installed with "
                    f"TRIGONOMETRY_TEST_MODULES=ON (TRIGONOMETRY_TEST_MODULES=ON pip install "
                    f"'.[test]')", allow_module_level=True)


def bits(value):
    """The exact bits of a float, so that 0.0 and -0.0 differ and NaN equals NaN."""
    return struct.pack("<d", value)


def same_float(a, b):
    return type(a) is float and type(b) is float and bits(a) == bits(b)


def exact(value):
    """Type and exact contents: floats by their bits, so -0.0 differs from 0.0
    and NaN equals NaN."""
    if type(value) is float:
        return (float, bits(value))
    if type(value) is complex:
        return (complex, bits(value.real), bits(value.imag))
    return (type(value), repr(value))


def exact_through(wrapper):
    """`exact`, for values that may come wrapped in `wrapper` (a class that
    keeps the wrapped value as .value), the wrapping shown by its name."""
    def describe(value):
        if isinstance(value, wrapper):
            return (wrapper.__name__, describe(value.value))
        return exact(value)
    return describe


def raised(exc):
    """A failure by its type and message."""
    return ("raises", type(exc), str(exc))


def outcome(call, *args, kwargs=None, describe=exact, failure=raised, lines=None):
    """What a call gives, comparable with ==: ("returns", describe(result)), or
    failure(exception), by default ("raises", type, message), followed by
    lines(exception) when given."""
    try:
        result = call(*args, **(kwargs or {}))
    except Exception as exc:  # noqa: BLE001 - every failure is compared
        found = tuple(failure(exc))
        return found + (lines(exc),) if lines else found
    return ("returns", describe(result))


def tb_entries(exc):
    """(file, function, line) of each traceback entry of an exception, outermost first."""
    return [(f.filename, f.name, f.lineno) for f in traceback.extract_tb(exc.__traceback__)]


def module_entries(exc):
    """The traceback entries that point into the module's source file."""
    return [(name, line) for file, name, line in tb_entries(exc) if file == SOURCE]


def copy_package_tree(destination):
    """Copy the installed `geometry` and `quorvel` packages into `destination`
    and return it, so a test can alter the tree without touching the install.

    Every directory of each package's `__path__` is merged into the copy: an
    editable install splits `geometry` between the checkout (its Python
    files) and site-packages (the built extension)."""
    for package in (geometry, quorvel):
        target = os.path.join(destination, package.__name__)
        for source in reversed(list(package.__path__)):  # the first entry wins
            shutil.copytree(source, target, dirs_exist_ok=True,
                            ignore=shutil.ignore_patterns("__pycache__"))
    return destination


# Run before the code of a child that was given a package tree: refuse to go
# on unless both packages come from that tree, so that a test which alters the
# tree can never reach the install or the checkout.
FROM_TREE = """\
import os as _os, sys as _sys
import geometry as _g, quorvel as _q
for _m in (_g, _q):
    if not _os.path.abspath(_m.__file__).startswith(_os.path.abspath({path!r}) + _os.sep):
        _sys.exit(f"{{_m.__name__}} imported from {{_m.__file__}}, not from {path}")
del _os, _sys, _g, _q, _m
"""


def with_tests_importable(code):
    """`code` preceded by putting the tests' folder on sys.path, so that a
    fresh interpreter can import the support package and the model."""
    return f"import sys\nsys.path.insert(0, {TESTS!r})\n" + textwrap.dedent(code)


def run_python(code, path=None, check=True):
    """Run `code` in a fresh interpreter of this Python.  Returns the
    completed process.

    With `path`, a package tree made by `copy_package_tree`, the child runs in
    that directory and imports `geometry` and `quorvel` from it alone: `-S`
    keeps site-packages and the import hooks that `.pth` files install (the
    finder of an editable install) out of the child, `-P` keeps the current
    directory off `sys.path`, and the code runs only after both packages were
    found inside `path`."""
    env = dict(os.environ)
    env.pop("PYTHONWARNINGS", None)
    command, cwd = [sys.executable], None
    code = textwrap.dedent(code)
    if path is not None:
        env["PYTHONPATH"] = str(path)
        command += ["-S", "-P"]
        cwd = str(path)
        code = FROM_TREE.format(path=str(path)) + code
    result = subprocess.run([*command, "-c", code], capture_output=True, text=True,
                            env=env, cwd=cwd, timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"subprocess failed:\n{result.stdout}\n{result.stderr}")
    return result
