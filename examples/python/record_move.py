#!/usr/bin/env python3
"""Record a move of servo 1 into a CSV file.

    record_move.py OUTPUT.csv [--port PORT] [--position N] [--seconds S]

Downloads a one-move program, runs it and samples the servo's status every
20 ms until its position stops changing, then writes time and position.
"""
import argparse
import contextlib
import csv
import sys

import stepwright


def move_program(position: int) -> stepwright.Program:
    program = stepwright.Program(module_types=("servo",))
    program.append(1, "ResetPosition")
    program.append(1, "Stop", enable_amplifier=True, stop_mode="stop-abruptly")
    program.append(1, "Move", position=position, velocity=4000, acceleration=40, pwm=0)
    program.append(0, "StopProgram")
    return program


def record(master: stepwright.Master, seconds: float) -> list[tuple[float, int]]:
    rows: list[tuple[float, int]] = []
    still = 0
    for sample in master.watch([1], interval_ms=20):
        position = sample.modules[1]["Position"]
        assert isinstance(position, int)
        still = still + 1 if rows and rows[-1][1] == position else 0
        rows.append((round(sample.seconds, 3), position))
        if sample.seconds > seconds or still >= 10:
            break
    return rows


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="CSV file to write")
    parser.add_argument("--port", help="COMn, a device, or COMn=DEVICE (default: a simulated master)")
    parser.add_argument("--position", type=int, default=2000)
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()
    with contextlib.ExitStack() as stack:
        port: str = args.port or stack.enter_context(stepwright.Simulator(modules=("servo",), pace=19200))
        with stepwright.Master(port) as master:
            master.download(move_program(args.position))
            master.run()
            rows = record(master, args.seconds)
    with open(args.output, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["seconds", "position"])
        writer.writerows(rows)
    print(f"{args.output}: {len(rows)} samples, last position {rows[-1][1]}")
    return 0 if rows[-1][1] == args.position else 1


if __name__ == "__main__":
    sys.exit(main())
