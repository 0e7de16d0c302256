#!/usr/bin/env python3
"""The Python module against C++ and the command line (run by hand).

    PYTHONPATH=build/python python3 bench/bench_python.py [BUILD_DIR]

1. Program.open + assemble of a full-size program (8191 lines, the image
   nearly full) from Python, against the same in C++ (bench_open_assemble):
   the ratio's goal is at most 1.5.
2. A download with verify of that program into a simulated master paced at
   19200 baud, through the module and through stepwright-cli: the time the
   time taken over the time its bytes need on the wire.
"""
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

import stepwright

BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build")


def full_size_program():
    program = stepwright.Program(module_types=("servo", "servo", "io", "step"))
    program.append(0, "Print", label="TOP", print_chars="Start", add_carriage_return=True, add_line_feed=True)
    image = 2 + 10
    while image + 19 + 5 < 16000:
        program.append(1, "Move", position=len(program), velocity=4000, acceleration=40, pwm=0)
        image += 19
    program.append(0, "GoTo", goto="TOP")
    while len(program) < 8191:
        program.append_comment("; filler line %d" % len(program))
    return program


def median_ms(call, rounds=20):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        call()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def main():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "full.stw")
        program = full_size_program()
        program.save(path)
        image = program.assemble()
        py_ms = median_ms(lambda: stepwright.Program.open(path).assemble())
        out = subprocess.run([str(BUILD / "bench_open_assemble"), path, "20"], capture_output=True, text=True,
                             check=True).stdout
        cpp_ms = float(re.match(r"([\d.]+) ms", out).group(1))
        print(f"open + assemble, {len(program)} lines, image {len(image)} bytes: Python {py_ms:.2f} ms, "
              f"C++ {cpp_ms:.2f} ms, ratio {py_ms / cpp_ms:.2f} (goal <= 1.5)")

        # Bytes on the wire, both ways, of a download with verify: 23 per
        # Write block and 22 per Read block of 16 bytes; 10 bits a byte at
        # 19200 baud.
        blocks = (len(image) + 15) // 16
        wire_s = blocks * (23 + 22) * 10 / 19200
        with stepwright.Simulator(pace=19200) as port, stepwright.Master(port) as master:
            start = time.perf_counter()
            master.download(program, verify=True)
            py_s = time.perf_counter() - start
        start = time.perf_counter()
        subprocess.run([str(BUILD / "stepwright-cli"), "--simulator", "--sim-pace", "19200", "download", path],
                       check=True, capture_output=True)
        cli_s = time.perf_counter() - start
        print(f"download + verify of {len(image)} bytes at 19200 baud (wire about {wire_s:.2f} s): "
              f"module {py_s:.2f} s (ratio {py_s / wire_s:.3f}), "
              f"stepwright-cli {cli_s:.2f} s (ratio {cli_s / wire_s:.3f})")


if __name__ == "__main__":
    main()
