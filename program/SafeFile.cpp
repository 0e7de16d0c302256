#include "program/SafeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <set>

namespace {

constexpr const char* kCouldNotOpen = "Could not open file";
// The longest name a folder entry takes.
constexpr size_t kNameMax = 255;
constexpr const char* kBackupSuffix = "~stw-backup";
// Temporaries are ".NAME~stw-PID-XXXXXX", NAME cut to kTempBaseMax bytes.
constexpr const char* kTempMark = "~stw-";
constexpr size_t kTempBaseMax = 200;
constexpr size_t kTempRandom = 6;
// An earlier content is held in memory while a file is rewritten in place; a
// program file is about 1.2 MB, so anything far beyond is refused.
constexpr size_t kMaxInPlaceBytes = size_t(64) << 20;

std::function<int(const char*)>& Hook() {
    static std::function<int(const char*)> hook;
    return hook;
}

// Every step that changes the disk passes here first, so that a test can fail
// it or stop the write there.  False with errno set when the step is to fail.
bool Step(const char* what) {
    if (const auto& hook = Hook()) {
        if (int err = hook(what)) {
            errno = err;
            return false;
        }
    }
    return true;
}

std::string WriteFailure(int err) { return std::string("Could not write file: ") + std::strerror(err); }

// A file descriptor closed when it goes out of scope (as a kill would close it).
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now; false with errno set when the close reports an error.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_ = -1;
};

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string BaseOf(const std::string& path) { return path.substr(DirectoryOf(path).size()); }
std::string Folder(const std::string& dir) { return dir.empty() ? std::string(".") : dir; }

// Writes all of data to fd from offset on; false with errno set on failure.
bool WriteAllAt(int fd, const std::string& data, off_t offset) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, offset + off_t(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// Reads the whole file behind fd, at most limit + 1 bytes; false with errno set.
bool ReadAllOf(int fd, std::string& bytes, size_t limit) {
    bytes.clear();
    char buf[65536];
    while (bytes.size() <= limit) {
        ssize_t n = ::pread(fd, buf, sizeof buf, off_t(bytes.size()));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, size_t(n));
    }
    return true;
}

void SyncDirectory(const std::string& dir) {
    if (!Step("sync folder")) return;
    Fd dfd(::open(Folder(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dfd.valid()) ::fsync(dfd.get());
}

// The kernel's rule for links in sticky world-writable folders (as
// fs.protected_symlinks applies it): such a link is followed only when it
// belongs to the user or to the folder's owner, so that a link planted in a
// shared folder cannot turn a save onto another user's file.  The rule holds
// here whatever the system's setting, since the links are followed here.
bool MayFollow(const std::string& link, const struct stat& lst) {
    struct stat dst;
    if (::stat(Folder(DirectoryOf(link)).c_str(), &dst) != 0) return false;
    if ((dst.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH)) return true;
    return lst.st_uid == ::geteuid() || lst.st_uid == dst.st_uid;
}

// Follows symbolic links from path to the file they finally name, which need
// not exist yet (a dangling link creates it).  False for a link loop, a link
// the kernel's rule forbids, or a name that cannot be looked up.  Links in the
// folders on the way are followed by the kernel, with its own checks.
bool FollowLinks(const std::string& path, std::string& target) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            target = p;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            target = p;
            return true;
        }
        if (!MayFollow(p, st)) {
            errno = EACCES;
            return false;
        }
        char buf[PATH_MAX];
        ssize_t n = ::readlink(p.c_str(), buf, sizeof buf);
        if (n <= 0 || size_t(n) >= sizeof buf) return false;
        std::string next(buf, size_t(n));
        if (next[0] != '/') next = DirectoryOf(p) + next;
        p = next;
    }
    errno = ELOOP;
    return false;
}

// The backup copy's name beside target; a name too long to take the suffix is
// cut and told apart by a hash of the whole name.
std::string BackupName(const std::string& target) {
    const std::string dir = DirectoryOf(target);
    std::string base = BaseOf(target);
    const size_t suffix = std::strlen(kBackupSuffix);
    if (base.size() + suffix > kNameMax) {
        uint32_t hash = 2166136261u;  // FNV-1a
        for (unsigned char c : base) hash = (hash ^ c) * 16777619u;
        char tag[16];
        std::snprintf(tag, sizeof tag, ".%08X", unsigned(hash));
        base = base.substr(0, kNameMax - suffix - 9) + tag;
    }
    return dir + base + kBackupSuffix;
}

// ---------------------------------------------------------------------------
// Temporaries

// The temporary names this process is using; any other of its own pattern and
// process id is left over from an earlier write (a test that stopped one).
std::mutex g_tempsLock;
std::set<std::string> g_tempsInUse;

std::string TempPrefix(const std::string& target) {
    return "." + BaseOf(target).substr(0, kTempBaseMax) + kTempMark;
}

// A fresh temporary name beside target, marked in use for its lifetime.
class TempName {
public:
    explicit TempName(const std::string& target) {
        static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        static std::mutex randomLock;
        static std::mt19937 random{std::random_device{}()};
        std::string tail;
        {
            std::lock_guard<std::mutex> lock(randomLock);
            for (size_t i = 0; i < kTempRandom; ++i) tail += kChars[random() % (sizeof kChars - 1)];
        }
        path_ = DirectoryOf(target) + TempPrefix(target) + std::to_string(::getpid()) + "-" + tail;
        std::lock_guard<std::mutex> lock(g_tempsLock);
        g_tempsInUse.insert(path_);
    }
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    ~TempName() {
        std::lock_guard<std::mutex> lock(g_tempsLock);
        g_tempsInUse.erase(path_);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// True when name (beside target) is a temporary of prefix's pattern that
// was left behind: its process is gone, or it is this process's but no
// longer in use.
bool IsStaleTemporary(const std::string& name, const std::string& prefix, const std::string& path) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string rest = name.substr(prefix.size());  // PID-XXXXXX
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 9 || rest.size() != dash + 1 + kTempRandom) return false;
    for (size_t i = 0; i < dash; ++i)
        if (rest[i] < '0' || rest[i] > '9') return false;
    const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
    if (pid <= 0) return false;
    if (pid == long(::getpid())) {
        std::lock_guard<std::mutex> lock(g_tempsLock);
        return g_tempsInUse.count(path) == 0;
    }
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Removes the temporaries that writes to target or to its backup copy left
// behind when they were killed.  Only where the file system takes no unnamed
// files, or in the instant between naming one and renaming it, can they
// arise.
void RemoveStaleTemporaries(const std::string& target) {
    const std::string dir = DirectoryOf(target), own = TempPrefix(target), backup = TempPrefix(BackupName(target));
    DIR* d = ::opendir(Folder(dir).c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name, path = dir + name;
        if (!IsStaleTemporary(name, own, path) && !IsStaleTemporary(name, backup, path)) continue;
        struct stat st;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
    ::closedir(d);
}

bool UnnamedTemporariesPossible() { return ::access("/proc/self/fd", X_OK) == 0; }

// ---------------------------------------------------------------------------
// Writing

// The owner and mode a new file takes from the file it replaces or backs up.
struct Identity {
    uid_t uid;
    gid_t gid;
    mode_t mode;
    bool ownerRequired;  // false: without the owner, only the user may read it
};

enum class Placed { Done, Failed, Closed };

// Writes data to a new file and puts it in place as target only once it is
// complete and synced: over what target holds when replace is set, otherwise
// only where target does not exist.  The file is written unnamed (O_TMPFILE)
// where the file system allows, so that a kill leaves nothing behind;
// elsewhere under a temporary name.  Closed: this way is not open (the folder
// takes no new file, the owner cannot be given) and nothing has changed;
// errno tells why.  Failed: failure holds the message; nothing has changed.
Placed PlaceNewFile(const std::string& target, const std::string& data, const Identity* like, bool replace,
                    std::string& failure) {
    const std::string dir = DirectoryOf(target);
    const mode_t createMode = like ? 0600 : 0666;
    Fd fd;
    std::optional<TempName> temp;
    bool unnamed = UnnamedTemporariesPossible();
    if (unnamed) {
        if (Step("create unnamed")) fd.reset(::open(Folder(dir).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode));
        // A kernel or file system without unnamed files says so in one of these ways.
        if (!fd.valid() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) unnamed = false;
        else if (!fd.valid()) return Placed::Closed;
    }
    if (!unnamed) {
        if (!Step("create temporary")) return Placed::Closed;
        for (int tries = 0; tries < 100 && !fd.valid(); ++tries) {
            temp.emplace(target);
            fd.reset(::open(temp->path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, createMode));
            if (!fd.valid() && errno != EEXIST) break;
        }
        if (!fd.valid()) {
            const int err = errno;
            temp.reset();
            errno = err;
            return Placed::Closed;
        }
    }
    // Nothing is left behind when this way ends early.
    auto abandon = [&](Placed how) {
        const int err = errno;
        fd.reset();
        if (temp) ::unlink(temp->path().c_str());
        if (how == Placed::Failed) failure = WriteFailure(err);
        errno = err;
        return how;
    };
    if (like) {
        struct stat tst;
        if (::fstat(fd.get(), &tst) != 0) return abandon(Placed::Failed);
        mode_t mode = like->mode;
        if (tst.st_uid != like->uid || tst.st_gid != like->gid) {
            if (!Step("set owner") || ::fchown(fd.get(), like->uid, like->gid) != 0) {
                if (like->ownerRequired) return abandon(Placed::Closed);
                mode &= 0600;
            }
        }
        if (!Step("set mode") || ::fchmod(fd.get(), mode) != 0) return abandon(Placed::Closed);
    }
    if (!Step("write") || !WriteAllAt(fd.get(), data, 0)) return abandon(Placed::Failed);
    if (!Step("sync") || ::fsync(fd.get()) != 0) return abandon(Placed::Failed);

    if (unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        if (!replace) {
            if (!Step("link") || ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return abandon(Placed::Failed);
        } else {
            // A link cannot replace a name: the file is named beside the
            // target for the instant before the rename.
            for (int tries = 0;; ++tries) {
                temp.emplace(target);
                if (Step("link") &&
                    ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp->path().c_str(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                const int err = errno;
                if (err == EEXIST && tries < 100) continue;
                temp.reset();  // the name was never made
                errno = err;
                return abandon(Placed::Failed);
            }
        }
        if (!fd.close()) return abandon(Placed::Failed);
    } else if (!fd.close()) {
        return abandon(Placed::Failed);
    }
    if (temp) {
        bool renamed = false;
        if (Step("rename")) {
            if (replace) {
                renamed = ::rename(temp->path().c_str(), target.c_str()) == 0;
            } else {
                renamed = ::renameat2(AT_FDCWD, temp->path().c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
                // A file system without the flag: the name was free a moment ago.
                if (!renamed && (errno == EINVAL || errno == ENOSYS))
                    renamed = ::rename(temp->path().c_str(), target.c_str()) == 0;
            }
        }
        if (!renamed) return abandon(Placed::Failed);
        temp.reset();
    }
    SyncDirectory(dir);
    return Placed::Done;
}

// Removes target's backup copy, if any, once target is whole.
void RemoveBackup(const std::string& target) {
    const std::string backup = BackupName(target);
    struct stat st;
    if (::lstat(backup.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (Step("remove backup") && ::unlink(backup.c_str()) == 0) SyncDirectory(DirectoryOf(target));
}

// Rewrites the open file fd (target, described by st) in place, keeping its
// inode, links, owner and mode.  Its earlier content is first copied to the
// backup beside it, so that a crash at any moment leaves it in the file or in
// the copy; after a failure it is written back.  fromBackup: the backup copy
// already holds the content being written, and stays until it is in place.
std::string RewriteInPlace(int fd, const struct stat& st, const std::string& target, const std::string& data,
                           bool fromBackup, int& err) {
    const std::string backup = BackupName(target);
    std::string earlier;
    if (!fromBackup) {
        if (size_t(st.st_size) > kMaxInPlaceBytes) return "The file is too large to be replaced safely.";
        if (!ReadAllOf(fd, earlier, kMaxInPlaceBytes)) {
            err = errno;
            return WriteFailure(err);
        }
        const Identity like{st.st_uid, st.st_gid, mode_t(st.st_mode & 0666), false};
        std::string failure;
        if (PlaceNewFile(backup, earlier, &like, true, failure) != Placed::Done) {
            err = errno;
            return WriteFailure(err) + " (no backup copy could be made beside the file)";
        }
    }
    auto writeAll = [&](const std::string& bytes) {
        return Step("write") && WriteAllAt(fd, bytes, 0) && Step("truncate") &&
               ::ftruncate(fd, off_t(bytes.size())) == 0 && Step("sync") && ::fsync(fd) == 0;
    };
    if (!writeAll(data)) {
        err = errno;
        if (!fromBackup && writeAll(earlier)) {
            RemoveBackup(target);
            return WriteFailure(err);
        }
        return WriteFailure(err) + " (the earlier content is kept in " + backup + ")";
    }
    RemoveBackup(target);
    return std::string();
}

std::string WriteSafely(const std::string& path, const std::string& data, bool fromBackup, int& err) {
    err = 0;
    if (path.empty()) return kCouldNotOpen;
    std::string target;
    if (!FollowLinks(path, target)) {
        err = errno;
        return kCouldNotOpen;
    }
    RemoveStaleTemporaries(target);
    std::string failure;
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            err = errno;
            return kCouldNotOpen;
        }
        switch (PlaceNewFile(target, data, nullptr, false, failure)) {
            case Placed::Done: RemoveBackup(target); return std::string();
            case Placed::Failed: err = errno; return failure;
            case Placed::Closed: err = errno; return kCouldNotOpen;
        }
    }
    // Directories, pipes, devices and sockets are never opened: a pipe or a
    // terminal could block the window for ever.  A file without any write
    // permission is read-only, even for a user whom the system would let in.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return kCouldNotOpen;
    // The name as given is opened, so that the kernel follows its links with
    // its own checks; O_PATH opens only the name, never a device behind it.
    Fd probe(::open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat fst;
    if (!probe.valid() || ::fstat(probe.get(), &fst) != 0) {
        err = errno;
        return kCouldNotOpen;
    }
    if (!S_ISREG(fst.st_mode) || fst.st_ino != st.st_ino || fst.st_dev != st.st_dev) return kCouldNotOpen;
    Fd fd(::open(("/proc/self/fd/" + std::to_string(probe.get())).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid() && errno == ENOENT)  // no /proc: the resolved name, checked as above
        fd.reset(::open(target.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid() || ::fstat(fd.get(), &fst) != 0) {
        err = errno;
        return kCouldNotOpen;
    }
    if (!S_ISREG(fst.st_mode) || fst.st_ino != st.st_ino || fst.st_dev != st.st_dev) return kCouldNotOpen;
    // A new file renamed into place is safest, but it keeps the file's
    // identity only for a single link whose owner it can give; otherwise the
    // file is rewritten in place.
    if (fst.st_nlink == 1) {
        const Identity like{fst.st_uid, fst.st_gid, mode_t(fst.st_mode & 07777), true};
        switch (PlaceNewFile(target, data, &like, true, failure)) {
            case Placed::Done: RemoveBackup(target); return std::string();
            case Placed::Failed: err = errno; return failure;
            case Placed::Closed: break;
        }
    }
    return RewriteInPlace(fd.get(), fst, target, data, fromBackup, err);
}

}  // namespace

std::string WriteFileData(const std::string& path, const std::string& data, int* error) {
    int err = 0;
    std::string result = WriteSafely(path, data, false, err);
    if (error) *error = err;
    return result;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string BackupPathFor(const std::string& path) {
    std::string target;
    return BackupName(FollowLinks(path, target) ? target : path);
}

std::string LeftBackup(const std::string& path) {
    std::string target;
    if (path.empty() || !FollowLinks(path, target)) return std::string();
    const std::string backup = BackupName(target);
    struct stat st, fst;
    if (::lstat(backup.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
    // Only a copy of the user's or of the file's owner is offered: in a shared
    // folder anybody could leave a file of that name.
    const bool fileOwners = ::stat(target.c_str(), &fst) == 0 && fst.st_uid == st.st_uid;
    return st.st_uid == ::geteuid() || fileOwners ? backup : std::string();
}

std::string RestoreLeftBackup(const std::string& path) {
    const std::string backup = LeftBackup(path);
    if (backup.empty()) return std::string();
    Fd fd(::open(backup.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    std::string bytes;
    if (!fd.valid() || !ReadAllOf(fd.get(), bytes, kMaxInPlaceBytes)) return kCouldNotOpen;
    if (bytes.size() > kMaxInPlaceBytes) return "The file is too large to be replaced safely.";
    int err = 0;
    return WriteSafely(path, bytes, true, err);
}

BoundedRead ReadFileBounded(const std::string& path, size_t limit, std::string& bytes, int* error) {
    bytes.clear();
    int ignored = 0;
    int& err = error ? *error : ignored;
    err = 0;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        err = errno;
        return BoundedRead::CannotOpen;
    }
    if (!S_ISREG(st.st_mode)) return BoundedRead::CannotOpen;
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    // The name may have been turned into a pipe or device since the look.
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        err = errno;
        return BoundedRead::CannotOpen;
    }
    if (!S_ISREG(st.st_mode)) return BoundedRead::CannotOpen;
    // Room for the whole file at once: growing the text by doubling would
    // briefly hold two copies of a large one.
    const size_t expected = st.st_size < 0 ? 0 : size_t(st.st_size);
    bytes.reserve((expected < limit ? expected : limit) + 1);
    char buf[65536];
    while (bytes.size() <= limit) {
        const size_t want = limit + 1 - bytes.size() < sizeof buf ? limit + 1 - bytes.size() : sizeof buf;
        ssize_t n = ::read(fd.get(), buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            bytes.clear();
            return BoundedRead::CannotOpen;
        }
        if (n == 0) break;
        bytes.append(buf, size_t(n));
    }
    return bytes.size() > limit ? BoundedRead::TooLarge : BoundedRead::Read;
}

void SetSafeWriteHook(std::function<int(const char* step)> hook) { Hook() = std::move(hook); }
