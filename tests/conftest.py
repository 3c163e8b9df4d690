"""Fixtures and settings of every test.  tests/ has no __init__.py, so pytest
puts this folder on sys.path when it loads this file: the test files in the
folders below import the support package (tests/support) by its plain name,
and fresh interpreters get the same path from support.with_tests_importable.
The package under test is the installed one, never the checkout's python/."""
import atexit
import importlib
import os
import shutil
import tempfile

import pytest
from hypothesis import settings
from hypothesis.configuration import set_hypothesis_home_dir

# Hypothesis keeps no example database, and its caches go to a temporary
# directory rather than the checkout.
settings.register_profile("no-database", database=None)
settings.load_profile("no-database")
_hypothesis_home = tempfile.mkdtemp(prefix="trigonometry-hypothesis-")
set_hypothesis_home_dir(_hypothesis_home)
atexit.register(shutil.rmtree, _hypothesis_home, True)


@pytest.fixture
def trig():
    return importlib.import_module("geometry.trigonometry")


@pytest.fixture
def restore_globals(trig):
    """Undo any rebinding of module attributes that a test makes."""
    saved = dict(trig.__dict__)
    yield trig.__dict__
    trig.__dict__.clear()
    trig.__dict__.update(saved)


# CI sets TRIGONOMETRY_REQUIRE_TEST_MODULES=1: there a skipped test, such as a
# file whose test-only extension modules were not built, fails the run.
REQUIRE_ALL = os.environ.get("TRIGONOMETRY_REQUIRE_TEST_MODULES") == "1"
skipped = []


def pytest_runtest_logreport(report):
    if report.skipped:
        skipped.append(report.nodeid)


def pytest_collectreport(report):
    if report.skipped:
        skipped.append(report.nodeid)


def pytest_sessionfinish(session, exitstatus):
    if REQUIRE_ALL and skipped and exitstatus == pytest.ExitCode.OK:
        session.exitstatus = pytest.ExitCode.TESTS_FAILED


def pytest_terminal_summary(terminalreporter):
    if REQUIRE_ALL and skipped:
        terminalreporter.write_line(
            f"TRIGONOMETRY_REQUIRE_TEST_MODULES=1: {len(skipped)} skipped, which fails the run",
            red=True)
