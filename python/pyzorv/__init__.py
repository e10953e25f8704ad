"""Zorv: a SQL-like statement language for Qdrant, with a native core."""


class ZorvError(Exception):
    """Base of the pyzorv exceptions.

    Built by the native module as ``cls(message, code, kind, span, fields)``; ``str()`` is the
    error's display text.
    """

    def __init__(self, message="", code=None, kind=None, span=None, fields=None):
        super().__init__(message)
        self.code = code
        self.kind = kind
        self.span = tuple(span) if span is not None else None
        self.fields = dict(fields) if fields else {}

    @property
    def request_id(self):
        try:
            return self.fields["request_id"]
        except KeyError:
            raise AttributeError("request_id") from None

    def __str__(self):
        return self.args[0] if self.args else ""

    def __reduce__(self):
        return (type(self), (str(self), self.code, self.kind, self.span, self.fields))


class ZorvSyntaxError(ZorvError, SyntaxError):
    """A lexer or parser failure (kinds Lex and Parse)."""


class ZorvValidationError(ZorvError, ValueError):
    """A statement or its parameters failed validation or binding."""


class ZorvExecutionError(ZorvError, RuntimeError):
    """A failure while running statements (embedding, rerank, serialisation)."""


class ZorvTransportError(ZorvError, RuntimeError):
    """The server could not be reached, or a deadline passed."""


class ZorvBackendError(ZorvError, RuntimeError):
    """The server answered with an error."""


from .pyzorv import *  # noqa: E402,F401,F403
from .pyzorv import __all__ as _native_all, __version__  # noqa: E402,F401

__all__ = list(_native_all) + [
    "ZorvError",
    "ZorvSyntaxError",
    "ZorvValidationError",
    "ZorvExecutionError",
    "ZorvTransportError",
    "ZorvBackendError",
]
