// Module detection: takes the link on line, has the master initialise its
// network, asks every slave module for its type, and adopts the result as the
// module list or checks the defined list against it.

#include "modules/Detection.h"

#include <chrono>

#include "isa/Vocabulary.h"
#include "isa/Format.h"
#include "link/LinkState.h"
#include "link/Protocol.h"
#include "link/ProtocolBytes.h"
#include "link/Sio.h"
#include "program/ProgramState.h"

namespace {

// The type request's reply: the status byte and the type code; the master
// collects three bytes.
constexpr uint8_t kTypeReplyTrailer = 3;
constexpr int kTypeReplyBytes = 4;
// How long the line is watched after a type reply for bytes beyond it: at
// 19200 baud the next byte of a longer reply follows within about 0.5 ms.
constexpr std::chrono::microseconds kOverrunSettle{1600};

// Sends the type request of module address; -1 after the not-responding procedure.
bool SendTypeRequest(LinkState& link, int address) {
    uint8_t frame[6];
    return HostExecute(link, frame, PutStatusRequest(frame, uint8_t(address), kItemType, kTypeReplyTrailer)) == 0;
}

// Takes moduleTypes[1..count] as found on the network as the module list; a
// type without a family becomes "UNKNOWN" (255).
int AdoptModuleTypes(ModuleTables& t, int count) {
    t.moduleListDefined = true;
    t.moduleListCount = uint8_t(count);
    for (int i = 1; i <= count; ++i)
        if (!IsKnownSlave(t.moduleTypes[i])) t.moduleTypes[i] = kTypeUnknown;
    return count;
}

int FoundModules(const LinkState& link) {
    // The tables hold 31 slave modules; a larger count is taken as 31.
    return link.status.moduleCount > kMaxModules ? kMaxModules : link.status.moduleCount;
}

}  // namespace

int AskModuleType(LinkState& link, int address) {
    if (!SendTypeRequest(link, address)) return -1;
    uint8_t reply[kTypeReplyBytes + 1] = {0, 0, 0, 0, 0};
    // A checksum mismatch (-2) keeps the link on line; the bytes are used as they came.
    if (HostReadReply(link, reply, kTypeReplyBytes) == -1) return -1;
    return reply[1];
}

int ReadModuleType(LinkState& link, int address) {
    if (!SendTypeRequest(link, address)) return -1;
    uint8_t reply[kTypeReplyBytes + 1] = {0, 0, 0, 0, 0};
    const int result = HostReadReply(link, reply, kTypeReplyBytes);
    if (result == -1) return -1;
    if (result == 0 && !ReplyOverran(link, kOverrunSettle)) return reply[1];
    // A damaged checksum, or more bytes than asked for (the count byte was
    // damaged on the way): the rest of the reply would be read as the next
    // module's.  A lone "#" after a whole reply is the master announcing
    // itself, not a damage.
    const Drained d = DrainUntilQuiet(link);
    if (result == 0 && d.quiet && d.bytes == 1 && d.last == kAnnounce) {
        link.forceDetection = true;
        return reply[1];
    }
    return kDamagedReply;
}

int DetectModuleTypes(LinkState& link, ModuleTables& t) {
    link.online = true;
    link.forceDetection = false;
    t.moduleMismatch = false;

    // The Stop's reply is read after the pause, which gives the master time
    // to stop and settle.
    uint8_t stop = kCmdStop;
    SioPutChars(link, &stop, 1);
    link.host->showProgress(1);
    link.host->wait(2000);
    link.host->hideProgress();
    uint8_t first[6];
    if (SioGetChars(link, first, 6) < 6) {
        NotResponding(link);
        return -1;
    }

    // TavoInit: the master scans its network.
    uint8_t init[3];
    if (HostExecute(link, init, PutMasterInstruction(init, MasterCmd::kTavoInit)) != 0) return -1;
    SioClrInbuf(link);
    if (HostStop(link) != 0) return -1;

    const int count = FoundModules(link);
    link.host->message(Format("%d module(s) found", count));
    t.moduleTypes[0] = kTypeMaster;

    for (int i = 1; i <= count; ++i) {
        const int code = AskModuleType(link, i);
        if (code < 0) return -1;
        t.detectedTypes[i] = code;
        if (t.moduleListDefined && code != t.moduleTypes[i]) {
            link.host->message("Detected modules do not match module list - program execution may fail.");
            t.moduleMismatch = true;
            return -1;
        }
        t.moduleTypes[i] = code;
    }
    return AdoptModuleTypes(t, count);
}

int LookUpModuleTypes(LinkState& link, ModuleTables& t, int* damagedAt) {
    const int count = FoundModules(link);
    t.moduleTypes[0] = kTypeMaster;
    for (int i = 1; i <= count; ++i) {
        const int code = ReadModuleType(link, i);
        if (code == kDamagedReply) {
            if (damagedAt) *damagedAt = i;
            return kDamagedReply;
        }
        if (code < 0) return -1;
        t.detectedTypes[i] = code;
        t.moduleTypes[i] = code;
    }
    t.moduleMismatch = false;
    return AdoptModuleTypes(t, count);
}
