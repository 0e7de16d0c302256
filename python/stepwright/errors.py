"""The exceptions of stepwright: every failure of the master, the port or a
program is a stepwright.Error; a port that cannot be opened is also an
OSError and a master that does not answer a TimeoutError, so that code
written for Python's own exceptions catches them too."""

from typing import Optional


class Error(Exception):
    """Base of every exception stepwright raises for what it was given or
    found (a wrong argument raises ValueError, TypeError or IndexError)."""


class ProgramError(Error):
    """A program, line or field was refused: message is the builder's own,
    field the id of the refused field (None when no field is to blame)."""

    def __init__(self, message: str, field: Optional[str] = None) -> None:
        super().__init__(message)
        self.message = message
        self.field = field


class PortError(Error, OSError):
    """The port cannot be opened (unknown name, no device, no permission),
    or the link log cannot be written."""


class NotResponding(Error, TimeoutError):
    """The master did not answer."""


class Refused(Error):
    """The master refused the request (it answered 0xCC), the program's
    module list does not match the master's modules, or a run or step was
    asked after an interrupted download (the master holds part of a
    program)."""


class Mismatch(Error):
    """Verify found the master's program different from the one sent."""
