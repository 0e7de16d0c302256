"""Masters through the module: the simulated master, the same bytes on the
wire as stepwright-cli, the exceptions, the guide's scripts and scenarios."""
import os
import signal
import select
import subprocess
import sys
import threading
import time
import tty

import pytest
import stepwright
from conftest import CLI, EXAMPLES, SOURCE


class Recorder:
    """A pseudo-terminal between the host and a simulated master that keeps
    every byte the host sends."""

    def __init__(self, device):
        self.master_fd, self.slave_fd = os.openpty()
        tty.setraw(self.slave_fd)
        self.port = os.ttyname(self.slave_fd)
        self.sim_fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.sim_fd)
        self.sent = bytearray()
        self.done = False
        self.thread = threading.Thread(target=self._relay, daemon=True)
        self.thread.start()

    def _relay(self):
        while not self.done:
            ready, _, _ = select.select([self.master_fd, self.sim_fd], [], [], 0.05)
            for fd in ready:
                try:
                    data = os.read(fd, 4096)
                except OSError:
                    continue
                if fd == self.master_fd:
                    self.sent += data
                    os.write(self.sim_fd, data)
                else:
                    os.write(self.master_fd, data)

    def close(self):
        self.done = True
        self.thread.join()
        for fd in (self.master_fd, self.slave_fd, self.sim_fd):
            os.close(fd)


def host_bytes(download):
    with stepwright.Simulator() as device:
        recorder = Recorder(device)
        try:
            download(recorder.port)
        finally:
            recorder.close()
    return bytes(recorder.sent)


@pytest.mark.parametrize("name", ["demo.stw", "every-command.sws"])
def test_download_sends_the_bytes_of_the_command_line(name):
    path = str(EXAMPLES / name)
    program = stepwright.Program.open(path)

    def by_module(port):
        with stepwright.Master(port) as master:
            master.download(program)

    def by_cli(port):
        subprocess.run([CLI, "--port", port, "download", path], check=True, capture_output=True)

    sent = host_bytes(by_module)
    assert len(sent) > len(program.assemble())
    assert sent == host_bytes(by_cli)


def test_download_run_status_printed_upload():
    program = stepwright.Program.open(str(EXAMPLES / "demo.sws"))
    with stepwright.Simulator(pace=19200) as port, stepwright.Master(port) as master:
        found = master.detect()
        assert found == {0: "master", 1: "servo", 2: "servo", 3: "io", 4: "step"} == program.modules
        assert [m.display_name for m in found.values()] == ["[Master]", "ZEL-SERVO", "ZEL-SERVO", "ZEL-I/O", "ZEL-STEP"]
        assert [m.display_name for m in program.modules.values()] == [m.display_name for m in found.values()]
        master.download(program)
        assert master.verify(program)
        master.run()
        text = ""
        for _ in range(200):
            time.sleep(0.05)
            text += master.printed()
            if "At 4000" in text:
                break
        assert text.startswith("Demo start")
        assert "At 4000" in text
        assert set(master.status(1)) == {"Position", "Home Position", "Limit 1", "Limit 2", "Power"}
        assert "Version" in master.status(0)
        master.stop()
        assert master.upload().assemble() == program.assemble()
        t, sample, running = next(master.watch([1, 3]))
        assert set(sample) == {1, 3}


FAILURES = [
    # simulator faults, the call, the exception
    (["silent-from=0x80"], lambda m, p: m.detect(), stepwright.NotResponding),
    (["silent-from=0x80"], lambda m, p: m.download(p), stepwright.NotResponding),
    (["cc"], lambda m, p: m.download(p), stepwright.Refused),
    ([], lambda m, p: m.run("NOWHERE"), stepwright.ProgramError),
    ([], lambda m, p: m.status(9), stepwright.Refused),
]


@pytest.mark.parametrize("faults,call,error", FAILURES)
def test_failures_raise(faults, call, error):
    program = stepwright.Program.open(str(EXAMPLES / "demo.sws"))
    with stepwright.Simulator(faults=faults) as port, stepwright.Master(port) as master:
        if error is stepwright.ProgramError:
            master.download(program)
        with pytest.raises(error) as caught:
            call(master, program)
    assert isinstance(caught.value, stepwright.Error)


@pytest.mark.parametrize("port", ["COM7", "COM2", "/dev/no-such-port", "COM1=/dev/no-such-port"])
def test_bad_ports_raise_port_error(port):
    with pytest.raises(stepwright.PortError):
        with stepwright.Master(port):
            pass


@pytest.mark.parametrize("script,args", [
    ("flash_and_verify.py", [str(EXAMPLES / "demo.sws")]),
    ("positions_program.py", ["{tmp}/positions.sws"]),
    ("record_move.py", ["{tmp}/move.csv"]),
])
def test_guide_scripts_run_against_the_simulator(script, args, tmp_path):
    args = [a.format(tmp=tmp_path) for a in args]
    done = subprocess.run([sys.executable, str(EXAMPLES / "python" / script), *args],
                          capture_output=True, text=True, timeout=120, env=dict(os.environ))
    assert done.returncode == 0, done.stdout + done.stderr
    if script == "record_move.py":
        rows = (tmp_path / "move.csv").read_text().splitlines()
        assert rows[0] == "seconds,position" and rows[-1].endswith(",2000")


@pytest.mark.parametrize("script", ["flash_and_verify.py", "positions_program.py", "record_move.py"])
def test_the_guide_prints_the_scripts_unchanged(script):
    guide = (SOURCE / "docs" / "manual.md").read_text()
    text = (EXAMPLES / "python" / script).read_text()
    assert "".join("    " + line if line.strip() else line for line in text.splitlines(True)) in guide


@pytest.mark.parametrize("name", sorted(p.name for p in EXAMPLES.glob("*.yaml") if not p.name.endswith(".machine.yaml")))
def test_scenarios_of_the_examples_pass(name):
    result = stepwright.run_scenario(str(EXAMPLES / name))
    assert result.passed, result.message


def test_help_gives_every_call_a_docstring():
    for name in stepwright.__all__:
        obj = getattr(stepwright, name)
        assert obj.__doc__, name
        for attr, member in vars(obj).items() if isinstance(obj, type) else []:
            if callable(member) and not attr.startswith("_"):
                assert member.__doc__, f"{name}.{attr}"


def looping_program():
    program = stepwright.Program(module_types=("servo", "servo", "io", "step"))
    program.append(0, "Delay", label="TOP", time=1)
    program.append(0, "GoTo", goto="TOP")
    return program


def test_watch_marks_rows_read_while_the_program_may_run():
    with stepwright.Simulator() as port, stepwright.Master(port) as master:
        master.download(looping_program())
        first = next(master.watch([1]))
        assert first.program_running is False
        master.run()
        rows = master.watch([1, 3])
        assert [next(rows).program_running for _ in range(3)] == [True] * 3
        master.stop()
        sample = next(master.watch([1, 3]))
        assert sample.program_running is False and set(sample.modules) == {1, 3}
        assert sample.modules[1]["Power"] is True and isinstance(sample.modules[1]["Position"], int)


def test_ctrl_c_stops_a_download_between_blocks_and_leaves_the_link_usable():
    big = stepwright.Program(module_types=("servo",))
    for i in range(2500):
        big.append(0, "Delay", time=i % 100)
    small = looping_program()
    with stepwright.Simulator(pace=19200) as port, stepwright.Master(port) as master:
        master.detect()
        timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                master.download(big)
        finally:
            timer.cancel()
        # Stopped part way: the master does not hold the program, which is
        # not started, and it answers.
        for start in (master.run, master.step):
            with pytest.raises(stepwright.Refused, match="interrupted"):
                start()
        assert master.verify(big) is False
        master.download(small)
        assert master.verify(small)


def test_keys_and_printed_characters():
    program = stepwright.Program()
    program.append(0, "Print", print_chars="a\rb\u00e9", add_carriage_return=True, add_line_feed=True)
    program.append(0, "StopProgram")
    with stepwright.Simulator() as port, stepwright.Master(port) as master:
        for key, error in [("\x80", ValueError), ("\xff", ValueError), ("ab", ValueError), ("", ValueError),
                           (b"a", TypeError), (0x41, TypeError)]:
            with pytest.raises(error):
                master.send_key(key)
        master.send_key("k")
        master.download(program)
        master.run()
        text = ""
        for _ in range(200):
            text += master.printed()
            if text.endswith("\n"):
                break
            time.sleep(0.02)
        assert text == "a\rb\u00e9\r\n"
        for address in (40, -1):
            with pytest.raises(ValueError):
                master.status(address)


def test_link_log_is_written_at_close(tmp_path):
    log = tmp_path / "line.log"
    with stepwright.Simulator() as port:
        with stepwright.Master(port, log=log) as master:
            master.detect()
            master.status(1)
        assert log.read_text().startswith("# stepwright link log 1\n# types 127 0 0 2 3 ")
        decoded = subprocess.run([CLI, "decode", str(log)], capture_output=True, text=True)
        assert decoded.returncode == 0, decoded.stderr
        assert len(decoded.stdout.splitlines()) > 5
        # A log that cannot be written is said, not lost silently.
        with pytest.raises(stepwright.PortError):
            with stepwright.Master(port, log=tmp_path / "no-such-dir" / "x.log") as master:
                master.status(0)


def test_the_simulators_inputs_and_outputs():
    outputs = stepwright.Program(module_types=("servo", "servo", "io", "step"))
    outputs.append(3, "MakeOutputs", bit_1=True, bit_2=True, bit_3=True)
    outputs.append(3, "SetOutputs", bit_1=True, bit_3=True, set_or_clear="set")
    outputs.append(1, "ResetPosition")
    outputs.append(1, "Stop", enable_amplifier=True, stop_mode="stop-abruptly")
    outputs.append(1, "Move", position=1500, velocity=4000, acceleration=40, pwm=0)
    outputs.append(1, "WaitFor", goto="END", timeout=500, condition="move-done")
    outputs.append(0, "StopProgram", label="END")
    sim = stepwright.Simulator()
    try:
        with stepwright.Master(sim.port) as master:
            sim.set_input(3, 5, True)
            sim.hold(4, "limit-1", True)
            sim.hold(4, "e-stop", True)
            assert master.status(3)["Bit 5"] is True and master.status(3)["Bit 6"] is False
            assert (master.status(4)["Limit 1"], master.status(4)["E-Stop"], master.status(4)["Limit 2"]) == \
                (True, True, False)
            sim.set_input(3, 5, False)
            sim.hold(4, "limit-1", False)
            assert master.status(3)["Bit 5"] is False and master.status(4)["Limit 1"] is False
            assert [sim.output(3, b) for b in (1, 2, 3)] == [False] * 3
            master.download(outputs)
            master.run()
            for _ in range(300):
                if sim.position(1) == 1500 and not next(master.watch([1])).program_running:
                    break
                time.sleep(0.02)
            assert [sim.output(3, b) for b in (1, 2, 3, 4)] == [True, False, True, False]
            assert sim.position(1) == master.status(1)["Position"] == 1500
            assert sim.position(4) == 0
        for call in (lambda: sim.set_input(3, 13, True), lambda: sim.set_input(1, 1, True),
                     lambda: sim.hold(4, "sideways", True), lambda: sim.hold(3, "limit-1", True),
                     lambda: sim.output(9, 1), lambda: sim.position(3)):
            with pytest.raises(ValueError):
                call()
    finally:
        sim.stop()
