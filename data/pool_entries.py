"""The module's constant pool: every name, annotation text, the source path
and the line tables, in index order.  Each entry has a name; generate_pool.py
compresses the entries into the library and writes the C++ index enum from the
names (POOL_<NAME>), so the code never numbers an entry by hand."""

STR = "str"
INTERNED = "interned"
BYTES = "bytes"


class Entry(tuple):
    """(kind, content), named for the C++ index that refers to it."""

    def __new__(cls, name, kind, content):
        entry = super().__new__(cls, (kind, content))
        entry.name = name
        return entry


ENTRIES = [
    Entry('DOT', STR, "."),
    Entry('QUESTION', STR, "?"),
    Entry('FLOAT_OR_INT', STR, "float | int"),
    Entry('PACKAGE_PREFIX', STR, "geometry."),
    Entry('INT_OR_FLOAT', STR, "int | float"),
    Entry('SOURCE_PATH', STR, "quorvel/geometry/trigonometry.py"),
    Entry('EMPTY', INTERNED, ""),
    Entry('DICT_NEXT_REF', INTERNED, "__rt_PyDict_NextRef"),
    Entry('UNDERSCORE', INTERNED, "_"),
    Entry('ALGEBRA', INTERNED, "algebra"),
    Entry('ANGLE', INTERNED, "angle"),
    Entry('ARCCOS', INTERNED, "arccos"),
    Entry('ARCSIN', INTERNED, "arcsin"),
    Entry('ARCTAN', INTERNED, "arctan"),
    Entry('ARCTAN2', INTERNED, "arctan2"),
    Entry('ASYNCIO_COROUTINES', INTERNED, "asyncio.coroutines"),
    Entry('LINE_IN_TRACEBACK', INTERNED, "line_in_traceback"),
    Entry('CONSTANTS', INTERNED, "constants"),
    Entry('COSIN', INTERNED, "cosin"),
    Entry('COSINE', INTERNED, "cosine"),
    Entry('FLOAT', INTERNED, "float"),
    Entry('DUNDER_FUNC', INTERNED, "__func__"),
    Entry('MODULE_NAME', INTERNED, "geometry.trigonometry"),
    Entry('I', INTERNED, "i"),
    Entry('IS_COROUTINE', INTERNED, "_is_coroutine"),
    Entry('ITEMS', INTERNED, "items"),
    Entry('ITER', INTERNED, "iter"),
    Entry('DUNDER_MAIN', INTERNED, "__main__"),
    Entry('DUNDER_MODULE', INTERNED, "__module__"),
    Entry('DUNDER_NAME', INTERNED, "__name__"),
    Entry('PI', INTERNED, "pi"),
    Entry('POP', INTERNED, "pop"),
    Entry('DUNDER_QUALNAME', INTERNED, "__qualname__"),
    Entry('RAD', INTERNED, "rad"),
    Entry('RESULT', INTERNED, "result"),
    Entry('RETURN', INTERNED, "return"),
    Entry('DUNDER_SET_NAME', INTERNED, "__set_name__"),
    Entry('SETDEFAULT', INTERNED, "setdefault"),
    Entry('SIGN', INTERNED, "sign"),
    Entry('ALGEBRA_MODULE', INTERNED, "quorvel.algebra.algebra"),
    Entry('SIN', INTERNED, "sin"),
    Entry('SQRT', INTERNED, "sqrt"),
    Entry('TAN', INTERNED, "tan"),
    Entry('TAN_RAD', INTERNED, "_tan_rad"),
    Entry('TERM', INTERNED, "term"),
    Entry('DUNDER_TEST', INTERNED, "__test__"),
    Entry('THETA', INTERNED, "theta"),
    Entry('TOL', INTERNED, "tol"),
    Entry('VALUES', INTERNED, "values"),
    Entry('X', INTERNED, "x"),
    Entry('Y', INTERNED, "y"),
    # Line tables (co_linetable) of _tan_rad, cosin, arcsin, arccos, arctan,
    # tan, sin and arctan2.
    Entry('LINES_TAN_RAD', BYTES, "d000129021f00800050c8833886188749032905498129839a045a812a835b001b014b052b074b832b859c061"),
    Entry('LINES_COSIN', BYTES, "d000119011f01600050d884690229041e004078076885390029024906698429863a013a046a823a854b014b056b833b861d808119017980598519862a002a023a051a067a852a873b021b031d8090f88739023905498169872a014a053a806a863b014b054b816b872c011d808129022904290679855a021a032a052a073a821a837b022b043b071b801d8040b8831"),
    Entry('LINES_ARCSIN', BYTES, "800ed00e1e9861f01800050e88579041905398079875a041a052a072a811a822a841d8040b8831"),
    Entry('LINES_ARCCOS', BYTES, "800ed00e1e9861f01800050e88599064982298429862a006a061a071d8040b8831"),
    Entry('LINES_ARCTAN', BYTES, "800e886d9831f01a000508807288128831d8080f8879980498429862a002a026a801a812a832a853b001d80407807288138841d8080f88719009981498529872a012a036a811a822a842a863b011e0040c8841d804088805885590219031f00a000911900690639818a011a027a812a833a863b012b032b058b851b866c042c061d8040b8831"),
    Entry('LINES_TAN', BYTES, "800f8871f01600050c8833886188779062980598519861"),
    Entry('LINES_SIN', BYTES, "800f8871f01a00050d884690229041d80407807688539001d808119011e0040b8831d80407807688528871d80810900490429061d8090f88739021d80811901490529071d808109001e00408880688629009981498529871e0040b8831d8040b8831d8040d8851d804088801e0040a88238851886690429061d808129021d8080d8851d8081090019012903290529074983298529873a023a052a072a812a832a851e0040b883590029021"),
    Entry('LINES_ARCTAN2', BYTES, "800fd00f1fd01f2fa871f01c000508807288128831d8080f88769051906298029821d804078072881288328854901290339061d8080f8876905190629802982398529879a801d804078072881288328854901290329051d8080f8876905190629802982398529879a801d804078072881388428864902290429061d8080f8879980498429861d804078072881388428864902290429061d8080f88719009981498529871e0040b8831"),
]


def entry_bytes(kind, content):
    """The raw bytes of one entry as they stand in the uncompressed block."""
    return bytes.fromhex(content) if kind == BYTES else content.encode("utf-8")


def uncompressed_block():
    return b"".join(entry_bytes(kind, content) for kind, content in ENTRIES)
