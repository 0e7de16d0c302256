"""Text as Latin-1 bytes through every call, against the command line; the
refusals of what program text refuses; Python's own exceptions for wrong
arguments; a Program as a sequence of lines."""
import subprocess

import pytest
import stepwright
from conftest import CLI

PRINT, KEY = 0x05, 0x03   # master command codes: Print, If-GoTo


def line_for(b):
    """The lines for byte b: a Print holding it, an If-GoTo on it as key, a
    comment and a label holding it (those refused are None)."""
    c = chr(b)
    return c + "z", c, "; " + c, "L" + c


def test_every_byte_value_is_one_character_as_on_the_command_line(tmp_path):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", label="TOP", time=1)
    refused_labels = set()
    expected = [bytes([0xBB, 0x02, 0x09, 0x01, 0x00])]
    for b in range(256):
        text, key, comment, label = line_for(b)
        program.append(0, "Print", fields={"print-chars": text})
        expected.append(bytes([0xBB, 0x02, PRINT, b, ord("z")]))
        program.append(0, "If-GoTo", goto="TOP", condition="key", key=key)
        expected.append(bytes([0xBB, 0x05, KEY, 0xFF, 0xFF, 0x03, b, 0xFF]))
        try:
            program.append(0, "Delay", label=label, time=1)
            expected.append(bytes([0xBB, 0x02, 0x09, 0x01, 0x00]))
        except stepwright.ProgramError as e:
            assert e.field == "label"
            refused_labels.add(b)
        try:
            program.append_comment(comment)
            expected.append(b";" + comment[1:].encode("latin-1"))
        except stepwright.ProgramError as e:
            assert e.field == "text"
            assert b in (0, 10, 13)
    # A label cannot hold a NUL or a line break; every other byte is taken.
    assert refused_labels == {0, 10, 13}

    lines = program.lines
    got = [l.bytes if l.comment is None else l.comment.encode("latin-1") for l in lines]
    assert [g if e is not None else None for g, e in zip(got, expected)] == expected
    # Each instruction decodes to the same characters and encodes back.
    for line in lines:
        if line.comment is not None:
            assert len(line.comment) <= 60 and line.comment.startswith(";")
            continue
        if line.command is None:
            # A Print whose text holds a line break before its end reads
            # back otherwise (the builder stops at the break): no command
            # builds it, as program text writes it raw.
            assert line.bytes[2] == PRINT and (13 in line.bytes[3:-1] or 10 in line.bytes[3:-1])
            with pytest.raises(stepwright.ProgramError):
                stepwright.decode(line.bytes, "master")
            continue
        name, fields = stepwright.decode(line.bytes, "master")
        assert (name, fields) == (line.command, line.fields)
        again = stepwright.encode("master", name, 0, fields=dict(fields, **({"->": line.goto} if line.goto else {})))
        assert again == line.bytes
    labels = [l.label for l in lines if l.label]
    assert labels == ["TOP"] + ["L" + chr(b) for b in range(256) if b not in refused_labels]

    # The command line reads the same text into the same records and writes
    # the same text and image.
    sws, stw = tmp_path / "all.sws", tmp_path / "all.stw"
    program.save(str(sws))
    assert sws.read_bytes().decode("utf-8") == program.text()
    subprocess.run([CLI, "import", str(sws), "-o", str(stw)], check=True, capture_output=True)
    assert stepwright.Program.open(str(stw)).lines == lines
    exported = subprocess.run([CLI, "export", str(stw)], check=True, capture_output=True).stdout
    assert exported.decode("utf-8") == program.text()
    # The lines without a command are those program text writes raw.
    nameless = [l for l in lines if l.comment is None and l.command is None]
    assert len(nameless) == exported.count(b" raw code=") == 2   # Print "\rz" and "\nz"
    subprocess.run([CLI, "assemble", str(sws), "-o", str(tmp_path / "image.bin")], check=True, capture_output=True)
    assert (tmp_path / "image.bin").read_bytes() == program.assemble()
    back = stepwright.Program.from_text(program.text())
    assert back.lines == lines and back.text() == program.text()


BEYOND_LATIN1 = [
    # call, the field named
    (lambda p: stepwright.encode("master", "Print", 0, fields={"print-chars": "\u20ac"}), "print-chars"),
    (lambda p: p.append(0, "Print", print_chars="caf\u00e9 \u2013"), "print-chars"),
    (lambda p: p.append(0, "If-GoTo", goto="X", condition="key", key="\u0100"), "key"),
    (lambda p: p.append(0, "Delay", label="\u0141", time=1), "label"),
    (lambda p: p.append(0, "GoTo", goto="\U0001F600"), "goto"),
    (lambda p: p.append_comment("; \u2603"), "text"),
    (lambda p: stepwright.Program.from_text(p.text().replace("TOP", "T\u20acP")), None),
    (lambda p: stepwright.Program.from_text("\ud800"), "text"),
]


@pytest.mark.parametrize("call,field", BEYOND_LATIN1)
def test_characters_beyond_latin1_are_refused_naming_the_field(call, field):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", label="TOP", time=1)
    with pytest.raises(stepwright.ProgramError) as caught:
        call(program)
    assert caught.value.field == field
    assert not isinstance(caught.value, UnicodeError)
    assert len(program) == 1


TOO_LONG = [
    # the line, the field refused, the message (as program text gives it)
    (dict(command="GoTo", goto="G" * 16), "goto", "the goto-label is longer than 15 characters"),
    (dict(command="Print", print_chars="p" * 16), "print-chars", "the text is longer than 15 characters"),
    (dict(command="Delay", time="1" + " " * 39), "time", "the value is longer than 39 characters"),
    (dict(command="Delay", time=1, label="L" * 16), "label", "the label is longer than 15 characters"),
    (dict(command="Delay", time=1, label="a\nb"), "label", "line break"),
    (dict(command="GoTo", goto="a\0b"), "goto", "NUL"),
]


@pytest.mark.parametrize("line,field,message", TOO_LONG)
def test_over_long_texts_are_refused_as_program_text_refuses_them(line, field, message, tmp_path):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", label="G" * 15, time=1)
    with pytest.raises(stepwright.ProgramError) as caught:
        program.append(0, **line)
    assert caught.value.field == field and message in str(caught.value)
    assert len(program) == 1
    # The same line as program text is refused by the command line too.
    if field in ("goto", "print-chars", "label") and "\n" not in line.get("label", "") and "\0" not in line.get("goto", ""):
        words = {"goto": "GoTo -> " + "G" * 16, "print-chars": 'Print print-chars="' + "p" * 16 + '"',
                 "label": "L" * 16 + ": 0 Delay time=1"}[field]
        text = program.text() + ("" if field == "label" else "          0 ") + words + "\n"
        (tmp_path / "t.sws").write_text(text, encoding="utf-8")
        done = subprocess.run([CLI, "import", str(tmp_path / "t.sws")], capture_output=True)
        assert done.returncode != 0 and message.encode() in done.stderr
    # A comment of 60 characters is taken, of 61 refused.
    program.append_comment(";" + "c" * 59)
    with pytest.raises(stepwright.ProgramError):
        program.append_comment(";" + "c" * 60)


WRONG_ARGUMENTS = [
    # call, the exception
    (lambda p: p.save("a\0b.sws"), ValueError),
    (lambda p: p.save(None), TypeError),
    (lambda p: p.save(object()), TypeError),
    (lambda p: p.save(""), ValueError),
    (lambda p: stepwright.Program.open("x\0.sws"), ValueError),
    (lambda p: stepwright.decode(5, "servo"), TypeError),
    (lambda p: stepwright.decode(2**31, "servo"), TypeError),
    (lambda p: stepwright.decode("AA0113", "servo"), TypeError),
    (lambda p: stepwright.encode("robot", "Stop"), ValueError),
    (lambda p: stepwright.encode("servo", "Stop", module=32), ValueError),
    (lambda p: stepwright.encode("servo", "Stop", module=2**64 + 1), ValueError),
    (lambda p: stepwright.encode("servo", "Stop", module="1"), TypeError),
    (lambda p: stepwright.encode("servo", "Stop", stop_mode=1.5), TypeError),
    (lambda p: stepwright.encode("servo", "Stop", fields={"stop-mode": "stop-abruptly"}, enable_amplifier=True),
     TypeError),
    (lambda p: stepwright.Program(module_types=("robot",)), ValueError),
    (lambda p: stepwright.Program(module_types="servo"), TypeError),
    (lambda p: stepwright.Program(module_types=("servo",) * 32), ValueError),
    (lambda p: p.remove(1), IndexError),
    (lambda p: p.insert(3, 0, "Delay", time=1), IndexError),
    (lambda p: p.insert(2**70, 0, "Delay", time=1), ValueError),
    (lambda p: p.append(-1, "Delay", time=1), ValueError),
    (lambda p: p.append(0, "Delay", label=5, time=1), TypeError),
    (lambda p: p[5], IndexError),
    (lambda p: p["0"], TypeError),
    (lambda p: stepwright.Simulator(modules=("robot",)), ValueError),
    (lambda p: stepwright.Simulator(faults=("nonsense",)), ValueError),
    (lambda p: stepwright.Simulator(pace=-1), ValueError),
    (lambda p: stepwright.Master(None), TypeError),
]


@pytest.mark.parametrize("call,error", WRONG_ARGUMENTS)
def test_wrong_arguments_raise_python_exceptions(call, error, tmp_path):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", time=1)
    with pytest.raises(error) as caught:
        call(program)
    assert not isinstance(caught.value, stepwright.ProgramError)
    assert len(program) == 1


def test_a_refused_save_leaves_the_earlier_file(tmp_path):
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", time=1)
    path = tmp_path / "p.sws"
    program.save(path)
    before = path.read_bytes()
    program.append(0, "Delay", time=2)
    with pytest.raises(ValueError):
        program.save(str(path) + "\0")
    assert path.read_bytes() == before
    program.save(bytes(path))
    assert stepwright.Program.open(path).lines == program.lines


def test_numbers_beyond_64_bits_are_out_of_range():
    for value in (2**63, 2**64 + 5, -(2**70)):
        with pytest.raises(stepwright.ProgramError) as caught:
            stepwright.encode("servo", "Move", position=value, velocity=1, acceleration=1, pwm=0)
        assert caught.value.field == "position" and "out of range" in str(caught.value)


def test_exceptions_are_pythons_own_kinds():
    assert issubclass(stepwright.PortError, OSError) and issubclass(stepwright.PortError, stepwright.Error)
    assert issubclass(stepwright.NotResponding, TimeoutError)
    assert issubclass(stepwright.NotResponding, stepwright.Error)
    with pytest.raises(OSError):
        with stepwright.Master("/dev/no-such-port"):
            pass


def test_a_program_is_a_sequence_of_lines():
    program = stepwright.Program(module_types=("servo",))
    program.append(0, "Delay", label="A", time=1)
    program.append(1, "Stop", fields={"enable-amplifier": True, "stop-mode": "stop-abruptly"})
    program.append(1, "Stop", enable_amplifier=True, stop_mode="stop-abruptly")
    program.insert(-1, 0, "Delay", time=2)
    program.insert_comment(0, "start")
    assert len(program) == 5
    assert list(program) == program.lines == program[:]
    assert program[0].comment == ";start" and program[1].label == "A"
    assert program[-1].bytes == program[2].bytes and program[2].command == "Stop"
    assert program[3].fields == {"time": 2}
    assert [l.command for l in program[1:3]] == ["Delay", "Stop"]
    assert program.index(program[3]) == 3 and program[3] in program
    program.remove(-1)
    assert [l.command for l in program] == [None, "Delay", "Stop", "Delay"]


def test_module_types_have_one_vocabulary():
    program = stepwright.Program.from_text(".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n"
                                           ".module 2 ZEL-I/O\n.module 3 ZEL-STEP\n")
    modules = program.modules
    assert modules == {0: "master", 1: "servo", 2: "io", 3: "step"}
    assert [(m.code, m.display_name) for m in modules.values()] == [
        (127, "[Master]"), (0, "ZEL-SERVO"), (2, "ZEL-I/O"), (3, "ZEL-STEP")]
    # The short name is what the calls take.
    assert stepwright.encode(modules[1], "Stop", 1, stop_mode="stop-abruptly") == \
        stepwright.encode("servo", "Stop", 1, stop_mode="stop-abruptly")


def test_version_is_the_command_lines():
    done = subprocess.run([CLI, "--version"], capture_output=True, text=True, check=True)
    assert done.stdout.split()[-1] == stepwright.__version__
