"""Geometry helpers of the quorvel project; `trigonometry` is a native module."""
