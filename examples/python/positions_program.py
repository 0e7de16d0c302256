#!/usr/bin/env python3
"""Generate a program from a list of positions, check it and save it.

    positions_program.py OUTPUT.sws [--port PORT]

Servo 1 visits each position, waits for the move and prints where it is.
The program is checked; a finding at warning level or above stops the
script.  It is then downloaded to --port (or a simulated master) and run
until it stops.
"""
import argparse
import contextlib
import sys
import time

import stepwright

POSITIONS = [0, 1500, -1500, 3000, 0]


def build(positions: list[int]) -> stepwright.Program:
    program = stepwright.Program(module_types=("servo", "servo", "io", "step"))
    program.append_comment("; Generated: servo 1 visits %d positions" % len(positions))
    program.append(1, "ResetPosition")
    program.append(1, "Stop", enable_amplifier=True, stop_mode="stop-abruptly")
    for position in positions:
        program.append(1, "Move", position=position, velocity=4000, acceleration=40, pwm=0)
        program.append(1, "WaitFor", goto="TIMEOUT", timeout=500, condition="move-done")
        program.append(0, "Print", print_chars=f"At {position}", add_carriage_return=True, add_line_feed=True)
    program.append(0, "StopProgram")
    program.append(0, "Print", label="TIMEOUT", print_chars="Timeout!", add_carriage_return=True,
                   add_line_feed=True)
    program.append(0, "StopProgram")
    return program


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="program text (.sws) or program file (.stw) to write")
    parser.add_argument("--port", help="COMn, a device, or COMn=DEVICE (default: a simulated master)")
    args = parser.parse_args()

    program = build(POSITIONS)
    findings = program.check()
    for f in findings:
        print(f"line {f.line + 1}: {f.severity}: {f.message} [{f.rule}]")
    if any(f.severity != "note" for f in findings):
        return 1
    program.save(args.output)
    print(f"{args.output}: {len(program)} lines, {len(program.assemble())} bytes")

    with contextlib.ExitStack() as stack:
        port: str = args.port or stack.enter_context(stepwright.Simulator(pace=19200))
        with stepwright.Master(port) as master:
            master.download(program)
            master.run()
            printed = ""
            deadline = time.monotonic() + 30
            while printed.count("\n") < len(POSITIONS) and "Timeout!" not in printed:
                if time.monotonic() > deadline:
                    print("no end of the program in 30 s")
                    return 1
                time.sleep(0.05)
                printed += master.printed()
            print(printed, end="")
    return 0 if "Timeout!" not in printed else 1


if __name__ == "__main__":
    sys.exit(main())
