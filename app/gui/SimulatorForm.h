#pragma once
// The Simulator window, shown when the application runs on its built-in
// simulated master: per module a switch for every input held from outside
// (the I/O module's pins; the stepper's E-Stop, Input 1 and 2, limit and home
// switches), a lamp for every I/O output, and each motor's position.  A
// switch takes effect at once in the running program; lamps and positions
// follow the master ten times a second.  The master runs on a thread of its
// own: every look and every change goes through SimMaster::withCore, which
// holds that thread off meanwhile.

#include <QWidget>
#include <cstdint>
#include <vector>

class QCheckBox;
class QLabel;
class QTimer;
class SimMaster;

class TSimulatorForm : public QWidget {
public:
    TSimulatorForm(QWidget* parent, SimMaster& sim);

    // Reads the master and draws switches, lamps and positions (its timer
    // calls it while the window is shown).
    void refresh();
    // Holds an input high or low, as its switch does.
    void setSwitch(int address, uint16_t mask, bool on);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct ModuleWidgets {
        int address = 0;
        QLabel* position = nullptr;
        std::vector<QCheckBox*> switches;   // in the panel's order
        std::vector<QLabel*> lamps;
    };

    SimMaster& sim_;
    std::vector<ModuleWidgets> modules_;
    QTimer* timer_ = nullptr;
};
