"""The module's Python source, source/quorvel/geometry/trigonometry.py: the
file whose lines the tracebacks name.  Read and parsed once; `statement_line`
finds a statement by its text, so nothing here numbers a line by hand, and
`load` runs the file as an ordinary module of the package."""
import ast
import importlib.util
import pathlib
import types

PATH = (pathlib.Path(__file__).resolve().parents[2]
        / "source" / "quorvel" / "geometry" / "trigonometry.py")
TEXT = PATH.read_text(encoding="utf-8")
TREE = ast.parse(TEXT, str(PATH))
CODE = compile(TREE, str(PATH), "exec")

FUNCTIONS = {node.name: node for node in TREE.body if isinstance(node, ast.FunctionDef)}
NAMES = tuple(FUNCTIONS)    # in the order of the file
CODES = {code.co_name: code for code in CODE.co_consts if isinstance(code, types.CodeType)}

# A name the native module never takes: the file runs beside it, not in its place.
MODULE_NAME = "geometry._trigonometry_source"


def statement_key(node):
    """The text that names a statement: a compound statement by its test or
    iterable (an `elif` is the nested `if` of its test), anything else whole."""
    if isinstance(node, (ast.If, ast.While)):
        node = node.test
    elif isinstance(node, ast.For):
        node = node.iter
    return ast.get_source_segment(TEXT, node)


def statements(name):
    """(line, key) of every statement of function `name`, in the file's order,
    its docstring left out."""
    body = FUNCTIONS[name].body
    if ast.get_docstring(FUNCTIONS[name], clean=False) is not None:
        body = body[1:]
    found = []

    def visit(nodes):
        for node in nodes:
            key = statement_key(node)
            found.append((node.test.lineno if isinstance(node, ast.If) else node.lineno, key))
            for field in ("body", "orelse"):
                visit(getattr(node, field, ()))

    visit(body)
    return sorted(found)


def _index():
    index = {}
    for name in FUNCTIONS:
        for line, key in statements(name):
            if (name, key) in index:
                raise AssertionError(f"{name}: two statements read {key!r}")
            index[name, key] = line
    return index


INDEX = _index()


def statement_line(name, key=None):
    """The line of the statement of function `name` that reads `key` (see
    `statement_key`); with no key, the line of the def."""
    return FUNCTIONS[name].lineno if key is None else INDEX[name, key]


def defaults(name):
    """The values of function `name`'s default expressions."""
    return tuple(ast.literal_eval(node) for node in FUNCTIONS[name].args.defaults)


def load(**bindings):
    """A new module run from the file through the import machinery, as a
    submodule of `geometry` (its relative import finds geometry.constants)
    that is entered in no registry; `bindings` then replace its globals."""
    spec = importlib.util.spec_from_file_location(MODULE_NAME, PATH)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    vars(module).update(bindings)
    return module
