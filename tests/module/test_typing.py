"""The type stub against the module (mypy's stubtest), and a user's program
checked with `mypy --strict` against the installed packages."""
import os
import pathlib
import runpy
import site
import subprocess
import sys

import pytest

import geometry

pytest.importorskip("mypy", reason="mypy comes with the test extra: pip install '.[test]'")

USER = pathlib.Path(__file__).with_name("typing_user.py")
# Each line must draw exactly the error named at its end.
MISUSE = """\
from geometry import trigonometry as trig
trig.sin("30")  # arg-type
trig.arctan(0.5, iter=2.5)  # arg-type
trig.arctan2(1)  # call-arg
name: str = trig.arcsin(0.5)  # assignment
trig.constants.pi.upper()  # attr-defined
trig.algebra.cbrt(8.0)  # attr-defined
"""


def mypy(*args, cwd):
    """Run a mypy tool in `cwd`, where it keeps its cache.  An editable install
    keeps the stub in the checkout, where mypy only finds it through MYPYPATH
    (which must not name site-packages)."""
    env = dict(os.environ)
    packages = os.path.dirname(os.path.dirname(geometry.__file__))
    if packages not in site.getsitepackages():
        env["MYPYPATH"] = packages
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          cwd=cwd, env=env, timeout=300)


def test_stub_matches_the_module(tmp_path):
    result = mypy("mypy.stubtest", "geometry.trigonometry", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.startswith("Success: no issues found in 1 module")


def test_user_program_passes_strict_and_misuse_is_caught(tmp_path):
    (tmp_path / "misuse.py").write_text(MISUSE)
    result = mypy("mypy", "--strict", "--no-error-summary", "--cache-dir", str(tmp_path / "cache"),
                  str(USER), "misuse.py", cwd=tmp_path)
    found = sorted((int(line.split(":")[1]), line.rsplit("[", 1)[-1].rstrip("]"))
                   for line in result.stdout.splitlines() if ": error:" in line)
    assert not [line for line in result.stdout.splitlines() if line.startswith(str(USER))]
    expected = [(number, line.rsplit("# ", 1)[1])
                for number, line in enumerate(MISUSE.splitlines(), 1) if "# " in line]
    assert found == expected, result.stdout


def test_user_program_runs():
    results = runpy.run_path(str(USER))["main"]()
    assert all(type(value) is float for value in results) and len(results) == 14
