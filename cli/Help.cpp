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
    "Every FILE.stw may also be a program text, FILE.sws (told by its extension).\n"
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
    "  watch ADDRESS...       print the modules' state as it changes, row by row\n"
    "  export FILE.stw        write the program as text (.sws) (-o)\n"
    "  import FILE.sws        write the program text as a program file (-o)\n"
    "  help [COMMAND]         show this text, or the help of a command\n"
    "  help commands          every program command: fields, ranges, bytes\n"
    "\n"
    "Options (anywhere on the command line):\n"
    "  --port PORT            the serial port: COM1 to COM6, a device such as\n"
    "                         /dev/ttyUSB0, or COMn=/dev/DEVICE to map COMn to a\n"
    "                         device and use it.  Default COM1.  COM1 to COM6 map\n"
    "                         to the serial devices present, USB adapters first\n"
    "                         (ttyUSB*, ttyACM*, then ttyS*).  May be given\n"
    "                         several times for download, verify, detect, status\n"
    "                         and reset: every port is served at once, and one\n"
    "                         line per port, prefixed by the port, tells how it\n"
    "                         ended; the exit code is the highest of them.\n"
    "  --json                 answer with one JSON document on standard output\n"
    "                         (detect, status, download, verify, assemble, list;\n"
    "                         watch writes one JSON object per line)\n"
    "  --simulator            start a simulated master in this process and use it\n"
    "  --sim-modules LIST     its modules at addresses 1, 2, ...: servo, io, step or\n"
    "                         a type code 0-255 (default servo,servo,io,step)\n"
    "  --sim-pace BAUD        pace its line at BAUD (default 19200; 0 = no pacing)\n"
    "  -h, --help             show help (after a command: that command's help)\n"
    "  --                     end of options: the words after it are arguments\n"
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
    "  6  refused by the master or by a module-list mismatch\n"
    "  7  standard output could not be written\n";

struct CommandText {
    const char* name;
    const char* text;
};

const CommandText kCommands[] = {
    {"list",
     "Usage: stepwright-cli list FILE.stw [--json]\n"
     "\n"
     "Prints the program's listing as the window shows it: label, module address\n"
     "and command, one line per program line; comment lines as stored.  The end\n"
     "marker is not printed.  Control characters (the carriage return and line\n"
     "feed of a Print, for example) are written as \\r, \\n or \\xHH.  With\n"
     "--json: the file and every line's text and whether it is a comment.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused.\n"},
    {"assemble",
     "Usage: stepwright-cli assemble FILE.stw [-o IMAGE.bin] [--hex] [--json]\n"
     "\n"
     "Resolves the labels and assembles the program into its image: the two-byte\n"
     "length, then every instruction from address 2 on.  Without options prints\n"
     "the image's length.\n"
     "\n"
     "  -o, --output IMAGE     write the image (its length in bytes, header\n"
     "                         included) to IMAGE; - is standard output.  The\n"
     "                         program file itself is never overwritten.\n"
     "  --hex                  print the image in hexadecimal, 16 bytes a line\n"
     "\n"
     "Assembly errors (a label defined twice, an undefined label, a program\n"
     "larger than the memory) are reported with the program line they concern.\n"
     "\n"
     "With --json: the file, the image's length in bytes, the output file and\n"
     "(with --hex) the image as one hexadecimal string.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused, assembly failed or\n"
     "the image not written.\n"},
    {"detect",
     "Usage: stepwright-cli detect [--json]\n"
     "\n"
     "Takes the link on line as the window does: stops the master, waits 2 s for\n"
     "it, has it scan its network and asks every module for its type.  Prints the\n"
     "module list, one module a line; with --json each module's address, type\n"
     "code and name.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding, 6 refused by the master.\n"},
    {"download",
     "Usage: stepwright-cli download FILE.stw [--no-verify] [--run] [--check-modules]\n"
     "                        [--json]\n"
     "\n"
     "Assembles the program, writes its image into the master in 16-byte blocks\n"
     "and reads it back to compare it: the master's answers carry no checksum,\n"
     "so only the comparison shows that the program arrived as sent.  A program\n"
     "that does not assemble is refused before the port is opened.  The master\n"
     "is stopped first (a Stop takes the link on line).  A progress bar is shown\n"
     "on standard error when it is a terminal.\n"
     "\n"
     "  --no-verify            do not read the program back (--verify, the\n"
     "                         default, is accepted)\n"
     "  --run                  start it afterwards at its first instruction\n"
     "  --check-modules        detect the modules first (2 s) and refuse when they\n"
     "                         differ from the program's module list in number or\n"
     "                         type\n"
     "  --json                 the file, its length in bytes and blocks, whether\n"
     "                         it was downloaded and verified, where it started\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused or assembly failed,\n"
     "3 port cannot be opened, 4 master not responding, 5 verify found a\n"
     "difference, 6 refused by the master (a block answered 0xCC), by a\n"
     "module-list mismatch, or --run with a program that changes the baud rate.\n"},
    {"verify",
     "Usage: stepwright-cli verify FILE.stw [--check-modules] [--json]\n"
     "\n"
     "Assembles the program and reads the master's memory back block by block to\n"
     "compare it with the image.  A status poll takes the link on line, so a\n"
     "running program is not disturbed.\n"
     "\n"
     "  --check-modules        detect the modules first (2 s; this stops the\n"
     "                         program) and refuse when they differ from the\n"
     "                         program's module list\n"
     "  --json                 the file, its length and whether it matches\n"
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
     "opened, 4 master not responding, 6 refused by the master, module-list\n"
     "mismatch or baud rate change.  Nothing is started after a detection that\n"
     "failed or was refused.\n"},
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
     "As in the window, the step is at the first instruction (address 2) when\n"
     "the master is at start: before the end of its first instruction without\n"
     "standing at the start of a line (after power-up or a reset), or at or past\n"
     "the end of the program.  Any other address that is not the start of a line\n"
     "is refused.  The lines are those of --program, else those of the program in\n"
     "the master, read back as far as needed.  A Delay cannot be stepped: the\n"
     "step goes to the instruction after it, as in the window.\n"
     "\n"
     "  --from ADDRESS         step the instruction at this address (2 is the\n"
     "                         first instruction); it must start a line\n"
     "  --program FILE.stw     the program in the master: its module list must\n"
     "                         match, its listing names the line reached\n"
     "\n"
     "Exit codes: 0 stepped, 1 usage error, 2 file refused, 3 port cannot be\n"
     "opened, 4 master not responding, 6 refused by the master, module-list\n"
     "mismatch or an address that is not the start of a line.\n"},
    {"reset",
     "Usage: stepwright-cli reset\n"
     "\n"
     "Resets the master to its power-up state (after a Stop that checks that it\n"
     "answers), then waits 200 ms.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding.\n"},
    {"status",
     "Usage: stepwright-cli status ADDRESS... [--json]\n"
     "\n"
     "Prints what the status window of each module shows: its caption, then one\n"
     "\"label: value\" line per value; a blank line between modules.  Address 0\n"
     "is the master (version and counters); a servo shows position, home\n"
     "position, limits and power; a stepper also its inputs; an I/O module its\n"
     "twelve bits.  With --json: for each module its address, caption and values\n"
     "by label.  A running program goes on running: the modules are learnt from\n"
     "one poll (their count) and their type replies, not by a detection, whose\n"
     "Stop would halt it.\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 3 port cannot be opened, 4 master not\n"
     "responding or its reply unreadable, 6 refused by the master, or no module\n"
     "(or one of unknown type) at the address.\n"},
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
     "responding, 6 refused by the master or by a module-list mismatch.  Nothing\n"
     "is executed after a detection that failed or was refused.\n"},
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
    {"watch",
     "Usage: stepwright-cli watch ADDRESS... [--interval MS] [--count N] [--csv | --json]\n"
     "                            [--only-stopped] [--modules LIST | --program FILE.stw]\n"
     "\n"
     "Leaves a running program running: polls the master once for its module\n"
     "count (no detection, no Stop).  While the program is stopped it asks each\n"
     "module for its type; while it runs the types come from --modules or\n"
     "--program only (the program's own status requests could answer in the\n"
     "modules' place), and without either the watch is refused.\n"
     "Then fetches the status of every module named (0 is the master) with the\n"
     "status windows' requests, one row per pass over them, and prints each row\n"
     "as it comes: its time in seconds since the first row, then each module's\n"
     "values named as in its status window, and \"(program running)\" when the\n"
     "program may have run meanwhile (a master whose program and host replies\n"
     "share one area may then have answered with the program's reply).  The\n"
     "master is polled every 250 ms as the window polls it, and the rows take at\n"
     "most half of the line (the link budget, see the guide): a row over four\n"
     "modules is due every 104 ms at the fastest for four servos.  A sample whose\n"
     "reply fails its checksum or is longer than asked is dropped and counted.\n"
     "Ends on Ctrl+C or after N rows.\n"
     "\n"
     "  --interval MS          at least MS milliseconds from one row to the next\n"
     "                         (default 100; the budget may make it longer)\n"
     "  --count N              end after N rows\n"
     "  --only-stopped         take rows only while the program is stopped\n"
     "  --modules LIST         the modules at addresses 1, 2, ...: servo, io, step\n"
     "                         (checked against their type replies while stopped)\n"
     "  --program FILE.stw     the program's module list, used as --modules\n"
     "  --csv                  a header line, then one CSV line per row: time_ms,\n"
     "                         then ADDRESS CAPTION columns, then program\n"
     "                         (Running or Stopped)\n"
     "  --json                 one JSON object per line: {\"time_ms\": T,\n"
     "                         \"program\": \"Running\"|\"Stopped\", \"modules\":\n"
     "                         [{\"address\": A, CAPTION: VALUE, ...}]}; the last line\n"
     "                         {\"summary\": {\"rows\": N, \"dropped\": D}}\n"
     "\n"
     "Samples dropped for a bad reply are reported on standard error (text and\n"
     "CSV) or in the summary line (JSON).\n"
     "\n"
     "Exit codes: 0 success (also after Ctrl+C), 1 usage error, 2 program file\n"
     "refused, 3 port cannot be opened, 4 master not responding (or the line not\n"
     "quiet after a bad reply), 6 refused (no module with a status at an address\n"
     "named, a running program without a module list, or a list that does not\n"
     "match the modules).\n"},
    {"export",
     "Usage: stepwright-cli export FILE.stw [-o FILE.sws]\n"
     "\n"
     "Writes the program as text: its module list, then one line per program\n"
     "line, each instruction as its command's name and fields as the builder\n"
     "panel shows them (see docs/program-text.md).  Without -o the text goes to\n"
     "standard output.  Importing the text gives the same lines, byte for byte.\n"
     "\n"
     "  -o, --output FILE      write the text to FILE\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused or not written.\n"},
    {"import",
     "Usage: stepwright-cli import FILE.sws [-o FILE.stw]\n"
     "\n"
     "Builds every line of a program text as the builder does (the panel's\n"
     "fields, then the family's encoder) and writes the program file.  Every\n"
     "error of the text is reported, one per line, as FILE:LINE:COLUMN with the\n"
     "field and the builder's message; then nothing is written.  Without -o the\n"
     "program file goes to standard output.\n"
     "\n"
     "  -o, --output FILE      write the program file to FILE\n"
     "\n"
     "Exit codes: 0 success, 1 usage error, 2 file refused or not written.\n"},
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
