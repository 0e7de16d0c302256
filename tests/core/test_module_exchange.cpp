// The modules layer's exchanges over a bare link and module tables, with a
// host that is no window: what the host is asked for, and in which order,
// beside the bytes and the tables.

#include <gtest/gtest.h>

#include <functional>

#include "ScriptedMaster.h"
#include "isa/Vocabulary.h"
#include "modules/Detection.h"
#include "modules/StatusWindows.h"

namespace {

using Log = std::vector<std::string>;

struct RecordingHost : LinkHost {
    Log log;
    void message(const std::string& text) override { log.push_back("message " + text); }
    void wait(int ms) override { log.push_back("wait " + std::to_string(ms)); }
    void linkLost() override { log.push_back("linkLost"); }
    void showProgress(int which) override { log.push_back("show " + std::to_string(which)); }
    void hideProgress() override { log.push_back("hide"); }
};

struct Exchange {
    const char* name;
    std::function<void(ScriptedMaster&, LinkState&, ModuleTables&)> setUp;
    std::function<int(LinkState&, ModuleTables&)> run;
    int result;
    Log log;
    std::vector<uint8_t> commands;
    std::vector<int> types;   // moduleTypes[1..] afterwards
};

const Log kBusy = {"show 1", "wait 2000", "hide"};
Log Busy(Log then) {
    Log l = kBusy;
    l.insert(l.end(), then.begin(), then.end());
    return l;
}

TEST(ModuleExchange, HostCallsBytesAndTables) {
    const auto detect = [](LinkState& l, ModuleTables& t) { return DetectModuleTypes(l, t); };
    const auto lookUp = [](LinkState& l, ModuleTables& t) { return LookUpModuleTypes(l, t); };
    const Exchange cases[] = {
        {"detection adopts", [](ScriptedMaster& m, LinkState&, ModuleTables&) { m.setModules({0, 2, 9}); }, detect, 3,
         Busy({"message 3 module(s) found"}), {0x80, 0x85, 0x80, 0x85, 0x87, 0x85, 0x87, 0x85, 0x87}, {0, 2, 255}},
        {"silent master", [](ScriptedMaster& m, LinkState&, ModuleTables&) { m.silent = true; }, detect, -1,
         Busy({"message Stepwright not responding", "linkLost"}), {0x80}, {}},
        {"defined list differs",
         [](ScriptedMaster& m, LinkState&, ModuleTables& t) {
             m.setModules({0, 3});
             t.moduleListDefined = true;
             t.moduleTypes[1] = 0;
             t.moduleTypes[2] = 2;
         },
         detect, -1,
         Busy({"message 2 module(s) found",
               "message Detected modules do not match module list - program execution may fail."}),
         {0x80, 0x85, 0x80, 0x85, 0x87, 0x85, 0x87}, {0, 2}},
        {"look-up asks types only",
         [](ScriptedMaster& m, LinkState& l, ModuleTables&) {
             m.setModules({3, 127});
             l.status.moduleCount = 2;
         },
         lookUp, 2, {}, {0x85, 0x87, 0x85, 0x87}, {3, 255}},
        {"master status and version",
         [](ScriptedMaster& m, LinkState&, ModuleTables&) { m.version = 7; },
         [](LinkState& l, ModuleTables&) {
             uint8_t data[kMasterDataBytes + 1];
             int version = 0;
             return FetchMasterStatus(l, data, version) ? version : -1;
         },
         7, {}, {0x87, 0x88}, {}},
        {"status reply fails its checksum",
         [](ScriptedMaster& m, LinkState&, ModuleTables&) { m.corruptChecksum = true; },
         [](LinkState& l, ModuleTables&) {
             uint8_t reply[16];
             return FetchModuleStatus(l, 1, kTypeServo, reply) ? 1 : 0;
         },
         0, {"message Error in reading status"}, {0x85, 0x87}, {}},
        {"no status request for the master's type", nullptr,
         [](LinkState& l, ModuleTables&) {
             uint8_t reply[16];
             return FetchModuleStatus(l, 1, kTypeMaster, reply) ? 1 : 0;
         },
         0, {}, {}, {}},
    };
    for (const Exchange& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingHost host;
        LinkState link;
        link.host = &host;
        link.online = true;
        ModuleTables tables;
        ScriptedMaster m(link);
        if (c.setUp) c.setUp(m, link, tables);
        EXPECT_EQ(c.run(link, tables), c.result);
        EXPECT_EQ(host.log, c.log);
        EXPECT_EQ(m.commands(), c.commands);
        for (size_t i = 0; i < c.types.size(); ++i) EXPECT_EQ(tables.moduleTypes[i + 1], c.types[i]) << i + 1;
    }
}

}  // namespace
