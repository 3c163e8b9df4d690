"""Helpers shared by the test files: exact float comparison, traceback
inspection and fresh interpreters running against a copy of the package."""
import os
import shutil
import struct
import subprocess
import sys
import textwrap
import traceback

import geometry
import quorvel

SOURCE = "quorvel/geometry/trigonometry.py"


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


def outcome(call, *args, describe=exact, lines=None):
    """What a call gives, comparable with ==: ("returns", describe(result)), or
    ("raises", type, message) followed by lines(exception) when given."""
    try:
        result = call(*args)
    except Exception as exc:  # noqa: BLE001 - every failure is compared
        failure = ("raises", type(exc), str(exc))
        return failure + (lines(exc),) if lines else failure
    return ("returns", describe(result))


def tb_entries(exc):
    """(file, function, line) of each traceback entry of an exception, outermost first."""
    return [(f.filename, f.name, f.lineno) for f in traceback.extract_tb(exc.__traceback__)]


def module_entries(exc):
    """The traceback entries that point into the module's source file."""
    return [(name, line) for file, name, line in tb_entries(exc) if file == SOURCE]


def copy_package_tree(destination):
    """Copy the installed `geometry` and `quorvel` packages into `destination`
    and return it, so a test can alter the tree without touching the install."""
    for package in (geometry, quorvel):
        source = os.path.dirname(package.__file__)
        shutil.copytree(source, os.path.join(destination, package.__name__),
                        ignore=shutil.ignore_patterns("__pycache__"))
    return destination


def run_python(code, path=None, check=True):
    """Run `code` in a fresh interpreter of this Python.  With `path`, that
    directory is put first on sys.path.  Returns the completed process."""
    env = dict(os.environ)
    if path is not None:
        env["PYTHONPATH"] = str(path)
    env.pop("PYTHONWARNINGS", None)
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                            capture_output=True, text=True, env=env, timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"subprocess failed:\n{result.stdout}\n{result.stderr}")
    return result
