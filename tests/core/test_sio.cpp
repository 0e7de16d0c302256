// The serial port layer against a pseudo-terminal: opening, the line setting,
// the read and write time-outs, the input queue and a peer that goes away.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include <filesystem>

#include "FakeSerial.h"
#include "PtyPeer.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/PollTimer.h"
#include "app/StatusText.h"
#include "link/LinkLog.h"
#include "link/PosixSerial.h"
#include "link/Protocol.h"
#include "link/Sio.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct SioFixture : ::testing::Test {
    TestPlatform ui;
    std::unique_ptr<MainState> s = std::make_unique<MainState>(ui);
    PtyPeer peer;

    void SetUp() override {
        ASSERT_TRUE(peer.ok()) << "no pseudo-terminal available";
        s->portDevice[1] = peer.slavePath();
    }
    // Opens COM2 (the pseudo-terminal) as the application's port.
    void openPort(int baud = 19200) {
        s->port = SioOpen(*s, "COM2:", baud);
        ASSERT_NE(s->port, nullptr);
    }
    // Waits (bounded) until the port's input queue holds n bytes.
    int waitForQueued(int n) {
        auto deadline = Clock::now() + std::chrono::seconds(2);
        int q = 0;
        while ((q = s->port->waiting()) < n && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return q;
    }
};

// --- opening ---------------------------------------------------------------

TEST_F(SioFixture, NamesThatCannotBeOpenedGiveTheirMessageAndNoHandle) {
    s->portDevice[3] = "/dev/stepwright-no-such-device";
    s->portDevice[4] = "";
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"COM4:", "COM4: failed to open"},           // mapped to a missing device
        {"COM5:", "COM5: failed to open"},           // mapped to nothing
        {"COM7:", "COM7: failed to open"},           // no such COM item
        {"LPT1:", "LPT1: failed to open"},
        {"/dev/null", "/dev/null failed to open"},   // exists, but no serial device
        {"", " failed to open"},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        EXPECT_EQ(SioOpen(*s, c.name, 19200), nullptr) << c.name;
        EXPECT_EQ(ui.messages, std::vector<std::string>{c.message}) << c.name;
    }
}

TEST_F(SioFixture, ComNameAndDevicePathBothOpenThePort) {
    for (const std::string& name : std::vector<std::string>{"COM2:", "com2:", "COM2", peer.slavePath()}) {
        auto port = SioOpen(*s, name, 19200);
        EXPECT_NE(port, nullptr) << name;
        port.reset();  // released, so the next name can open it again
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SioFixture, ASecondOpenOfTheSameDeviceIsRefusedUntilTheFirstCloses) {
    openPort();
    EXPECT_EQ(SioOpen(*s, "COM2:", 19200), nullptr);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"COM2: failed to open"});

    std::string error;
    EXPECT_EQ(OpenSerialDevice(peer.slavePath(), 19200, error), nullptr);
    EXPECT_NE(error.find("in use"), std::string::npos) << error;

    SioClose(*s);
    EXPECT_EQ(s->port, nullptr);
    auto again = OpenSerialDevice(peer.slavePath(), 19200, error);
    EXPECT_NE(again, nullptr) << error;
}

TEST_F(SioFixture, UnsupportedRatesFallBackTo19200AndSupportedOnesAreSilent) {
    const struct {
        int baud;
        speed_t speed;
        bool message;
    } cases[] = {
        {1200, B19200, true}, {0, B19200, true},       {-9600, B19200, true},
        {9600, B9600, false}, {19200, B19200, false}, {38400, B38400, false},
        {57600, B57600, false}, {115200, B115200, false},
    };
    for (const auto& c : cases) {
        ui.messages.clear();
        auto port = SioOpen(*s, "COM2:", c.baud);
        ASSERT_NE(port, nullptr) << c.baud;
        if (c.message)
            EXPECT_EQ(ui.messages, std::vector<std::string>{"Baud rate not supported - using default of 19200"});
        else
            EXPECT_TRUE(ui.messages.empty()) << c.baud;
        struct termios t;
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &t), 0);
        EXPECT_EQ(cfgetospeed(&t), c.speed) << c.baud;
        EXPECT_EQ(cfgetispeed(&t), c.speed) << c.baud;
    }
}

TEST_F(SioFixture, LineIsRaw8N1WithoutFlowControlAndIsRestoredOnClose) {
    // Give the device a cooked, 7E2, flow-controlled setting first.
    struct termios before;
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &before), 0);
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= IXON | IXOFF | ICRNL;
    before.c_cflag = (before.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    cfsetispeed(&before, B2400);
    cfsetospeed(&before, B2400);
    ASSERT_EQ(tcsetattr(peer.slaveFd(), TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &before), 0);

    openPort();
    struct termios t;
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    SioClose(*s);
    struct termios after;
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &after), 0);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), speed_t(B2400));
}

TEST(SioOpenErrors, ReasonsForTheCommandLine) {
    const struct {
        int err;
        const char* contains;
    } cases[] = {
        {ENOENT, "/dev/ttyUSB9: no such device"},
        {ENXIO, "/dev/ttyUSB9: no such device"},
        {EACCES, "/dev/ttyUSB9: permission denied"},
        {EPERM, "dialout"},
        {EBUSY, "/dev/ttyUSB9: port in use"},
        {ENOTTY, "/dev/ttyUSB9: not a serial device"},
        {EMFILE, "/dev/ttyUSB9: "},
    };
    for (const auto& c : cases) {
        std::string text = DescribeOpenError("/dev/ttyUSB9", c.err);
        EXPECT_NE(text.find(c.contains), std::string::npos) << c.err << ": " << text;
    }

    std::string error;
    EXPECT_EQ(OpenSerialDevice("/dev/stepwright-no-such-device", 19200, error), nullptr);
    EXPECT_EQ(error, "/dev/stepwright-no-such-device: no such device");
    EXPECT_EQ(OpenSerialDevice("/dev/null", 19200, error), nullptr);
    EXPECT_EQ(error, "/dev/null: not a serial device");
    EXPECT_EQ(OpenSerialDevice("/dev/null", 1200, error), nullptr);
    EXPECT_NE(error.find("1200 not supported"), std::string::npos) << error;
}

// --- reading and writing -----------------------------------------------------

TEST_F(SioFixture, ASilentPeerTimesOutAfter100Plus2MsPerByte) {
    openPort();
    const struct {
        int count;
        double atLeastMs;
    } cases[] = {{1, 95}, {6, 105}, {50, 190}};
    for (const auto& c : cases) {
        uint8_t buf[64];
        auto start = Clock::now();
        int got = SioGetChars(*s, buf, c.count);
        double ms = MsSince(start);
        EXPECT_EQ(got, 0);
        EXPECT_GE(ms, c.atLeastMs) << c.count;
        EXPECT_LT(ms, 1000) << c.count;
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SioFixture, BytesAlreadyWaitingAreReadAtOnce) {
    openPort();
    ASSERT_TRUE(peer.send({0x80, 0x01, 0x02, 0x03, 0x04, 0x05}));
    ASSERT_EQ(waitForQueued(6), 6);
    uint8_t buf[6] = {};
    auto start = Clock::now();
    EXPECT_EQ(SioGetChars(*s, buf, 6), 6);
    EXPECT_LT(MsSince(start), 50);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), (std::vector<uint8_t>{0x80, 1, 2, 3, 4, 5}));

    // A read for fewer than are waiting leaves the rest queued.
    ASSERT_TRUE(peer.send({0x11, 0x22, 0x33}));
    ASSERT_EQ(waitForQueued(3), 3);
    EXPECT_EQ(SioGetChars(*s, buf, 2), 2);
    EXPECT_EQ(buf[0], 0x11);
    EXPECT_EQ(buf[1], 0x22);
    EXPECT_EQ(SioTest(*s), 1);
}

TEST_F(SioFixture, AReplyArrivingInPiecesIsCollectedUntilComplete) {
    openPort();
    std::thread sender([this] {
        peer.send({0xA1, 0xA2});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.send({0xA3});
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        peer.send({0xA4, 0xA5, 0xA6, 0xA7});  // one more than asked for
    });
    uint8_t buf[6] = {};
    auto start = Clock::now();
    int got = SioGetChars(*s, buf, 6);
    double ms = MsSince(start);
    sender.join();
    EXPECT_EQ(got, 6);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
    EXPECT_GE(ms, 50);   // it waited for the later pieces
    EXPECT_LT(ms, 1000);
    EXPECT_EQ(waitForQueued(1), 1);  // the extra byte stays for the next read
}

TEST_F(SioFixture, AllByteValuesPassUnchangedBothWays) {
    openPort();
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);

    EXPECT_TRUE(SioPutChars(*s, all.data(), 256));
    EXPECT_EQ(peer.receive(256, 2000), all);

    std::vector<uint8_t> in(256);
    std::thread sender([&] { peer.send(all); });
    int got = SioGetChars(*s, in.data(), 256);
    sender.join();
    EXPECT_EQ(got, 256);
    EXPECT_EQ(in, all);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SioFixture, AWriteThePeerNeverTakesGivesUpWithin50Plus2MsPerByte) {
    openPort();
    // Nobody reads the far end, so the line's buffers fill up and a write
    // eventually cannot finish.
    std::vector<uint8_t> chunk(64, 0x55);
    bool failed = false;
    double failMs = 0;
    for (int i = 0; i < 1 << 16 && !failed; ++i) {
        auto start = Clock::now();
        failed = !s->port->write(chunk.data(), int(chunk.size()));
        failMs = MsSince(start);
    }
    ASSERT_TRUE(failed);
    EXPECT_GE(failMs, 170);  // 50 + 2 x 64
    EXPECT_LT(failMs, 1000);
    EXPECT_FALSE(SioPutChars(*s, chunk.data(), 64));
    // The box says what happened after the fixed text; the port is still there.
    EXPECT_EQ(ui.messages, std::vector<std::string>{"SioPutChars failed\n" + peer.slavePath() +
                                                    ": the device took no bytes in time (line held up?)"});
    EXPECT_EQ(s->port->problem().fault, PortFault::Failed);
    EXPECT_FALSE(s->portLoss.gone);
}

// --- the input queue ---------------------------------------------------------

TEST_F(SioFixture, WaitingCountsTheInputQueueAndDiscardEmptiesIt) {
    openPort();
    EXPECT_EQ(SioTest(*s), 0);
    ASSERT_TRUE(peer.send({1, 2, 3, 4, 5}));
    EXPECT_EQ(waitForQueued(5), 5);
    EXPECT_EQ(SioTest(*s), 5);

    EXPECT_TRUE(SioClrInbuf(*s));
    EXPECT_EQ(SioTest(*s), 0);
    uint8_t b;
    EXPECT_EQ(SioGetChars(*s, &b, 1), 0);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SioFixture, DiscardLeavesBytesBeingSentAlone) {
    openPort();
    const uint8_t out[] = {0x8E, 0x80};
    ASSERT_TRUE(SioPutChars(*s, out, 2));
    ASSERT_TRUE(SioClrInbuf(*s));
    EXPECT_EQ(peer.receive(2, 2000), (std::vector<uint8_t>{0x8E, 0x80}));
}

// --- a peer that goes away -----------------------------------------------------

TEST_F(SioFixture, APeerHangingUpMidReadEndsTheReadWithWhatArrived) {
    openPort();
    std::thread sender([this] {
        peer.send({0x23, 0x24});
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        peer.hangUp();
    });
    uint8_t buf[200];
    auto start = Clock::now();
    int got = SioGetChars(*s, buf, 200);  // would wait 500 ms for a silent peer
    double ms = MsSince(start);
    sender.join();
    EXPECT_EQ(got, 2);
    EXPECT_EQ(buf[0], 0x23);
    EXPECT_EQ(buf[1], 0x24);
    EXPECT_LT(ms, 300);

    // From now on every read is no reply at once, without spinning.
    start = Clock::now();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(SioGetChars(*s, buf, 6), 0);
    EXPECT_LT(MsSince(start), 100);

    // Nothing waits in a vanished device; writing to it fails.
    EXPECT_EQ(SioTest(*s), 0);
    EXPECT_TRUE(SioClrInbuf(*s));
    EXPECT_TRUE(ui.messages.empty());
    // The first message after the loss says it, once.
    EXPECT_FALSE(SioPutChars(*s, buf, 1));
    EXPECT_FALSE(SioPutChars(*s, buf, 1));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{
                               "SioPutChars failed\n" + peer.slavePath() + ": the device is gone (unplugged?)",
                               "SioPutChars failed"}));
    SioClose(*s);
}

TEST_F(SioFixture, AQueueQueryAfterTheHangUpNeedsNoReadToNoticeIt) {
    openPort();
    peer.hangUp();
    EXPECT_EQ(SioTest(*s), 0);
    EXPECT_TRUE(SioClrInbuf(*s));
    EXPECT_TRUE(ui.messages.empty());
    uint8_t b;
    auto start = Clock::now();
    EXPECT_EQ(SioGetChars(*s, &b, 1), 0);
    EXPECT_LT(MsSince(start), 50);
}

// --- a port whose device vanishes --------------------------------------------------

std::vector<std::string> DecodedRows(const LinkLog& log) {
    LinkRuns runs;
    log.copyRuns(0, runs);
    std::vector<std::string> rows;
    for (const LinkExchange& e : DecodeLinkRuns(runs, nullptr))
        rows.push_back(std::string(e.command) + "/" + LinkVerdictId(e.verdict) + "/" + e.summary);
    return rows;
}

// A running program on line, the master holding the open program; then the
// device goes.  Whichever operation finds it, nothing says any more that the
// program runs or what the master holds, the light goes off, the first box
// after the loss says what happened under its own text, and the log records
// the failed write or read as port-lost.
TEST_F(SioFixture, AVanishedDeviceIsSeenAtOnceWhateverFindsIt) {
    const struct Case {
        const char* what;
        std::function<void(MainState&)> act;
        std::vector<std::string> boxes;
        std::vector<std::string> rows;
    } cases[] = {
        {"Stop: its write fails", [](MainState& m) { HostStop(m); },
         {"SioPutChars failed\n@: the device is gone (unplugged?)", "Stepwright not responding"},
         {"Stop/port-lost/the device is gone, 1 byte(s) not sent"}},
        {"the poll tick: its queue query finds it, then the poll's write fails", PollTimerTimer,
         {"SioPutChars failed\n@: the device is gone (unplugged?)", "Stepwright not responding"},
         {"Port/port-lost/the device is gone", "Poll/port-lost/the device is gone, 1 byte(s) not sent"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PtyPeer far;
        ASSERT_TRUE(far.ok());
        ui.messages.clear();
        s = std::make_unique<MainState>(ui);
        LinkLog log;
        s->linkLog = &log;
        s->portDevice[0] = far.slavePath();
        s->port = SioOpen(*s, "COM1:", 19200);
        ASSERT_NE(s->port, nullptr);
        s->com.openItem = 0;
        s->online = true;
        s->pollTimerOn = true;
        s->status.statusB = 1;
        s->form.RunLEDShape.color = kGreen;
        s->lineCount = 1;
        s->programFile.path = "/p/demo.stw";
        s->form.SaveLabel.color = kGreen;
        SetMasterVerdict(*s, MasterVerdict::Same);
        EXPECT_EQ(StatusLineText(*s), "COM1 on line | running | demo.stw | Master holds this program");

        far.hangUp();
        c.act(*s);
        std::vector<std::string> boxes = c.boxes;
        for (std::string& b : boxes)
            if (size_t at = b.find('@'); at != std::string::npos) b.replace(at, 1, "COM1");
        EXPECT_EQ(ui.messages, boxes);
        EXPECT_TRUE(s->portLoss.gone);
        EXPECT_EQ(s->port->problem().fault, PortFault::Gone);
        EXPECT_EQ(s->form.RunLEDShape.color, kRed);
        EXPECT_FALSE(s->form.StopButton.enabled);
        EXPECT_EQ(StatusLineText(*s), "COM1: the device is gone (unplugged?) | stopped | demo.stw");
        EXPECT_EQ(DecodedRows(log), c.rows);
        // The timer goes on: it watches for the device's return.
        EXPECT_TRUE(s->pollTimerOn);
    }
}

// Off line the loss is found by the tick's queue query and said only by the
// status line; a read that finds it while on line says it under "Stepwright
// not responding".
TEST(PortLoss, TheFirstBoxAfterTheLossSaysIt) {
    TestPlatform ui;
    MainState s(ui);
    auto* port = new FakeSerial;
    s.port.reset(port);
    s.com.openItem = 2;
    s.online = true;
    port->problemNow = {PortFault::Gone, EIO};
    uint8_t b;
    EXPECT_EQ(SioGetChars(s, &b, 1), 0);
    NotResponding(s);
    NotResponding(s);  // off line now: silent
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Stepwright not responding\nCOM3: the device is gone (unplugged?)"});
    // Any other failure is told with its reason every time.
    port->problemNow = {PortFault::Failed, EACCES};
    port->failQuery = true;
    EXPECT_EQ(SioTest(s), 0);
    EXPECT_EQ(ui.messages.back(), "SioTest failed\nCOM3: Permission denied");
}

// The port's path is a link that the test removes (the device unplugged) and
// makes again to another pseudo-terminal (plugged in again).  The status line
// offers the reconnect; a click, or the tick when "Reconnect automatically" is
// ticked, opens the device and probes the master with a poll alone: nothing
// is run, stopped or downloaded.  An idle master is detected on the next
// tick; a running one is taken on line as it runs.
TEST(PortLoss, ThePortReconnectsWhenItsDeviceComesBack) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("stepwright-portlost-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string link = (dir / "ttyUSB0").string();
    const struct Case {
        bool automatic;
        bool running;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.automatic ? "automatic" : "click") + (c.running ? ", running" : ", idle"));
        TestPlatform ui;
        MainState s(ui);
        PtyPeer first;
        ASSERT_TRUE(first.ok());
        fs::remove(link);
        fs::create_symlink(first.slavePath(), link);
        s.portDevice[0] = link;
        s.com.choice = 0;
        s.com.reconnectAutomatically = c.automatic;
        SetButtonClick(s);  // nobody answers the probe: off line, polling
        ASSERT_NE(s.port, nullptr);
        EXPECT_EQ(StatusLineText(s).substr(0, 13), "COM1 off line");

        first.hangUp();
        fs::remove(link);
        PollTimerTimer(s);
        EXPECT_TRUE(s.portLoss.gone);
        EXPECT_EQ(StatusLineText(s).substr(0, 38), "COM1: the device is gone (unplugged?) ");
        PollTimerTimer(s);  // the path is missing: still gone
        StatusLineClick(s);  // nothing to reconnect yet
        EXPECT_TRUE(s.portLoss.gone);

        PtyPeer second;
        ASSERT_TRUE(second.ok());
        fs::create_symlink(second.slavePath(), link);
        // The master's answer to the poll waits in the line.
        ASSERT_TRUE(second.send({'o', 'k', 0x55, 3, 0, uint8_t(c.running ? 1 : 0), 0x10, 0}));
        PollTimerTimer(s);
        if (!c.automatic) {
            EXPECT_TRUE(s.portLoss.back);
            EXPECT_EQ(StatusLineText(s).substr(0, 45), "COM1: the device is back - click to reconnect");
            EXPECT_TRUE(second.receive(1, 150).empty());  // nothing sent before the click
            StatusLineClick(s);
        }
        EXPECT_FALSE(s.portLoss.gone);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(second.receive(16, 300), std::vector<uint8_t>{0x8E});
        EXPECT_EQ(s.online, c.running);
        EXPECT_EQ(s.forceDetection, !c.running);
        EXPECT_TRUE(s.pollTimerOn);
        EXPECT_EQ(s.form.RunLEDShape.color, c.running ? kGreen : kRed);
        EXPECT_EQ(StatusLineText(s).substr(0, 17), c.running ? "COM1 on line | ru" : "COM1 off line | s");
        SioClose(s);
    }
    fs::remove_all(dir);
}

// A reconnect the device refuses keeps the lost port: a click says why, the
// automatic one tries again on the next tick.
TEST(PortLoss, AReconnectThatCannotOpenKeepsTheLostPort) {
    TestPlatform ui;
    MainState s(ui);
    auto* port = new FakeSerial;
    s.port.reset(port);
    s.com.openItem = 0;
    s.openDevice = "/dev/null";  // there, but no serial device
    port->problemNow = {PortFault::Gone, EIO};
    EXPECT_EQ(SioTest(s), 0);
    ASSERT_TRUE(s.portLoss.gone);
    EXPECT_TRUE(SioWatchLostPort(s));  // another file than the one opened
    s.com.reconnectAutomatically = true;
    WatchLostPort(s);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(s.port.get(), port);
    StatusLineClick(s);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("COM1: cannot reconnect: /dev/null: not a serial device", 0), 0u) << ui.messages[0];
    EXPECT_EQ(s.port.get(), port);
    EXPECT_TRUE(s.portLoss.gone);
}

// --- port names ------------------------------------------------------------------

TEST(PortMap, SerialDevicesAreOrderedUsbFirstThenByNumber) {
    std::vector<std::string> names = {
        "ttyS10", "ttyS2", "console", "ttyACM1", "ttyUSB10", "ttyS0", "tty0", "ttyS",
        "ttyUSBx", "ttyACM0", "ttyUSB2", "ttyS99999999999999999999999", "null", "ttyUSB0", "ttys1",
    };
    EXPECT_EQ(OrderPortDevices(names), (std::vector<std::string>{
                                           "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                           "/dev/ttyACM0", "/dev/ttyACM1",
                                           "/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10",
                                           "/dev/ttyS99999999999999999999999",
                                       }));
    EXPECT_TRUE(OrderPortDevices({}).empty());
    EXPECT_TRUE(OrderPortDevices({"tty1", "ptmx"}).empty());
}

TEST(PortMap, TheDefaultMapFillsFromTheFrontWithDevicesThatExist) {
    std::string device[6] = {"x", "x", "x", "x", "x", "x"};
    DefaultPortMap(device);
    bool ended = false;
    for (const std::string& d : device) {
        if (d.empty()) {
            ended = true;
            continue;
        }
        EXPECT_FALSE(ended) << "gap before " << d;
        EXPECT_EQ(d.compare(0, 8, "/dev/tty"), 0) << d;
        EXPECT_EQ(access(d.c_str(), F_OK), 0) << d;
    }
}

TEST(PortOption, MapsOneComItemToADevicePath) {
    const struct {
        const char* arg;
        int index;  // -1: refused
        const char* device;
    } cases[] = {
        {"COM2=/dev/ttyUSB1", 1, "/dev/ttyUSB1"},
        {"COM1=/dev/pts/7", 0, "/dev/pts/7"},
        {"com6:=/dev/ttyS0", 5, "/dev/ttyS0"},
        {"COM3=/dev/a=b", 2, "/dev/a=b"},
        {"COM7=/dev/ttyUSB1", -1, ""},
        {"COM0=/dev/ttyUSB1", -1, ""},
        {"COM12=/dev/ttyUSB1", -1, ""},
        {"COM2", -1, ""},
        {"COM2=", -1, ""},
        {"COM2=ttyUSB1", -1, ""},
        {"=/dev/ttyUSB1", -1, ""},
        {"LPT1=/dev/lp0", -1, ""},
        {"", -1, ""},
    };
    for (const auto& c : cases) {
        std::string device[6] = {"a", "b", "c", "d", "e", "f"};
        const std::string before[6] = {"a", "b", "c", "d", "e", "f"};
        std::string error;
        bool ok = ParsePortOption(c.arg, device, error);
        EXPECT_EQ(ok, c.index >= 0) << c.arg;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(device[i], i == c.index ? std::string(c.device) : before[i]) << c.arg << " item " << i;
        EXPECT_EQ(error.empty(), ok) << c.arg << ": " << error;
    }

    std::string device[6];
    std::string error;
    EXPECT_FALSE(ParsePortOption("COM1=/" + std::string(5000, 'a'), device, error));
    EXPECT_TRUE(device[0].empty());
    EXPECT_NE(error.find("too long"), std::string::npos);
}

}  // namespace
