"""The README against the module: its examples run as doctests, and the blocks
that the scripts under docs/ generate (docstrings, what each kind of input
gives, the accuracy figures) are what those scripts make now."""
import doctest
import importlib
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
README = ROOT / "README.md"


@pytest.fixture
def docs(monkeypatch):
    """Import a script of docs/ as a module."""
    monkeypatch.syspath_prepend(str(ROOT / "docs"))
    return importlib.import_module


def test_readme_examples(capsys):
    failures, attempted = doctest.testfile(str(README), module_relative=False,
                                           optionflags=doctest.ELLIPSIS)
    assert (failures, attempted >= 10) == (0, True), capsys.readouterr().out


def test_behaviour_blocks_are_current(docs):
    pytest.importorskip("numpy", reason="numpy comes with the test extra: pip install '.[test]'")
    behaviour, blocks = docs("behaviour"), docs("readme_blocks")
    for name, text in behaviour.blocks().items():
        assert blocks.read_block(name) == text, f"run docs/behaviour.py to update {name}"


def test_accuracy_figures_are_current(docs):
    accuracy, blocks = docs("accuracy"), docs("readme_blocks")
    assert blocks.read_block("accuracy") == accuracy.figures(), "run docs/accuracy.py"

