#pragma once
// The little the desktop application remembers between runs: the folder the
// open and save dialogs used last, the files opened or saved last and the COM
// item that opened last.  Nothing else is kept; the program file holds the
// rest.

#include <QString>
#include <string>
#include <vector>

class TMainForm;

namespace Preferences {

// The folder the dialogs start in: the one used last, else the examples
// folder found beside the installation or the source tree, else "".
QString DialogFolder();
void SetDialogFolder(const QString& folder);

// The files opened or saved last, newest first (at most eight).
std::vector<std::string> RecentFiles();
void SetRecentFiles(const std::vector<std::string>& files);
// Fills the program's recent files from the ones remembered, and remembers
// them whenever they change.
void RememberRecentFiles(TMainForm& main);

// The COM item (0-5, 6 = Offline) whose port opened last with Set; -1 when none.
int ComChoice();
void SetComChoice(int choice);
void ForgetComChoice();

// Preselects in the settings dialog the COM item that opened last, or
// preferred when it is 0 or more (the simulated master's port).  Each Set
// remembers the item when its port opened (or Offline was chosen), and
// forgets a remembered item whose port failed; the preferred item is never
// remembered, since it stands for a device of this run only.
void RememberComChoice(TMainForm& main, int preferred = -1);

}  // namespace Preferences
