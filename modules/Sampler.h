#pragma once
// Live traces of module status.  The sampler fetches the status of each
// watched module with the status windows' own request frames and reply
// layouts, time-stamps the values and keeps them in a bounded ring.  It runs
// on the user-interface thread between two poll ticks, only while the link is
// free (on line, poll timer running, module list agreeing with the network),
// and takes at most its share of the line: the link budget below.
//
// A sample reads only its own reply: bytes the master sent of its own accord
// are collected before the exchange as a poll tick collects them, and a reply
// that fails its checksum or brings more bytes than asked for is counted,
// left out, and followed by draining the line until it is quiet.
//
// On a master whose running program collects its replies where the host
// reads them, a sample taken while the program may run can show the
// program's reply: each sample says whether the program may have run, and
// the sampler can be told to sample only while it is stopped.
//
// Errors: a missing reply runs the not-responding procedure (its one
// message) inside the host routine, and the sampler stops; a bad reply is
// counted and left out; a line that does not come quiet stops the sampler.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct LinkState;
struct ModuleTables;

// ---------------------------------------------------------------------------
// The link budget

constexpr int kLinkBaud = 19200;
// Share of the line's time the sampler may take; the rest stays with the
// poll, the user's own exchanges and the master's printed characters, and
// keeps the window answering between two blocking exchanges.
constexpr double kSamplerShare = 0.5;
// Margin kept before the next poll tick: a sample that would end later waits
// until the tick has run, so the poll keeps its rhythm.
constexpr double kPollGuardMs = 5.0;

struct SampleBytes {
    int toMaster;    // command bytes, counts, frame, checksum
    int fromMaster;  // acknowledges, result byte, reply and its checksum
    int total() const { return toMaster + fromMaster; }
};

// Bytes on the line for one status sample of a module type ({0, 0} for a type
// without a status window).
SampleBytes StatusSampleBytes(int type);
// Wire time of one sample at baud (10 bits a byte), in milliseconds.
double StatusSampleMs(int type, int baud = kLinkBaud);
// The shortest period between the starts of two rows over modules of these
// types that keeps the sampler within its share of the line.
double BudgetRowPeriodMs(const std::vector<int>& types, int baud = kLinkBaud);

// ---------------------------------------------------------------------------
// Samples

enum class SampleKind : uint8_t { Servo, Stepper, Io, Master };

// One module's status at one moment, 16 bytes.
struct ModuleSample {
    uint32_t timeMs = 0;   // since sampling started
    uint8_t address = 0;
    uint8_t flags = 0;     // bits 0-1 the kind, then the flags below
    uint8_t status = 0;    // servo, stepper: the status byte
    uint8_t inputs = 0;    // stepper: the input byte
    int32_t a = 0;         // servo, stepper: position; I/O: the twelve bits; master: counters 1 and 2
    int32_t b = 0;         // servo, stepper: home position; master: counters 3 and 4

    static constexpr uint8_t kRowStart = 0x80;     // the first sample of a row
    static constexpr uint8_t kProgramRan = 0x40;   // the program may have run meanwhile
    static constexpr uint8_t kAfterGap = 0x20;     // more than two row periods after the module's last sample
    SampleKind kind() const { return SampleKind(flags & 3); }
    bool rowStart() const { return flags & kRowStart; }
    bool programRan() const { return flags & kProgramRan; }
    bool afterGap() const { return flags & kAfterGap; }
};
static_assert(sizeof(ModuleSample) == 16);

// The kind of a module type; false for a type without a status window.
bool SampleKindOf(int type, SampleKind& kind);
// Decodes a status reply (the master: its 32-byte data area) as the status
// windows read it.
ModuleSample DecodeStatusReply(SampleKind kind, const uint8_t* reply);

// The values a sample carries, named as in the status windows, and how a
// trace draws them.
enum class ChannelShape { Line, Marker, Digital, Steps };
struct Channel {
    const char* caption;
    ChannelShape shape;
};
const std::vector<Channel>& ChannelsOf(SampleKind kind);
// Channel i of a sample as a number (a bit as 0 or 1).
int64_t ChannelValue(const ModuleSample& sample, int channel);
// Channel i as its status window shows it: "%d", "High"/"Low", "On"/"Off".
std::string ChannelText(const ModuleSample& sample, int channel);

// A bounded ring of samples: the oldest give way to the newest.
class SampleRing {
public:
    explicit SampleRing(size_t capacity);
    void push(const ModuleSample& sample);
    void clear();
    size_t size() const { return size_; }
    size_t capacity() const { return buffer_.size(); }
    // Samples pushed since the ring was made (clearing does not reset it).
    uint64_t pushed() const { return pushed_; }
    // 0 is the oldest sample kept.
    const ModuleSample& operator[](size_t i) const { return buffer_[(head_ + i) % buffer_.size()]; }

private:
    std::vector<ModuleSample> buffer_;
    size_t head_ = 0;   // the oldest
    size_t size_ = 0;
    uint64_t pushed_ = 0;
};

// 262144 samples, 4 MB.
constexpr size_t kDefaultRingSamples = size_t(1) << 18;

// ---------------------------------------------------------------------------
// Rows as text: a row is one pass over the watched modules.

// The modules of a table: address and kind, in column order.
using TableModules = std::vector<std::pair<int, SampleKind>>;
TableModules ModulesOfRow(const std::vector<ModuleSample>& row);
// Whether any sample of the row was taken while the program may have run.
bool RowProgramRan(const std::vector<ModuleSample>& row);
// "time_ms", then "ADDRESS CAPTION" for every channel of every module, then
// "program".
std::string CsvHeader(const TableModules& modules);
// The row's time and values under that header (empty cells for modules the
// row has not), then "Running" when the program may have run meanwhile,
// else "Stopped".
std::string CsvRow(const std::vector<ModuleSample>& row, const TableModules& modules);
// One JSON object on one line:
// {"time_ms":T,"program":"Running"|"Stopped","modules":[{"address":A,"CAPTION":V,...}]}.
std::string JsonRow(const std::vector<ModuleSample>& row);
// One readable line: the time in seconds, then "ADDRESS: CAPTION VALUE, ..."
// per module, then "(program running)" when it may have run meanwhile.
std::string TextRow(const std::vector<ModuleSample>& row);
// Every sample of the ring as CSV, rows grouped by their first sample, one
// column set per module seen.
std::string RingCsv(const SampleRing& ring);

// ---------------------------------------------------------------------------
// The sampler

constexpr int kMaxModuleAddresses = 32;   // the master and 31 modules

class Sampler {
public:
    using Clock = std::chrono::steady_clock;

    explicit Sampler(size_t capacity = kDefaultRingSamples);

    // The module addresses to watch (kept sorted, without repeats).
    void setWatched(std::vector<int> addresses);
    const std::vector<int>& watched() const { return watched_; }
    // 0: as fast as the budget allows.
    void setIntervalMs(int ms) { intervalMs_ = ms < 0 ? 0 : ms; }
    int intervalMs() const { return intervalMs_; }
    // The period between the starts of two rows: the interval or the budget's
    // period for the watched modules, whichever is longer.
    double rowPeriodMs(const ModuleTables& t) const;

    // Rows fall due only while the program is stopped; rows due while it may
    // run are skipped.
    void setOnlyStopped(bool on) { onlyStopped_ = on; }
    bool onlyStopped() const { return onlyStopped_; }
    // The last row due was skipped because the program may run.
    bool waitingForStop() const { return waitingForStop_; }

    // Starts (or resumes) sampling: the first row is due at once.
    void start(Clock::time_point now);
    void pause();
    bool running() const { return running_; }
    // Sampling stopped because the master did not answer.
    bool stoppedByLink() const { return stoppedByLink_; }
    // Sampling stopped because the line did not come quiet after a bad reply.
    bool stoppedByNoise() const { return stoppedByNoise_; }

    // Whether an exchange may start now: on line, the poll timer running (it
    // is held off around Step, terminal keys and their replies), no detection
    // waiting for the next tick, and the module list agreeing with the network.
    static bool LinkFree(const LinkState& link, const ModuleTables& t);
    // Whether the program may be running: the last status said so, or Run or
    // Step has started it since and no poll has yet seen it stopped.  While
    // this is false nothing but the host could start it.
    static bool ProgramMayRun(const LinkState& link);

    enum class Step { Idle, Sampled, Failed };
    // Fetches the next module's status when a row is due and the sample ends
    // before the next poll tick (msUntilPoll < 0: no poll to keep clear of).
    // Bytes the master sent of its own accord before the exchange are
    // collected by the link's host as a poll tick collects them.
    Step step(LinkState& link, const ModuleTables& t, Clock::time_point now, double msUntilPoll);

    // The same over a state that carries both the link and the module tables
    // (the window's).
    template <class State>
    static bool LinkFree(const State& s) {
        return LinkFree(static_cast<const LinkState&>(s), static_cast<const ModuleTables&>(s));
    }
    template <class State>
    Step step(State& s, Clock::time_point now, double msUntilPoll) {
        return step(static_cast<LinkState&>(s), static_cast<const ModuleTables&>(s), now, msUntilPoll);
    }
    // Milliseconds until step() has work (0: now; -1: not running).
    double msUntilDue(Clock::time_point now) const;

    const SampleRing& samples() const { return ring_; }
    // Drops every sample; times start again from 0.
    void clear();
    // The last row completed, and how many rows have been completed.
    const std::vector<ModuleSample>& lastRow() const { return lastRow_; }
    uint64_t rows() const { return rows_; }
    // Samples left out because their reply failed its checksum or brought
    // more bytes than asked for.
    uint64_t badReplies() const { return badReplies_; }

    // The clock that time-stamps the samples (benchmarks replay hours in
    // seconds with a clock of their own).
    std::function<Clock::time_point()> clock = [] { return Clock::now(); };
    // How long after a reply the sampler looks for bytes beyond it: the
    // master sends a reply back to back, so a byte beyond the count asked
    // for comes within a byte time or two (three bytes at 19200 baud).  A
    // benchmark replaying an hour against a master in memory sets 0.
    std::chrono::microseconds overrunSettle{1600};

private:
    // Completes the row once no module is pending.
    void finishRow();

    std::vector<int> watched_;
    int intervalMs_ = 0;
    bool running_ = false;
    bool stoppedByLink_ = false;
    bool stoppedByNoise_ = false;
    bool onlyStopped_ = false;
    bool waitingForStop_ = false;
    SampleRing ring_;
    Clock::time_point origin_;
    bool originSet_ = false;
    Clock::time_point nextRow_;
    std::vector<int> pending_;        // addresses still to sample in this row
    std::vector<ModuleSample> row_, lastRow_;
    uint64_t rows_ = 0;
    uint64_t badReplies_ = 0;
    // Each module's last sample time, for the gap flag (-1: none yet).
    int64_t lastSampleMs_[kMaxModuleAddresses];
};
