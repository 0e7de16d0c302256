"""Stepwright from Python: programs, the instruction codec, masters on a
serial port, the simulated master and scenarios, on the same core as the
window and stepwright-cli (the same bytes, texts and checks).

    import stepwright
    prog = stepwright.Program.open("demo.sws")
    with stepwright.Simulator() as port, stepwright.Master(port) as m:
        m.download(prog)
        m.run()

Module types are named as --sim-modules names them: "servo", "io", "step",
plus "master".  Fields are the .sws field ids; as keyword arguments a '-' in
an id is written '_'.  Every failure raises a stepwright.Error.
"""

import time as _time

from . import _stepwright as _core
from .errors import Error, ProgramError, PortError, NotResponding, Refused, Mismatch

__all__ = ["Program", "Master", "Simulator", "encode", "decode", "run_scenario",
           "Error", "ProgramError", "PortError", "NotResponding", "Refused", "Mismatch"]


class Program:
    """A sequence program: its module list and its lines."""

    def __init__(self, module_types=("servo", "servo", "io", "step")):
        """An empty program written against module_types (addresses 1 on,
        named "servo", "io", "step")."""
        self._p = _core.Program.empty([_type_code(t) for t in module_types])

    @classmethod
    def _wrap(cls, core):
        p = cls.__new__(cls)
        p._p = core
        return p

    @classmethod
    def open(cls, path):
        """Reads a program file (.stw) or program text (.sws) as Open does."""
        return cls._wrap(_core.Program.open(str(path)))

    @classmethod
    def from_text(cls, text):
        """Parses program text (the .sws form)."""
        return cls._wrap(_core.Program.from_text(text))

    def save(self, path):
        """Writes the program: program text when path ends in .sws, else a
        program file; the earlier file stays whole on any failure."""
        self._p.save(str(path))

    def text(self):
        """The program as program text (.sws)."""
        return self._p.text()

    @property
    def modules(self):
        """The module list: address -> type name (0 is "master")."""
        return self._p.modules()

    @property
    def lines(self):
        """The lines, each with label, goto, module, command, fields (a dict
        by .sws field id) and bytes; a comment line has comment set and
        None for the rest."""
        return self._p.lines()

    def listing(self):
        """The listing lines as the window shows them."""
        return self._p.listing()

    def __len__(self):
        return self._p.size()

    def append(self, module, command, label=None, goto=None, **fields):
        """Builds a line as the builder does and adds it at the end.  Raises
        ProgramError with the builder's message and the field it refused."""
        self._p.insert(self._p.size(), module, command, label, goto, fields, True)

    def insert(self, index, module, command, label=None, goto=None, fields=None, **kwfields):
        """Builds a line and puts it before line index."""
        if fields:
            if kwfields:
                raise ProgramError("give fields either as a dict or as keyword arguments", None)
            self._p.insert(index, module, command, label, goto, dict(fields), False)
        else:
            self._p.insert(index, module, command, label, goto, kwfields, True)

    def append_comment(self, text):
        """Adds a comment line (";" is put first when missing)."""
        self._p.insert_comment(self._p.size(), text)

    def remove(self, index):
        """Removes line index."""
        self._p.remove(index)

    def assemble(self):
        """The program image as the master receives it (bytes)."""
        return self._p.assemble()

    def check(self):
        """The check's findings: each with rule, severity ("note",
        "warning", "error"), line (0-based index into lines) and message."""
        return self._p.check()


def _type_code(name):
    codes = {"servo": 0, "io": 2, "step": 3, "stepper": 3}
    if name not in codes:
        raise ProgramError("unknown module type '%s' (servo, io, step)" % (name,), "module_types")
    return codes[name]


def encode(module_type, command, module=1, fields=None, **kwfields):
    """The bytes of one instruction: module_type "master", "servo", "io" or
    "step", command as the command box lists it, fields by .sws id (a dict)
    or as keyword arguments ('-' written '_').  goto="LABEL" names a jump
    target."""
    if fields is not None:
        return _core.encode(module_type, command, module, dict(fields), False)
    target = kwfields.pop("goto", None)
    f = {k.replace("_", "-"): v for k, v in kwfields.items()}
    if target is not None:
        f["->"] = target
    return _core.encode(module_type, command, module, f, False)


def decode(data, module_type):
    """The command name and fields (a dict by .sws id) of an instruction's
    bytes, in the family of module_type."""
    return _core.decode(bytes(data), module_type)


class Master:
    """A master on a port: "COM1".."COM6" (mapped with "COMn=/dev/DEVICE"),
    or a device path.  Use it in a with block, which opens and closes the
    port.  Failures raise NotResponding, Refused or PortError."""

    def __init__(self, port):
        self.port = str(port)
        self._m = _core.Master(self.port)

    def __enter__(self):
        self._m.open()
        return self

    def __exit__(self, *exc):
        self._m.close()
        return False

    def open(self):
        """Opens the port (a with block does this)."""
        self._m.open()

    def close(self):
        """Closes the port."""
        self._m.close()

    def detect(self):
        """Stops the program and detects the modules: address -> name."""
        return self._m.detect()

    def download(self, program, verify=True):
        """Downloads the program and (unless verify=False) reads it back;
        raises Mismatch when the master holds other bytes."""
        self._m.download(program._p, verify)

    def verify(self, program):
        """True when the master holds exactly this program's image."""
        return self._m.verify(program._p)

    def compare(self, program):
        """The lines in which the master's program differs from program, each
        a dict: "in" ("program" or "master"), "line" (from 1), "address",
        "label", "text" (as the listing shows it); [] when it holds exactly
        this program."""
        return self._m.compare(program._p)

    def upload(self):
        """Reads the program back from the master as a Program."""
        return Program._wrap(self._m.upload())

    def run(self, label=None):
        """Starts the program from its first instruction, or from label (of
        the program downloaded or verified last)."""
        self._m.run(label or "")

    def stop(self):
        """Stops the program."""
        self._m.stop()

    def step(self):
        """Runs one instruction."""
        self._m.step()

    def reset(self):
        """Resets the master."""
        self._m.reset()

    def status(self, address):
        """The status of module address (0 the master) as its status window
        shows it: caption -> value text."""
        return self._m.status(address)

    def watch(self, addresses, interval_ms=0):
        """An endless iterator of samples: (seconds since the first, {address:
        status dict}).  Stop it with break."""
        start = _time.monotonic()
        while True:
            t = _time.monotonic() - start
            yield t, {a: self._m.status(a) for a in addresses}
            if interval_ms:
                _time.sleep(interval_ms / 1000.0)

    def printed(self):
        """The text the program printed since the last call."""
        return self._m.printed()

    def send_key(self, c):
        """Sends one key to the master, as typed in the terminal window."""
        self._m.send_key(c)


class Simulator:
    """A simulated master on a pseudo-terminal; in a with block it gives its
    port (a device path) and stops at the end.  pace=0 runs the line at full
    speed, else at that baud rate.  faults are stepwright-sim's --fault
    values ("cc", "silent-from=0x85", ...)."""

    def __init__(self, modules=("servo", "servo", "io", "step"), pace=0, faults=()):
        self._sim = _core.Simulator(list(modules), int(pace), list(faults))
        self.port = self._sim.port()

    def __enter__(self):
        return self.port

    def __exit__(self, *exc):
        self.stop()
        return False

    def stop(self):
        """Stops the simulated master."""
        self._sim.stop()


def run_scenario(path):
    """Runs a scenario file (YAML) in virtual time: name, passed, message,
    failed_step, line, steps_run, simulated_ms, printed."""
    return _core.run_scenario(str(path))

