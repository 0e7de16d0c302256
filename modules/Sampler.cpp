// The sampler behind the Watch window and `stepwright-cli watch`.

#include "modules/Sampler.h"

#include <algorithm>
#include <thread>

#include "isa/Format.h"
#include "isa/Vocabulary.h"
#include "link/LinkState.h"
#include "link/Polling.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "modules/StatusWindows.h"
#include "program/ProgramState.h"

namespace {

// Bytes of Execute (0x85) with a 6-byte frame and of Read reply (0x87) with n.
constexpr int kFrameBytes = 6;
constexpr int kExecuteToMaster = 1 + 1 + kFrameBytes + 1;  // command, count, frame, checksum
constexpr int kExecuteFromMaster = 2;                       // acknowledge, result
constexpr int kReadToMaster = 2;                            // command, count
int ReadFromMaster(int count) { return 1 + count + 1; }     // acknowledge, data, checksum

const std::vector<Channel> kServoChannels = {
    {"Position", ChannelShape::Line},    {"Home Position", ChannelShape::Marker},
    {"Limit 1", ChannelShape::Digital},  {"Limit 2", ChannelShape::Digital},
    {"Power", ChannelShape::Digital},
};
const std::vector<Channel> kStepperChannels = {
    {"Position", ChannelShape::Line},    {"Home Position", ChannelShape::Marker},
    {"Limit 1", ChannelShape::Digital},  {"Limit 2", ChannelShape::Digital},
    {"Home Sw.", ChannelShape::Digital}, {"E-Stop", ChannelShape::Digital},
    {"Input 1", ChannelShape::Digital},  {"Input 2", ChannelShape::Digital},
    {"Power", ChannelShape::Digital},
};
const std::vector<Channel> kIoChannels = {
    {"Bit 1", ChannelShape::Digital},  {"Bit 2", ChannelShape::Digital},  {"Bit 3", ChannelShape::Digital},
    {"Bit 4", ChannelShape::Digital},  {"Bit 5", ChannelShape::Digital},  {"Bit 6", ChannelShape::Digital},
    {"Bit 7", ChannelShape::Digital},  {"Bit 8", ChannelShape::Digital},  {"Bit 9", ChannelShape::Digital},
    {"Bit 10", ChannelShape::Digital}, {"Bit 11", ChannelShape::Digital}, {"Bit 12", ChannelShape::Digital},
};
const std::vector<Channel> kMasterChannels = {
    {"Counter 1", ChannelShape::Steps},
    {"Counter 2", ChannelShape::Steps},
    {"Counter 3", ChannelShape::Steps},
    {"Counter 4", ChannelShape::Steps},
};

// The stepper's input bits in the order of its channels 2 to 7.
constexpr uint8_t kStepperInputBits[6] = {StepInput::kLimit1,     StepInput::kLimit2, StepInput::kHomeSwitch,
                                          StepInput::kEStop,      StepInput::kInput1, StepInput::kInput2};

// Fetches one module's status into reply (33 bytes): 0, -1 after the
// not-responding procedure, -2 for a checksum mismatch.
int FetchStatus(LinkState& s, int address, int type, uint8_t* reply) {
    if (IsMaster(type)) return HostReadReply(s, reply, kMasterDataBytes);
    const StatusRequest* request = ModuleStatusRequest(type);
    uint8_t frame[kFrameBytes];
    const int n = PutStatusRequest(frame, uint8_t(address), request->itemBits, request->trailer);
    if (HostExecute(s, frame, n) != 0) return -1;
    return HostReadReply(s, reply, request->readCount);
}

}  // namespace

// ---------------------------------------------------------------------------

SampleBytes StatusSampleBytes(int type) {
    if (IsMaster(type)) return {kReadToMaster, ReadFromMaster(kMasterDataBytes)};
    const StatusRequest* request = ModuleStatusRequest(type);
    if (!request) return {0, 0};
    return {kExecuteToMaster + kReadToMaster, kExecuteFromMaster + ReadFromMaster(request->readCount)};
}

double StatusSampleMs(int type, int baud) {
    return baud > 0 ? StatusSampleBytes(type).total() * 10 * 1000.0 / baud : 0.0;
}

double BudgetRowPeriodMs(const std::vector<int>& types, int baud) {
    double ms = 0;
    for (int t : types) ms += StatusSampleMs(t, baud);
    return ms / kSamplerShare;
}

bool SampleKindOf(int type, SampleKind& kind) {
    if (IsServo(type)) kind = SampleKind::Servo;
    else if (IsStepper(type)) kind = SampleKind::Stepper;
    else if (IsIo(type)) kind = SampleKind::Io;
    else if (IsMaster(type)) kind = SampleKind::Master;
    else return false;
    return true;
}

ModuleSample DecodeStatusReply(SampleKind kind, const uint8_t* r) {
    ModuleSample m;
    m.flags = uint8_t(kind);
    switch (kind) {
        case SampleKind::Servo:
            m.status = r[0];
            m.a = GetI32(r + 1);
            m.b = GetI32(r + 5);
            break;
        case SampleKind::Stepper:
            m.status = r[0];
            m.a = GetI32(r + 1);
            m.inputs = r[5];
            m.b = GetI32(r + 6);
            break;
        case SampleKind::Io: m.a = int32_t((r[1] | (r[2] << 8)) & 0x0FFF); break;
        case SampleKind::Master:
            m.a = int32_t(uint32_t(GetU16(r + 24)) | uint32_t(GetU16(r + 26)) << 16);
            m.b = int32_t(uint32_t(GetU16(r + 28)) | uint32_t(GetU16(r + 30)) << 16);
            break;
    }
    return m;
}

const std::vector<Channel>& ChannelsOf(SampleKind kind) {
    switch (kind) {
        case SampleKind::Servo: return kServoChannels;
        case SampleKind::Stepper: return kStepperChannels;
        case SampleKind::Io: return kIoChannels;
        case SampleKind::Master: break;
    }
    return kMasterChannels;
}

int64_t ChannelValue(const ModuleSample& m, int channel) {
    switch (m.kind()) {
        case SampleKind::Servo:
            switch (channel) {
                case 0: return m.a;
                case 1: return m.b;
                case 2: return (m.status & ServoStatus::kLimit1) != 0;
                case 3: return (m.status & ServoStatus::kLimit2) != 0;
                default: return (m.status & ServoStatus::kPowerOn) != 0;
            }
        case SampleKind::Stepper:
            if (channel == 0) return m.a;
            if (channel == 1) return m.b;
            if (channel >= 2 && channel <= 7) return (m.inputs & kStepperInputBits[channel - 2]) != 0;
            return (m.status & StepStatus::kPowerOn) != 0;
        case SampleKind::Io: return (uint32_t(m.a) >> channel) & 1;
        case SampleKind::Master: {
            const uint32_t pair = uint32_t(channel < 2 ? m.a : m.b);
            return channel % 2 == 0 ? pair & 0xFFFF : pair >> 16;
        }
    }
    return 0;
}

std::string ChannelText(const ModuleSample& m, int channel) {
    const int64_t v = ChannelValue(m, channel);
    const Channel& c = ChannelsOf(m.kind())[size_t(channel)];
    if (c.shape != ChannelShape::Digital) return std::to_string(v);
    if (std::string(c.caption) == "Power") return v ? "On" : "Off";
    return v ? "High" : "Low";
}

// ---------------------------------------------------------------------------

SampleRing::SampleRing(size_t capacity) : buffer_(capacity ? capacity : 1) {}

void SampleRing::push(const ModuleSample& sample) {
    ++pushed_;
    if (size_ < buffer_.size()) {
        buffer_[(head_ + size_++) % buffer_.size()] = sample;
    } else {
        buffer_[head_] = sample;
        head_ = (head_ + 1) % buffer_.size();
    }
}

void SampleRing::clear() {
    head_ = 0;
    size_ = 0;
}

// ---------------------------------------------------------------------------

TableModules ModulesOfRow(const std::vector<ModuleSample>& row) {
    TableModules modules;
    for (const ModuleSample& m : row) modules.emplace_back(m.address, m.kind());
    return modules;
}

bool RowProgramRan(const std::vector<ModuleSample>& row) {
    return std::any_of(row.begin(), row.end(), [](const ModuleSample& m) { return m.programRan(); });
}

namespace {
const char* ProgramText(const std::vector<ModuleSample>& row) { return RowProgramRan(row) ? "Running" : "Stopped"; }
}  // namespace

std::string CsvHeader(const TableModules& modules) {
    std::string out = "time_ms";
    for (const auto& [address, kind] : modules)
        for (const Channel& c : ChannelsOf(kind)) out += "," + std::to_string(address) + " " + c.caption;
    return out + ",program";
}

std::string CsvRow(const std::vector<ModuleSample>& row, const TableModules& modules) {
    std::string out = row.empty() ? "" : std::to_string(row.front().timeMs);
    for (const auto& [address, kind] : modules) {
        const ModuleSample* found = nullptr;
        for (const ModuleSample& m : row)
            if (m.address == address && m.kind() == kind) found = &m;
        const int n = int(ChannelsOf(kind).size());
        for (int i = 0; i < n; ++i) out += "," + (found ? ChannelText(*found, i) : std::string());
    }
    return out + "," + ProgramText(row);
}

std::string JsonRow(const std::vector<ModuleSample>& row) {
    std::string out = "{\"time_ms\":" + std::to_string(row.empty() ? 0 : row.front().timeMs) + ",\"program\":\"" +
                      ProgramText(row) + "\",\"modules\":[";
    for (size_t k = 0; k < row.size(); ++k) {
        const ModuleSample& m = row[k];
        out += (k ? ",{" : "{") + std::string("\"address\":") + std::to_string(m.address);
        const auto& channels = ChannelsOf(m.kind());
        for (size_t i = 0; i < channels.size(); ++i) {
            const bool number = channels[i].shape != ChannelShape::Digital;
            const std::string text = ChannelText(m, int(i));
            out += ",\"" + std::string(channels[i].caption) + "\":" + (number ? text : "\"" + text + "\"");
        }
        out += "}";
    }
    return out + "]}";
}

std::string TextRow(const std::vector<ModuleSample>& row) {
    const uint32_t ms = row.empty() ? 0 : row.front().timeMs;
    std::string out = Format("%u.%03u", unsigned(ms / 1000), unsigned(ms % 1000));
    for (const ModuleSample& m : row) {
        out += "  " + std::to_string(m.address) + ":";
        const auto& channels = ChannelsOf(m.kind());
        for (size_t i = 0; i < channels.size(); ++i)
            out += std::string(i ? ", " : " ") + channels[i].caption + " " + ChannelText(m, int(i));
    }
    if (RowProgramRan(row)) out += "  (program running)";
    return out;
}

std::string RingCsv(const SampleRing& ring) {
    TableModules modules;
    for (size_t i = 0; i < ring.size(); ++i) {
        const std::pair<int, SampleKind> key(ring[i].address, ring[i].kind());
        if (std::find(modules.begin(), modules.end(), key) == modules.end()) modules.push_back(key);
    }
    std::sort(modules.begin(), modules.end());
    std::string out = CsvHeader(modules) + "\n";
    std::vector<ModuleSample> row;
    for (size_t i = 0; i <= ring.size(); ++i) {
        if (i == ring.size() || (ring[i].rowStart() && !row.empty())) {
            if (!row.empty()) out += CsvRow(row, modules) + "\n";
            row.clear();
        }
        if (i < ring.size()) row.push_back(ring[i]);
    }
    return out;
}

// ---------------------------------------------------------------------------

Sampler::Sampler(size_t capacity) : ring_(capacity) { std::fill(std::begin(lastSampleMs_), std::end(lastSampleMs_), -1); }

void Sampler::setWatched(std::vector<int> addresses) {
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    watched_ = std::move(addresses);
    // A row under way keeps only the modules still watched.
    std::erase_if(pending_, [this](int a) { return !std::binary_search(watched_.begin(), watched_.end(), a); });
}

double Sampler::rowPeriodMs(const ModuleTables& t) const {
    std::vector<int> types;
    for (int a : watched_)
        if (a >= 0 && a <= kMaxModules) types.push_back(t.moduleTypes[a]);
    return std::max(double(intervalMs_), BudgetRowPeriodMs(types));
}

void Sampler::start(Clock::time_point now) {
    if (!originSet_) {
        origin_ = now;
        originSet_ = true;
    }
    running_ = true;
    stoppedByLink_ = false;
    stoppedByNoise_ = false;
    waitingForStop_ = false;
    nextRow_ = now;
}

void Sampler::pause() {
    running_ = false;
    pending_.clear();
    row_.clear();
}

bool Sampler::LinkFree(const LinkState& link, const ModuleTables& t) {
    return link.online && link.port && link.pollTimerOn && !link.forceDetection && !t.moduleMismatch;
}

bool Sampler::ProgramMayRun(const LinkState& link) {
    return (link.status.statusB & kStatusBRunning) || link.followFlag;
}

Sampler::Step Sampler::step(LinkState& s, const ModuleTables& t, Clock::time_point now, double msUntilPoll) {
    if (!running_ || !LinkFree(s, t)) return Step::Idle;
    const bool programMayRun = ProgramMayRun(s);
    if (pending_.empty()) {
        if (now < nextRow_) return Step::Idle;
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(rowPeriodMs(t)));
        // Rows keep to their grid, so that a row held up by the poll is
        // caught up by the next; after a hold longer than a period the grid
        // starts afresh rather than rush.
        nextRow_ += period;
        if (nextRow_ < now) nextRow_ = now + period;
        waitingForStop_ = onlyStopped_ && programMayRun;
        if (waitingForStop_) return Step::Idle;
        for (int a : watched_) {
            SampleKind kind;
            if (a >= 0 && a <= t.moduleListCount && SampleKindOf(t.moduleTypes[a], kind)) pending_.push_back(a);
        }
        row_.clear();
        if (pending_.empty()) return Step::Idle;
    } else if (onlyStopped_ && programMayRun) {
        // Run or Step started the program in the middle of a row: the row
        // ends with the samples it has.
        pending_.clear();
        finishRow();
        waitingForStop_ = true;
        return Step::Idle;
    }
    const int address = pending_.front();
    const int type = t.moduleTypes[address];
    if (msUntilPoll >= 0 && msUntilPoll < StatusSampleMs(type) + kPollGuardMs) return Step::Idle;

    // Bytes that came of the master's own accord are no reply: they go where
    // a poll tick puts them, and an announcement waits for the tick's detection.
    if (SioTest(s) > 0 && CollectUnsolicited(s) == kAnnounce) {
        s.forceDetection = true;
        return Step::Idle;
    }

    uint8_t reply[kMasterDataBytes + 1] = {};
    const int result = FetchStatus(s, address, type, reply);
    if (result == -1) {
        // The not-responding procedure has run and shown its one message.
        pause();
        stoppedByLink_ = true;
        return Step::Failed;
    }
    pending_.erase(pending_.begin());
    bool good = result == 0;
    if (!good || ReplyOverran(s, overrunSettle)) {
        // The rest of a reply longer than asked for (its count byte was
        // corrupted on the way) would be read as the next replies: the line
        // is drained first.  A lone "#" after a whole reply is the master
        // announcing itself.
        const Drained d = DrainUntilQuiet(s);
        if (good && d.quiet && d.bytes == 1 && d.last == kAnnounce)
            s.forceDetection = true;
        else
            good = false;
        if (!d.quiet) {
            ++badReplies_;
            pause();
            stoppedByNoise_ = true;
            return Step::Failed;
        }
    }
    if (good) {
        SampleKind kind = SampleKind::Servo;
        SampleKindOf(type, kind);
        ModuleSample m = DecodeStatusReply(kind, reply);
        m.address = uint8_t(address);
        const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock() - origin_).count();
        m.timeMs = uint32_t(ms);
        if (row_.empty()) m.flags |= ModuleSample::kRowStart;
        if (programMayRun) m.flags |= ModuleSample::kProgramRan;
        if (lastSampleMs_[address] >= 0 && double(ms - lastSampleMs_[address]) > 2 * rowPeriodMs(t))
            m.flags |= ModuleSample::kAfterGap;
        lastSampleMs_[address] = ms;
        ring_.push(m);
        row_.push_back(m);
    } else {
        ++badReplies_;
    }
    finishRow();
    return Step::Sampled;
}

void Sampler::finishRow() {
    if (pending_.empty() && !row_.empty()) {
        lastRow_ = row_;
        ++rows_;
        row_.clear();
    }
}

double Sampler::msUntilDue(Clock::time_point now) const {
    if (!running_) return -1;
    if (!pending_.empty() || now >= nextRow_) return 0;
    return std::chrono::duration<double, std::milli>(nextRow_ - now).count();
}

void Sampler::clear() {
    ring_.clear();
    row_.clear();
    lastRow_.clear();
    badReplies_ = 0;
    std::fill(std::begin(lastSampleMs_), std::end(lastSampleMs_), -1);
    originSet_ = false;
    if (running_) {
        origin_ = clock();
        originSet_ = true;
    }
}
