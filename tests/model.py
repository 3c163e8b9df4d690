"""A pure-Python model of the eight function bodies of geometry.trigonometry:
the same interpreter operations in the same order on the same operands, each
module-level name looked up afresh in the given dictionary, then in builtins.
An exception leaving a statement is tagged (function, line); ``model_entries``
gives the tags outermost first, like ``support.module_entries``."""
import builtins
from contextlib import contextmanager
from functools import partial
from array import array

_MISSING = object()
_range, _iter = range, iter     # range is called directly, never looked up by name


def model_entries(exc):
    return list(reversed(exc.__dict__.get("_model_entries", ())))


@contextmanager
def _at(function, line):
    """A source statement: an exception leaving it records (function, line)."""
    try:
        yield
    except Exception as exc:
        exc.__dict__.setdefault("_model_entries", []).append(
            ("geometry.trigonometry." + function, line))
        raise


def _truth(o):
    """Truth of a comparison result: True, False and None without a call."""
    return o is True or (o is not False and o is not None and bool(o))


def _equals_zero(x):
    """x == 0: exact ints and floats by value, anything else by comparison."""
    return x == 0 if type(x) in (int, float) else _truth(x == 0)


def _double(o):
    """A new float from the interpreter's C-level conversion (array's 'd' items)."""
    return array("d", (o,))[0]


class Model:
    """The eight bodies, reaching everything else through ``namespace``."""

    NAMES = ("sin", "cosin", "tan", "_tan_rad", "arctan", "arctan2", "arcsin", "arccos")

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
        at = partial(_at, "sin")
        with at(19): angle = angle % 360
        with at(20): test = _truth(angle >= 180)
        if test:
            with at(21): angle -= 360
        sign = 1
        with at(24): test = _truth(angle > 90)
        if test:
            with at(25): angle = 180 - angle
        else:
            with at(26): test = _truth(angle < -90)
            if test:
                with at(27): angle = -180 - angle
        with at(30): x = angle * self._pi() / 180
        term, tol, result, i = x, 1e-15, 0.0, 0
        while True:
            with at(37): test = _truth(abs(term) > _double(tol))
            if not test:
                break
            with at(38): result += term
            with at(39): i += 1
            with at(40): term *= -x * x / ((2 * i) * (2 * i + 1))
        with at(42): return sign * result

    def cosin(self, angle):
        at = partial(_at, "cosin")
        with at(56): angle = angle % 360
        with at(58): test = ((_truth(angle >= 0) and _truth(angle < 90))
                             or (_truth(angle >= 270) and _truth(angle <= 360)))
        if test:
            with at(59): return self._root(angle)
        with at(60): test = ((_truth(angle >= 90) and _truth(angle < 180))
                             or (_truth(angle >= 180) and _truth(angle < 270)))
        if test:
            with at(61): return -1 * self._root(angle)
        with at(62): raise UnboundLocalError("local variable 'cosine' referenced before assignment")

    def tan(self, angle):
        with _at("tan", 76):
            return self._global("sin")(angle) / self._global("cosin")(angle)

    def _tan_rad(self, rad):
        with _at("_tan_rad", 78): rad = _double(rad)
        with _at("_tan_rad", 82):
            sin = self._global("sin")
            degrees = rad * 180.0
            sine = sin(_double(degrees) / self._pi())
            return sine / self._global("cosin")(_double(degrees) / self._pi())

    def arctan(self, x, iter=20):
        at = partial(_at, "arctan")
        with at(97): test = _truth(x > 1)
        if test:
            with at(98): return self._pi() / 2 - self._global("arctan")(1 / x, iter)
        with at(99): test = _truth(x < -1)
        if test:
            with at(100): return -self._pi() / 2 - self._global("arctan")(1 / x, iter)
        theta = 0.0
        with at(103): passes = _iter(_range(iter))
        for _ in passes:
            with at(108):
                residual = self._global("_tan_rad")(theta) - x
                theta = theta - residual / (1 + pow(self._global("_tan_rad")(theta), 2))
        return theta

    def arctan2(self, x, y):
        at = partial(_at, "arctan2")
        with at(126): test = _truth(x > 0)
        if test:
            with at(127): return self._global("arctan")(y / x)
        with at(128): test = _truth(x < 0) and _truth(y >= 0)
        if test:
            with at(129): return self._global("arctan")(y / x) + self._pi()
        with at(130): test = _truth(x < 0) and _truth(y < 0)
        if test:
            with at(131): return self._global("arctan")(y / x) - self._pi()
        with at(132): test = _equals_zero(x) and _truth(y > 0)
        if test:
            with at(133): return self._pi() / 2
        with at(134): test = _equals_zero(x) and _truth(y < 0)
        if test:
            with at(135): return -self._pi() / 2
        return 0.0

    def arcsin(self, x):
        with _at("arcsin", 151):
            arctan2, sqrt = self._global("arctan2"), self._global("algebra").sqrt
            return arctan2(x, sqrt(1 - pow(x, 2)))

    def arccos(self, x):
        with _at("arccos", 167):
            return self._pi() / 2 - self._global("arcsin")(x)
