"""A user of the package as a type checker sees it: every function called with
the argument types its stub gives, and the types of what comes back.  The tests
check it with `mypy --strict` and run it."""
from typing import assert_type

from geometry import trigonometry as trig


def angles_of_triangle(a: float, b: float, c: float) -> tuple[float, float, float]:
    """The angles, in degrees, of a triangle with sides a, b and c."""
    # arccos gives the angle whose sine is its argument, so the law of
    # cosines goes through arcsin here.
    to_degrees = 180 / trig.constants.pi
    alpha = trig.arcsin((b * b + c * c - a * a) / (2 * b * c)) * to_degrees
    beta = trig.arcsin((a * a + c * c - b * b) / (2 * a * c)) * to_degrees
    return alpha, beta, 180 - alpha - beta


def main() -> list[float]:
    assert_type(trig.constants.pi, float)
    assert_type(trig.algebra.sqrt(2.0), float)
    assert_type(trig.__test__, dict[str, str])
    results: list[float] = [
        trig.sin(30), trig.cosin(60.0), trig.tan(45),
        trig._tan_rad(0.5),
        trig.arctan(0.5), trig.arctan(2, 10), trig.arctan(x=-1, iter=5),
        trig.arctan2(-1, 1), trig.arctan2(x=0.5, y=-0.5),
        trig.arcsin(0.5), trig.arccos(-0.25),
        *angles_of_triangle(3.0, 4.0, 5.0),
    ]
    return results


if __name__ == "__main__":
    print(main())
