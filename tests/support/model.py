"""A pure-Python model of the eight function bodies of geometry.trigonometry:
the same interpreter operations in the same order on the same operands, each
module-level name looked up afresh in the given dictionary, then in builtins.
An exception leaving a statement is tagged (function, line); ``model_entries``
gives the tags outermost first, like ``support.module_entries``.

The bodies are written here again rather than run from the module's Python
source (support.source) because the compiled module does not do everything
the way the interpreter would run that file: it converts `rad` to a double
on entry, makes a new float of `tol` at every loop test, calls `range`
without looking the name up, compares `x == 0` by value for exact numbers,
and words its unbound-local error its own way; and each statement here has
to be tagged with its line.  The statements are named by their text in the
source, which gives their lines, and the names and defaults come from there
too."""
import builtins
from contextlib import contextmanager
from array import array

import support
from support import exact, module_entries, source

_MISSING = object()
_range, _iter = range, iter     # range is called directly, never looked up by name


def model_entries(exc):
    return list(reversed(exc.__dict__.get("_model_entries", ())))


def entries(exc):
    """The model's tags, then the module's traceback entries: a model that
    calls the module, or the module a model, shows both, outermost first."""
    return model_entries(exc) + module_entries(exc)


def outcome(function, *args, kwargs=None, describe=exact):
    """support.outcome of a call of the module or of a model, with the
    traceback lines of both."""
    return support.outcome(function, *args, kwargs=kwargs, describe=describe, lines=entries)


@contextmanager
def _at(function, statement=None):
    """The statement of `function` that reads `statement` in the source (the
    def without one): an exception leaving it records (function, its line)."""
    line = source.statement_line(function, statement)
    try:
        yield
    except Exception as exc:
        exc.__dict__.setdefault("_model_entries", []).append(
            ("geometry.trigonometry." + function, line))
        raise


def _tagger(function):
    return lambda statement=None: _at(function, statement)


def _truth(o):
    """Truth of a comparison result: True, False and None without a call."""
    return o is True or (o is not False and o is not None and bool(o))


def _equals_zero(x):
    """x == 0: exact ints and floats by value, anything else by comparison."""
    return x == 0 if type(x) in (int, float) else _truth(x == 0)


def _double(o):
    """A new float from the interpreter's C-level conversion (array's 'd' items)."""
    return array("d", (o,))[0]


RETURN_TAN_RAD = "return sin(rad * 180 / constants.pi) / cosin(rad * 180 / constants.pi)"


class Model:
    """The eight bodies, reaching everything else through ``namespace``."""

    NAMES = source.NAMES

    def __init__(self, namespace):
        self.namespace = namespace

    @classmethod
    def standalone(cls, constants, algebra):
        model = cls({"constants": constants, "algebra": algebra})
        model.namespace.update((name, getattr(model, name)) for name in cls.NAMES)
        return model

    def _global(self, name):
        value = self.namespace.get(name, _MISSING)
        if value is _MISSING:
            value = getattr(builtins, name, _MISSING)
        if value is _MISSING:
            raise NameError(f"name '{name}' is not defined")
        return value

    def _pi(self):
        return self._global("constants").pi

    def _root(self, angle):
        sqrt = self._global("algebra").sqrt
        return sqrt(1 - self._global("sin")(angle) * self._global("sin")(angle))

    def sin(self, angle):
        at = _tagger("sin")
        with at("angle = angle % 360"): angle = angle % 360
        with at("angle >= 180"): test = _truth(angle >= 180)
        if test:
            with at("angle -= 360"): angle -= 360
        sign = 1
        with at("angle > 90"): test = _truth(angle > 90)
        if test:
            with at("angle = 180 - angle"): angle = 180 - angle
        else:
            with at("angle < -90"): test = _truth(angle < -90)
            if test:
                with at("angle = -180 - angle"): angle = -180 - angle
        with at("x = angle * constants.pi / 180"): x = angle * self._pi() / 180
        term, tol, result, i = x, 1e-15, 0.0, 0
        while True:
            with at("abs(term) > tol"): test = _truth(abs(term) > _double(tol))
            if not test:
                break
            with at("result += term"): result += term
            with at("i += 1"): i += 1
            with at("term *= -x * x / ((2 * i) * (2 * i + 1))"): term *= -x * x / ((2 * i) * (2 * i + 1))
        with at("return sign * result"): return sign * result

    def cosin(self, angle):
        at = _tagger("cosin")
        with at("angle = angle % 360"): angle = angle % 360
        with at("angle >= 0 and angle < 90 or angle >= 270 and angle <= 360"): test = ((_truth(angle >= 0) and _truth(angle < 90))
                             or (_truth(angle >= 270) and _truth(angle <= 360)))
        if test:
            with at("cosine = algebra.sqrt(1 - sin(angle) * sin(angle))"): return self._root(angle)
        with at("angle >= 90 and angle < 180 or angle >= 180 and angle < 270"): test = ((_truth(angle >= 90) and _truth(angle < 180))
                             or (_truth(angle >= 180) and _truth(angle < 270)))
        if test:
            with at("cosine = -1 * algebra.sqrt(1 - sin(angle) * sin(angle))"): return -1 * self._root(angle)
        with at("return cosine"): raise UnboundLocalError("local variable 'cosine' referenced before assignment")

    def tan(self, angle):
        with _at("tan", "return sin(angle) / cosin(angle)"):
            return self._global("sin")(angle) / self._global("cosin")(angle)

    def _tan_rad(self, rad):
        with _at("_tan_rad"): rad = _double(rad)
        with _at("_tan_rad", RETURN_TAN_RAD):
            sin = self._global("sin")
            degrees = rad * 180.0
            sine = sin(_double(degrees) / self._pi())
            return sine / self._global("cosin")(_double(degrees) / self._pi())

    def arctan(self, x, iter=source.defaults("arctan")[0]):
        at = _tagger("arctan")
        with at("x > 1"): test = _truth(x > 1)
        if test:
            with at("return constants.pi / 2 - arctan(1 / x, iter)"): return self._pi() / 2 - self._global("arctan")(1 / x, iter)
        with at("x < -1"): test = _truth(x < -1)
        if test:
            with at("return -constants.pi / 2 - arctan(1 / x, iter)"): return -self._pi() / 2 - self._global("arctan")(1 / x, iter)
        theta = 0.0
        with at("range(iter)"): passes = _iter(_range(iter))
        for _ in passes:
            with at("theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta)**2)"):
                residual = self._global("_tan_rad")(theta) - x
                theta = theta - residual / (1 + pow(self._global("_tan_rad")(theta), 2))
        return theta

    def arctan2(self, x, y):
        at = _tagger("arctan2")
        with at("x > 0"): test = _truth(x > 0)
        if test:
            with at("return arctan(y / x)"): return self._global("arctan")(y / x)
        with at("x < 0 and y >= 0"): test = _truth(x < 0) and _truth(y >= 0)
        if test:
            with at("return arctan(y / x) + constants.pi"): return self._global("arctan")(y / x) + self._pi()
        with at("x < 0 and y < 0"): test = _truth(x < 0) and _truth(y < 0)
        if test:
            with at("return arctan(y / x) - constants.pi"): return self._global("arctan")(y / x) - self._pi()
        with at("x == 0 and y > 0"): test = _equals_zero(x) and _truth(y > 0)
        if test:
            with at("return constants.pi / 2"): return self._pi() / 2
        with at("x == 0 and y < 0"): test = _equals_zero(x) and _truth(y < 0)
        if test:
            with at("return -constants.pi / 2"): return -self._pi() / 2
        return 0.0

    def arcsin(self, x):
        with _at("arcsin", "result = arctan2(x, algebra.sqrt(1 - x**2))"):
            arctan2, sqrt = self._global("arctan2"), self._global("algebra").sqrt
            return arctan2(x, sqrt(1 - pow(x, 2)))

    def arccos(self, x):
        with _at("arccos", "result = constants.pi / 2 - arcsin(x)"):
            return self._pi() / 2 - self._global("arcsin")(x)
