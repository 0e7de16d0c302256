#pragma once
// The little the desktop application remembers between runs: the folder the
// open and save dialogs used last, the files opened or saved last and the COM
// item chosen last.  Nothing else is kept; the program file holds the
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

// The COM item (0-5, 6 = Offline) chosen last with Set; -1 when none.
int ComChoice();
void SetComChoice(int choice);

// Preselects the COM item chosen last in the settings dialog, and remembers
// the item each time Set is pressed.
void RememberComChoice(TMainForm& main);

}  // namespace Preferences
