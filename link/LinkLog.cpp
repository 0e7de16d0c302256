#include "link/LinkLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "isa/Codec.h"
#include "isa/Vocabulary.h"
#include "link/ProtocolBytes.h"

// ---------------------------------------------------------------------------
// The ring

namespace {

uint32_t RoundUpPow2(size_t n) {
    uint32_t p = 16;
    while (p < n && p < (uint32_t(1) << 30)) p <<= 1;
    return p;
}

}  // namespace

LinkLog::LinkLog(size_t byteCapacity, size_t runCapacity)
    : byteCapacity_(RoundUpPow2(byteCapacity)),
      slotCapacity_(std::max<size_t>(runCapacity, 2)),
      byteMask_(byteCapacity_ - 1),
      t0_(std::chrono::steady_clock::now()) {
    bytes_.reset(new uint8_t[byteCapacity_]);
    slots_.reset(new Slot[slotCapacity_]);
}

void LinkLog::append(LinkDir dir, const uint8_t* data, int count) {
    if (count < 0) return;
    const uint64_t t =
        uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0_).count());
    uint32_t n = uint32_t(count);
    // A run longer than the ring keeps only its newest bytes; one longer than
    // a slot's count is split.
    if (n > byteCapacity_) {
        data += n - byteCapacity_;
        n = byteCapacity_;
    }
    do {
        const uint32_t part = std::min<uint32_t>(n, 0xFFFF);
        push(dir, t, data, part);
        data += part;
        n -= part;
    } while (n > 0);
}

void LinkLog::push(LinkDir dir, uint64_t t, const uint8_t* data, uint32_t count) {
    const size_t cap = slotCapacity_;
    if (runsWritten_ - firstRun_ == cap) ++firstRun_;
    Slot& slot = slots_[size_t(runsWritten_ % cap)];
    slot.t_us = t;
    slot.start = bytesWritten_;
    slot.len = uint16_t(count);
    slot.dir = dir;
    const uint32_t at = bytesWritten_ & byteMask_;
    const uint32_t first = std::min<uint32_t>(count, byteCapacity_ - at);
    if (count) {
        std::memcpy(&bytes_[at], data, first);
        if (count > first) std::memcpy(&bytes_[0], data + first, count - first);
    }
    bytesWritten_ += count;
    ++runsWritten_;
    // Runs whose bytes were overwritten are gone.
    while (firstRun_ < runsWritten_) {
        const Slot& old = slots_[size_t(firstRun_ % cap)];
        if (bytesWritten_ - old.start <= byteCapacity_) break;
        ++firstRun_;
    }
}

uint64_t LinkLog::copyRuns(uint64_t from, LinkRuns& out) const {
    from = std::max(from, firstRun_);
    const size_t cap = slotCapacity_;
    out.heads.reserve(out.heads.size() + size_t(runsWritten_ - std::min(from, runsWritten_)));
    for (uint64_t r = from; r < runsWritten_; ++r) {
        const Slot& slot = slots_[size_t(r % cap)];
        out.heads.push_back({slot.t_us, slot.dir, uint32_t(out.bytes.size()), slot.len});
        const uint32_t at = slot.start & byteMask_;
        const uint32_t first = std::min<uint32_t>(slot.len, byteCapacity_ - at);
        out.bytes.insert(out.bytes.end(), &bytes_[at], &bytes_[at] + first);
        out.bytes.insert(out.bytes.end(), &bytes_[0], &bytes_[0] + (slot.len - first));
    }
    return from;
}

void LinkLog::clear() { firstRun_ = runsWritten_; }

// ---------------------------------------------------------------------------
// Names

const char* LinkVerdictId(LinkVerdict v) {
    switch (v) {
        case LinkVerdict::Ok: return "ok";
        case LinkVerdict::MissingReply: return "missing-reply";
        case LinkVerdict::Refused: return "refused";
        case LinkVerdict::ChecksumMismatch: return "checksum-mismatch";
        case LinkVerdict::Unsolicited: return "unsolicited";
        case LinkVerdict::Printed: return "printed";
        case LinkVerdict::PortLost: return "port-lost";
        case LinkVerdict::Discarded: return "discarded";
    }
    return "";
}

const char* LinkVerdictCaption(LinkVerdict v) {
    switch (v) {
        case LinkVerdict::Ok: return "ok";
        case LinkVerdict::MissingReply: return "missing reply";
        case LinkVerdict::Refused: return "refused (0xCC)";
        case LinkVerdict::ChecksumMismatch: return "checksum mismatch";
        case LinkVerdict::Unsolicited: return "unsolicited";
        case LinkVerdict::Printed: return "printed";
        case LinkVerdict::PortLost: return "port lost";
        case LinkVerdict::Discarded: return "discarded";
    }
    return "";
}

namespace {

const char* CommandName(int code) {
    switch (code) {
        case kCmdStop: return "Stop";
        case kCmdRun: return "Run";
        case kCmdBreak: return "Set breakpoint";
        case kCmdWriteBlock: return "Write block";
        case kCmdReadBlock: return "Read block";
        case kCmdExecute: return "Execute instruction";
        case kCmdStep: return "Step";
        case kCmdReadReply: return "Read reply";
        case kCmdVersion: return "Version";
        case kCmdPoll: return "Poll";
        case kCmdReset: return "Reset";
    }
    return nullptr;
}

constexpr const char* kUnsolicited = "Unsolicited";
constexpr const char* kKey = "Key";
constexpr const char* kPort = "Port";
constexpr const char* kDiscarded = "Discarded";

std::string Fmt(const char* format, long long a, long long b = 0, long long c = 0, long long d = 0) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
    return buffer;
}

const char* TypeName(int type) {
    isa::Family family;
    if (type == kTypeMaster) return "master";
    return isa::familyOfType(type, family) ? isa::moduleTypeName(family) : "unknown";
}

int32_t Le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

}  // namespace

const std::vector<std::string>& LinkCommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (int code = 0x80; code <= 0x8F; ++code)
            if (const char* n = CommandName(code)) v.push_back(n);
        v.push_back(kUnsolicited);
        v.push_back(kKey);
        v.push_back(kPort);
        v.push_back(kDiscarded);
        return v;
    }();
    return names;
}

// ---------------------------------------------------------------------------
// The decoder

LinkDecoder::LinkDecoder() { std::fill(std::begin(types_), std::end(types_), -1); }

void LinkDecoder::setModuleTypes(const int32_t* types32) {
    if (!types32) return;
    for (int i = 0; i < 32; ++i)
        if (types32[i] >= 0) types_[i] = types32[i];
}

void LinkDecoder::feed(const LinkRuns& runs, std::vector<LinkExchange>& out) {
    for (const LinkRuns::Head& h : runs.heads) feed(h.t_us, h.dir, runs.bytes.data() + h.at, h.len, out);
}

void LinkDecoder::feed(uint64_t t, LinkDir dir, const uint8_t* data, uint32_t len, std::vector<LinkExchange>& out) {
    if (dir == LinkDir::Lost) {
        lost(t, data, len, out);
        afterLost_ = true;
        return;
    }
    if (dir == LinkDir::Discarded) {
        // A purge between commands: what came before it is ended first.
        if (phase_ == Phase::Unsolicited)
            close(LinkVerdict::Unsolicited, out);
        else if (phase_ != Phase::Idle)
            finish(out);
        cur_ = LinkExchange();
        cur_.t_us = t;
        cur_.command = kDiscarded;
        cur_.received.assign(data, data + len);
        for (uint32_t i = 0; i < len; ++i)
            if (data[i] != 0) cur_.text.push_back(char(data[i]));
        cur_.summary = Fmt("%lld byte(s) thrown away unread", len);
        if (!cur_.text.empty()) cur_.summary = "\"" + LinkVisibleText(cur_.text) + "\", " + cur_.summary;
        close(LinkVerdict::Discarded, out);
        afterLost_ = false;
        return;
    }
    if (dir == LinkDir::Short) {
        // The host gave up waiting: whatever this exchange still expected is missing.
        if (phase_ == Phase::Ack || phase_ == Phase::Reply || phase_ == Phase::PollText || phase_ == Phase::PollStatus)
            close(LinkVerdict::MissingReply, out);
        return;
    }
    // The host writes a command's arguments in one piece: a write that
    // finds them begun by an earlier one starts a new exchange, the earlier
    // one having been cut off (a failed write, or a log cut there).
    if (dir == LinkDir::Sent && phase_ == Phase::Args && argsBegun_) cutOff(out);
    for (uint32_t i = 0; i < len; ++i) {
        if (dir == LinkDir::Sent)
            sentByte(t, data[i], out);
        else
            receivedByte(t, data[i], out);
    }
    if (dir == LinkDir::Sent) argsBegun_ = phase_ == Phase::Args && len > 0 && cur_.sent.size() > 1;
    afterLost_ = false;
}

void LinkDecoder::lost(uint64_t t, const uint8_t* data, uint32_t len, std::vector<LinkExchange>& out) {
    const bool inExchange = phase_ != Phase::Idle && phase_ != Phase::Unsolicited;
    if (len == 0) {
        // A read or a query found the device gone: the exchange under way
        // ends there; between exchanges the loss is told once.
        if (!inExchange && afterLost_) return;
        if (!inExchange) {
            if (phase_ == Phase::Unsolicited) close(LinkVerdict::Unsolicited, out);
            cur_ = LinkExchange();
            cur_.t_us = t;
            cur_.command = kPort;
        } else if (cur_.code == kCmdPoll && !cur_.text.empty()) {
            cur_.summary = "\"" + LinkVisibleText(cur_.text) + "\"";
        }
        cur_.summary += cur_.summary.empty() ? "" : ", ";
        cur_.summary += inExchange ? "the device is gone while waiting for the reply" : "the device is gone";
        close(LinkVerdict::PortLost, out);
        return;
    }
    // A write that failed: its bytes never left.  They are the rest of the
    // exchange under way when it awaits its arguments, else a new exchange.
    if (phase_ == Phase::Args) {
        cur_.sent.insert(cur_.sent.end(), data, data + len);
    } else {
        if (inExchange)
            close(LinkVerdict::MissingReply, out);
        else if (phase_ == Phase::Unsolicited)
            close(LinkVerdict::Unsolicited, out);
        cur_ = LinkExchange();
        cur_.t_us = t;
        const char* name = CommandName(data[0]);
        cur_.code = name ? data[0] : -1;
        cur_.command = name ? name : kKey;
        cur_.sent.assign(data, data + len);
    }
    cur_.summary += cur_.summary.empty() ? "" : ", ";
    cur_.summary += Fmt("the device is gone, %lld byte(s) not sent", len);
    close(LinkVerdict::PortLost, out);
}

void LinkDecoder::cutOff(std::vector<LinkExchange>& out) {
    cur_.summary = "cut off while sending";
    close(LinkVerdict::MissingReply, out);
}

void LinkDecoder::sentByte(uint64_t t, uint8_t b, std::vector<LinkExchange>& out) {
    if (phase_ == Phase::Args) {
        cur_.sent.push_back(b);
        if (--left_ == 0) afterArgs(out);
        return;
    }
    // The host moved on: an exchange still waiting for its reply lost it.
    if (phase_ == Phase::Ack || phase_ == Phase::Reply || phase_ == Phase::PollText || phase_ == Phase::PollStatus)
        close(LinkVerdict::MissingReply, out);
    else if (phase_ == Phase::Unsolicited)
        close(LinkVerdict::Unsolicited, out);
    start(t, b, out);
}

void LinkDecoder::start(uint64_t t, uint8_t b, std::vector<LinkExchange>& out) {
    cur_ = LinkExchange();
    cur_.t_us = t;
    cur_.sent.push_back(b);
    const char* name = CommandName(b);
    if (!name) {
        // A byte between commands is a key typed in the terminal.
        cur_.command = kKey;
        cur_.summary = "'" + LinkVisibleText(std::string(1, char(b))) + "'";
        out.push_back(std::move(cur_));
        cur_ = LinkExchange();
        phase_ = Phase::Idle;
        return;
    }
    cur_.code = b;
    cur_.command = name;
    stage_ = 0;
    switch (b) {
        case kCmdStop: phase_ = Phase::Reply, left_ = 6; break;
        case kCmdVersion: phase_ = Phase::Reply, left_ = 2; break;
        case kCmdPoll: phase_ = Phase::PollText; break;
        case kCmdReset: complete(out); break;
        default: phase_ = Phase::Ack; break;
    }
}

void LinkDecoder::receivedByte(uint64_t t, uint8_t b, std::vector<LinkExchange>& out) {
    switch (phase_) {
        case Phase::Idle:
            cur_ = LinkExchange();
            cur_.t_us = t;
            cur_.command = kUnsolicited;
            phase_ = Phase::Unsolicited;
            [[fallthrough]];
        case Phase::Unsolicited:
            cur_.received.push_back(b);
            // A zero byte is dropped by the host; every other one is printed.
            if (b != 0) cur_.text.push_back(char(b));
            return;
        case Phase::Ack:
            cur_.received.push_back(b);
            phase_ = Phase::Args;
            switch (cur_.code) {
                case kCmdWriteBlock: left_ = 20; break;
                case kCmdReadBlock: left_ = 3; break;
                case kCmdExecute:
                case kCmdReadReply: left_ = 1; break;
                default: left_ = 2; break;  // Run, Set breakpoint, Step: an address
            }
            return;
        case Phase::Args:  // a byte the master should not have sent yet
            cur_.received.push_back(b);
            return;
        case Phase::Reply:
            cur_.received.push_back(b);
            if (--left_ == 0) complete(out);
            return;
        case Phase::PollText:
            cur_.received.push_back(b);
            if (b == kPollMarker) {
                phase_ = Phase::PollStatus;
                left_ = 5;
            } else {
                cur_.text.push_back(char(b));
            }
            return;
        case Phase::PollStatus:
            cur_.received.push_back(b);
            if (--left_ == 0) complete(out);
            return;
    }
}

void LinkDecoder::afterArgs(std::vector<LinkExchange>& out) {
    switch (cur_.code) {
        case kCmdWriteBlock: phase_ = Phase::Reply, left_ = 1; break;
        case kCmdReadBlock: phase_ = Phase::Reply, left_ = 17; break;
        case kCmdReadReply: phase_ = Phase::Reply, left_ = cur_.sent[1] + 1; break;
        case kCmdExecute:
            if (stage_ == 0) {
                stage_ = 1;
                left_ = cur_.sent[1] + 1;  // the instruction and its checksum
            } else {
                phase_ = Phase::Reply;
                left_ = 1;
            }
            break;
        default: complete(out); break;
    }
}

void LinkDecoder::complete(std::vector<LinkExchange>& out) {
    LinkVerdict v = LinkVerdict::Ok;
    const auto& s = cur_.sent;
    const auto& r = cur_.received;
    auto addressArg = [&](size_t at) { return s.size() >= at + 2 ? s[at] | s[at + 1] << 8 : 0; };
    switch (cur_.code) {
        case kCmdStop:
            cur_.summary =
                Fmt("modules %lld, A 0x%02llX, B 0x%02llX, address 0x%04llX", r[1], r[2], r[3], r[4] | r[5] << 8);
            if (r[3] & kStatusBRunning) cur_.summary += ", running";
            break;
        case kCmdRun:
        case kCmdStep: cur_.summary = Fmt("address 0x%04llX", addressArg(1)); break;
        case kCmdBreak:
            cur_.summary = addressArg(1) == 0xFFFF ? "clear" : Fmt("address 0x%04llX", addressArg(1));
            break;
        case kCmdWriteBlock:
            cur_.summary = Fmt("offset 0x%04llX", addressArg(1));
            if (ProtocolSum(&s[1], 19) != s[20]) cur_.summary += ", checksum sent wrong";
            if (r.back() == kRejected) v = LinkVerdict::Refused;
            break;
        case kCmdReadBlock: cur_.summary = Fmt("offset 0x%04llX", addressArg(1)); break;
        case kCmdExecute: {
            const int n = s[1];
            lastFrame_.assign(s.begin() + 2, s.begin() + 2 + n);
            cur_.summary = describeExecute(lastFrame_);
            if (ProtocolSum(&s[2], n) != s[2 + size_t(n)]) cur_.summary += ", checksum sent wrong";
            if (r.back() == kRejected) v = LinkVerdict::Refused;
            break;
        }
        case kCmdReadReply: {
            const int n = s[1];
            const uint8_t* data = &r[1];
            cur_.summary = describeReply(data, n);
            // A reply belongs to one instruction: a second read is of the
            // master's own data.
            lastFrame_.clear();
            if (ProtocolSum(data, n) != data[n]) v = LinkVerdict::ChecksumMismatch;
            break;
        }
        case kCmdVersion: cur_.summary = Fmt("version %lld", r[1]); break;
        case kCmdPoll: {
            const uint8_t* st = &r[r.size() - 5];
            cur_.summary = Fmt("modules %lld, address 0x%04llX", st[0], st[3] | st[4] << 8);
            cur_.summary += (st[2] & kStatusBRunning) ? ", running" : ", stopped";
            if (!cur_.text.empty()) {
                cur_.summary = "\"" + LinkVisibleText(cur_.text) + "\", " + cur_.summary;
                v = LinkVerdict::Printed;
            }
            break;
        }
        default: break;
    }
    close(v, out);
}

void LinkDecoder::close(LinkVerdict v, std::vector<LinkExchange>& out) {
    if (phase_ == Phase::Idle && cur_.command[0] == '\0' && cur_.code < 0) return;
    cur_.verdict = v;
    if (v == LinkVerdict::Unsolicited) {
        cur_.summary = "\"" + LinkVisibleText(cur_.text) + "\"";
        if (!cur_.text.empty() && uint8_t(cur_.text.back()) == kAnnounce)
            cur_.summary += ", the master announced itself";
    } else if (v == LinkVerdict::MissingReply && phase_ != Phase::Args) {
        if (cur_.code == kCmdPoll && !cur_.text.empty()) cur_.summary = "\"" + LinkVisibleText(cur_.text) + "\"";
        cur_.summary += cur_.summary.empty() ? "" : ", ";
        cur_.summary += cur_.received.empty() && phase_ == Phase::Ack ? "no acknowledge"
                        : phase_ == Phase::PollText                   ? "no \"U\""
                                                                      : Fmt("%lld byte(s) of the reply missing", left_);
    }
    out.push_back(std::move(cur_));
    cur_ = LinkExchange();
    phase_ = Phase::Idle;
    left_ = 0;
}

void LinkDecoder::finish(std::vector<LinkExchange>& out) {
    switch (phase_) {
        case Phase::Idle: return;
        case Phase::Unsolicited: close(LinkVerdict::Unsolicited, out); return;
        case Phase::Args: cutOff(out); return;
        default: close(LinkVerdict::MissingReply, out); return;
    }
}

bool LinkDecoder::pendingUnsolicited(LinkExchange& out) const {
    if (phase_ != Phase::Unsolicited) return false;
    out = cur_;
    out.verdict = LinkVerdict::Unsolicited;
    out.summary = "\"" + LinkVisibleText(cur_.text) + "\"";
    return true;
}

std::string LinkDecoder::describeExecute(const std::vector<uint8_t>& frame) {
    if (frame.empty()) return "no instruction";
    int type = -1, address = 0;
    if (frame[0] == kMasterMarker) {
        type = kTypeMaster;
    } else if (frame[0] == kFrameHeader && frame.size() >= 3) {
        address = frame[1];
        type = address < 32 ? types_[address] : -1;
    } else {
        return "not an instruction";
    }
    std::string who = type == kTypeMaster ? "Master" : Fmt("module %lld", address);
    isa::Family family;
    if (type >= 0 && type != kTypeMaster && isa::familyOfType(type, family))
        who = std::string(isa::familyName(family)) + Fmt(" %lld", address);
    // A status request names its items whatever the module is.
    if (frame[0] == kFrameHeader && frame.size() >= 6 && frame[2] == kModuleGetStatus) {
        const uint8_t items = frame[3];
        std::string s = who + ": GetStatus";
        if (items & kItemType) s += " type";
        if (items & kItemPosition) s += IsIo(type) ? " inputs" : " position";
        if ((items & kItemStepInputs) && !IsIo(type)) s += " input-byte";
        if (items & kItemHomePosition) s += " home-position";
        return s + Fmt(", %lld reply byte(s)", frame.back());
    }
    if (type < 0 || frame.size() > size_t(isa::kInstructionBytes)) return who + Fmt(": command 0x%02llX", frame[2]);
    isa::Encoded e;
    std::copy(frame.begin(), frame.end(), e.bytes.begin());
    e.length = uint8_t(frame.size());
    e.commandCode = frame.size() > 2 ? frame[2] : 0;
    const isa::Decoded d = isa::decode(e, type);
    if (!d.command) return who + Fmt(": command 0x%02llX", e.commandCode);
    std::string s = who + ": " + d.command->name;
    for (const auto& [id, value] : d.values.entries()) {
        const isa::FieldDesc* f = d.command->field(id);
        if (!f || id.empty()) continue;
        if (f->kind == isa::FieldKind::Check) {
            if (value.asBool()) s += " " + id;
        } else if (f->isChoice()) {
            const long long i = value.asInt();
            if (i >= 0 && size_t(i) < f->items.size()) s += " " + id + "=" + f->items[size_t(i)].id;
        } else if (!value.isNone()) {
            s += " " + id + "=" + value.shown();
        }
    }
    return s;
}

std::string LinkDecoder::describeReply(const uint8_t* data, int n) {
    std::string s = Fmt("%lld byte(s)", n);
    const std::vector<uint8_t>& f = lastFrame_;
    if (f.size() >= 6 && f[0] == kFrameHeader && f[2] == kModuleGetStatus && n >= 1) {
        const int address = f[1];
        const uint8_t items = f[3];
        int type = address < 32 ? types_[address] : -1;
        if (items == kItemType && n >= 2) {
            // Detection's type request: the reply tells the module's type.
            if (address < 32) types_[address] = data[1];
            return s + Fmt(": module %lld is type %lld", address, data[1]) + " (" + TypeName(data[1]) + ")";
        }
        s += Fmt(": status 0x%02llX", data[0]);
        int at = 1;
        auto need = [&](int k) { return at + k <= n; };
        if ((items & kItemPosition) && IsIo(type) && need(2)) {
            s += Fmt(", inputs 0x%03llX", data[at] | (data[at + 1] & 0x0F) << 8);
            at += 2;
        } else if ((items & kItemPosition) && (IsServo(type) || IsStepper(type)) && need(4)) {
            s += Fmt(", position %lld", Le32(data + at));
            at += 4;
        } else if (items & kItemPosition) {
            return s;
        }
        if ((items & kItemStepInputs) && IsStepper(type) && need(1)) {
            s += Fmt(", input byte 0x%02llX", data[at]);
            at += 1;
        }
        if ((items & kItemHomePosition) && need(4)) s += Fmt(", home position %lld", Le32(data + at));
        return s;
    }
    if (n == 32 && (f.empty() || f[0] == kMasterMarker)) {
        // The master's data area: four counters from byte 24 on.
        return s + Fmt(": counters %lld %lld %lld %lld", data[24] | data[25] << 8, data[26] | data[27] << 8,
                       data[28] | data[29] << 8, data[30] | data[31] << 8);
    }
    return s;
}

std::vector<LinkExchange> DecodeLinkRuns(const LinkRuns& runs, const int32_t* types32) {
    LinkDecoder d;
    d.setModuleTypes(types32);
    std::vector<LinkExchange> out;
    out.reserve(runs.heads.size() / 4 + 16);
    d.feed(runs, out);
    d.finish(out);
    return out;
}

// ---------------------------------------------------------------------------
// Text

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kMagic = "# stepwright link log 1";
}  // namespace

std::string LinkHex(const std::vector<uint8_t>& bytes) {
    std::string s;
    s.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!s.empty()) s.push_back(' ');
        s.push_back(kHexDigits[b >> 4]);
        s.push_back(kHexDigits[b & 15]);
    }
    return s;
}

std::string LinkVisibleText(std::string_view text) {
    std::string s;
    for (char ch : text) {
        const uint8_t c = uint8_t(ch);
        if (c == '\r')
            s += "\\r";
        else if (c == '\n')
            s += "\\n";
        else if (c == '\\')
            s += "\\\\";
        else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
            s += std::string("\\x") + kHexDigits[c >> 4] + kHexDigits[c & 15];
        else
            s.push_back(ch);
    }
    return s;
}

namespace {

void JsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char ch : text) {
        const uint8_t c = uint8_t(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(ch);
        } else {
            // Latin-1: one character per byte.
            out += "\\u00";
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 15]);
        }
    }
    out.push_back('"');
}

}  // namespace

std::string LinkExchangeJson(const LinkExchange& e) {
    std::string s = "{\"t_us\": " + std::to_string(e.t_us) + ", \"code\": ";
    s += e.code < 0 ? "null" : std::to_string(e.code);
    s += ", \"command\": ";
    JsonString(s, e.command);
    s += ", \"verdict\": ";
    JsonString(s, LinkVerdictId(e.verdict));
    s += ", \"summary\": ";
    JsonString(s, e.summary);
    s += ", \"sent\": ";
    JsonString(s, LinkHex(e.sent));
    s += ", \"received\": ";
    JsonString(s, LinkHex(e.received));
    if (!e.text.empty()) {
        s += ", \"text\": ";
        JsonString(s, e.text);
    }
    s += "}";
    return s;
}

std::string LinkExchangeLine(const LinkExchange& e) {
    char t[32];
    std::snprintf(t, sizeof t, "%10.6f", double(e.t_us) / 1e6);
    std::string s = t;
    s += "  ";
    std::string command = e.command;
    command.resize(std::max<size_t>(command.size(), 19), ' ');
    s += command + "  ";
    std::string verdict = LinkVerdictId(e.verdict);
    verdict.resize(std::max<size_t>(verdict.size(), 17), ' ');
    s += verdict + "  " + e.summary;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string FormatLinkLog(const LinkRuns& runs, const int32_t* types32) {
    std::string s;
    s.reserve(runs.bytes.size() * 3 + runs.heads.size() * 12 + 256);
    s += kMagic;
    s += '\n';
    if (types32) {
        s += "# types";
        for (int i = 0; i < 32; ++i) s += ' ' + std::to_string(types32[i] < 0 ? -1 : types32[i]);
        s += '\n';
    }
    // A run is often a single byte: its time is written digit by digit, not
    // through a format string.
    char digits[24];
    for (const LinkRuns::Head& h : runs.heads) {
        const char dir = h.dir == LinkDir::Sent       ? '>'
                         : h.dir == LinkDir::Received ? '<'
                         : h.dir == LinkDir::Lost     ? '!'
                         : h.dir == LinkDir::Discarded ? 'x'
                                                      : '-';
        unsigned long long t = static_cast<unsigned long long>(h.t_us);
        size_t n = 0;
        do {
            digits[n++] = char('0' + t % 10);
            t /= 10;
        } while (t != 0);
        while (n > 0) s.push_back(digits[--n]);
        s.push_back(' ');
        s.push_back(dir);
        for (uint32_t i = 0; i < h.len; ++i) {
            const uint8_t b = runs.bytes[h.at + i];
            s.push_back(' ');
            s.push_back(kHexDigits[b >> 4]);
            s.push_back(kHexDigits[b & 15]);
        }
        s.push_back('\n');
    }
    return s;
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string ParseLinkLog(std::string_view text, LinkRuns& runs, int32_t (&types)[32]) {
    std::fill(std::begin(types), std::end(types), -1);
    runs.clear();
    runs.bytes.reserve(text.size() / 3);
    runs.heads.reserve(text.size() / 12);
    size_t pos = 0;
    long lineNo = 0;
    bool sawMagic = false;
    auto fail = [&](const std::string& why) {
        runs.clear();
        return "line " + std::to_string(lineNo) + ": " + why;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (line == kMagic) sawMagic = true;
            if (line.substr(0, 8) == "# types ") {
                size_t i = 8;
                for (int a = 0; a < 32 && i < line.size(); ++a) {
                    bool neg = line[i] == '-';
                    if (neg) ++i;
                    long v = 0;
                    size_t digits = 0;
                    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 4)
                        v = v * 10 + (line[i++] - '0'), ++digits;
                    if (!digits || v > 255) return fail("malformed module types");
                    types[a] = neg ? -1 : int32_t(v);
                    while (i < line.size() && line[i] == ' ') ++i;
                }
            }
            continue;
        }
        if (!sawMagic) return fail("not a link log (its first line reads \"" + std::string(kMagic) + "\")");
        size_t i = 0;
        uint64_t t = 0;
        size_t digits = 0;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            if (++digits > 19) return fail("time out of range");
            t = t * 10 + uint64_t(line[i++] - '0');
        }
        if (!digits || i + 1 >= line.size() + 1 || i >= line.size() || line[i] != ' ')
            return fail("expected the time in microseconds, a blank and >, <, -, ! or x");
        ++i;
        if (i >= line.size()) return fail("missing direction");
        const char d = line[i++];
        LinkDir dir;
        if (d == '>')
            dir = LinkDir::Sent;
        else if (d == '<')
            dir = LinkDir::Received;
        else if (d == '-')
            dir = LinkDir::Short;
        else if (d == '!')
            dir = LinkDir::Lost;
        else if (d == 'x')
            dir = LinkDir::Discarded;
        else
            return fail(std::string("unknown direction \"") + d + "\" (use >, <, -, ! or x)");
        if (!runs.heads.empty() && t < runs.heads.back().t_us) return fail("time goes backwards");
        const uint32_t at = uint32_t(runs.bytes.size());
        while (i < line.size()) {
            if (line[i] == ' ') {
                ++i;
                continue;
            }
            if (i + 1 >= line.size()) return fail("a byte needs two hexadecimal digits");
            const int hi = HexValue(line[i]), lo = HexValue(line[i + 1]);
            if (hi < 0 || lo < 0) return fail("\"" + std::string(line.substr(i, 2)) + "\" is not a hexadecimal byte");
            runs.bytes.push_back(uint8_t(hi << 4 | lo));
            i += 2;
            if (i < line.size() && line[i] != ' ') return fail("bytes are separated by blanks");
        }
        const uint32_t len = uint32_t(runs.bytes.size()) - at;
        if (dir == LinkDir::Short && len != 0) return fail("a short read carries no bytes");
        if ((dir == LinkDir::Sent || dir == LinkDir::Received || dir == LinkDir::Discarded) && len == 0)
            return fail("a run needs at least one byte");
        runs.heads.push_back({t, dir, at, len});
    }
    if (!sawMagic) return "not a link log (its first line reads \"" + std::string(kMagic) + "\")";
    return "";
}
