#pragma once
// Where the application's data files are found, for the window, the command
// line and the installation alike.

#include <string>

// The user guide opened by Help, looked up in this order:
//   1. stepwright.pdf beside the running executable;
//   2. the installed guide, <executable dir>/../share/doc/stepwright/stepwright.pdf;
//   3. stepwright.pdf in the current directory.
// Returns the path of the first that is a regular file, or "" when none is.
std::string FindUserGuide(const std::string& executableDir, const std::string& currentDir);

// The folder the open and save dialogs start in before one has been used:
//   1. the installed examples, <executable dir>/../share/stepwright/examples;
//   2. the source tree's examples when run from a build folder inside it,
//      <executable dir>/../examples.
// Returns the first that is a directory, or "" when none is.
std::string FindExamplesFolder(const std::string& executableDir);

// The directory of the running executable; "" when it cannot be told.
std::string ExecutableDirectory();
// The current directory; "" when it cannot be told.
std::string CurrentDirectory();
