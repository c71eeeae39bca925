"""Exceptions of the tavik package."""


class SizeViolation(ValueError):
    """A problem is larger than a routine supports (for example more than 20
    variables for exhaustive enumeration). The message names the limit."""
