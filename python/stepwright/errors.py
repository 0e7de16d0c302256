"""The exceptions of stepwright: every failure is a stepwright.Error."""


class Error(Exception):
    """Base of every exception stepwright raises."""


class ProgramError(Error):
    """A program, line or field was refused: message is the builder's own,
    field the id of the refused field (None when no field is to blame)."""

    def __init__(self, message, field=None):
        super().__init__(message)
        self.message = message
        self.field = field


class PortError(Error):
    """The port cannot be opened (unknown name, no device, no permission)."""


class NotResponding(Error):
    """The master did not answer."""


class Refused(Error):
    """The master refused the request (it answered 0xCC), or the program's
    module list does not match the master's modules."""


class Mismatch(Error):
    """Verify found the master's program different from the one sent."""
