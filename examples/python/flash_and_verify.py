#!/usr/bin/env python3
"""Flash one program into several masters and verify each.

    flash_and_verify.py PROGRAM [--port PORT ...]

Without --port, two simulated masters are started and flashed.  Prints one
line per master and exits with 1 when any of them failed.
"""
import argparse
import contextlib
import sys

import stepwright


def flash(port: str, program: stepwright.Program) -> tuple[bool, str]:
    """Downloads and verifies program on the master at port: a line of text."""
    try:
        with stepwright.Master(port) as master:
            modules = master.detect()
            master.download(program, verify=True)
            return True, f"{port}: {len(program.assemble())} bytes, verified ({len(modules) - 1} modules)"
    except stepwright.Error as e:
        return False, f"{port}: {type(e).__name__}: {e}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program", help="program file (.stw or .sws)")
    parser.add_argument("--port", action="append", default=[], help="COMn, a device, or COMn=DEVICE")
    args = parser.parse_args()
    program = stepwright.Program.open(args.program)
    with contextlib.ExitStack() as stack:
        ports: list[str] = args.port or [stack.enter_context(stepwright.Simulator()) for _ in range(2)]
        ok = True
        for port in ports:
            done, line = flash(port, program)
            print(line)
            ok = ok and done
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
