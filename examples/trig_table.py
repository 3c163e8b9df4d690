"""Prints the module's functions for sample inputs: the main job of the README."""
from geometry import trigonometry as trig

ANGLES = [0, 30, 45, 60, 90, 120, 180, 270, -60, 1e-13]
RATIOS = [-2, -1, -0.5, 0, 0.3, 0.5, 1, 2]
POINTS = [(1, 1), (-1, 1), (-1, -1), (1, -1), (0, 5), (0, -5), (0, 0)]


def show(label, function, *args):
    try:
        value = repr(function(*args))
    except Exception as exc:  # the failures are part of what the module offers
        value = f"{type(exc).__name__}: {exc}"
    print(f"  {label:<22} {value}")


def main():
    print("degrees")
    for angle in ANGLES:
        show(f"sin({angle})", trig.sin, angle)
        show(f"cosin({angle})", trig.cosin, angle)
        show(f"tan({angle})", trig.tan, angle)
    print("radians")
    for rad in (0.0, 0.5, 1.0, -1.0):
        show(f"_tan_rad({rad})", trig._tan_rad, rad)
    print("inverse functions")
    for x in RATIOS:
        show(f"arctan({x})", trig.arctan, x)
    show("arctan(0.5, iter=3)", trig.arctan, 0.5, 3)
    for x, y in POINTS:
        show(f"arctan2({x}, {y})", trig.arctan2, x, y)
    for x in (-1, -0.5, 0, 0.5, 1):
        show(f"arcsin({x})", trig.arcsin, x)
        show(f"arccos({x})", trig.arccos, x)


if __name__ == "__main__":
    main()
