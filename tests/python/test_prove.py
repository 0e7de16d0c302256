"""Program.prove() and check(machine=...): the explorer and the machine's
rules from Python, against stepwright-cli prove and check --machine."""
import json
import subprocess

import pytest
import stepwright
from conftest import CLI, EXAMPLES

HEADER = (".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-SERVO\n.module 3 ZEL-I/O\n"
          ".module 4 ZEL-STEP\n")
BODY_LINE = 6   # the body's first line is the file's line 7

MACHINE = ("machine: Test cell\n"
           "modules:\n"
           "  1: {name: X axis, type: servo, travel: [-100, 50000], max-velocity: 6000, max-acceleration: 200}\n"
           "  3:\n"
           "    inputs: {5: start, 6: door-closed}\n"
           "    outputs: {1: lamp, 3: clamp, 4: blow-off}\n"
           "interlocks:\n"
           "  - move: 1\n"
           "    requires: {input: door-closed, level: high}\n")


def branch(far):
    """Only with the start button low does X go to far."""
    return ("          3 GetStatus\n"
            "          3 If-GoTo bit-6 clear -> END\n"
            "          3 If-GoTo bit-5 set -> NEAR\n"
            f"          1 Move position={far} velocity=5000 acceleration=100 pwm=0\n"
            "          1 WaitFor timeout=2000 move-done -> END\n"
            "          0 GoTo -> END\n"
            "NEAR:     1 Move position=4000 velocity=5000 acceleration=100 pwm=0\n"
            "          1 WaitFor timeout=2000 move-done -> END\n"
            "END:      0 StopProgram\n")


# name, body, bounds, (rule, body line of the cause, body line where it stood), bounds cut, proven
CASES = [
    ("violation", branch(60000), {}, ("travel", 4, 5), [], False),
    ("safe", branch(50000), {}, None, [], True),
    ("cut-by-paths", branch(50000), {"max_paths": 1}, None, ["max_paths 1 left 1 outcome(s) unexplored"], False),
    ("cut-by-time", branch(50000), {"max_time_ms": 100}, None,
     ["max_time_ms 100 cut 2 path(s) still running"], False),
]


@pytest.fixture
def files(tmp_path):
    def write(name, body, machine=MACHINE):
        program = tmp_path / (name + ".sws")
        program.write_text(HEADER + body, encoding="latin-1")
        description = tmp_path / (name + ".machine.yaml")
        description.write_text(machine, encoding="latin-1")
        return program, description
    return write


@pytest.mark.parametrize("name,body,bounds,violation,cut,proven", CASES, ids=[c[0] for c in CASES])
def test_prove_finds_what_the_command_line_finds(files, name, body, bounds, violation, cut, proven):
    program_path, machine_path = files(name, body)
    result = stepwright.Program.open(str(program_path)).prove(machine_path, **bounds)
    args = [CLI, "prove", "--json", str(program_path), "--machine", str(machine_path)]
    if "max_paths" in bounds:
        args += ["--max-paths", str(bounds["max_paths"])]
    if "max_time_ms" in bounds:
        args += ["--max-time", "%dms" % bounds["max_time_ms"]]
    doc = json.loads(subprocess.run(args, capture_output=True).stdout)
    assert result.bounds_cut == cut
    assert any("cut %d path" % doc["bounds"]["paths_cut_by_max_time"] in c for c in cut) == (
        doc["bounds"]["paths_cut_by_max_time"] > 0)
    assert any("left %d outcome" % doc["bounds"]["outcomes_cut_by_max_paths"] in c for c in cut) == (
        doc["bounds"]["outcomes_cut_by_max_paths"] > 0)
    assert result.proven_within_bounds is proven
    explored = doc["explored"]
    assert (result.explored.paths, result.explored.decisions, result.explored.merged, result.explored.ended,
            result.explored.simulated_ms, result.explored.lines_covered) == (
        explored["paths"], explored["decisions"], explored["merged"], explored["ended"], explored["simulated_ms"],
        explored["lines_covered"])
    assert [i + 1 + BODY_LINE for i in result.explored.lines_not_run] == explored["lines_not_run"]
    if violation is None:
        assert result.violation is None
        assert "violation" not in doc
        return
    rule, line, standing = violation
    v = result.violation
    assert (v.rule, v.line, v.listing_line, v.file_line) == (rule, line - 1, line, line + BODY_LINE)
    assert (v.standing_line, v.standing_listing_line, v.standing_file_line) == (standing - 1, standing,
                                                                                 standing + BODY_LINE)
    assert v.message == "module 1 (X axis) at %d, outside its travel -100 to 50000" % v.value
    assert (v.rule, v.file_line, v.time_ms, v.module, v.value, v.message) == tuple(
        doc["violation"][k] for k in ("rule", "line", "time_ms", "module", "value", "message"))
    assert [(i.time_ms, i.module, i.input, i.level, i.key) for i in v.inputs] == [
        (None, 3, "module 3 bit 6 (door-closed)", "high", None), (None, 3, "module 3 bit 5 (start)", "low", None)]


def test_counterexample_replays_the_violation_and_the_safe_variant_passes(files, tmp_path):
    program_path, machine_path = files("ce", branch(60000))
    program = stepwright.Program.open(program_path)
    result = program.prove(str(machine_path))
    result.counterexample(tmp_path / "ce.yaml", tmp_path / "saved.sws")
    text = (tmp_path / "ce.yaml").read_text()
    assert 'program: "%s"' % (tmp_path / "saved.sws") in text
    assert "set-input: {module: 3, bit: 5, level: low}" in text
    replay = stepwright.run_scenario(tmp_path / "ce.yaml")
    assert not replay.passed
    assert "travel" in replay.message and "outside its travel -100 to 50000" in replay.message
    # The same scenario over the safe variant passes: the failure is the violation's.
    stepwright.Program.open(files("safe", branch(50000))[0]).save(tmp_path / "saved.sws")
    assert stepwright.run_scenario(tmp_path / "ce.yaml").passed
    # Without a violation there is nothing to write.
    with pytest.raises(ValueError):
        stepwright.Program.open(files("safe", branch(50000))[0]).prove(machine_path).counterexample(
            tmp_path / "none.yaml", tmp_path / "none.sws")
    assert not (tmp_path / "none.yaml").exists()


def test_cycle_times_and_an_edited_program(files):
    program_path, machine_path = files("cycle", branch(50000))
    program = stepwright.Program.open(program_path)
    cycle = program.prove(machine_path).cycle
    assert cycle is not None and 0 < cycle.shortest_ms < cycle.longest_ms
    # Proven from memory once edited: the far move now leaves the travel; no file line any more.
    program.remove(3)
    program.insert(3, 1, "Move", position=70000, velocity=5000, acceleration=100, pwm=0)
    v = program.prove(machine_path).violation
    assert v is not None and (v.rule, v.line, v.listing_line, v.file_line, v.value) == ("travel", 3, 4, None, v.value)
    assert v.value > 50000


def test_check_with_the_machine_matches_check_machine(files):
    program_path, machine_path = files("check", branch(60000))
    program = stepwright.Program.open(program_path)
    assert "travel-target" not in [f.rule for f in program.check()]
    findings = program.check(machine=machine_path)
    doc = json.loads(subprocess.run([CLI, "check", "--json", str(program_path), "--machine", str(machine_path)],
                                    capture_output=True).stdout)
    expected = [(f["rule"], f["severity"], f["message"], f["line"]) for f in doc["files"][0]["findings"]]
    assert [(f.rule, f.severity, f.message, f.file_line) for f in findings] == expected
    travel = [f for f in findings if f.rule == "travel-target"]
    assert [(f.severity, f.line, f.listing_line) for f in travel] == [("error", 3, 4)]


BROKEN = [
    ("unknown key", "modules:\n  1: {travle: [0, 10]}\n", ["travle"]),
    ("two errors", "modules:\n  1: {travel: [0]}\n  40: {name: far}\n", [".yaml:2: travel: ", "\n", ".yaml:3: modules: 40 is out of range"]),
]


@pytest.mark.parametrize("name,text,parts", BROKEN, ids=[b[0] for b in BROKEN])
def test_a_malformed_description_raises_with_every_error(files, name, text, parts):
    program_path, machine_path = files("broken", branch(50000), machine=text)
    program = stepwright.Program.open(program_path)
    for call in (lambda: program.prove(machine_path), lambda: program.check(machine=machine_path)):
        with pytest.raises(stepwright.ProgramError) as raised:
            call()
        for part in parts:
            assert part in str(raised.value)


def test_wrong_arguments(files, tmp_path):
    program_path, machine_path = files("args", branch(50000))
    program = stepwright.Program.open(program_path)
    for bad in (3, None, ["m.yaml"]):
        with pytest.raises(TypeError):
            program.prove(bad)  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        program.check(machine=3)  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        program.prove(machine_path, max_paths="10")  # type: ignore[arg-type]
    for bounds in ({"max_paths": 0}, {"max_time_ms": 0}, {"cycle": "NOWHERE"}):
        with pytest.raises(ValueError):
            program.prove(machine_path, **bounds)
    with pytest.raises(stepwright.ProgramError):
        program.prove(tmp_path / "missing.yaml")
    # A description that does not fit the module list.
    mismatch = tmp_path / "mismatch.yaml"
    mismatch.write_text("modules:\n  1: {type: io}\n")
    with pytest.raises(stepwright.ProgramError, match="module 1"):
        program.prove(mismatch)


@pytest.mark.parametrize("name", sorted(p.name[:-len(".machine.yaml")] for p in EXAMPLES.glob("*.machine.yaml")
                                        if (EXAMPLES / (p.name[:-len(".machine.yaml")] + ".sws")).exists()))
def test_every_example_proves_clean_against_its_machine(name):
    result = stepwright.Program.open(EXAMPLES / (name + ".sws")).prove(EXAMPLES / (name + ".machine.yaml"))
    assert result.violation is None
