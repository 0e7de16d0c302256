// Writes the example programs of examples/ through the builder's own
// routines, as a user would enter them: modules added from the module list's
// menu, each command chosen in its command list, its fields filled in and
// Add pressed.  Any message the builder shows stops the run.  Every example is
// written against the simulated master's own network (servos at 1 and 2, an
// I/O module at 3, a stepper at 4), so that each one loads and runs there as
// shipped: a module list that differs from the detected one is refused at Run.
//   make_examples OUTPUT-DIRECTORY
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Lifecycle.h"
#include "app/MainState.h"
#include "app/QuietPlatform.h"
#include "app/Editing.h"
#include "app/Files.h"
#include "app/ModuleListBox.h"
#include "app/panels/Io.h"
#include "app/panels/Master.h"
#include "app/panels/Servo.h"
#include "app/panels/Stepper.h"
#include "modules/ModuleList.h"
#include "program/LineStore.h"
#include "program/ProgramFile.h"

namespace {

using Fields = std::vector<std::pair<const char*, const char*>>;

// The module list of every example, one letter a module from address 1 on
// (s servo, t stepper, i I/O): the simulated master's default network.
constexpr const char* kNetwork = "ssit";

// The comment line after each example's title: the modules it expects.
constexpr const char* kExpects = " Expects: 1 ZEL-SERVO, 2 ZEL-SERVO, 3 ZEL-I/O, 4 ZEL-STEP";

class Program {
public:
    explicit Program(const char* modules = kNetwork) : s_(std::make_unique<MainState>(ui_)) {
        StartTimerTimer(*s_);
        for (const char* m = modules; *m; ++m) {
            if (*m == 's') AddServoModule1Click(*s_);
            if (*m == 't') AddStepModule1Click(*s_);
            if (*m == 'i') AddIOModule1Click(*s_);
        }
    }

    Program& comment(const char* text) {
        // A longer comment would be cut to the line record without a word.
        if (std::string(text).size() >= size_t(kCommentChars)) fail(std::string("comment too long: ") + text);
        s_->form.CommentEdit.text = text;
        CommentButtonClick(*s_);
        return *this;
    }

    // One command for the module at address: the command chosen by name, then
    // the fields by object name (check boxes "1" or "0", choices by item text).
    Program& add(int address, const char* command, const Fields& fields = {}, const char* label = "") {
        SelectModule(*s_, address);
        Form& f = s_->form;
        Ctl* box = nullptr;
        void (*click)(MainState&) = nullptr;
        switch (s_->moduleTypes[address]) {
            case 127: box = &f.MasterCBox, click = MasterCBoxClick; break;
            case 0: box = &f.ServoCBox, click = ServoCBoxClick; break;
            case 3: box = &f.StepCBox, click = StepCBoxClick; break;
            default: box = &f.IoCBox, click = IoCBoxClick; break;
        }
        box->index = indexOf(*box, command);
        click(*s_);
        for (const auto& [name, value] : fields) {
            Ctl* c = f.find(name);
            if (!c) fail(std::string("no control ") + name);
            if (!c->items.empty()) c->index = indexOf(*c, value);
            else if (std::string(name).find("Edit") != std::string::npos) c->text = value;
            else c->checked = std::string(value) == "1";
        }
        f.LabelEdit.text = label;
        AddInstrButtonClick(*s_);
        if (!ui_.messages.empty()) fail(std::string(command) + ": " + ui_.messages.front());
        return *this;
    }

    // Writes the program file and, beside it, the same program as text.
    void save(const std::string& path) {
        const std::string text = path.substr(0, path.size() - 4) + ".sws";
        for (const std::string& p : {path, text}) {
            const std::string error = WriteProgramFile(*s_, p);
            if (!error.empty()) fail(error);
        }
    }

private:
    int indexOf(const Ctl& c, const std::string& item) {
        for (size_t i = 0; i < c.items.size(); ++i)
            if (c.items[i] == item) return int(i);
        fail("no item " + item);
        return -1;
    }
    [[noreturn]] static void fail(const std::string& why) {
        std::fprintf(stderr, "make_examples: %s\n", why.c_str());
        std::exit(1);
    }

    QuietPlatform ui_;
    std::unique_ptr<MainState> s_;
};

const Fields kCrLf = {{"MasterCheck1", "1"}, {"MasterCheck2", "1"}};

Fields Print(const char* text) {
    Fields f = kCrLf;
    f.push_back({"MasterEdit1", text});
    return f;
}

void Servo(const std::string& dir) {
    Program p;
    p.comment(" Servo moves and homing.")
        .comment(kExpects)
        .comment(" (the simulated master's network); moves servo 1.")
        .comment(" Homes on the encoder's index pulse, then moves out")
        .comment(" and back three times, printing each position.")
        .comment(" Ends with StopProgram after printing Done.")
        .add(1, "SetGain")
        .add(1, "StartHoming", {{"ServoCheck3", "1"}, {"ServoCheck7", "1"}, {"ServoRG", "Stop Abruptly"}})
        .comment(" Creep forward until the index pulse stops the motor")
        .add(1, "Move", {{"ServoEdit1", "10000"}, {"ServoEdit2", "2000"}, {"ServoEdit3", "50"}})
        .add(1, "WaitFor", {{"ServoEdit1", "1000"}, {"ServoEdit2", "NOHOME"}, {"ServoIfCBox", "Homing Done"}})
        .add(1, "ResetPosition", {{"ServoCheck7", "1"}})
        .add(0, "Print", Print("Homed"))
        .add(0, "SetCounter", {{"MasterEdit1", "1"}, {"MasterEdit2", "3"}})
        .add(1, "Move", {{"ServoEdit1", "4000"}, {"ServoEdit2", "5000"}, {"ServoEdit3", "100"}}, "LOOP")
        .add(1, "WaitFor", {{"ServoEdit1", "500"}, {"ServoEdit2", "STUCK"}, {"ServoIfCBox", "Move Done"}})
        .add(0, "Print", Print("At 4000"))
        .add(1, "Move", {{"ServoEdit1", "0"}, {"ServoEdit2", "5000"}, {"ServoEdit3", "100"}})
        .add(1, "WaitFor", {{"ServoEdit1", "500"}, {"ServoEdit2", "STUCK"}, {"ServoIfCBox", "Move Done"}})
        .add(0, "Print", Print("At 0"))
        .add(0, "CountDown", {{"MasterEdit1", "1"}, {"MasterEdit2", "LOOP"}})
        .add(1, "Stop", {{"ServoCheck7", "1"}, {"ServoRG", "Stop Smoothly"}})
        .add(0, "Print", Print("Done"))
        .add(0, "StopProgram")
        .add(0, "Print", Print("No home found"), "NOHOME")
        .add(0, "StopProgram")
        .add(0, "Print", Print("Move timed out"), "STUCK")
        .add(1, "Stop", {{"ServoRG", "Motor Off"}})
        .add(0, "StopProgram");
    p.save(dir + "/servo_moves.stw");
}

void Stepper(const std::string& dir) {
    Program p;
    p.comment(" Stepper moves, limits and the speed factor.")
        .comment(kExpects)
        .comment(" (the simulated master's network); moves stepper 4,")
        .comment(" with its limit 1 switch on the negative side.")
        .comment(" Moves to 5000 at 1x, runs backwards at 4x until limit 1")
        .comment(" stops it, zeroes the position there and moves off it.")
        .comment(" Ends with StopProgram after printing Done.")
        .add(4, "SetParam")
        .add(4, "Move", {{"StepEdit1", "5000"}, {"StepEdit2", "100"}, {"StepEdit3", "20"}})
        .add(4, "WaitFor", {{"StepEdit1", "1000"}, {"StepEdit2", "STUCK"}, {"StepIfCBox", "Not Moving"}})
        .add(0, "Print", Print("At 5000"))
        .comment(" Speed 4x: speeds and accelerations count four times")
        .add(4, "SetParam", {{"StepCheck2", "0"}, {"StepCheck5", "1"}})
        .add(4, "Move", {{"StepCheck1", "1"}, {"StepCheck2", "1"}, {"StepEdit2", "250"}, {"StepEdit3", "50"}})
        .add(4, "GetStatus", {}, "SEEK")
        .add(4, "If-GoTo", {{"StepEdit1", "ATLIMIT"}, {"StepIfCBox", "Limit1 HI"}})
        .add(0, "Delay", {{"MasterEdit1", "10"}})
        .add(0, "GoTo", {{"MasterEdit1", "SEEK"}})
        .add(0, "Print", Print("Limit 1"), "ATLIMIT")
        .add(4, "Stop", {{"StepCheck7", "1"}, {"StepRG", "Stop Abruptly"}})
        .add(4, "ResetPosition")
        .add(4, "SetParam")
        .add(4, "Move", {{"StepEdit1", "1000"}, {"StepEdit2", "100"}, {"StepEdit3", "20"}})
        .add(4, "WaitFor", {{"StepEdit1", "1000"}, {"StepEdit2", "STUCK"}, {"StepIfCBox", "Not Moving"}})
        .add(0, "Print", Print("Done"))
        .add(0, "StopProgram")
        .add(0, "Print", Print("Move timed out"), "STUCK")
        .add(4, "Stop", {{"StepRG", "Stop Abruptly"}})
        .add(0, "StopProgram");
    p.save(dir + "/stepper_limits.stw");
}

void Io(const std::string& dir) {
    Program p;
    p.comment(" I/O: waiting for an input and setting outputs.")
        .comment(kExpects)
        .comment(" (the simulated master's network); uses I/O module 3,")
        .comment(" with outputs on bits 1 to 4 and a push button on bit 5.")
        .comment(" Lights bit 1 while waiting for the button, then bit 2")
        .comment(" until it is released; PWM 1 at half. Ends with")
        .comment(" StopProgram, or after 30 s without a press, lamps off.")
        .add(3, "MakeOutputs", {{"IoCheck1", "1"}, {"IoCheck2", "1"}, {"IoCheck3", "1"}, {"IoCheck4", "1"}})
        .add(3, "SetOutputs", {{"IoRG", "Clear"}, {"IoCheck1", "1"}, {"IoCheck2", "1"}, {"IoCheck3", "1"},
                               {"IoCheck4", "1"}})
        .add(3, "SetOutputs", {{"IoRG", "Set"}, {"IoCheck1", "1"}})
        .add(0, "Print", Print("Press bit 5"))
        .add(3, "WaitFor", {{"IoCheck5", "1"}, {"IoRG", "Set"}, {"IoEdit1", "3000"}, {"IoEdit2", "NOPRESS"}})
        .add(3, "SetOutputs", {{"IoRG", "Clear"}, {"IoCheck1", "1"}})
        .add(3, "SetOutputs", {{"IoRG", "Set"}, {"IoCheck2", "1"}})
        .add(3, "SetPWMs", {{"IoEdit1", "128"}, {"IoEdit2", "0"}})
        .add(0, "Print", Print("Pressed"))
        .add(3, "WaitFor", {{"IoCheck5", "1"}, {"IoRG", "Clear"}, {"IoEdit1", "3000"}, {"IoEdit2", "NOPRESS"}})
        .add(0, "Print", Print("Released"))
        .add(3, "SetOutputs", {{"IoRG", "Clear"}, {"IoCheck1", "1"}, {"IoCheck2", "1"}}, "NOPRESS")
        .add(3, "SetPWMs", {{"IoEdit1", "0"}, {"IoEdit2", "0"}})
        .add(0, "StopProgram");
    p.save(dir + "/io_wait.stw");
}

void Subroutines(const std::string& dir) {
    Program p;
    p.comment(" Subroutines with Call/Return and counters with CountDown.")
        .comment(kExpects)
        .comment(" (the simulated master's network); uses the master alone.")
        .comment(" Calls PASS three times; the subroutine tells the last")
        .comment(" pass by counter 1. Ends with StopProgram after Done.")
        .add(0, "SetCounter", {{"MasterEdit1", "1"}, {"MasterEdit2", "3"}})
        .add(0, "Call", {{"MasterEdit1", "PASS"}}, "LOOP")
        .add(0, "CountDown", {{"MasterEdit1", "1"}, {"MasterEdit2", "LOOP"}})
        .add(0, "Print", Print("Done"))
        .add(0, "StopProgram")
        .comment(" Subroutine: prints one line a pass")
        .add(0, "If-GoTo", {{"MasterEdit1", "LAST"}, {"RadioGroup2", "Counter 1 ="}, {"MasterEdit4", "1"}}, "PASS")
        .add(0, "Print", Print("Pass"))
        .add(0, "Delay", {{"MasterEdit1", "50"}})
        .add(0, "Return")
        .add(0, "Print", Print("Last pass"), "LAST")
        .add(0, "Return");
    p.save(dir + "/subroutines.stw");
}

void Menu(const std::string& dir) {
    Program p;
    p.comment(" A key-driven menu: WaitFor on keys and Print.")
        .comment(kExpects)
        .comment(" (the simulated master's network); uses the master alone")
        .comment(" and keys typed in the Terminal.")
        .comment(" 1 prints Hello, 2 counts to three, q quits. Ends with")
        .comment(" StopProgram after q, or after 60 s without a key.")
        .add(0, "Print", Print("1 Hello"), "MENU")
        .add(0, "Print", Print("2 Count"))
        .add(0, "Print", Print("q Quit"))
        .add(0, "ClearKey")
        .add(0, "WaitFor", {{"MasterEdit1", "6000"}, {"MasterEdit2", "IDLE"}, {"RadioGroup1", "Any key"}})
        .add(0, "If-GoTo", {{"MasterEdit1", "HELLO"}, {"RadioGroup2", "Key = "}, {"MasterEdit3", "1"}})
        .add(0, "If-GoTo", {{"MasterEdit1", "COUNT"}, {"RadioGroup2", "Key = "}, {"MasterEdit3", "2"}})
        .add(0, "If-GoTo", {{"MasterEdit1", "QUIT"}, {"RadioGroup2", "Key = "}, {"MasterEdit3", "q"}})
        .add(0, "Print", Print("?"))
        .add(0, "GoTo", {{"MasterEdit1", "MENU"}})
        .add(0, "Print", Print("Hello"), "HELLO")
        .add(0, "GoTo", {{"MasterEdit1", "MENU"}})
        .add(0, "SetCounter", {{"MasterEdit1", "2"}, {"MasterEdit2", "3"}}, "COUNT")
        .add(0, "Print", Print("Tick"), "TICK")
        .add(0, "Delay", {{"MasterEdit1", "20"}})
        .add(0, "CountDown", {{"MasterEdit1", "2"}, {"MasterEdit2", "TICK"}})
        .add(0, "GoTo", {{"MasterEdit1", "MENU"}})
        .add(0, "Print", Print("No key"), "IDLE")
        .add(0, "Print", Print("Bye"), "QUIT")
        .add(0, "StopProgram");
    p.save(dir + "/key_menu.stw");
}

// The program the README and the guide start with; it runs until stopped.
void Demo(const std::string& dir) {
    Program p;
    p.comment(" Demo: servo 1 moves back and forth and reports where it is")
        .comment(kExpects)
        .comment(" (the simulated master's network). Runs until stopped.")
        .add(0, "Print", Print("Demo start"))
        .add(1, "Stop", {{"ServoRG", "Stop Abruptly"}, {"ServoCheck7", "1"}})
        .add(1, "Move", {{"ServoEdit1", "4000"}, {"ServoEdit2", "4000"}, {"ServoEdit3", "40"}}, "LOOP")
        .add(1, "WaitFor", {{"ServoIfCBox", "Move Done"}, {"ServoEdit1", "500"}, {"ServoEdit2", "TIMEOUT"}})
        .add(0, "Print", Print("At 4000"))
        .add(1, "Move", {{"ServoEdit1", "0"}, {"ServoEdit2", "4000"}, {"ServoEdit3", "40"}})
        .add(1, "WaitFor", {{"ServoIfCBox", "Move Done"}, {"ServoEdit1", "500"}, {"ServoEdit2", "TIMEOUT"}})
        .add(0, "Print", Print("At 0"))
        .add(0, "Delay", {{"MasterEdit1", "50"}})
        .add(0, "GoTo", {{"MasterEdit1", "LOOP"}})
        .comment(" The servo did not finish its move in 5 seconds")
        .add(0, "Print", Print("Timeout!"), "TIMEOUT")
        .add(0, "StopProgram");
    p.save(dir + "/demo.stw");
}

// One line of every command of every family, for the program text's guide
// and as a sample of every listing row.  ChangeBaud is left out: a program
// that holds it is downloaded but never run from the window.
void EveryCommand(const std::string& dir) {
    Program p;
    p.comment(" One line of every command of every family")
        .comment(kExpects)
        .comment(" (the simulated master's network). ChangeBaud is left")
        .comment(" out: a program holding it cannot be run from here.")
        .comment(" Master")
        .add(0, "Print", Print("Hello"), "START")
        .add(0, "SetTimer", {{"MasterEdit1", "1000"}})
        .add(0, "GetStatus")
        .add(0, "MonitorSub", {{"MasterEdit1", "WATCH"}})
        .add(0, "Delay", {{"MasterEdit1", "50"}})
        .add(0, "SetCounter", {{"MasterEdit1", "1"}, {"MasterEdit2", "3"}})
        .add(0, "SetCounter", {{"MasterEdit1", "2"}, {"MasterEdit2", "0"}})
        .add(0, "WaitFor", {{"RadioGroup1", "Key = "}, {"MasterEdit1", "500"}, {"MasterEdit2", "NOKEY"},
                            {"MasterEdit3", "k"}}, "KEY")
        .add(0, "ClearKey")
        .add(0, "If-GoTo", {{"RadioGroup2", "Any key"}, {"MasterEdit1", "KEY"}})
        .add(0, "If-GoTo", {{"RadioGroup2", "Timeout"}, {"MasterEdit1", "NOKEY"}})
        .add(0, "If-GoTo", {{"RadioGroup2", "Counter 2 ="}, {"MasterEdit1", "NOKEY"}, {"MasterEdit5", "7"}})
        .add(0, "If-GoTo", {{"RadioGroup2", "# Mod. = "}, {"MasterEdit1", "NOKEY"}, {"MasterEdit8", "3"}})
        .add(0, "If-GoTo", {{"RadioGroup2", "Key = "}, {"MasterEdit1", "QUIT"}, {"MasterEdit3", "q"}})
        .add(0, "Call", {{"MasterEdit1", "SERVO"}}, "AGAIN")
        .add(0, "CountDown", {{"MasterEdit1", "1"}, {"MasterEdit2", "AGAIN"}})
        .add(0, "GoTo", {{"MasterEdit1", "STEPPER"}})
        .add(0, "TavoInit", {}, "NOKEY")
        .add(0, "Reset")
        .add(0, "StopProgram", {}, "QUIT")
        .comment(" Servo module 1")
        .add(1, "Stop", {{"ServoRG", "Stop Abruptly"}, {"ServoCheck7", "1"}}, "SERVO")
        .add(1, "SetGain")
        .add(1, "ResetPosition", {{"ServoCheck7", "1"}})
        .add(1, "StartHoming", {{"ServoRG", "Stop Smoothly"}, {"ServoCheck1", "1"}, {"ServoCheck3", "1"},
                                {"ServoCheck7", "1"}})
        .add(1, "Move", {{"ServoEdit1", "4000"}, {"ServoEdit2", "4000"}, {"ServoEdit3", "40"}})
        .add(1, "Move", {{"ServoEdit1", "0"}, {"ServoEdit2", "2000"}, {"ServoEdit3", "40"}, {"ServoCheck2", "1"},
                         {"ServoCheck3", "1"}})
        .add(1, "Move", {{"ServoEdit1", "0"}, {"ServoEdit2", "0"}, {"ServoEdit3", "0"}, {"ServoEdit7", "128"},
                         {"ServoCheck1", "1"}})
        .add(1, "Move", {{"ServoEdit1", "-1000"}, {"ServoEdit2", "4000"}, {"ServoEdit3", "40"}, {"ServoCheck7", "1"}})
        .add(1, "WaitFor", {{"ServoIfCBox", "Move Done"}, {"ServoEdit1", "500"}, {"ServoEdit2", "QUIT"}})
        .add(1, "If-GoTo", {{"ServoIfCBox", "Limit1 HIGH"}, {"ServoEdit1", "QUIT"}})
        .add(1, "GetStatus")
        .add(1, "ClearStatBits")
        .add(0, "Return")
        .comment(" Stepper module 4")
        .add(4, "SetParam", {}, "STEPPER")
        .add(4, "SetOutputs")
        .add(4, "ResetPosition")
        .add(4, "StartHoming", {{"StepCheck1", "1"}, {"StepCheck2", "1"}, {"StepCheck7", "1"}})
        .add(4, "Move", {{"StepEdit1", "-500"}, {"StepEdit2", "100"}, {"StepEdit3", "20"}})
        .add(4, "Move", {{"StepEdit1", "0"}, {"StepEdit2", "100"}, {"StepEdit3", "20"}, {"StepCheck1", "1"},
                         {"StepCheck2", "1"}})
        .add(4, "WaitFor", {{"StepIfCBox", "Not Moving"}, {"StepEdit1", "300"}, {"StepEdit2", "QUIT"}})
        .add(4, "If-GoTo", {{"StepIfCBox", "E-Stop HI"}, {"StepEdit1", "QUIT"}})
        .add(4, "Stop", {{"StepRG", "Stop Smoothly"}, {"StepCheck7", "1"}})
        .add(4, "GetStatus")
        .comment(" I/O module 3")
        .add(3, "MakeOutputs", {{"IoCheck1", "1"}, {"IoCheck2", "1"}, {"IoCheck3", "1"}, {"IoCheck4", "1"}})
        .add(3, "SetOutputs", {{"IoCheck1", "1"}, {"IoCheck3", "1"}})
        .add(3, "SetOutputs", {{"IoRG", "Clear"}, {"IoCheck2", "1"}})
        .add(3, "SetPWMs", {{"IoEdit1", "128"}})
        .add(3, "GetStatus")
        .add(3, "WaitFor", {{"IoCheck9", "1"}, {"IoRG", "Set"}, {"IoEdit1", "100"}, {"IoEdit2", "QUIT"}})
        .add(3, "If-GoTo", {{"IoRG", "Clear"}, {"IoCheck10", "1"}, {"IoEdit1", "QUIT"}})
        .add(0, "GoTo", {{"MasterEdit1", "QUIT"}})
        .add(0, "Return", {}, "WATCH");
    p.save(dir + "/every-command.stw");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_examples OUTPUT-DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    Servo(dir);
    Stepper(dir);
    Io(dir);
    Subroutines(dir);
    Menu(dir);
    Demo(dir);
    EveryCommand(dir);
    return 0;
}
