"""Programs and the codec: parity with stepwright-cli, and refusals."""
import json
import subprocess

import pytest
import stepwright
from conftest import CLI, EXAMPLES

PROGRAMS = sorted(p.name for p in EXAMPLES.glob("*.stw")) + sorted(p.name for p in EXAMPLES.glob("*.sws"))


def visible(text):
    """A listing line as stepwright-cli prints it: control bytes escaped."""
    names = {"\r": "\\r", "\n": "\\n", "\t": "\t"}
    return "".join(names.get(c, "\\x%02X" % ord(c) if ord(c) < 32 or ord(c) == 127 else c) for c in text)


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, check=True).stdout


@pytest.mark.parametrize("name", PROGRAMS)
def test_same_image_listing_and_findings_as_the_command_line(name, tmp_path):
    path = str(EXAMPLES / name)
    program = stepwright.Program.open(path)
    cli("assemble", path, "-o", str(tmp_path / "image.bin"))
    assert program.assemble() == (tmp_path / "image.bin").read_bytes()
    assert [visible(line) + "\n" for line in program.listing()] == cli("list", path).decode("latin-1").splitlines(True)
    doc = json.loads(subprocess.run([CLI, "check", "--json", path], capture_output=True).stdout)
    expected = [(f["rule"], f["severity"], f["message"], f["line"], f["listingLine"]) for f in doc["files"][0]["findings"]]
    assert [(f.rule, f.severity, f.message, f.file_line, f.listing_line) for f in program.check()] == expected
    # The text reads back to the same program.
    assert stepwright.Program.from_text(program.text()).assemble() == program.assemble()


FAULTY = (".stepwright 1\n.module 0 [Master]\n\n"
          "; faults\n"
          "; check: ignore busy-loop\n"
          "L:  0 If-GoTo any-key -> NOWHERE\n"
          "    0 GoTo -> L\n"
          "    0 Delay time=2\n")


@pytest.mark.parametrize("suffix", [".sws", ".stw"])
def test_findings_carry_the_listing_line_and_the_file_line(suffix, tmp_path):
    """One numbering: the listing line as the window counts it, and the line
    in the file as check prints it; the same through Python and the tool."""
    text = tmp_path / "faulty.sws"
    text.write_bytes(FAULTY.encode("latin-1"))
    path = text
    if suffix == ".stw":
        path = tmp_path / "faulty.stw"
        cli("import", str(text), "-o", str(path))
    findings = stepwright.Program.open(str(path)).check()
    # Listing lines: the comments count, from 1.
    assert [(f.rule, f.line, f.listing_line, f.suppressed) for f in findings] == [
        ("undefined-label", 2, 3, False), ("busy-loop", 2, 3, True), ("unreachable", 4, 5, False)]
    out = subprocess.run([CLI, "check", str(path)], capture_output=True).stdout.decode("latin-1")
    printed = [int(line.split(":")[1]) for line in out.splitlines()]
    assert printed == [f.file_line for f in findings if not f.suppressed]
    if suffix == ".sws":
        assert printed == [6, 8]
    # Once edited, the lines no longer stand in the file.
    program = stepwright.Program.open(str(path))
    program.remove(0)
    assert [f.file_line for f in program.check()] == [None, None, None]


@pytest.mark.parametrize("name", ["every-command.sws", "demo.sws", "subroutines.sws"])
def test_every_line_rebuilds_from_its_fields(name):
    """Each line's decoded fields encode back to its bytes, through the
    module-level codec and through append."""
    program = stepwright.Program.open(str(EXAMPLES / name))
    again = stepwright.Program(module_types=[t for a, t in sorted(program.modules.items()) if a > 0])
    for line in program.lines:
        if line.comment is not None:
            again.append_comment(line.comment)
            continue
        assert line.command is not None, line
        module_type = program.modules[line.module] if line.module else "master"
        fields = dict(line.fields)
        if line.goto:
            fields["->"] = line.goto
        encoded = stepwright.encode(module_type, line.command, line.module, fields=fields)
        assert encoded == line.bytes or line.goto, line   # a jump's address is patched at assembly
        assert stepwright.decode(line.bytes, module_type) == (line.command, line.fields)
        again.insert(len(again), line.module, line.command, label=line.label, goto=line.goto, fields=line.fields)
    assert again.assemble() == program.assemble()


ENCODED = [
    # module type, command, module, keyword fields, bytes
    ("servo", "Move", 1, dict(position=4000, velocity=4000, acceleration=40, pwm=0),
     "aa01e49fa00f0000a00f000028000000000a01"),
    ("servo", "Stop", 2, dict(enable_amplifier=True, stop_mode="stop-abruptly"), "aa0217253e01"),
    ("master", "Print", 0, dict(print_chars="Hi", add_carriage_return=True), "bb0305" + "4869" + "0d"),
    ("master", "Delay", 0, dict(time=50), None),
]


@pytest.mark.parametrize("module_type,command,module,fields,expected", ENCODED)
def test_encode_by_keywords(module_type, command, module, fields, expected):
    data = stepwright.encode(module_type, command, module, **fields)
    if expected is not None:
        assert data.hex() == expected
    name, decoded = stepwright.decode(data, module_type)
    assert name == command
    for key, value in fields.items():
        assert decoded[key.replace("_", "-")] == value


REFUSED = [
    # call, the field refused, a part of the message
    (lambda: stepwright.encode("servo", "Move", position=99999999999, velocity=1, acceleration=1, pwm=0),
     "position", "out of range"),
    (lambda: stepwright.encode("servo", "Move", position="x", velocity=1, acceleration=1, pwm=0),
     "position", "Invalid numeric value"),
    (lambda: stepwright.encode("servo", "Move", speed=3), "speed", "has no field"),
    (lambda: stepwright.encode("servo", "Jump"), "command", "unknown Servo command"),
    (lambda: stepwright.encode("servo", "Stop", stop_mode="sideways"), "stop-mode", "unknown item"),
    (lambda: stepwright.decode(b"\x01", "servo"), "bytes", "3 to 24 bytes"),
    (lambda: stepwright.Program().append(9, "Stop"), "module", "no module at address 9"),
    (lambda: stepwright.Program().append(0, "Delay", time=1, label="L" * 16), "label", "15 characters"),
    (lambda: stepwright.Program.from_text(".stepwright 1\n  0 Nonsense\n"), None, "Not a valid program file"),
]


@pytest.mark.parametrize("call,field,message", REFUSED)
def test_refusals_raise_program_error(call, field, message):
    with pytest.raises(stepwright.ProgramError) as caught:
        call()
    assert caught.value.field == field
    assert message in str(caught.value)
    assert isinstance(caught.value, stepwright.Error)


def test_edit_save_and_open_again(tmp_path):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", label="TOP", time=5)
    program.append(0, "GoTo", goto="TOP")
    program.insert(1, 1, "Stop", enable_amplifier=True, stop_mode="stop-abruptly")
    program.remove(0)
    with pytest.raises(stepwright.ProgramError):
        program.assemble()   # the label is gone
    program.insert(0, 0, "Delay", label="TOP", time=5)
    for suffix in ("sws", "stw"):
        path = tmp_path / ("p." + suffix)
        program.save(str(path))
        back = stepwright.Program.open(str(path))
        assert back.assemble() == program.assemble()
        assert [(l.label, l.command, l.goto) for l in back.lines] == [
            ("TOP", "Delay", None), (None, "Stop", None), (None, "GoTo", "TOP")]
    assert program.modules == {0: "master", 1: "servo"}
