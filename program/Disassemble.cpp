// Disassembly of a program image: instruction boundaries first, then labels.
//
// Pass 1 walks the image and cuts it into pieces: instructions that the
// descriptions rebuild exactly, module frames whose checksum holds but that
// no known command builds (one raw line each, so the frames after them are
// still found), and runs of other bytes.  Pass 2 cuts the runs into raw lines
// of at most 24 bytes, also at every jump target inside them, so that a jump
// into such bytes still gets a label.  Pass 3 names the targets.

#include "program/Disassemble.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <variant>

#include "isa/Codec.h"
#include "isa/Vocabulary.h"

namespace {

constexpr int kHeaderBytes = 2;
constexpr int kDataStart = 3;
constexpr int kFrameOverhead = 5;   // header, address, command byte, checksum, trailer
constexpr uint16_t kNullAddress = 0xFFFF;
// Assembly takes at most this many labelled lines (its label table); targets
// beyond them keep their address bytes, so that the lines still assemble.
constexpr size_t kMaxLabelsMade = 1024;

struct Piece {
    int at = 0;
    int length = 0;
    bool instruction = false;  // a command's line; else raw
    bool run = false;          // raw bytes of no framing: cut further in pass 2
    uint8_t moduleAddress = 0;
    uint8_t commandCode = 0;
    uint8_t patchOffset = 0;   // instruction (or raw master instruction) that jumps: where its address lies
    // Instruction whose bytes another family's command makes as well: the
    // families that could have made it, and whether the choice was a guess
    // (no module addressed before it of one of those families).
    uint8_t families = 0;      // bit per isa::Family
    bool guessed = false;
};

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

int TypeOf(const std::vector<int>& types, int address) {
    return address >= 0 && address < int(types.size()) ? types[size_t(address)] : -1;
}

// Whether command c, decoded from the length bytes at b for a module of the
// given type and address, is built again to the same bytes (the jump address
// aside, which the builder writes as FF FF).
bool Rebuilds(const isa::CommandDesc& c, const uint8_t* b, int length, int type, uint8_t address) {
    isa::Encoded in;
    std::memcpy(in.bytes.data(), b, size_t(length));
    in.length = uint8_t(length);
    in.commandCode = c.code;
    const int patch = c.patchOffset();
    if (patch > 0) {
        if (patch + 2 > length) return false;
        in.patchOffset = uint8_t(patch);
        in.gotoLabel.push_back('T');
    }
    const isa::Decoded d = isa::decode(in, type);
    if (d.command != &c) return false;
    const isa::EncodeResult r = isa::encode(c, d.values, address);
    const isa::Encoded* e = std::get_if<isa::Encoded>(&r);
    if (!e || e->length != length) return false;
    for (int k = 0; k < length; ++k)
        if (e->bytes[size_t(k)] != b[k] && !(patch > 0 && (k == patch || k == patch + 1))) return false;
    return true;
}

class Walker {
public:
    Walker(const std::vector<uint8_t>& image, const std::vector<int>& types) : image_(image), types_(types) {
        for (int a = 0; a < int(types.size()) && a < 256; ++a) {
            isa::Family f;
            if (a > 0 && isa::familyOfType(types[size_t(a)], f)) byFamily_[int(f)].push_back(uint8_t(a));
        }
    }

    std::vector<Piece> pieces() {
        std::vector<Piece> out;
        const int end = int(image_.size());
        int p = kHeaderBytes;
        while (p < end) {
            Piece piece;
            if (recognise(p, end - p, piece)) {
                out.push_back(piece);
                p += piece.length;
                continue;
            }
            if (out.empty() || !out.back().run || out.back().at + out.back().length != p) {
                Piece run;
                run.at = p;
                run.run = true;
                out.push_back(run);
            }
            ++out.back().length;
            ++p;
        }
        return out;
    }

private:
    // An instruction or a whole module frame at p; false for a byte of a run.
    bool recognise(int p, int room, Piece& piece) {
        const uint8_t* b = image_.data() + p;
        if (room < kDataStart) return false;
        piece.at = p;
        if (b[0] == kMasterMarker) return master(b, room, piece);
        if (b[0] == kFrameHeader) return frame(b, room, piece);
        return false;
    }

    bool master(const uint8_t* b, int room, Piece& piece) {
        const int length = b[1] + kDataStart;
        if (length > isa::kInstructionBytes || length > room) return false;
        for (const isa::CommandDesc& c : isa::commandTable())
            if (c.framing == isa::Framing::Master && c.code == b[2] && c.family == isa::Family::Master &&
                Rebuilds(c, b, length, kModuleTypeMaster, 0))
                return take(piece, c, length, 0);
        // A module family's master instruction: the module named in its
        // bytes, else the module of its family used last, else the first.
        // Families whose commands make the same bytes (an I/O and a stepper
        // If-GoTo) are told apart by the module addressed last before it.
        struct Found {
            const isa::CommandDesc* command;
            uint8_t address;
        };
        std::vector<Found> found;
        for (const isa::CommandDesc& c : isa::commandTable()) {
            if (c.framing != isa::Framing::Master || c.code != b[2] || c.family == isa::Family::Master) continue;
            std::vector<uint8_t> tries;
            if (c.statusRequest && length > kDataStart + 1) tries.push_back(b[kDataStart + 1]);
            if (c.addressAt >= 0 && c.addressAt < length) tries.push_back(b[c.addressAt]);
            if (tries.empty()) {
                if (lastModule_ > 0) tries.push_back(uint8_t(lastModule_));
                if (lastOf_[int(c.family)] > 0) tries.push_back(uint8_t(lastOf_[int(c.family)]));
                for (uint8_t a : byFamily_[int(c.family)]) tries.push_back(a);
            }
            for (uint8_t a : tries) {
                isa::Family f;
                if (!isa::familyOfType(TypeOf(types_, a), f) || f != c.family) continue;
                if (Rebuilds(c, b, length, TypeOf(types_, a), a)) {
                    found.push_back({&c, a});
                    break;
                }
            }
        }
        if (!found.empty()) {
            const Found* chosen = &found[0];
            for (const Found& f : found)
                if (f.address == lastModule_) chosen = &f;
            const bool settled = found.size() == 1 || chosen->address == lastModule_;
            take(piece, *chosen->command, length, chosen->address);
            if (!settled) {
                piece.guessed = true;
                for (const Found& f : found) piece.families |= uint8_t(1u << int(f.command->family));
            }
            return true;
        }
        // No command of the network builds it (its module is absent or of
        // another type), but a master instruction carries its jump where its
        // command's description puts it, whatever the module: a raw line
        // that keeps its jump as a goto-label.
        for (const isa::CommandDesc& c : isa::commandTable()) {
            const int patch = c.patchOffset();
            if (c.framing != isa::Framing::Master || c.code != b[2] || patch <= 0 || patch + 2 > length ||
                c.layout.dataCount != b[1])
                continue;
            piece.length = length;
            piece.commandCode = b[2];
            piece.patchOffset = uint8_t(patch);
            // A WaitFor of a module names it in the status request it carries.
            for (const isa::CommandDesc& w : isa::commandTable())
                if (w.framing == isa::Framing::Master && w.code == b[2] && w.statusRequest &&
                    length > kDataStart + 1 && b[kDataStart] == kFrameHeader)
                    piece.moduleAddress = b[kDataStart + 1];
            return true;
        }
        return false;
    }

    bool frame(const uint8_t* b, int room, Piece& piece) {
        const int n = b[2] >> 4;
        const int length = n + kFrameOverhead;
        if (length > room || b[kDataStart + n] != FrameChecksum(b, n)) return false;
        const uint8_t address = b[1];
        const int type = TypeOf(types_, address);
        isa::Family family;
        if (address > 0 && isa::familyOfType(type, family) && family != isa::Family::Master) {
            for (const isa::CommandDesc& c : isa::commandTable()) {
                if (c.family != family || c.framing != isa::Framing::Module) continue;
                if (c.layout.commandByte != b[2] && !(c.hasAlternate && c.alternate.commandByte == b[2])) continue;
                if (Rebuilds(c, b, length, type, address)) return take(piece, c, length, address);
            }
        }
        // A whole frame that no known command builds: one raw line.
        piece.length = length;
        piece.moduleAddress = address;
        piece.commandCode = b[2];
        if (address > 0) lastModule_ = address;
        return true;
    }

    bool take(Piece& piece, const isa::CommandDesc& c, int length, uint8_t address) {
        piece.length = length;
        piece.instruction = true;
        piece.moduleAddress = address;
        piece.commandCode = c.code;
        piece.patchOffset = uint8_t(c.patchOffset());
        if (address > 0) lastOf_[int(c.family)] = lastModule_ = address;
        return true;
    }

    static constexpr int kModuleTypeMaster = 127;
    const std::vector<uint8_t>& image_;
    const std::vector<int>& types_;
    std::vector<uint8_t> byFamily_[4];
    int lastOf_[4] = {0, 0, 0, 0};
    int lastModule_ = 0;   // the module addressed last, by a frame or a master instruction
};

// The comment put before an instruction that another family's command makes
// as well, when no module addressed before it told which it was.
std::string GuessComment(const Piece& p, const std::vector<int>& types) {
    isa::Family taken = isa::Family::Master;
    isa::familyOfType(TypeOf(types, p.moduleAddress), taken);
    std::string others;
    for (int f = 0; f < 4; ++f)
        if ((p.families & (1u << f)) && f != int(taken))
            others += std::string(others.empty() ? "" : "/") + isa::moduleTypeName(isa::Family(f));
    char text[96];
    std::snprintf(text, sizeof text, ";Guessed module %d (%s): %s makes the same bytes", int(p.moduleAddress),
                  isa::moduleTypeName(taken), others.c_str());
    return text;
}

// Assembly starts no line above this address (a line holds at most 24 bytes).
constexpr int kLastLineStart = 16344;

// Lines that start above kLastLineStart would not assemble again: the last
// line that starts at or below it and everything after it become raw lines,
// cut at kLastLineStart, so that the bytes come back exactly as long as the
// image ends by kLastLineStart + 24.
void FitTail(std::vector<Piece>& lines, const std::vector<uint8_t>& image) {
    size_t first = lines.size();
    while (first > 0 && lines[first - 1].at > kLastLineStart) --first;
    if (first == lines.size() || first == 0) return;
    --first;   // the line that holds kLastLineStart or ends just above it
    const int start = lines[first].at, end = int(image.size());
    lines.resize(first);
    for (int at = start; at < end;) {
        const int next = at < kLastLineStart && end - at > isa::kInstructionBytes ? kLastLineStart : end;
        Piece raw;
        raw.at = at;
        raw.length = std::min(next - at, int(isa::kInstructionBytes));
        raw.commandCode = raw.length >= kDataStart ? image[size_t(at + 2)] : 0;
        lines.push_back(raw);
        at += raw.length;
    }
}

}  // namespace

std::string TargetLabel(uint16_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "L_%04X", unsigned(address));
    return text;
}

Disassembly Disassemble(const std::vector<uint8_t>& image, const std::vector<int>& moduleTypes) {
    Disassembly out;
    out.program.moduleTypes = moduleTypes.empty() ? std::vector<int>{127} : moduleTypes;
    out.program.moduleListCount = int(out.program.moduleTypes.size()) - 1;

    const std::vector<Piece> pieces = Walker(image, out.program.moduleTypes).pieces();

    // Jump targets of the instructions, in address order.
    std::vector<uint16_t> targets;
    for (const Piece& p : pieces)
        if (p.patchOffset > 0) {
            const uint16_t t = U16(image.data() + p.at + p.patchOffset);
            if (t != kNullAddress) targets.push_back(t);
        }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    const auto isTarget = [&](int a) { return std::binary_search(targets.begin(), targets.end(), uint16_t(a)); };

    // Runs cut into raw lines: at most 24 bytes, a new line at every target.
    std::vector<Piece> lines;
    lines.reserve(pieces.size());
    for (const Piece& p : pieces) {
        if (!p.run) {
            lines.push_back(p);
            continue;
        }
        for (int at = p.at, end = p.at + p.length; at < end;) {
            int next = at + 1;
            while (next < end && next - at < isa::kInstructionBytes && !isTarget(next)) ++next;
            Piece raw;
            raw.at = at;
            raw.length = next - at;
            raw.commandCode = raw.length >= kDataStart ? image[size_t(at + 2)] : 0;
            lines.push_back(raw);
            at = next;
        }
    }

    FitTail(lines, image);
    out.fits = int(image.size()) <= kLastAssembledByte;

    // The targets that start a line get labels, the first kMaxLabelsMade of them.
    std::vector<uint16_t> labelled;
    for (const Piece& p : lines)
        if (isTarget(p.at) && labelled.size() < kMaxLabelsMade) labelled.push_back(uint16_t(p.at));
    const auto isStart = [&](int a) { return std::binary_search(labelled.begin(), labelled.end(), uint16_t(a)); };

    out.program.lines.reserve(lines.size());
    for (const Piece& p : lines) {
        if (p.guessed) {
            ProgramLine comment;
            std::memset(&comment, 0, sizeof comment);
            comment.setComment(GuessComment(p, out.program.moduleTypes));
            out.program.lines.push_back(comment);
            ++out.guesses;
        }
        ProgramLine line;
        std::memset(&line, 0, sizeof line);
        line.address = uint16_t(p.at);
        line.moduleAddress = p.moduleAddress;
        line.commandCode = p.commandCode;
        line.length = uint8_t(p.length);
        std::memcpy(line.bytes, image.data() + p.at, size_t(p.length));
        if (isStart(p.at)) {
            line.setLabel(TargetLabel(uint16_t(p.at)));
            ++out.labels;
        }
        if (p.instruction) ++out.instructionLines;
        else ++out.rawLines;
        if (p.patchOffset > 0) {
            // An instruction, or a raw master instruction whose command is
            // not known on this network but whose jump lies where it lies.
            const uint16_t t = U16(line.bytes + p.patchOffset);
            line.patchOffset = p.patchOffset;
            line.targetAddress = t;
            if (t == kNullAddress) {
                line.setGotoLabel("NULL");
            } else if (isStart(t)) {
                // The builder's form: the placeholder, patched again by assembly.
                line.setGotoLabel(TargetLabel(t));
                line.bytes[p.patchOffset] = line.bytes[p.patchOffset + 1] = kNoTarget;
            } else {
                ++out.jumpsInside;
            }
        }
        out.program.lines.push_back(line);
    }
    return out;
}
