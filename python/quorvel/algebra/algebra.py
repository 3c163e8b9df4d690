"""Elementary algebra used by geometry.trigonometry."""

from math import sqrt  # correctly rounded; ValueError for a negative argument

__all__ = ["sqrt"]
