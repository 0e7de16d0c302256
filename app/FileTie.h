#pragma once
// The program's tie to its file, the files used last, and the program
// commands of the status line's menu beside Open and Save: New, Save As and
// Open Recent.
//
// A program is tied to the file it was opened from or last saved to; New
// ends the tie (the program is untitled).  Saving over an existing file asks
// first, unless that file is the program's own: the same device and inode,
// whatever name the dialog gave it.

#include <cstddef>
#include <string>
#include <vector>

struct FileIdentity;
struct MainState;

constexpr size_t kMaxRecentFiles = 8;

// The file at path, links followed; not known when there is no such file.
FileIdentity IdentifyFile(const std::string& path);

// Ties the program to fullPath, just opened or written, and puts that file at
// the head of the recent files.
void TieProgramFile(MainState& s, const std::string& fullPath);
// Ends the tie: the program is untitled.
void UntieProgramFile(MainState& s);
// True when fullPath is the file the program is tied to, under any name.
bool IsProgramFile(const MainState& s, const std::string& fullPath);
// Whether the file chosen in the save dialog may be written: there is no
// writable file of that name, it is the program's own file, or the user
// agreed to replace it (Yes/No, No being the default).
bool MayReplaceFile(MainState& s, const std::string& fullPath);

// Puts path at the head of list, once, and keeps at most kMaxRecentFiles.
void AddRecentFile(std::vector<std::string>& list, const std::string& path);

// The status line menu's handlers.
// A new untitled program: the listing empty and the module list the master
// alone, after the same question about unsaved work as Open.
void New1Click(MainState& s);
// Saves to a file chosen in the save dialog; the program is then tied to it.
void SaveAs1Click(MainState& s);
// Opens one of the recent files as Open does; one that no longer exists is
// dropped from the list with a message.
void OpenRecentFile(MainState& s, const std::string& path);
