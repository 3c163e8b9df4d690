"""Algebra helpers of the quorvel project."""
