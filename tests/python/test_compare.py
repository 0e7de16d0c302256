"""Master.compare: the lines in which the master's program differs; and the
module's upload and status follow the command line's checks."""
import stepwright
from conftest import EXAMPLES


def test_compare_lists_the_differing_lines():
    program = stepwright.Program.open(str(EXAMPLES / "demo.sws"))
    changed = stepwright.Program.from_text(program.text().replace("position=4000", "position=4100", 1))
    with stepwright.Simulator(pace=0) as port, stepwright.Master(port) as master:
        master.download(program)
        assert master.compare(program) == []
        lines = master.compare(changed)
        assert [(d["in"], d["line"], d["label"]) for d in lines] == [("program", 6, "LOOP"), ("master", 3, "LOOP")]
        assert lines[0]["text"].endswith("1 Move - Pos. 4100")
        assert lines[1]["text"].endswith("1 Move - Pos. 4000")
        assert lines[0]["address"] == lines[1]["address"]


def test_status_after_a_damaged_type_reply_is_no_guess():
    with stepwright.Simulator(pace=0, faults=["bad-count=1"]) as port, stepwright.Master(port) as master:
        try:
            master.status(1)
        except stepwright.NotResponding:
            pass
        else:
            raise AssertionError("status(1) showed a module whose type reply was damaged")
