#include <gtest/gtest.h>

#include "ExecFixture.h"
#include "TestPlatform.h"
#include "app/StatusForms.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Labels = std::vector<std::pair<std::string, std::string>>;
using Strings = std::vector<std::string>;

struct StatusWindowTest : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = OnlineState(ui);
    ScriptedMaster m{*s};
    Bytes& sent = m.port->sent;

    void SetUp() override {
        const int types[] = {0, 3, 2, 255, 1};   // addresses 1 to 5
        for (int a = 1; a <= 5; ++a) s->moduleTypes[a] = types[a - 1];
    }

    void doubleClick(int address) {
        s->form.ModuleListBox.index = address;
        ModuleListBoxDblClick(*s);
    }

    // 0x85 with a six-byte frame and its checksum, then 0x87 with the count.
    static Bytes request(const Bytes& frame, uint8_t count) {
        Bytes out = {0x85, 6};
        unsigned sum = 0;
        for (uint8_t b : frame) {
            out.push_back(b);
            sum += b;
        }
        out.push_back(uint8_t(sum));
        out.push_back(0x87);
        out.push_back(count);
        return out;
    }

    static void append32(Bytes& out, int32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    }
};

TEST_F(StatusWindowTest, ServoWindow) {
    Bytes reply = {0x20};
    append32(reply, -1234);
    append32(reply, 100000);
    m.replyData = reply;
    doubleClick(1);
    EXPECT_EQ(sent, request({0xAA, 0x01, 0x13, 0x11, 0x25, 0x09}, 10));
    EXPECT_EQ(sent[8], 0xFD);
    EXPECT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Servo});
    EXPECT_EQ(s->statusForms.servo.caption, "Module 1");
    EXPECT_EQ(s->statusForms.servo.labels, (Labels{{"PosLabel", "-1234"},
                                                   {"HomePosLabel", "100000"},
                                                   {"Lim1Label", "High"},
                                                   {"Lim2Label", "Low"},
                                                   {"PowerLabel", "Off"}}));

    struct Case {
        uint8_t status;
        const char *lim1, *lim2, *power;
    } cases[] = {{0x40, "Low", "High", "Off"}, {0x08, "Low", "Low", "On"}, {0x97, "Low", "Low", "Off"}};
    for (const Case& c : cases) {
        m.replyData = {c.status};
        doubleClick(1);
        auto& w = s->statusForms.servo;
        EXPECT_EQ(w.value("Lim1Label") + w.value("Lim2Label") + w.value("PowerLabel"),
                  std::string(c.lim1) + c.lim2 + c.power)
            << int(c.status);
        EXPECT_EQ(w.value("PosLabel"), "0");
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(StatusWindowTest, StepperWindowReadsTheInputByte) {
    Bytes reply = {0x08};
    append32(reply, 2147483647);
    reply.push_back(0x05);
    append32(reply, -2147483647 - 1);
    m.replyData = reply;
    doubleClick(2);
    EXPECT_EQ(sent, request({0xAA, 0x02, 0x13, 0x19, 0x2E, 0x0A}, 10));
    EXPECT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Stepper});
    EXPECT_EQ(s->statusForms.stepper.caption, "Module 2");
    EXPECT_EQ(s->statusForms.stepper.labels,
              (Labels{{"PosLabel", "2147483647"}, {"HomePosLabel", "-2147483648"}, {"Lim1Label", "Low"},
                      {"Lim2Label", "Low"}, {"HomeSwLabel", "Low"}, {"EStopLabel", "High"},
                      {"Input1Label", "Low"}, {"Input2Label", "High"}, {"PowerLabel", "On"}}));

    const std::pair<uint8_t, const char*> bits[] = {{0x08, "Lim1Label"},  {0x10, "Lim2Label"},
                                                    {0x20, "HomeSwLabel"}, {0x01, "EStopLabel"},
                                                    {0x02, "Input1Label"}, {0x04, "Input2Label"}};
    for (const auto& [bit, label] : bits) {
        m.replyData = {0x00, 0, 0, 0, 0, bit};
        doubleClick(2);
        for (const auto& [name, value] : s->statusForms.stepper.labels) {
            if (name == "PosLabel" || name == "HomePosLabel") continue;
            EXPECT_EQ(value, name == label ? "High" : name == "PowerLabel" ? "Off" : "Low") << name;
        }
    }
}

TEST_F(StatusWindowTest, IoWindowShowsTwelveBits) {
    m.replyData = {0x00, 0x81, 0x08, 0xFF};
    doubleClick(3);
    EXPECT_EQ(sent, request({0xAA, 0x03, 0x13, 0x01, 0x17, 0x03}, 4));
    EXPECT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Io});
    const auto& w = s->statusForms.io;
    EXPECT_EQ(w.caption, "Module 3");
    ASSERT_EQ(w.labels.size(), 12u);
    for (int k = 1; k <= 12; ++k) {
        EXPECT_EQ(w.labels[size_t(k - 1)].first, Format("B%dLbl", k));
        EXPECT_EQ(w.labels[size_t(k - 1)].second, (k == 1 || k == 8 || k == 12) ? "High" : "Low") << k;
    }
}

TEST_F(StatusWindowTest, MasterWindowShowsCountersAndVersion) {
    Bytes data(32, 0xEE);
    const uint16_t counters[4] = {40000, 0, 65535, 258};
    for (int k = 1; k <= 4; ++k) {
        data[size_t(22 + 2 * k)] = uint8_t(counters[k - 1]);
        data[size_t(23 + 2 * k)] = uint8_t(counters[k - 1] >> 8);
    }
    m.replyData = data;
    m.version = 3;
    doubleClick(0);
    EXPECT_EQ(sent, (Bytes{0x87, 32, 0x88}));
    EXPECT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Master});
    EXPECT_EQ(s->statusForms.master.caption, "Module 0");
    EXPECT_EQ(s->statusForms.master.labels, (Labels{{"VersionLbl", "Version:  3"},
                                                    {"C1Lbl", "40000"},
                                                    {"C2Lbl", "0"},
                                                    {"C3Lbl", "65535"},
                                                    {"C4Lbl", "258"}}));
}

TEST_F(StatusWindowTest, FailedVersionStillOpensTheMasterWindow) {
    m.silentFromCommand = 1;   // Read reply answered, Version not
    doubleClick(0);
    EXPECT_EQ(ui.messages, Strings{"Stepwright not responding"});
    EXPECT_EQ(ui.statusWindows, std::vector<StatusWindow>{StatusWindow::Master});
    EXPECT_EQ(s->statusForms.master.value("VersionLbl"), "Version:  -1");
}

TEST_F(StatusWindowTest, RefusalsSendNothing) {
    struct Case {
        bool online, mismatch;
        int address;
        Strings messages;
    } cases[] = {
        {false, false, 1, {"Stepwright not on-line."}},
        {true, true, 1, {"Module list does not match detected modules."}},
        {true, false, 4, {}},    // type 255: no window of its own
        {true, false, 5, {}},    // type 1
        {true, false, -1, {}},   // nothing selected
    };
    for (const Case& c : cases) {
        ui.messages.clear();
        s->online = c.online;
        s->moduleMismatch = c.mismatch;
        doubleClick(c.address);
        EXPECT_EQ(ui.messages, c.messages) << c.address;
    }
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(ui.statusWindows.empty());
}

TEST_F(StatusWindowTest, FailedExchangesOpenNoWindow) {
    struct Case {
        const char* what;
        int address;
        void (*fault)(ScriptedMaster&);
        Strings messages;
        bool online;
    } cases[] = {
        {"request rejected", 1, [](ScriptedMaster& p) { p.answerCC = true; },
         {"Stepwright not responding", "Error in reading status"}, false},
        {"module reply checksum", 1, [](ScriptedMaster& p) { p.corruptChecksum = true; }, {"Error in reading status"},
         true},
        {"module reply missing", 1, [](ScriptedMaster& p) { p.silentFromCommand = 1; }, {"Stepwright not responding"},
         false},
        {"master data checksum", 0, [](ScriptedMaster& p) { p.corruptChecksum = true; }, {"Error in reading status"},
         true},
        {"master data missing", 0, [](ScriptedMaster& p) { p.silent = true; }, {"Stepwright not responding"}, false},
    };
    for (const Case& c : cases) {
        m.answerCC = m.corruptChecksum = m.silent = false;
        m.silentFromCommand = -1;
        m.exchanges.clear();
        c.fault(m);
        s->online = true;
        ui.messages.clear();
        doubleClick(c.address);
        EXPECT_EQ(ui.messages, c.messages) << c.what;
        EXPECT_EQ(s->online, c.online) << c.what;
    }
    EXPECT_TRUE(ui.statusWindows.empty());
    EXPECT_EQ(s->statusForms.servo.caption + s->statusForms.master.caption, "");
}

}  // namespace
