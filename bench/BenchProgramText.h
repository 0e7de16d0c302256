#pragma once
// The full-size program text of the benchmarks: 8192 lines, every family's
// commands, comments and jumps.

#include <cstdio>
#include <iterator>
#include <string>

#include "program/ProgramLine.h"

namespace bench {

// A program of kMaxLines lines built from the every-command example's lines.
inline std::string FullSizeText() {
    const char* header = ".stepwright 1\n.module 0 [Master]\n.module 1 ZEL-SERVO\n.module 2 ZEL-I/O\n.module 3 ZEL-STEP\n";
    const char* body[] = {
        "          0 Print print-chars=Hello add-carriage-return add-line-feed",
        "          0 SetTimer timeout=1000",
        "          0 WaitFor timeout=500 key=k -> L%d",
        "          0 If-GoTo counter-2=7 -> L%d",
        "          0 CountDown counter=1 -> L%d",
        "          1 Move position=4000 velocity=4000 acceleration=40 pwm=0",
        "          1 SetGain kp=100 kd=1000 ki=0 il=0 ol=255 cl=0 el=2000 sr=1 dc=0",
        "          1 WaitFor timeout=500 move-done -> L%d",
        "          3 SetParam min-speed=1 run-cur=20 hold-cur=10 therm-limit=0 speed-1x",
        "          3 Move position=-500 speed=100 acceleration=20",
        "          3 If-GoTo e-stop-hi -> L%d",
        "          2 SetOutputs bit-1 bit-3 set",
        "          2 WaitFor timeout=100 bit-9 set -> L%d",
        "; a comment line",
        "L%d:      0 Delay time=50",
    };
    std::string text = header;
    char line[160];
    for (int i = 0; i < kMaxLines; ++i) {
        std::snprintf(line, sizeof line, body[size_t(i) % std::size(body)], i / 15);
        text += line;
        text += '\n';
    }
    return text;
}

}  // namespace bench
