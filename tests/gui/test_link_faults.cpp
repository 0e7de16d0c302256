// The link under faults, through the windows against a scripted master on a
// pseudo-terminal: a silent master is reported once on every path, no byte
// goes out while a message box is open, a port that fails to open gives its
// one message, and the terminal shows exactly its lines.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <filesystem>
#include <mutex>
#include <thread>

#include "GuiTest.h"
#include "ScriptedMaster.h"
#include "TestPlatform.h"
#include "app/ComSettings.h"
#include "app/DownloadButtons.h"
#include "app/Execution.h"
#include "app/Terminal.h"
#include "app/gui/Latin1.h"
#include "app/gui/LinkLogForm.h"
#include "app/gui/SecondaryForms.h"
#include "app/MasterProgram.h"
#include "link/LinkLog.h"
#include "bench/BenchPeer.h"
#include "link/Sio.h"
#include "app/Editing.h"
#include "app/StatusForms.h"
#include "modules/StatusWindows.h"
#include "program/LineStore.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

// A ScriptedMaster on the far end of a pseudo-terminal: every byte the port
// writes goes to it, and what it answers goes back at once.
class PtyMaster {
public:
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
    void answer(uint8_t b) {
        std::lock_guard<std::mutex> lock(mutex_);
        master_.port->write(&b, 1);
        if (master_.port->rx.empty()) return;
        peer_.send(Bytes(master_.port->rx.begin(), master_.port->rx.end()));
        master_.port->rx.clear();
    }

    PtyPeer peer_;
    TestPlatform hostUi_;
    std::unique_ptr<MainState> host_ = std::make_unique<MainState>(hostUi_);
    ScriptedMaster master_{*host_};
    std::mutex mutex_;
    PeerThread thread_{peer_, [this](uint8_t b) { answer(b); }};
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
        g.s.portDevice[0] = peer.path();
        g.ui.boxOpenMs = 400;
        g.ui.onBoxOpen = [this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            atOpen.push_back(peer.received().size());
        };
        g.ui.onBoxClose = [this] {
            sentWhileOpen += peer.received().size() - atOpen.back();
            atOpen.pop_back();
        };
        // On line with a one-line program, the poll running.
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

// Each path shows its one message and sends only its own first byte, nothing
// while the box is up: a silent master is reported once, and "Download
// complete" is up before the loaded state is set.  Afterwards the poll goes
// on: off line it only watches for "#".
TEST(LinkFaults, OneMessageAndNoByteWhileABoxIsOpen) {
    const struct Case {
        const char* name;
        Handler handler;
        bool silent;
        uint8_t firstByte;
        const char* box;
    } cases[] = {
        {"Stop", StopButtonClick, true, 0x80, "Stepwright not responding"},
        {"Run", RunButtonClick, true, 0x81, "Stepwright not responding"},
        {"Load", DownloadButtonClick, true, 0x83, "Stepwright not responding"},
        {"status double-click", ModuleListBoxDblClick, true, 0x87, "Stepwright not responding"},
        {"Set on the same port", SetButtonClick, true, 0x80, "Stepwright not responding"},
        {"Load answered", DownloadButtonClick, false, 0x83, "Download complete"},
    };
    for (const Case& c : cases) {
        Link link;
        ASSERT_TRUE(link.peer.ok());
        link.peer.with([&](ScriptedMaster& m) { m.silent = c.silent; });
        link.g.main.run(c.handler);
        EXPECT_EQ(link.g.ui.boxes, Texts{c.box}) << c.name;
        EXPECT_EQ(link.peer.with([](ScriptedMaster& m) { return m.commands(); }), Bytes{c.firstByte}) << c.name;
        EXPECT_EQ(link.sentWhileOpen, 0u) << c.name;
        EXPECT_EQ(link.g.s.online, !c.silent) << c.name;
        link.idle(600);
        EXPECT_EQ(link.g.ui.boxes.size(), 1u) << c.name;
        EXPECT_EQ(link.peer.with([](ScriptedMaster& m) { return m.commands().back(); }), c.silent ? c.firstByte : 0x8E)
            << c.name;
        if (c.silent) {
            EXPECT_EQ(link.peer.received(), Bytes{c.firstByte}) << c.name;
        }
        EXPECT_TRUE(link.g.main.pollTimerObject()->isActive()) << c.name;
    }
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
        link.g.s.portDevice[1].clear();
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

// The device of the window's port vanishes while a program runs (the port is
// a link to a pseudo-terminal: the link goes, the far end hangs up).  The next
// tick sees it: the boxes say what happened, the light goes off, the status
// line no longer says "running" or "holds this program", and the Link Log
// shows the failed write.  The device comes back at the same path: the status
// line offers the reconnect, and a click on it opens the port and polls the
// master, sending nothing else.
TEST(LinkFaults, AVanishedPortIsSeenAtOnceAndReconnectsWithAClick) {
    namespace fs = std::filesystem;
    QTemporaryDir dir;
    const std::string link = dir.path().toStdString() + "/ttyUSB0";
    PtyPeer first;
    ASSERT_TRUE(first.ok());
    fs::create_symlink(first.slavePath(), link);
    Gui g;
    g.start();
    g.s.portDevice[0] = link;
    g.s.com.choice = 0;
    g.main.run(SetButtonClick);  // nobody answers the probe
    auto* line = g.w<QLabel>("StatusLine");
    auto* led = g.w<LedShape>("RunLEDShape");
    g.main.run([](MainState& s) {
        s.online = true;
        s.status.statusB = 1;
        s.form.RunLEDShape.color = kGreen;
        s.form.CommentEdit.text = "; x";
        CommentButtonClick(s);
        s.programFile.path = "/p/demo.stw";
        s.form.SaveLabel.color = kGreen;
        SetMasterVerdict(s, MasterVerdict::Same);
    });
    EXPECT_EQ(line->text(), QStringLiteral("COM1 on line | running | demo.stw | Master holds this program"));
    EXPECT_EQ(led->color(), QColor(0, 255, 0));
    g.ui.boxes.clear();

    first.hangUp();
    fs::remove(link);
    QEventLoop loop;
    QTimer::singleShot(600, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(g.ui.boxes, (Texts{"SioPutChars failed\nCOM1: the device is gone (unplugged?)",
                                 "Stepwright not responding"}));
    EXPECT_EQ(line->text(), QStringLiteral("COM1: the device is gone (unplugged?) | stopped | demo.stw"));
    EXPECT_EQ(led->color(), QColor(255, 0, 0));
    EXPECT_FALSE(g.w<QPushButton>("StopButton")->isEnabled());
    pressKey(g.w("ProgramListBox"), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    TLinkLogForm* log = g.main.linkLogWindow();
    ASSERT_NE(log, nullptr);
    bool lostPoll = false;
    for (int i = 0; i < log->rowCount(); ++i)
        lostPoll = lostPoll || (std::string(log->exchangeAt(i).command) == "Poll" &&
                                log->exchangeAt(i).verdict == LinkVerdict::PortLost);
    EXPECT_TRUE(lostPoll);
    EXPECT_TRUE(g.main.pollTimerObject()->isActive());

    // Plugged in again: the master answers the poll, its program still running.
    PtyPeer second;
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(second.send({0x55, 0, 0, 1, 2, 0}));
    fs::create_symlink(second.slavePath(), link);
    QTimer::singleShot(400, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(line->text(), QStringLiteral("COM1: the device is back - click to reconnect | stopped | demo.stw"));
    EXPECT_TRUE(second.receive(1, 50).empty());
    const QPoint at = line->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), line->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(line, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), line->mapToGlobal(QPointF(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(line, &release);
    EXPECT_EQ(second.receive(16, 200), Bytes{0x8E});
    EXPECT_EQ(g.ui.boxes.size(), 2u);
    EXPECT_TRUE(line->text().startsWith(QStringLiteral("COM1 on line | running | demo.stw")));
    EXPECT_EQ(led->color(), QColor(0, 255, 0));
    EXPECT_TRUE(g.w<QPushButton>("StopButton")->isEnabled());
    g.main.run([](MainState& s) { SioClose(s); });
}

// "Reconnect automatically" in the Communications dialog: off at start, and
// the user's click is what the reconnect follows.
TEST(LinkFaults, TheComDialogsReconnectBoxIsOffAtStart) {
    Gui g;
    g.start();
    auto* box = g.windows->com().findChild<QCheckBox*>(QStringLiteral("ReconnectBox"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(g.s.com.reconnectAutomatically);
    const QPoint at(8, box->height() / 2);
    for (bool expected : {true, false}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), box->mapToGlobal(QPointF(at)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), box->mapToGlobal(QPointF(at)), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(box, &release);
        EXPECT_EQ(g.s.com.reconnectAutomatically, expected);
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
