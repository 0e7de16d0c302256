"""Stepwright from Python: programs, the instruction codec, masters on a
serial port, the simulated master and scenarios, on the same core as the
window and stepwright-cli (the same bytes, texts and checks).

    import stepwright
    prog = stepwright.Program.open("demo.sws")
    with stepwright.Simulator() as port, stepwright.Master(port) as m:
        m.download(prog)
        m.run()

Module types are named as --sim-modules names them: "servo", "io", "step",
plus "master"; a ModuleType also carries the module list's display name
("ZEL-SERVO").  Fields are the .sws field ids; as keyword arguments a '-' in
an id is written '_'.

Text is Latin-1 throughout, as in program files and on the wire: every str
taken or given holds one character per byte (\\x00 to \\xff), and a
character beyond Latin-1 is refused with a ProgramError naming its field.

Failures raise a stepwright.Error (ProgramError, PortError, NotResponding,
Refused, Mismatch); a wrong argument raises ValueError, TypeError or
IndexError, as Python's own calls do.
"""

from __future__ import annotations

import builtins
import os
import time as _time
from dataclasses import dataclass, field as _field
from typing import (Any, Dict, Iterable, Iterator, List, Mapping, NamedTuple, Optional, Protocol, Sequence, Tuple,
                    Union, overload)

from . import _stepwright as _core
from .errors import Error, Mismatch, NotResponding, PortError, ProgramError, Refused

__version__: str = _core.__version__

__all__ = ["Program", "Line", "Finding", "ModuleType", "Master", "Sample", "Simulator", "encode", "decode",
           "run_scenario", "ScenarioResult", "ProveResult", "Violation", "ProveInput", "Explored", "CycleTime",
           "Error", "ProgramError", "PortError", "NotResponding", "Refused",
           "Mismatch", "__version__"]

#: A field's value: a number, a check box, or a text (a text edit, or the id
#: of the chosen item of a choice or condition).
FieldValue = Union[int, bool, str]
#: A status value: a number, a bit (High/On is True) or a text (a version).
StatusValue = Union[int, bool, str]
#: A file name, as open() takes it.
PathArg = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class ModuleType(str):
    """A module type: equal to its short name ("master", "servo", "io",
    "step", or "unknown"), the names --sim-modules uses, with the type code
    in code and the module list's name in display_name ("[Master]",
    "ZEL-SERVO", "ZEL-I/O", "ZEL-STEP", "UNKNOWN")."""

    code: int
    display_name: str

    def __new__(cls, code: int) -> "ModuleType":
        self = super().__new__(cls, _core.module_type_name(code))
        self.code = code
        self.display_name = _core.module_display_name(code)
        return self

    def __repr__(self) -> str:
        return "ModuleType(%r, display_name=%r)" % (str(self), self.display_name)


@dataclass(frozen=True)
class Line:
    """One program line.  An instruction line has module, command (None for
    bytes no command builds), fields (a dict by .sws field id), bytes and,
    when set, label and goto; a comment line has comment (its text, ";"
    first) and None for the rest."""

    comment: Optional[str] = None
    label: Optional[str] = None
    goto: Optional[str] = None
    module: Optional[int] = None
    command: Optional[str] = None
    fields: Dict[str, FieldValue] = _field(default_factory=dict)
    bytes: builtins.bytes = b""


class Finding(Protocol):
    """A finding of Program.check()."""

    rule: str
    severity: str      # "note", "warning" or "error"
    line: int          # 0-based index into the program's lines
    listing_line: int  # from 1, as the Problems window numbers it
    file_line: Optional[int]  # the line in the file read; None once the lines changed
    message: str
    suppressed: bool   # by a "; check: ignore RULE-ID" comment line


class ProveInput(Protocol):
    """An input the world sets on the path Program.prove() found."""

    time_ms: Optional[int]  # simulated ms it is set after; None: before the run
    module: int             # 0: a key typed at the terminal
    input: Optional[str]    # "module 3 bit 5 (door-closed)"; None for a key
    level: Optional[str]    # "high" or "low"; None for a key
    key: Optional[str]      # the key typed (module 0), else None


class Violation(Protocol):
    """The first violation Program.prove() met, lines numbered as findings."""

    rule: str                   # travel, interlock, ...
    line: Optional[int]         # 0-based index of the line that caused it
    listing_line: Optional[int]  # from 1, as the Problems window numbers it
    file_line: Optional[int]    # the line in the file read; None once the lines changed
    standing_line: Optional[int]  # where the program stood when it was seen (0-based)
    standing_listing_line: Optional[int]
    standing_file_line: Optional[int]
    time_ms: int                # simulated time
    module: int
    value: Optional[int]        # the position, velocity or acceleration (those rules)
    message: str
    inputs: List[ProveInput]    # the path to it


class Explored(Protocol):
    """What Program.prove() explored."""

    paths: int
    decisions: int
    merged: int          # paths that met a state seen before
    ended: int           # paths on which the program stopped
    ended_on_error: int
    simulated_ms: int    # summed over the paths
    lines_covered: int
    instruction_lines: int
    lines_not_run: List[int]  # 0-based indices of instruction lines no path ran


class CycleTime(Protocol):
    """The shortest and longest run to StopProgram or the end."""

    shortest_ms: float
    longest_ms: float
    longest_inputs: List[ProveInput]


class ProveResult(Protocol):
    """The outcome of Program.prove()."""

    violation: Optional[Violation]
    explored: Explored
    bounds_cut: List[str]           # in words; [] when every path was explored
    cycle: Optional[CycleTime]      # None when no path ran to its end
    proven_within_bounds: bool      # no violation and no bound cut

    def counterexample(self, path: PathArg, program_path: PathArg) -> None:
        """Saves the program as proven to program_path and writes to path
        the scenario that sets the violation's inputs and sees it (as
        stepwright-cli prove --counterexample); ValueError when there is no
        violation."""


class ScenarioResult(Protocol):
    """The outcome of run_scenario()."""

    name: str
    passed: bool
    message: str
    failed_step: Optional[int]
    line: int
    steps_run: int
    simulated_ms: int
    printed: str


def _whole(value: object, name: str) -> int:
    """value as an int that fits the core's; TypeError or ValueError."""
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s takes an int, not %s" % (name, type(value).__name__))
    if not -2**31 <= value < 2**31:
        raise ValueError("%s %d is out of range" % (name, value))
    return value


def _text(value: object, name: str) -> str:
    if not isinstance(value, str):
        raise TypeError("%s takes a str, not %s" % (name, type(value).__name__))
    return value


def _optional_text(value: object, name: str) -> Optional[str]:
    return None if value is None else _text(value, name)


def _field_ids(fields: Optional[Mapping[str, FieldValue]], kwfields: Mapping[str, Any]) -> Dict[str, Any]:
    """Fields by .sws id: a mapping keeps its ids, keyword names have '_'
    for '-'."""
    if fields is not None:
        if kwfields:
            raise TypeError("give fields either as fields= or as keyword arguments, not both")
        if not isinstance(fields, Mapping):
            raise TypeError("fields takes a mapping of field ids to values, not %s" % type(fields).__name__)
        return dict(fields)
    return {k.replace("_", "-"): v for k, v in kwfields.items()}


def _type_code(name: object) -> int:
    code: int = _core.module_type_code(_text(name, "module_types"))
    if code == _core.module_type_code("master"):
        raise ValueError("the master is not a module of its own list: use servo, io, step")
    return code


def _line(t: Tuple[Any, ...]) -> Line:
    return Line(*t)


class Program(Sequence[Line]):
    """A sequence program: its module list and its lines.  A Program is a
    sequence of Line: len(), program[i], program[i:j] and iteration."""

    _p: Any

    def __init__(self, module_types: Iterable[str] = ("servo", "servo", "io", "step")) -> None:
        """An empty program written against module_types (addresses 1 on,
        named "servo", "io", "step")."""
        if isinstance(module_types, str):
            raise TypeError("module_types takes a sequence of type names, not one str")
        self._p = _core.Program.empty([_type_code(t) for t in module_types])

    @classmethod
    def _wrap(cls, core: Any) -> "Program":
        p = cls.__new__(cls)
        p._p = core
        return p

    @classmethod
    def open(cls, path: PathArg) -> "Program":
        """Reads a program file (.stw) or program text (.sws) as Open does."""
        return cls._wrap(_core.Program.open(path))

    @classmethod
    def from_text(cls, text: str) -> "Program":
        """Parses program text (the .sws form)."""
        return cls._wrap(_core.Program.from_text(_text(text, "text")))

    def save(self, path: PathArg) -> None:
        """Writes the program: program text when path ends in .sws, else a
        program file; the earlier file stays whole on any failure.  path is
        a str, bytes or path object (ValueError for a NUL in it)."""
        self._p.save(path)

    def text(self) -> str:
        """The program as program text (.sws)."""
        t: str = self._p.text()
        return t

    @property
    def modules(self) -> Dict[int, ModuleType]:
        """The module list: address -> ModuleType (0 is "master")."""
        return {a: ModuleType(code) for a, code in self._p.modules().items()}

    @property
    def lines(self) -> List[Line]:
        """Every line, in order (the same as list(program))."""
        return [_line(t) for t in self._p.lines()]

    def listing(self) -> List[str]:
        """The listing lines as the window shows them."""
        out: List[str] = self._p.listing()
        return out

    def __len__(self) -> int:
        n: int = self._p.size()
        return n

    @overload
    def __getitem__(self, index: int) -> Line: ...

    @overload
    def __getitem__(self, index: slice) -> List[Line]: ...

    def __getitem__(self, index: Union[int, slice]) -> Union[Line, List[Line]]:
        if isinstance(index, slice):
            return self.lines[index]
        if isinstance(index, bool) or not isinstance(index, int):
            raise TypeError("program indices are int or slice, not %s" % type(index).__name__)
        return self.lines[index]

    def __iter__(self) -> Iterator[Line]:
        return iter(self.lines)

    def _index(self, index: int, end_allowed: bool) -> int:
        index = _whole(index, "index")
        n = len(self)
        if index < 0:
            index += n
        if index < 0 or index > n or (index == n and not end_allowed):
            raise IndexError("line index %d is outside the program" % index)
        return index

    def append(self, module: int, command: str, label: Optional[str] = None, goto: Optional[str] = None,
               fields: Optional[Mapping[str, FieldValue]] = None, **kwfields: FieldValue) -> None:
        """Builds a line as the builder does and adds it at the end: fields by
        .sws id in fields=, or as keyword arguments ('-' written '_').  Raises
        ProgramError with the builder's message and the field it refused."""
        self.insert(len(self), module, command, label, goto, fields, **kwfields)

    def insert(self, index: int, module: int, command: str, label: Optional[str] = None,
               goto: Optional[str] = None, fields: Optional[Mapping[str, FieldValue]] = None,
               **kwfields: FieldValue) -> None:
        """Builds a line and puts it before line index (negative counts from
        the end, as list.insert)."""
        index = self._index(index, True)
        self._p.insert(index, _whole(module, "module"), _text(command, "command"),
                       _optional_text(label, "label"), _optional_text(goto, "goto"), _field_ids(fields, kwfields))

    def append_comment(self, text: str) -> None:
        """Adds a comment line (";" is put first when missing; at most 60
        characters with it)."""
        self._p.insert_comment(len(self), _text(text, "text"))

    def insert_comment(self, index: int, text: str) -> None:
        """Puts a comment line before line index."""
        self._p.insert_comment(self._index(index, True), _text(text, "text"))

    def remove(self, index: int) -> None:
        """Removes line index (negative counts from the end)."""
        self._p.remove(self._index(index, False))

    def assemble(self) -> bytes:
        """The program image as the master receives it."""
        image: bytes = self._p.assemble()
        return image

    def check(self, machine: Optional[PathArg] = None) -> List[Finding]:
        """The check's findings: each with rule, severity ("note",
        "warning", "error"), line (0-based index into lines), listing_line
        (from 1, as the Problems window numbers it), file_line (the line in
        the file read, or None once lines changed), message and suppressed.
        machine=FILE adds the machine description's rules, as
        stepwright-cli check --machine does; a malformed description raises
        ProgramError with every error line."""
        if machine is not None and not isinstance(machine, (str, bytes, os.PathLike)):
            raise TypeError("machine takes a path, not %s" % type(machine).__name__)
        findings: List[Finding] = self._p.check(machine)
        return findings

    def prove(self, machine: PathArg, *, max_time_ms: Optional[int] = None, max_paths: Optional[int] = None,
              cycle: Optional[str] = None) -> ProveResult:
        """Explores the program on the simulated master along every path its
        inputs allow, held against the machine description at machine, as
        stepwright-cli prove does.  max_time_ms bounds the simulated time of
        a path (60000), max_paths the paths (1000); cycle names a label whose
        passes are timed.  Gives violation (None, or the first one with its
        rule, lines, time, message and the inputs that lead to it),
        explored, bounds_cut, cycle and proven_within_bounds;
        counterexample(path, program_path) writes the scenario that replays
        the violation.  A malformed description, one that does not fit the
        module list, or a program that does not assemble raises
        ProgramError."""
        if not isinstance(machine, (str, bytes, os.PathLike)):
            raise TypeError("machine takes a path, not %s" % type(machine).__name__)
        time_ms = 60000 if max_time_ms is None else _whole(max_time_ms, "max_time_ms")
        paths = 1000 if max_paths is None else _whole(max_paths, "max_paths")
        result: ProveResult = self._p.prove(machine, time_ms, paths, _optional_text(cycle, "cycle"))
        return result


def encode(module_type: str, command: str, module: int = 1, fields: Optional[Mapping[str, FieldValue]] = None,
           **kwfields: FieldValue) -> bytes:
    """The bytes of one instruction: module_type "master", "servo", "io" or
    "step", command as the command box lists it, fields by .sws id (a dict)
    or as keyword arguments ('-' written '_').  goto="LABEL" (or "->" in
    fields) names a jump target."""
    target = kwfields.pop("goto", None) if fields is None else None
    f = _field_ids(fields, kwfields)
    if target is not None:
        f["->"] = target
    data: bytes = _core.encode(_text(module_type, "module_type"), _text(command, "command"),
                               _whole(module, "module"), f)
    return data


def decode(data: Union[bytes, bytearray, memoryview], module_type: str) -> Tuple[str, Dict[str, FieldValue]]:
    """The command name and fields (a dict by .sws id) of an instruction's
    bytes, in the family of module_type."""
    result: Tuple[str, Dict[str, FieldValue]] = _core.decode(data, _text(module_type, "module_type"))
    return result


class Sample(NamedTuple):
    """One row of Master.watch(): seconds since the first row, each watched
    module's status by address, and whether the program may have run while
    they were read (its last status said so, or it was started since), as
    stepwright-cli watch marks a row "(program running)"."""

    seconds: float
    modules: Dict[int, Dict[str, StatusValue]]
    program_running: bool


class Master:
    """A master on a port: "COM1".."COM6" (mapped with "COMn=/dev/DEVICE"),
    or a device path.  Use it in a with block, which opens and closes the
    port.  log=FILE writes every byte through the port to FILE at close, as
    stepwright-cli --log does.  Failures raise NotResponding, Refused or
    PortError.  Ctrl+C during a download, verify or upload stops it between
    two blocks and raises KeyboardInterrupt; the master stays usable, and
    after an interrupted download run() and step() raise Refused until a
    download or a matching verify()."""

    port: str

    def __init__(self, port: PathArg, log: Optional[PathArg] = None) -> None:
        self.port = os.fsdecode(os.fspath(port))
        self._m = _core.Master(port, log)

    def __enter__(self) -> "Master":
        self._m.open()
        return self

    def __exit__(self, *exc: object) -> None:
        self._m.close()

    def open(self) -> None:
        """Opens the port (a with block does this)."""
        self._m.open()

    def close(self) -> None:
        """Closes the port (and writes the log, when one was asked for)."""
        self._m.close()

    def detect(self) -> Dict[int, ModuleType]:
        """Stops the program and detects the modules (2 s): address ->
        ModuleType (0 is the master)."""
        return {a: ModuleType(code) for a, code in self._m.detect().items()}

    def download(self, program: Program, verify: bool = True) -> None:
        """Downloads the program and (unless verify=False) reads it back;
        raises Mismatch when the master holds other bytes."""
        self._m.download(_program(program), bool(verify))

    def verify(self, program: Program) -> bool:
        """True when the master holds exactly this program's image."""
        same: bool = self._m.verify(_program(program))
        return same

    def compare(self, program: Program) -> List[Dict[str, Union[int, str]]]:
        """The lines in which the master's program differs from program, each
        a dict: "in" ("program" or "master"), "line" (from 1), "address",
        "label", "text" (as the listing shows it); [] when it holds exactly
        this program."""
        lines: List[Dict[str, Union[int, str]]] = self._m.compare(program._p)
        return lines

    def upload(self) -> Program:
        """Reads the program back from the master as a Program."""
        return Program._wrap(self._m.upload())

    def run(self, label: Optional[str] = None) -> None:
        """Starts the program from its first instruction, or from label (of
        the program downloaded or verified last).  The first run, step or
        detect() of a connection detects the modules first (2 s), which
        stops a running program."""
        self._m.run(_optional_text(label, "label"))

    def stop(self) -> None:
        """Stops the program."""
        self._m.stop()

    def step(self) -> None:
        """Runs one instruction (detecting the modules first, as run())."""
        self._m.step()

    def reset(self) -> None:
        """Resets the master."""
        self._m.reset()

    def status(self, address: int) -> Dict[str, StatusValue]:
        """The status of module address (0 the master) as its status window
        shows it: caption -> value, numbers as int, High/Low and On/Off as
        True/False."""
        values: Dict[str, StatusValue] = self._m.status(_whole(address, "address"))
        return values

    def watch(self, addresses: Iterable[int], interval_ms: int = 0) -> Iterator[Sample]:
        """An endless iterator of Samples (seconds, modules, program_running):
        one status poll, then each module's status.  Stop it with break."""
        watched = [_whole(a, "address") for a in addresses]
        interval = _whole(interval_ms, "interval_ms")
        if interval < 0:
            raise ValueError("interval_ms must not be negative")
        start = _time.monotonic()
        while True:
            t = _time.monotonic() - start
            running, modules = self._m.sample_row(watched)
            yield Sample(t, modules, running)
            if interval:
                _time.sleep(interval / 1000.0)

    def printed(self) -> str:
        """The characters the program printed since the last call, exactly
        as the master sent them: a "\\r" stays a "\\r" (the terminal window
        shows it as a new line); a NUL sent between two polls is not kept."""
        text: str = self._m.printed()
        return text

    def send_key(self, c: str) -> None:
        """Sends one key to the master, as typed in the terminal window: a
        character from "\\x00" to "\\x7f" (ValueError above: bytes from 0x80
        up are the master's commands)."""
        self._m.send_key(c)


def _program(program: object) -> Any:
    if not isinstance(program, Program):
        raise TypeError("takes a stepwright.Program, not %s" % type(program).__name__)
    return program._p


class Simulator:
    """A simulated master on a pseudo-terminal; in a with block it gives its
    port (a device path) and stops at the end.  pace=0 runs the line at full
    speed, else at that baud rate.  faults are stepwright-sim's --fault
    values ("cc", "silent-from=0x85", ...).  The inputs and outputs of the
    Simulator window: set_input, hold, output and position."""

    port: str

    def __init__(self, modules: Iterable[str] = ("servo", "servo", "io", "step"), pace: int = 0,
                 faults: Iterable[str] = ()) -> None:
        if isinstance(modules, str) or isinstance(faults, str):
            raise TypeError("modules and faults take sequences of str, not one str")
        pace = _whole(pace, "pace")
        if pace < 0:
            raise ValueError("pace must not be negative")
        self._sim = _core.Simulator([_text(m, "modules") for m in modules], pace,
                                    [_text(f, "faults") for f in faults])
        self.port = self._sim.port()

    def __enter__(self) -> str:
        return self.port

    def __exit__(self, *exc: object) -> None:
        self.stop()

    def stop(self) -> None:
        """Stops the simulated master."""
        self._sim.stop()

    def set_input(self, module: int, bit: int, level: bool) -> None:
        """Holds input pin bit (1 to 12) of I/O module `module` high (True)
        or low."""
        self._sim.set_input(_whole(module, "module"), _whole(bit, "bit"), bool(level))

    def hold(self, module: int, switch: str, level: bool) -> None:
        """Holds a stepper's switch high (True) or low: "limit-1",
        "limit-2", "home-switch", "e-stop", or its inputs "1" and "2"."""
        self._sim.hold(_whole(module, "module"), _text(switch, "switch"), bool(level))

    def output(self, module: int, bit: int) -> bool:
        """Whether pin bit (1 to 12) of I/O module `module` is an output
        driving high."""
        on: bool = self._sim.output(_whole(module, "module"), _whole(bit, "bit"))
        return on

    def position(self, module: int) -> int:
        """The position of servo or stepper `module`."""
        p: int = self._sim.position(_whole(module, "module"))
        return p


def run_scenario(path: PathArg) -> ScenarioResult:
    """Runs a scenario file (YAML) in virtual time: name, passed, message,
    failed_step, line, steps_run, simulated_ms, printed."""
    result: ScenarioResult = _core.run_scenario(path)
    return result
