// Help texts of stepwright-cli.

#include <cstring>
#include <string>

#include "cli/Cli.h"
#include "isa/CommandReference.h"

namespace cli {

namespace {

const char kTool[] =
    "Usage: stepwright-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
    "\n"
    "Writes, checks, downloads, runs and watches Stepwright programs from a shell,\n"
    "with the same routines as the Stepwright window.\n"
    "\n"
    "Commands:\n"
    "  list FILE.stw          print the listing, one line per program line\n"
    "  assemble FILE.stw      assemble the program into its image (-o, --hex)\n"
    "  detect                 detect the master and the modules on its network\n"
    "  download FILE.stw      download the program into the master\n"
    "  verify FILE.stw        compare the program in the master with the file\n"
    "  run                    run the program in the master\n"
    "  stop                   stop the program\n"
    "  step                   execute one instruction of the program\n"
    "  reset                  reset the master to its power-up state\n"
    "  status ADDRESS...      show the state of modules (0 is the master)\n"
    "  exec HEX...            execute one instruction at once\n"
    "  monitor                show what the running program prints; send keys\n"
    "  help [COMMAND]         show this text, or the help of a command\n"
    "  help commands          every program command: fields, ranges, bytes\n"
    "\n"
    "Options (anywhere on the command line):\n"
    "  --port PORT            the serial port: COM1 to COM6, a device such as\n"
    "                         /dev/ttyUSB0, or COMn=/dev/DEVICE to map COMn to a\n"
    "                         device and use it.  Default COM1.  COM1 to COM6 map\n"
    "                         to the serial devices present, USB adapters first\n"
    "                         (ttyUSB*, ttyACM*, then ttyS*).\n"
    "  --simulator            start a simulated master in this process and use it\n"
    "  --sim-modules LIST     its modules at addresses 1, 2, ...: servo, io, step or\n"
    "                         a type code 0-255 (default servo,servo,io,step)\n"
    "  --sim-pace BAUD        pace its line at BAUD (default 19200; 0 = no pacing)\n"
    "  -h, --help             show help (after a command: that command's help)\n"
    "\n"
    "The line runs at 19200 baud, 8 data bits, no parity, one stop bit.\n"
    "Messages go to standard error, one line each; results to standard output.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  usage error\n"
    "  2  program file refused or assembly failed\n"
    "  3  port cannot be opened\n"
    "  4  master not responding\n"
    "  5  verify found a difference\n"
    "  6  refused by the master or by a module-list mismatch\n";

struct CommandText {
    const char* name;
    const char* text;
};

const CommandText kCommands[] = {
    {"list",
     "Usage: stepwright-cli list FILE.stw\n"
     "\n"
     "Prints the program's listing as the window shows it: label, module address\n"
     "and command, one line per program line; comment lines as stored.  The end\n"
     "marker is not printed.  Control characters (the carriage return and line\n"
     "feed of a Print, for example) are written as \\r, \\n or \\xHH.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused.\n"},
    {"assemble",
     "Usage: stepwright-cli assemble FILE.stw [-o IMAGE.bin] [--hex]\n"
     "\n"
     "Resolves the labels and assembles the program into its image: the two-byte\n"
     "length, then every instruction from address 2 on.  Without options prints\n"
     "the image's length.\n"
     "\n"
     "  -o, --output IMAGE     write the image (its length in bytes, header\n"
     "                         included) to IMAGE; - is standard output\n"
     "  --hex                  print the image in hexadecimal, 16 bytes a line\n"
     "\n"
     "Assembly errors (a label defined twice, an undefined label, a program\n"
     "larger than the memory) are reported with the program line they concern.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused or assembly failed.\n"},
    {"detect",
     "Usage: stepwright-cli detect\n"
     "\n"
     "Takes the link on line as the window does: stops the master, waits 2 s for\n"
     "it, has it scan its network and asks every module for its type.  Prints the\n"
     "module list, one module a line.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding.\n"},
    {"download",
     "Usage: stepwright-cli download FILE.stw [--verify] [--run] [--check-modules]\n"
     "\n"
     "Assembles the program and writes its image into the master in 16-byte\n"
     "blocks.  A program that does not assemble is refused before the port is\n"
     "opened.  The master is stopped first (a Stop takes the link on line).\n"
     "A progress bar is shown on standard error when it is a terminal.\n"
     "\n"
     "  --verify               read the program back afterwards and compare it\n"
     "  --run                  start it afterwards at its first instruction\n"
     "  --check-modules        detect the modules first (2 s) and refuse when they\n"
     "                         differ from the program's module list in number or\n"
     "                         type\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused or assembly failed,\n"
     "3 port cannot be opened, 4 master not responding, 5 verify found a\n"
     "difference, 6 refused by the master (a block answered 0xCC), by a\n"
     "module-list mismatch, or --run with a program that changes the baud rate.\n"},
    {"verify",
     "Usage: stepwright-cli verify FILE.stw [--check-modules]\n"
     "\n"
     "Assembles the program and reads the master's memory back block by block to\n"
     "compare it with the image.  A status poll takes the link on line, so a\n"
     "running program is not disturbed.\n"
     "\n"
     "  --check-modules        detect the modules first (2 s; this stops the\n"
     "                         program) and refuse when they differ from the\n"
     "                         program's module list\n"
     "\n"
     "Exit codes: 0 the master holds the program, 1 usage error, 2 file refused or\n"
     "assembly failed, 3 port cannot be opened, 4 master not responding, 5 the\n"
     "master's memory differs, 6 module-list mismatch.\n"},
    {"run",
     "Usage: stepwright-cli run [--from ADDRESS | --resume] [--program FILE.stw]\n"
     "\n"
     "Detects the modules (2 s, as the window does before it runs anything) and\n"
     "starts the program in the master at its first instruction, address 2.\n"
     "\n"
     "  --from ADDRESS         start at this image address (decimal or 0x hex)\n"
     "  --resume               continue where the master stands\n"
     "  --program FILE.stw     the program in the master: its module list must\n"
     "                         match the detected modules, and a program that\n"
     "                         changes the baud rate is not started\n"
     "\n"
     "Exit codes: 0 started, 1 usage error, 2 file refused, 3 port cannot be\n"
     "opened, 4 master not responding, 6 module-list mismatch or baud rate change.\n"},
    {"stop",
     "Usage: stepwright-cli stop [--program FILE.stw]\n"
     "\n"
     "Stops the program and prints the address at which the master stands (with\n"
     "--program, also the listing line at that address).\n"
     "\n"
     "Exit codes: 0 stopped, 1 usage error, 2 file refused, 3 port cannot be\n"
     "opened, 4 master not responding.\n"},
    {"step",
     "Usage: stepwright-cli step [--from ADDRESS] [--program FILE.stw]\n"
     "\n"
     "Detects the modules (2 s) and executes one instruction, continuing where the\n"
     "master stands; then prints what it printed and the address it stands at.\n"
     "A Delay cannot be stepped: with --program it is skipped, as in the window.\n"
     "\n"
     "  --from ADDRESS         step the instruction at this address (2 is the\n"
     "                         first instruction)\n"
     "  --program FILE.stw     the program in the master: its module list must\n"
     "                         match, its listing names the line reached\n"
     "\n"
     "Exit codes: 0 stepped, 1 usage error, 2 file refused, 3 port cannot be\n"
     "opened, 4 master not responding, 6 module-list mismatch.\n"},
    {"reset",
     "Usage: stepwright-cli reset\n"
     "\n"
     "Resets the master to its power-up state (after a Stop that checks that it\n"
     "answers), then waits 200 ms.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding.\n"},
    {"status",
     "Usage: stepwright-cli status ADDRESS...\n"
     "\n"
     "Detects the modules (2 s) and prints what the status window of each module\n"
     "shows: its caption, then one \"label: value\" line per value; a blank line\n"
     "between modules.  Address 0 is the master (version and counters); a servo\n"
     "shows position, home position, limits and power; a stepper also its inputs;\n"
     "an I/O module its twelve bits.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding or its reply unreadable, 6 no module (or one of unknown type) at\n"
     "the address.\n"},
    {"exec",
     "Usage: stepwright-cli exec HEX... [--program FILE.stw]\n"
     "\n"
     "Executes one instruction at once, as Execute Now does: a module frame (AA,\n"
     "module address, command byte, data, checksum, trailer) is sent whole; of the\n"
     "master instructions only the I/O module's SetOutputs (BB 08 12 ...) can be\n"
     "executed.  Bytes are hexadecimal, separated or not (AA 01 13 00 14 01, or\n"
     "AA0113001401).  The frame's length and checksum are checked before the port\n"
     "is opened.  Detects the modules first (2 s); the module addressed must be\n"
     "one of them.\n"
     "\n"
     "  --program FILE.stw     the module list to check against the detected one\n"
     "\n"
     "Exit codes: 0 executed, 1 usage error or an instruction that cannot be\n"
     "executed at once, 2 file refused, 3 port cannot be opened, 4 master not\n"
     "responding, 6 refused by the master or by a module-list mismatch.\n"},
    {"monitor",
     "Usage: stepwright-cli monitor [--until-stop] [--program FILE.stw]\n"
     "\n"
     "Polls the master every 250 ms and prints on standard output what the\n"
     "running program prints.  The address being executed is reported on\n"
     "standard error whenever it changes (with --program, with its listing line).\n"
     "When standard input is a terminal, keys typed are sent to the master one by\n"
     "one (Enter as carriage return) and echoed.  A status poll takes the link on\n"
     "line: the program is not disturbed.  Ends on Ctrl+C.\n"
     "\n"
     "  --until-stop           end when the program is not running\n"
     "  --program FILE.stw     the program in the master, for its listing lines\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused, 3 port cannot be\n"
     "opened, 4 master not responding.\n"},
};

}  // namespace

const char* ToolHelp() { return kTool; }

const char* CommandHelp(const std::string& command) {
    if (command == "commands") {
        static const std::string reference = CommandReferenceText();
        return reference.c_str();
    }
    for (const auto& c : kCommands)
        if (command == c.name) return c.text;
    return "";
}

std::string CommandUsage(const std::string& command) {
    const char* text = command.empty() ? kTool : CommandHelp(command);
    const char* end = std::strchr(text, '\n');
    return end ? std::string(text, size_t(end - text)) : std::string(text);
}

}  // namespace cli
