"""The module's constant pool: every name, annotation text, the source path
and the line tables, in index order.  The C++ code refers to entries by
index; generate_pool.py compresses them into the library."""

STR = "str"
INTERNED = "interned"
BYTES = "bytes"

ENTRIES = [
    (STR, "."),
    (STR, "?"),
    (STR, "float | int"),
    (STR, "geometry."),
    (STR, "int | float"),
    (STR, "quorvel/geometry/trigonometry.py"),
    (INTERNED, ""),
    (INTERNED, "__rt_PyDict_NextRef"),
    (INTERNED, "_"),
    (INTERNED, "algebra"),
    (INTERNED, "angle"),
    (INTERNED, "arccos"),
    (INTERNED, "arcsin"),
    (INTERNED, "arctan"),
    (INTERNED, "arctan2"),
    (INTERNED, "asyncio.coroutines"),
    (INTERNED, "line_in_traceback"),
    (INTERNED, "constants"),
    (INTERNED, "cosin"),
    (INTERNED, "cosine"),
    (INTERNED, "float"),
    (INTERNED, "__func__"),
    (INTERNED, "geometry.trigonometry"),
    (INTERNED, "i"),
    (INTERNED, "_is_coroutine"),
    (INTERNED, "items"),
    (INTERNED, "iter"),
    (INTERNED, "__main__"),
    (INTERNED, "__module__"),
    (INTERNED, "__name__"),
    (INTERNED, "pi"),
    (INTERNED, "pop"),
    (INTERNED, "__qualname__"),
    (INTERNED, "rad"),
    (INTERNED, "result"),
    (INTERNED, "return"),
    (INTERNED, "__set_name__"),
    (INTERNED, "setdefault"),
    (INTERNED, "sign"),
    (INTERNED, "quorvel.algebra.algebra"),
    (INTERNED, "sin"),
    (INTERNED, "sqrt"),
    (INTERNED, "tan"),
    (INTERNED, "_tan_rad"),
    (INTERNED, "term"),
    (INTERNED, "__test__"),
    (INTERNED, "theta"),
    (INTERNED, "tol"),
    (INTERNED, "values"),
    (INTERNED, "x"),
    (INTERNED, "y"),
    # Line tables (co_linetable) of _tan_rad, cosin, arcsin, arccos, arctan,
    # tan, sin and arctan2.
    (BYTES, "d000129021f00800050c8833886188749032905498129839a045a812a835b001b014b052b074b832b859c061"),
    (BYTES, "d000119011f01600050d884690229041e004078076885390029024906698429863a013a046a823a854b014b056b833b861d808119017980598519862a002a023a051a067a852a873b021b031d8090f88739023905498169872a014a053a806a863b014b054b816b872c011d808129022904290679855a021a032a052a073a821a837b022b043b071b801d8040b8831"),
    (BYTES, "800ed00e1e9861f01800050e88579041905398079875a041a052a072a811a822a841d8040b8831"),
    (BYTES, "800ed00e1e9861f01800050e88599064982298429862a006a061a071d8040b8831"),
    (BYTES, "800e886d9831f01a000508807288128831d8080f8879980498429862a002a026a801a812a832a853b001d80407807288138841d8080f88719009981498529872a012a036a811a822a842a863b011e0040c8841d804088805885590219031f00a000911900690639818a011a027a812a833a863b012b032b058b851b866c042c061d8040b8831"),
    (BYTES, "800f8871f01600050c8833886188779062980598519861"),
    (BYTES, "800f8871f01a00050d884690229041d80407807688539001d808119011e0040b8831d80407807688528871d80810900490429061d8090f88739021d80811901490529071d808109001e00408880688629009981498529871e0040b8831d8040b8831d8040d8851d804088801e0040a88238851886690429061d808129021d8080d8851d8081090019012903290529074983298529873a023a052a072a812a832a851e0040b883590029021"),
    (BYTES, "800fd00f1fd01f2fa871f01c000508807288128831d8080f88769051906298029821d804078072881288328854901290339061d8080f8876905190629802982398529879a801d804078072881288328854901290329051d8080f8876905190629802982398529879a801d804078072881388428864902290429061d8080f8879980498429861d804078072881388428864902290429061d8080f88719009981498529871e0040b8831"),
]


def entry_bytes(kind, content):
    """The raw bytes of one entry as they stand in the uncompressed block."""
    return bytes.fromhex(content) if kind == BYTES else content.encode("utf-8")


def uncompressed_block():
    return b"".join(entry_bytes(kind, content) for kind, content in ENTRIES)
