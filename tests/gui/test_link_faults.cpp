// The link under faults, through the windows against a scripted master on a
// pseudo-terminal: a silent master is reported once on every path, no byte
// goes out while a message box is open, a port that fails to open gives its
// one message, the terminal shows exactly its lines, and Help opens the guide.
#include <poll.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <atomic>
#include <fstream>
#include <mutex>
#include <thread>

#include "GuiTest.h"
#include "PtyPeer.h"
#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/gui/Latin1.h"
#include "app/gui/SecondaryForms.h"
#include "link/ComSettings.h"
#include "link/Download.h"
#include "link/Execution.h"
#include "link/Sio.h"
#include "link/Terminal.h"
#include "modules/StatusWindows.h"
#include "program/LineStore.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

// A ScriptedMaster on the far end of a pseudo-terminal: a thread hands it
// every byte the port writes and sends back what it answers.
class PtyMaster {
public:
    PtyMaster() : thread_([this] { run(); }) {}
    ~PtyMaster() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return peer_.slavePath(); }
    bool ok() const { return peer_.ok(); }
    template <class F>
    auto with(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(master_);
    }
    Bytes received() {
        return with([](ScriptedMaster& m) { return m.sent(); });
    }

private:
    void run() {
        uint8_t buf[256];
        while (!stop_) {
            struct pollfd p = {peer_.masterFd(), POLLIN, 0};
            if (poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN)) continue;
            const ssize_t n = ::read(peer_.masterFd(), buf, sizeof buf);
            if (n <= 0) continue;
            Bytes out;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (ssize_t i = 0; i < n; ++i) master_.port->write(&buf[i], 1);
                out.assign(master_.port->rx.begin(), master_.port->rx.end());
                master_.port->rx.clear();
            }
            if (!out.empty()) peer_.send(out);
        }
    }

    PtyPeer peer_;
    TestPlatform hostUi_;
    std::unique_ptr<MainState> host_ = std::make_unique<MainState>(hostUi_);
    ScriptedMaster master_{*host_};
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The windows on line with a master on a pseudo-terminal; every box stays
// open for longer than a poll interval, counting the bytes sent meanwhile.
struct Link {
    PtyMaster peer;
    Gui g;
    std::vector<size_t> atOpen;   // bytes received when each open box opened
    size_t sentWhileOpen = 0;

    Link() {
        g.start();
        g.s.com.device[0] = peer.path();
        g.ui.boxOpenMs = 400;
        g.ui.onBoxOpen = [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            atOpen.push_back(peer.received().size());
        };
        g.ui.onBoxClose = [this] {
            sentWhileOpen += peer.received().size() - atOpen.back();
            atOpen.pop_back();
        };
        // On line with a one-line program loaded, the poll running.
        g.main.run([this](MainState& s) {
            s.port = SioOpen(s, peer.path(), 19200);
            s.online = true;
            s.form.ProgExeGroup.enabled = true;
            s.form.CommentEdit.text = "; x";
            CommentButtonClick(s);
            s.pollTimerOn = true;
        });
    }
    // Lets the event loop run (the poll ticks) for ms.
    void idle(int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

using Handler = void (*)(MainState&);

// Each path shows "Stepwright not responding" once, sends only its own first
// byte and nothing while the box is up; afterwards the poll is off line.
TEST(LinkFaults, SilentMasterIsReportedOnceOnEveryPath) {
    const struct Case {
        const char* name;
        Handler handler;
        uint8_t firstByte;
    } cases[] = {
        {"Stop", StopButtonClick, 0x80},
        {"Run", RunButtonClick, 0x81},
        {"Load", DownloadButtonClick, 0x83},
        {"status double-click", ModuleListBoxDblClick, 0x87},
        {"Set on the same port", SetButtonClick, 0x80},
    };
    for (const Case& c : cases) {
        Link link;
        ASSERT_TRUE(link.peer.ok());
        link.peer.with([](ScriptedMaster& m) { m.silent = true; });
        link.g.main.run(c.handler);
        EXPECT_EQ(link.g.ui.boxes, Texts{"Stepwright not responding"}) << c.name;
        EXPECT_EQ(link.peer.received(), Bytes{c.firstByte}) << c.name;
        EXPECT_EQ(link.sentWhileOpen, 0u) << c.name;
        EXPECT_FALSE(link.g.s.online) << c.name;
        // Off line the poll only watches for "#": no poll byte, no second box.
        link.idle(600);
        EXPECT_EQ(link.g.ui.boxes.size(), 1u) << c.name;
        EXPECT_EQ(link.peer.received().size(), 1u) << c.name;
        EXPECT_TRUE(link.g.main.pollTimerObject()->isActive()) << c.name;
    }
}

// "Download complete" is up before the loaded state is set: no poll then.
TEST(LinkFaults, NoPollWhileDownloadCompleteIsOpen) {
    Link link;
    ASSERT_TRUE(link.peer.ok());
    link.g.main.run(DownloadButtonClick);
    EXPECT_EQ(link.g.ui.boxes, Texts{"Download complete"});
    EXPECT_EQ(link.sentWhileOpen, 0u);
    EXPECT_EQ(link.peer.with([](ScriptedMaster& m) { return m.commands(); }), Bytes{0x83});
    // Then the poll goes on.
    link.idle(600);
    EXPECT_EQ(link.peer.with([](ScriptedMaster& m) { return m.commands().back(); }), 0x8E);
    EXPECT_EQ(link.g.ui.boxes.size(), 1u);
}

// A port that fails to open: its message, then the close query, and no poll
// against the closed port whichever way the query is answered.
TEST(LinkFaults, PortThatFailsToOpenGivesOneMessage) {
    const struct Case {
        bool unsaved;
        Answer answer;
        Texts boxes;
        bool closed;
    } cases[] = {
        {true, Answer::Cancel, {"COM2: failed to open", "Program not saved - save before exiting?"}, false},
        {false, Answer::Ok, {"COM2: failed to open"}, true},
    };
    for (const Case& c : cases) {
        Link link;
        ASSERT_TRUE(link.peer.ok());
        if (!c.unsaved) link.g.s.form.SaveLabel.color = kGreen;
        link.g.ui.answers.push_back(c.answer);
        link.g.s.com.device[1].clear();
        link.g.s.com.choice = 1;
        link.g.main.run(SetButtonClick);
        EXPECT_EQ(link.g.ui.boxes, c.boxes);
        EXPECT_EQ(link.g.main.closed(), c.closed);
        link.idle(600);
        EXPECT_EQ(link.g.ui.boxes, c.boxes);
        EXPECT_TRUE(link.peer.received().empty());
        EXPECT_FALSE(link.g.main.pollTimerObject()->isActive());
    }
}

// The text box shows exactly the terminal's lines, each cut into rows of the
// window's row length, after every change drawn on its own.
TEST(LinkFaults, TerminalShowsExactlyItsLines) {
    Gui g;
    auto& form = g.windows->terminal();
    auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("TerminalMemo"));
    ASSERT_NE(memo, nullptr);
    const int row = form.rowLength();
    auto expected = [&] {
        QStringList rows;
        for (const std::string& line : g.s.terminal.lines) {
            const QString text = toQ(line);
            qsizetype at = 0;
            do {
                rows << text.mid(at, row);
                at += row;
            } while (at < text.size());
        }
        return rows.join(QLatin1Char('\n'));
    };
    const std::string longLine(40000, 'x');
    const std::vector<std::string> steps = {
        "", "Hi\r\nOK", std::string(3 * size_t(row) + 5, 'a'), "b",
        "\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11", "\n12", longLine, "yz", longLine + "\nnext", "\n" + longLine,
        std::string(20, '\n'), "\xE9\x01 end",
    };
    g.w<QPushButton>("ShowTermButton")->click();
    for (size_t i = 0; i < steps.size(); ++i) {
        g.main.run([&](MainState& s) {
            for (char c : steps[i]) AppendTerminalChar(s, uint8_t(c));
        });
        EXPECT_EQ(memo->toPlainText(), expected()) << "step " << i;
        EXPECT_LE(g.s.terminal.lines.size(), 12u);
    }
    // The rows fill the window's width without wrapping again.
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
        ASSERT_LE(b.layout()->lineCount(), 1) << b.blockNumber();
    g.main.run(ClearTermButtonClick);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral(">"));
}

}  // namespace

STEPWRIGHT_GUI_TEST_MAIN()
