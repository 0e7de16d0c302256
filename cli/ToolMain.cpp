// The entry of stepwright-cli; the tool itself is cli::Main (cli/main.cpp), in
// the command-line library that the Python module links too.

#include "cli/Cli.h"

int main(int argc, char** argv) { return cli::Main(argc, argv); }
