"""Speed of geometry.trigonometry as ratios measured in one run.

For each function, the time per call is compared with the `math` module's
function of the same kind and with a pure-Python version of the same
operations (the same sequence of interpreter operations, looked up through a
module namespace the same way).  Ratios, not absolute times, are what carry
from one machine to another.
"""
import math
import sys
import timeit
import types

from geometry import constants, trigonometry as trig
from quorvel.algebra import algebra

SOURCE = '''
def sin(angle):
    angle = angle % 360
    if angle >= 180:
        angle -= 360
    sign = 1
    if angle > 90:
        angle = 180 - angle
    elif angle < -90:
        angle = -180 - angle
    x = (angle * constants.pi) / 180
    term = x
    tol = 1e-15
    result = 0.0
    i = 0
    while abs(term) > tol:
        result += term
        i += 1
        term *= -x * x / ((2 * i) * (2 * i + 1))
    return sign * result

def cosin(angle):
    angle = angle % 360
    if (angle >= 0 and angle < 90) or (angle >= 270 and angle <= 360):
        cosine = algebra.sqrt(1 - sin(angle) * sin(angle))
    elif (angle >= 90 and angle < 180) or (angle >= 180 and angle < 270):
        cosine = -1 * algebra.sqrt(1 - sin(angle) * sin(angle))
    return cosine

def tan(angle):
    return sin(angle) / cosin(angle)

def _tan_rad(rad):
    rad = float(rad)
    return sin(rad * 180.0 / constants.pi) / cosin(rad * 180.0 / constants.pi)

def arctan(x, iter=20):
    if x > 1:
        return constants.pi / 2 - arctan(1 / x, iter)
    elif x < -1:
        return -constants.pi / 2 - arctan(1 / x, iter)
    theta = 0.0
    for _ in range(iter):
        theta = theta - (_tan_rad(theta) - x) / (1 + _tan_rad(theta) ** 2)
    return theta

def arctan2(x, y):
    if x > 0:
        return arctan(y / x)
    elif x < 0 and y >= 0:
        return arctan(y / x) + constants.pi
    elif x < 0 and y < 0:
        return arctan(y / x) - constants.pi
    elif x == 0 and y > 0:
        return constants.pi / 2
    elif x == 0 and y < 0:
        return -constants.pi / 2
    return 0.0

def arcsin(x):
    result = arctan2(x, algebra.sqrt(1 - x ** 2))
    return result

def arccos(x):
    result = constants.pi / 2 - arcsin(x)
    return result
'''

CASES = [
    # (name, arguments, math counterpart)
    ("sin", (30,), lambda: math.sin(math.radians(30))),
    ("sin", (123.456,), lambda: math.sin(math.radians(123.456))),
    ("cosin", (60,), lambda: math.cos(math.radians(60))),
    ("tan", (45,), lambda: math.tan(math.radians(45))),
    ("_tan_rad", (0.5,), lambda: math.tan(0.5)),
    ("arctan", (0.5,), lambda: math.atan(0.5)),
    ("arctan2", (-1, 1), lambda: math.atan2(1, -1)),
    ("arcsin", (0.5,), lambda: math.asin(0.5)),
    ("arccos", (0.5,), lambda: math.acos(0.5)),
]


def per_call(function, number):
    return min(timeit.repeat(function, number=number, repeat=5)) / number


def main():
    python = types.ModuleType("pure_trigonometry")
    python.constants = constants
    python.algebra = algebra
    exec(SOURCE, python.__dict__)

    print(f"Python {sys.version.split()[0]}; time per call, ratio = native / other")
    print(f"{'call':<22}{'native':>12}{'vs math':>12}{'vs Python':>12}")
    for name, args, counterpart in CASES:
        native, pure = getattr(trig, name), getattr(python, name)
        assert native(*args) == pure(*args), name
        number = 2000 if name in ("arctan", "arctan2", "arcsin", "arccos") else 20000
        t_native = per_call(lambda: native(*args), number)
        t_math = per_call(counterpart, number * 10)
        t_pure = per_call(lambda: pure(*args), number)
        call = f"{name}{args if len(args) > 1 else '(' + repr(args[0]) + ')'}"
        print(f"{call:<22}{t_native * 1e6:>10.2f}us{t_native / t_math:>11.1f}x"
              f"{t_native / t_pure:>11.2f}x")


if __name__ == "__main__":
    main()
