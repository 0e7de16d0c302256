#include "program/ProgramFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/MainState.h"
#include "isa/Commands.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramText.h"

namespace {

constexpr const char* kCouldNotOpen = "Could not open file";
constexpr const char* kCaptionPrefix = "Tavo Stepwright - ";
constexpr const char* kSavedText = "  Saved  ";
// A full program file is about 1.2 MB; anything far beyond that is refused
// rather than read into memory.
constexpr size_t kMaxFileBytes = size_t(64) << 20;

bool IsKnownType(int t) { return t == kTypeServo || t == kTypeIo || t == kTypeStepper || t == kTypeMaster; }

// The full path name of path: relative names are taken from the working
// directory.  The bytes of the name are kept as they are.
std::string FullPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return path;
    std::string dir(buf);
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + path;
}

// ---------------------------------------------------------------------------
// Reading

// Reads the text of a program file: numbers in free format, label and comment
// lines whole.  Every failure names the file line it happened on.
class Reader {
public:
    explicit Reader(const std::string& bytes) : b_(bytes) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    // Decimal number, optionally signed.  what names the item for the message.
    bool decimal(const char* what, long long& value) {
        if (!skipBlanks(what)) return false;
        size_t p = pos_;
        bool negative = false;
        if (b_[p] == '+' || b_[p] == '-') negative = b_[p++] == '-';
        long long v = 0;
        size_t digits = 0;
        while (p < b_.size() && b_[p] >= '0' && b_[p] <= '9') {
            if (v > INT32_MAX) return fail(Format("the %s is too large", what));
            v = v * 10 + (b_[p] - '0');
            ++p;
            ++digits;
        }
        if (digits == 0 || !endsToken(p)) return fail(Format("the %s is not a decimal number", what));
        if (v > INT32_MAX) return fail(Format("the %s is too large", what));
        value = negative ? -v : v;
        pos_ = p;
        return true;
    }

    // Hexadecimal number without prefix, upper or lower case digits.
    bool hex(const char* what, uint32_t& value) {
        if (!skipBlanks(what)) return false;
        size_t p = pos_;
        uint64_t v = 0;
        size_t digits = 0;
        int d;
        while (p < b_.size() && (d = HexDigit(b_[p])) >= 0) {
            v = v * 16 + uint64_t(d);
            if (v > UINT32_MAX) return fail(Format("the %s is too large", what));
            ++p;
            ++digits;
        }
        if (digits == 0 || !endsToken(p)) return fail(Format("the %s is not a hexadecimal number", what));
        value = uint32_t(v);
        pos_ = p;
        return true;
    }

    // The next text line whole, without its line end (LF or CR LF).
    bool line(const char* what, std::string& text) {
        if (pos_ >= b_.size()) return fail(Format("the file ends where the %s should be", what));
        size_t end = b_.find('\n', pos_);
        size_t next = end == std::string::npos ? b_.size() : end + 1;
        if (end == std::string::npos) end = b_.size();
        if (end > pos_ && b_[end - 1] == '\r') --end;
        text.assign(b_, pos_, end - pos_);
        pos_ = next;
        if (next > 0 && b_[next - 1] == '\n') ++lineNo_;
        return true;
    }

    // Skips what is left of the current line, its line end included.
    void restOfLine() {
        size_t end = b_.find('\n', pos_);
        if (end == std::string::npos) {
            pos_ = b_.size();
        } else {
            pos_ = end + 1;
            ++lineNo_;
        }
    }

    bool fail(const std::string& what) {
        if (error_.empty()) error_ = Format("line %d: ", lineNo_) + what;
        return false;
    }

private:
    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

    // Blanks and line ends before a number; false at the end of the file.
    bool skipBlanks(const char* what) {
        while (pos_ < b_.size() && IsBlank(b_[pos_])) {
            if (b_[pos_] == '\n') ++lineNo_;
            ++pos_;
        }
        if (pos_ >= b_.size()) return fail(Format("the file ends where the %s should be", what));
        return true;
    }
    // A number ends at a blank, a line end or the end of the file.
    bool endsToken(size_t p) const { return p >= b_.size() || IsBlank(b_[p]); }

    const std::string& b_;
    size_t pos_ = 0;
    int lineNo_ = 1;
    std::string error_;
};

bool ReadModuleList(Reader& r, ProgramFileData& out) {
    long long count = 0;
    if (!r.decimal("module count", count)) return false;
    if (count < 0) return r.fail(Format("the module count %lld is negative", count));
    if (count > kMaxModules) return r.fail(Format("the module count %lld is more than %d", count, kMaxModules));
    out.moduleListCount = int(count);
    out.moduleTypes.clear();
    for (int i = 0; i <= out.moduleListCount; ++i) {
        long long t = 0;
        if (!r.decimal("module type", t)) return false;
        out.moduleTypes.push_back(int(t));
    }
    return true;
}

bool ReadInstruction(Reader& r, ProgramLine& line) {
    uint32_t value = 0;
    if (!r.hex("line address", value)) return false;
    line.address = uint16_t(value);
    r.restOfLine();

    std::string gotoLabel;
    if (!r.line("goto-label", gotoLabel)) return false;
    line.setGotoLabel(gotoLabel);

    if (!r.hex("target address", value)) return false;
    line.targetAddress = uint16_t(value);
    if (!r.hex("patch position", value)) return false;
    line.patchOffset = uint8_t(value);
    if (!r.hex("module address", value)) return false;
    line.moduleAddress = uint8_t(value);
    if (!r.hex("command code", value)) return false;
    line.commandCode = uint8_t(value);

    long long length = 0;
    if (!r.decimal("byte count", length)) return false;
    if (length < 0) return r.fail(Format("the byte count %lld is negative", length));
    if (length > kMaxInstrBytes)
        return r.fail(Format("the byte count %lld is more than %d", length, kMaxInstrBytes));
    line.length = uint8_t(length);
    for (int k = 0; k < line.length; ++k) {
        if (!r.hex("instruction byte", value)) return false;
        line.bytes[k] = uint8_t(value);
    }
    r.restOfLine();
    // With no bytes the count's line was just skipped; the block still holds
    // its (empty) byte line, which must not be taken for the next line's label.
    if (line.length == 0) r.restOfLine();
    return true;
}

// ---------------------------------------------------------------------------
// Writing

// Writes all of data to fd; false with errno set when a write fails.
bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
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

std::string WriteFailure(int err) { return std::string("Could not write file: ") + std::strerror(err); }

// A target that is not a regular file (a device, a pipe) cannot be replaced by
// a rename: it is written in place and every error reported.
std::string WriteInPlace(const std::string& path, const std::string& data) {
    // Not blocking on a pipe that nobody reads.
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return kCouldNotOpen;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!WriteAll(fd, data)) {
        int err = errno;
        ::close(fd);
        return WriteFailure(err);
    }
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
        int err = errno;
        ::close(fd);
        return WriteFailure(err);
    }
    if (::close(fd) != 0) return WriteFailure(errno);
    return std::string();
}

// Writes data to a temporary file beside target and renames it over target
// once it is complete, so that a failure leaves the earlier file as it was.
std::string WriteReplacing(const std::string& target, const std::string& data, bool exists, mode_t mode) {
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // The temporary name stays within the length a directory entry allows.
    std::string temp = dir + "." + base.substr(0, 200) + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return kCouldNotOpen;

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        return WriteFailure(err);
    };
    if (!exists) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode & 07777) != 0) return abandon(errno);
    if (!WriteAll(fd, data)) return abandon(errno);
    if (::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return WriteFailure(err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return WriteFailure(err);
    }
    // Make the new directory entry durable as well.
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return std::string();
}

// Reads at most kMaxFileBytes + 1 bytes of path; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& bytes) {
    // Not blocking on a pipe that nobody writes: it then reads as empty.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bytes.clear();
    char buf[65536];
    while (bytes.size() <= kMaxFileBytes) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

void ShowSaved(MainState& s, const std::string& fullPath) {
    s.form.SaveLabel.caption = kSavedText;
    s.form.SaveLabel.color = kGreen;
    s.form.caption = kCaptionPrefix + fullPath;
}

}  // namespace

std::string FormatProgramFile(const MainState& s) {
    std::string out;
    int modules = s.moduleListCount <= kMaxModules ? s.moduleListCount : kMaxModules;
    out += Format("%d\r\n", modules);
    for (int i = 0; i <= modules; ++i) out += Format("%d ", int(s.moduleTypes[i]));
    out += "\r\n";
    int count = s.lineCount < 0 ? 0 : (s.lineCount > kMaxLines ? kMaxLines : s.lineCount);
    out += Format("%d\r\n", count);
    for (int i = 0; i < count; ++i) {
        const ProgramLine& line = s.lines[i];
        if (line.isComment()) {
            out += line.commentText() + "\r\n";
            continue;
        }
        out += line.labelText() + "\r\n" + Format("%4X\r\n", unsigned(line.address));
        out += line.gotoLabelText() + "\r\n" + Format("%4X\r\n", unsigned(line.targetAddress));
        out += Format("%2X %2X %2X\r\n", unsigned(line.patchOffset), unsigned(line.moduleAddress),
                      unsigned(line.commandCode));
        // A record can hold no more than 24 bytes; the count written matches
        // the bytes written so that the file always reads back.
        int length = line.length <= kMaxInstrBytes ? line.length : kMaxInstrBytes;
        out += Format("%d\r\n", length);
        for (int k = 0; k < length; ++k) out += Format("%2X ", unsigned(line.bytes[k]));
        out += "\r\n";
    }
    return out;
}

std::string ParseProgramFile(const std::string& bytes, ProgramFileData& out) {
    out = ProgramFileData();
    Reader r(bytes);
    if (!ReadModuleList(r, out)) return r.error();

    long long count = 0;
    if (!r.decimal("line count", count)) return r.error();
    if (count < 0) r.fail(Format("the line count %lld is negative", count));
    if (count > kMaxLines) r.fail(Format("the line count %lld is more than %d", count, kMaxLines));
    if (r.failed()) return r.error();
    r.restOfLine();

    out.lines.reserve(size_t(count));
    for (long long i = 0; i < count; ++i) {
        std::string first;
        if (!r.line("program line", first)) return r.error();
        ProgramLine line;
        if (!first.empty() && first[0] == ';') {
            line.setComment(first);  // cut to 60 characters
        } else {
            std::memset(&line, 0, sizeof line);
            line.setLabel(first);    // cut to 15 characters
            if (!ReadInstruction(r, line)) return r.error();
        }
        out.lines.push_back(line);
    }
    return std::string();
}

std::string WriteProgramFile(const MainState& s, const std::string& path) {
    return WriteFileData(path, IsProgramTextPath(path) ? FormatProgramText(s) : FormatProgramFile(s));
}

std::string WriteFileData(const std::string& path, const std::string& data) {
    if (path.empty()) return kCouldNotOpen;
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            // Replace the file the link names, and keep the link.
            if (::stat(path.c_str(), &st) == 0) {
                char* real = ::realpath(path.c_str(), nullptr);
                if (!real) return kCouldNotOpen;
                target = real;
                std::free(real);
                exists = true;
            }
        } else {
            exists = true;
        }
    }
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) return kCouldNotOpen;
        return WriteInPlace(target, data);
    }
    return WriteReplacing(target, data, exists, exists ? st.st_mode : 0);
}

bool SaveProgram(MainState& s) {
    std::string name = s.rememberedFile;
    if (!s.ui.saveDialog(name)) return false;
    std::string full = FullPath(name);
    s.rememberedFile = full;
    std::string failure = WriteProgramFile(s, full);
    if (!failure.empty()) {
        s.message(failure);
        return false;
    }
    ShowSaved(s, full);
    return true;
}

void SaveButtonClick(MainState& s) { SaveProgram(s); }

bool OpenProgramFile(MainState& s, const std::string& path) {
    std::string full = FullPath(path);
    std::string bytes;
    if (full.empty() || !ReadFileBytes(full, bytes)) {
        s.message(kCouldNotOpen);
        return false;
    }
    ProgramFileData data;
    std::string reason = bytes.size() > kMaxFileBytes
                             ? Format("the file is larger than %d MB", int(kMaxFileBytes >> 20))
                         : IsProgramTextPath(full) ? ParseProgramTextFile(bytes, full, data)
                                                   : ParseProgramFile(bytes, data);
    if (!reason.empty()) {
        s.message("Not a valid program file: " + reason);
        return false;
    }

    s.rememberedFile = full;
    s.moduleMismatch = false;
    auto& items = s.form.ModuleListBox.items;
    items.clear();
    for (int i = 0; i <= data.moduleListCount; ++i) {
        int t = data.moduleTypes[size_t(i)];
        int detected = i == 0 ? kTypeMaster : s.detectedTypes[i];
        if (s.online && detected != t) {
            s.message("Program module list does not match detected modules - program execution may fail");
            s.moduleMismatch = true;
        }
        s.moduleTypes[i] = IsKnownType(t) ? t : kTypeUnknown;
        items.push_back(ModuleListLine(i, t));
    }
    s.moduleListCount = uint8_t(data.moduleListCount);
    s.moduleListDefined = true;
    SelectModule(s, 0);

    s.lineCount = int32_t(data.lines.size());
    for (size_t i = 0; i < data.lines.size(); ++i) s.lines[i] = data.lines[i];
    RebuildListing(s);
    MarkProgramChanged(s);
    ShowSaved(s, full);
    return true;
}

void OpenButtonClick(MainState& s) {
    std::string name = s.rememberedFile;
    if (!s.ui.openDialog(name)) return;
    OpenProgramFile(s, name);
}
