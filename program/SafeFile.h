#pragma once
// Files replaced so that a crash, a full disk or a failed write never tears
// one: after any failure, and after a kill at any moment, the earlier content
// or the new one can be read, from the file or from the backup copy kept
// beside it while it is rewritten in place.  Every file that the window and
// the command line write goes through WriteFileData.
//
// Errors: each routine returns "" on success or the message to show.

#include <functional>
#include <string>

// Writes data to path.  Symbolic links are followed as the kernel follows
// them: a link in a sticky world-writable folder (such as /tmp) only when it
// belongs to the user or to the folder's owner.  The file keeps its owner,
// mode and links:
// - a new file, or a single-link file whose owner can be given, is replaced
//   by a complete new file, synced before it is renamed into place;
// - any other file is rewritten in place, after its earlier content has been
//   copied to BackupPathFor(path) and synced; the copy is removed once the
//   new content is on the disk, and a save refuses the file when no copy can
//   be made.
// Temporaries are unnamed where the file system allows (nothing is left
// behind by a kill); elsewhere they are named ".NAME~stw-PID-XXXXXX" and
// those of processes that are gone are removed by the next write.
// Directories, pipes, devices and read-only files are refused.  *error, when
// given, receives the errno behind a failure (0 when none names it).
std::string WriteFileData(const std::string& path, const std::string& data, int* error = nullptr);

// True when a and b name one existing file (device and inode), whatever
// names or links lead there.
bool SameFile(const std::string& a, const std::string& b);

// The backup copy beside the file that path finally names: NAME~stw-backup.
std::string BackupPathFor(const std::string& path);
// The backup copy a save of path left behind when it did not finish; ""
// when there is none.
std::string LeftBackup(const std::string& path);
// Puts the content of path's left backup copy back into the file, as safely
// as a save, and removes the copy.
std::string RestoreLeftBackup(const std::string& path);

// How a bounded read ended.
enum class BoundedRead {
    Read,        // bytes holds the whole file
    CannotOpen,  // not a regular file (a folder, pipe, device), or it cannot be opened or read
    TooLarge,    // more than limit bytes: bytes holds the first limit + 1
};
// Reads the regular file at path, at most limit + 1 bytes, so that a larger
// file shows as such without being held whole.  Links are followed; a pipe,
// a device or a folder is never opened (nothing here waits for a writer or
// reads an endless device), and the file is opened without blocking.  *error,
// when given, receives the errno behind CannotOpen (0 when none names it).
BoundedRead ReadFileBounded(const std::string& path, size_t limit, std::string& bytes, int* error = nullptr);

// Test seam: called before every step of a write that changes the disk,
// with the step's name.  A non-zero return fails that step with this errno;
// a hook that throws stops the write where it stands, as a kill would.
void SetSafeWriteHook(std::function<int(const char* step)> hook);
