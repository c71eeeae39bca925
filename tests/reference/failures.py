"""How the reference models report the failures the module raises."""


class Failure(Exception):
    """kind is "ValueError", "SizeViolation" or "Panic"; message is exact."""

    def __init__(self, kind, message):
        super().__init__(kind, message)
        self.kind = kind
        self.message = message
