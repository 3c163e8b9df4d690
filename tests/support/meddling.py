"""Numbers that meddle.  Each protocol operation applied to a ``Meddler``, and
each call of ``Meddling.sqrt``, is counted by the ``Meddling`` it belongs to;
the operation numbered ``at`` first runs ``action`` (raise, rebind a
module-level name, collect garbage) and then computes as usual.  Results of
arithmetic come back as Meddlers of the same Meddling, so every later step
of a body counts too.  Run the same way against the module and against the
model of support/model.py, both must give the same outcome."""
import functools
import math
import operator

from geometry import trigonometry as TRIG
from support import exact_through, model
from support.model import Model

NATIVE = {name: getattr(TRIG, name) for name in Model.NAMES}


class Fault(Exception):
    """Raised by the operation numbered ``at`` when the action is ``fault``."""


class Meddling:
    def __init__(self, at=0, action=None):
        self.count, self.at, self.action = 0, at, action

    def tick(self, what):
        self.count += 1
        if self.count == self.at:
            self.action(self, what)

    @property
    def reached(self):
        return self.count >= self.at

    def number(self, value):
        return Meddler(value, self)

    def sqrt(self, value):
        """Stands in for algebra.sqrt."""
        self.tick("sqrt")
        return Meddler(math.sqrt(value.value if isinstance(value, Meddler) else value), self)


def fault(meddling, what):
    raise Fault(f"{what} #{meddling.count}")


def sweep_namespace(target, name, constants, algebra):
    """Where one run of a sweep looks its names up: for "module", the module's
    own dictionary with its functions put back and these siblings bound; for
    "model", a standalone model's.  Through `arctan2`, `arcsin` and `arccos`,
    `arctan` makes two Newton passes, which show every step of its loop as
    well as twenty do."""
    if target == "module":
        namespace = vars(TRIG)
        namespace.update(NATIVE, constants=constants, algebra=algebra)
    else:
        namespace = Model.standalone(constants, algebra).namespace
    if name in ("arctan2", "arcsin", "arccos"):
        arctan = namespace["arctan"]
        namespace["arctan"] = lambda x, iter=2: arctan(x, iter)
    return namespace


class Meddler:
    """Wraps an int, float or bool."""

    __slots__ = ("value", "meddling")

    def __init__(self, value, meddling):
        self.value, self.meddling = value, meddling

    def _apply(self, name, function, others, wrap):
        self.meddling.tick(name)
        result = function(self.value, *(o.value if isinstance(o, Meddler) else o for o in others))
        if wrap and type(result) in (int, float, bool):
            return Meddler(result, self.meddling)
        return result

    def __repr__(self):
        return f"Meddler({self.value!r})"


def _method(name, function, wrap=True):
    return lambda self, *others: self._apply(name, function, others, wrap)


for _name in ("ge", "gt", "lt", "le", "eq", "neg", "abs", "mod", "mul", "truediv", "add",
              "sub", "pow"):
    _function = getattr(operator, _name)
    setattr(Meddler, f"__{_name}__", _method(f"__{_name}__", _function))
    if _name in ("mod", "mul", "truediv", "add", "sub", "pow"):
        setattr(Meddler, f"__r{_name}__",
                _method(f"__r{_name}__", lambda a, b, f=_function: f(b, a)))
    if _name in ("add", "sub", "mul"):
        setattr(Meddler, f"__i{_name}__", _method(f"__i{_name}__", _function))
for _name, _function in (("bool", bool), ("float", float), ("index", operator.index)):
    setattr(Meddler, f"__{_name}__", _method(f"__{_name}__", _function, wrap=False))
Meddler.__hash__ = None

key = exact_through(Meddler)   # a result's type and contents, seen through a Meddler
outcome = functools.partial(model.outcome, describe=key)


class MeddlingKeyword(str):
    """A keyword name whose comparisons with the parameter names count."""

    __hash__ = str.__hash__

    def __new__(cls, text, meddling):
        self = super().__new__(cls, text)
        self.meddling = meddling
        return self

    def __eq__(self, other):
        self.meddling.tick("keyword __eq__")
        return str.__eq__(self, other)
