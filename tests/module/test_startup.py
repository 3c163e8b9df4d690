"""Start-up of the module in fresh interpreters (its dictionary, re-import and
each way the start-up can fail), and the code objects, signatures, annotations,
defaults and docstrings that it publishes."""
import importlib.util
import inspect
import json
import opcode
import os
import subprocess
import sys
import sysconfig
import textwrap

import pytest

from support import SOURCE, copy_package_tree, run_python

# The stack size that the interpreter's code-object constructor makes of a
# requested 0: 3.13 raises it to 1, earlier versions keep it.
STACK_SIZE_OF_ZERO = (lambda: None).__code__.replace(co_stacksize=0).co_stacksize

NAMES = ["sin", "cosin", "tan", "_tan_rad", "arctan", "arctan2", "arcsin", "arccos"]
INIT_ENTRY = [SOURCE, "init geometry.trigonometry", 1]  # as JSON gives it back
OWN = ["__builtins__", "constants", "algebra", *NAMES, "__test__"]


def test_module_dictionary_and_reimport(tmp_path):
    out = run_python(f"""
        import importlib, json, sys, warnings
        warnings.simplefilter("error")  # the runtime built for imports without a warning
        import geometry.trigonometry as t
        keys, own = list(t.__dict__), [t.__dict__[k] for k in {OWN!r}]
        del sys.modules["geometry.trigonometry"]
        again = importlib.import_module("geometry.trigonometry")
        registry = sys.modules["_compiled_3_2_4"]
        print(json.dumps([keys, t.__test__, again is t, importlib.reload(t) is t,
                          sys.modules["geometry.trigonometry"] is t,
                          [t.__dict__[k] for k in {OWN!r}] == own and list(t.__dict__) == keys,
                          t.constants is sys.modules["geometry.constants"],
                          t.algebra is sys.modules["quorvel.algebra.algebra"],
                          [type(getattr(t, n)) is registry.compiled_function_or_method
                           for n in {NAMES!r}]]))
        """, copy_package_tree(tmp_path)).stdout
    keys, *found = json.loads(out.splitlines()[-1])
    assert keys[-len(OWN):] == OWN and all(keys.count(key) == 1 for key in OWN)
    assert found == [{}, True, True, True, True, True, True, [True] * 8]


# Stands in for the finder that an editable install puts first on
# sys.meta_path from a .pth file: it sends `geometry` and `quorvel` to another
# tree, ahead of anything on PYTHONPATH.
REDIRECTING_FINDER = """
import importlib.machinery, sys

class Redirect:
    @staticmethod
    def find_spec(name, path=None, target=None):
        if name.partition(".")[0] in ("geometry", "quorvel") and path is None:
            return importlib.machinery.PathFinder.find_spec(name, [{decoy!r}])
        return None

sys.meta_path.insert(0, Redirect)
"""
IMPORTED_FILES = """
import json, sys, geometry.trigonometry, geometry.constants, quorvel.algebra.algebra
print(json.dumps([sys.modules[name].__file__ for name in
                  ("geometry", "geometry.trigonometry", "geometry.constants",
                   "quorvel", "quorvel.algebra.algebra")]))
"""


def test_child_imports_the_copied_tree(tmp_path):
    tree = copy_package_tree(tmp_path / "tree")
    decoy = copy_package_tree(tmp_path / "decoy")
    files = json.loads(run_python(IMPORTED_FILES, tree).stdout)
    assert all(os.path.commonpath([file, tree]) == str(tree) for file in files)
    assert os.path.basename(files[1]) == "trigonometry" + sysconfig.get_config_var("EXT_SUFFIX")
    # A start-up hook that outranks PYTHONPATH must not reach the child: with
    # site's hooks let in, this one would hand it the decoy instead.
    (tree / "sitecustomize.py").write_text(REDIRECTING_FINDER.format(decoy=str(decoy)))
    assert json.loads(run_python(IMPORTED_FILES, tree).stdout) == files
    hooked = subprocess.run([sys.executable, "-c", textwrap.dedent(IMPORTED_FILES)],
                            capture_output=True, text=True, cwd=tree,
                            env={**os.environ, "PYTHONPATH": str(tree)})
    assert json.loads(hooked.stdout)[0] == str(decoy / "geometry" / "__init__.py")


FAILED_IMPORT = """
import json, traceback
try:
    import geometry.trigonometry
except BaseException as exc:
    entries = [(f.filename, f.name, f.lineno) for f in traceback.extract_tb(exc.__traceback__)]
    print(json.dumps([type(exc).__name__, str(exc), entries]))
"""
NO_CONSTANTS = ("import geometry, os; "
                "os.remove(os.path.join(os.path.dirname(geometry.__file__), 'constants.py'))")
REGISTRY = ("import sys, types; registry = sys.modules['_compiled_3_2_4'] = "
            "types.ModuleType('_compiled_3_2_4'); registry.compiled_function_or_method = ")
DECOMPRESS = "import zlib; zlib.decompress = lambda data: "
NO_ZLIB = ("Failed to import 'zlib.decompress' - cannot initialise module strings. String "
           "compression was configured with the C macro 'RUNTIME_COMPRESS_STRINGS=1'.")


@pytest.mark.parametrize("setup, kind, message, entries", [
    (NO_CONSTANTS, "ImportError", "cannot import name constants", [INIT_ENTRY]),
    (REGISTRY + "42", "TypeError",
     "Shared compiled type compiled_function_or_method is not a type object", [INIT_ENTRY]),
    (REGISTRY + "type('compiled_function_or_method', (), {})", "TypeError",
     "Shared compiled type compiled_function_or_method has the wrong size, try recompiling",
     [INIT_ENTRY]),
    ("import sys; sys.modules['zlib'] = None", "ImportError", NO_ZLIB, []),
    (DECOMPRESS + "(_ for _ in ()).throw(ValueError('corrupt'))", "ValueError", "corrupt", []),
    # a block that is short or not bytes at all: any clean ImportError
    *[(DECOMPRESS + result, "ImportError", None, [])
      for result in ("b''", "b'ab'", "'text' * 1000", "None", "bytearray(5000)")],
])
def test_failed_start_up(tmp_path, setup, kind, message, entries):
    out = run_python(setup + FAILED_IMPORT, copy_package_tree(tmp_path)).stdout.splitlines()
    assert os.path.exists(importlib.util.find_spec("geometry.constants").origin)
    assert out, "the import succeeded"
    found_kind, found_message, found_entries = json.loads(out[-1])
    assert found_kind == kind and message in (None, found_message)
    assert [entry for entry in found_entries if entry[0] == SOURCE] == entries
    assert not entries or found_entries[-1] == INIT_ENTRY


CODE = {  # name: (local names, argument count, first line, code length, lines of co_lines())
    "sin": (("angle", "sign", "x", "term", "tol", "result", "i"), 1, 6, 344,
            [6, 19, 20, 21, 23, 24, 25, 26, 27, 28, 30, 32, 33, 34, 35, 37, 38, 39, 40, 42]),
    "cosin": (("angle", "cosine"), 1, 45, 288, [45, 56, 58, 59, 60, 61, 62]),
    "tan": (("angle",), 1, 65, 48, [65, 76]),
    "_tan_rad": (("rad",), 1, 78, 92, [78, 82]),
    "arctan": (("x", "iter", "theta", "_"), 2, 84, 272,
               [84, 97, 98, 99, 100, 102, 103, 108, 109]),
    "arctan2": (("x", "y"), 2, 112, 340, [112, *range(126, 136), 137]),
    "arcsin": (("x", "result"), 1, 139, 80, [139, 151, 152]),
    "arccos": (("x", "result"), 1, 155, 68, [155, 167, 168]),
}


@pytest.mark.parametrize("name", NAMES)
def test_code_object_and_interned_names(trig, name):
    varnames, argcount, first_line, length, lines = CODE[name]
    function = getattr(trig, name)
    code = function.__code__
    assert code.co_varnames == varnames and code.co_nlocals == len(varnames)
    assert (code.co_argcount, code.co_posonlyargcount, code.co_kwonlyargcount) == (argcount, 0, 0)
    assert (code.co_firstlineno, code.co_flags, code.co_stacksize) == \
        (first_line, 3, STACK_SIZE_OF_ZERO)
    assert code.co_consts == code.co_names == code.co_cellvars == code.co_freevars == ()
    assert (code.co_filename, code.co_name, code.co_qualname) == (SOURCE, name, name)
    # Two deletions of the first local, which raise if the code is run; the
    # units that follow are never reached.
    prologue = bytes([opcode.opmap["DELETE_FAST"], 0] * 2)
    assert len(code.co_code) == length and code.co_code == prologue + bytes(length - 4)
    assert sorted({line for _, _, line in code.co_lines() if line is not None}) == lines
    assert code.co_name is function.__qualname__ is sys.intern(name)
    assert function.__module__ is sys.intern("geometry.trigonometry")
    assert all(local is sys.intern(local) for local in code.co_varnames)
    assert all(key is sys.intern(key) for key in function.__annotations__)
    assert next(key for key in trig.__dict__ if key == name) is sys.intern(name)


ANGLE, NUMBER, RETURN = ("angle", "int | float"), "float | int", ("return", "float")
PUBLISHED = {  # name: (annotations, first line of the docstring)
    "sin": ([ANGLE], "[Summary]: Return the sine of an angle given in degrees."),
    "cosin": ([ANGLE], "[Summary]: Return the cosine of an angle given in degrees."),
    "tan": ([ANGLE], "[Summary]: Return the tangent of an angle given in degrees."),
    "_tan_rad": ([("rad", "float")], None),
    "arctan": ([("x", NUMBER)], "[Summary]: Tests and explanation for the arctan() function."),
    "arctan2": ([("x", NUMBER), ("y", NUMBER), RETURN],
                "[Summary]: Return the angle in radians between the positive x-axis and the"),
    "arcsin": ([("x", NUMBER), RETURN], "[Summary]: Return the arcsine of x in radians."),
    "arccos": ([("x", NUMBER), RETURN], "[Summary]: Return the arccosine of x in radians."),
}


@pytest.mark.parametrize("name", NAMES)
def test_annotations_and_docstring(trig, name):
    (annotations, first_line), function = PUBLISHED[name], getattr(trig, name)
    assert type(function.__annotations__) is dict
    assert list(function.__annotations__.items()) == annotations
    doc = function.__doc__
    assert doc is None if first_line is None else (
        type(doc) is str and doc.strip().split("\n")[0] == first_line)


def test_arctan_defaults_and_signature(trig):
    assert trig.arctan.__defaults__ == (20,)
    assert str(inspect.signature(trig.arctan)) == "(x: 'float | int', iter=20)"


def test_library_exports_only_its_init_function(trig):
    listing = subprocess.run(["nm", "-D", "--defined-only", trig.__file__],
                             capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in listing.splitlines()] == ["PyInit_trigonometry"]


# A second interpreter sharing the process's state (a legacy configuration,
# not an isolated one, which the interpreter refuses on its own).  3.13
# renamed the private module _xxsubinterpreters to _interpreters and made its
# run_string return a summary of the exception instead of raising.
SECOND_INTERPRETER = {
    (3, 12): """
        import _xxsubinterpreters as interpreters
        interp = interpreters.create(isolated=False)
        try:
            interpreters.run_string(interp, "import geometry.trigonometry")
        except interpreters.RunFailedError as exc:
            kind, _, message = str(exc).partition(": ")
            print(kind.removeprefix("<class '").removesuffix("'>"), message, sep=": ")
        """,
    (3, 13): """
        import _interpreters as interpreters
        interp = interpreters.create("legacy")
        failure = interpreters.run_string(interp, "import geometry.trigonometry")
        print(failure.type.__name__, failure.msg, sep=": ")
        """,
}


def test_second_interpreter_is_refused():
    result = run_python("import geometry.trigonometry\n" + textwrap.dedent(
        SECOND_INTERPRETER[min(sys.version_info[:2], max(SECOND_INTERPRETER))]))
    assert result.stdout.strip() == ("ImportError: Interpreter change detected - this"
                                     " module can only be loaded into one interpreter per process.")
