"""Numeric constants used by geometry.trigonometry."""

pi = 3.141592653589793
