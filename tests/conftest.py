import importlib

import pytest


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
