#include "app/gui/SimulatorForm.h"

#ifdef STEPWRIGHT_HAVE_SIM

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "sim/SimMaster.h"
#include "sim/Switches.h"

namespace {

constexpr int kRefreshMs = 100;

std::vector<sim::PanelModule> ReadPanel(SimMaster& sim) {
    std::vector<sim::PanelModule> panel;
    sim.withCore([&panel](sim::SimCore& core) { panel = sim::ReadPanel(core); });
    return panel;
}

void DrawLamp(QLabel* lamp, const sim::PanelLamp& state) {
    // Lit green while the output drives high, dark while low; a pin the
    // program has not made an output shows no lamp colour at all.
    const char* style = !state.output ? "background: palette(window); color: gray; border: 1px solid lightgray;"
                        : state.on    ? "background: #00E000; color: black; border: 1px solid #006000;"
                                      : "background: #204020; color: white; border: 1px solid #006000;";
    lamp->setStyleSheet(QLatin1String(style));
    lamp->setToolTip(!state.output ? QStringLiteral("Bit %1 is an input").arg(QLatin1String(state.caption.c_str()))
                                   : QStringLiteral("Output %1: %2")
                                         .arg(QLatin1String(state.caption.c_str()),
                                              state.on ? QStringLiteral("high") : QStringLiteral("low")));
}

}  // namespace

TSimulatorForm::TSimulatorForm(QWidget* parent, SimMaster& sim) : QWidget(parent, Qt::Window), sim_(sim) {
    setObjectName(QStringLiteral("SimulatorForm"));
    setWindowTitle(QStringLiteral("Simulator"));

    auto* body = new QWidget;
    body->setObjectName(QStringLiteral("SimModules"));
    auto* column = new QVBoxLayout(body);
    const std::vector<sim::PanelModule> panel = ReadPanel(sim_);
    for (const sim::PanelModule& m : panel) {
        ModuleWidgets w;
        w.address = m.address;
        auto* group = new QGroupBox(QString::fromLatin1(m.title.c_str()), body);
        group->setObjectName(QStringLiteral("SimModule%1").arg(m.address));
        auto* grid = new QGridLayout(group);
        int row = 0;
        if (m.moves) {
            w.position = new QLabel(group);
            w.position->setObjectName(QStringLiteral("SimPosition%1").arg(m.address));
            grid->addWidget(w.position, row++, 0, 1, -1);
        }
        if (!m.switches.empty()) {
            auto* caption = new QLabel(QStringLiteral("Inputs:"), group);
            caption->setObjectName(QStringLiteral("SimInputsLabel%1").arg(m.address));
            grid->addWidget(caption, row, 0);
            int col = 1;
            for (const sim::PanelSwitch& s : m.switches) {
                auto* box = new QCheckBox(QString::fromLatin1(s.caption.c_str()), group);
                box->setObjectName(
                    QStringLiteral("SimSwitch%1_%2").arg(m.address).arg(QLatin1String(s.name.c_str())));
                box->setToolTip(QStringLiteral("Hold this input high"));
                const int address = m.address;
                const uint16_t mask = s.mask;
                connect(box, &QCheckBox::clicked, this, [this, address, mask](bool on) { setSwitch(address, mask, on); });
                grid->addWidget(box, row, col++);
                w.switches.push_back(box);
            }
            ++row;
        }
        if (!m.lamps.empty()) {
            auto* caption = new QLabel(QStringLiteral("Outputs:"), group);
            caption->setObjectName(QStringLiteral("SimOutputsLabel%1").arg(m.address));
            grid->addWidget(caption, row, 0);
            int col = 1;
            for (const sim::PanelLamp& l : m.lamps) {
                auto* lamp = new QLabel(QString::fromLatin1(l.caption.c_str()), group);
                lamp->setObjectName(
                    QStringLiteral("SimLamp%1_%2").arg(m.address).arg(QLatin1String(l.caption.c_str())));
                lamp->setAlignment(Qt::AlignCenter);
                lamp->setMinimumSize(24, 20);
                grid->addWidget(lamp, row, col++);
                w.lamps.push_back(lamp);
            }
            ++row;
        }
        if (row == 0) {
            auto* none = new QLabel(QStringLiteral("No inputs or outputs"), group);
            none->setObjectName(QStringLiteral("SimNothing%1").arg(m.address));
            grid->addWidget(none, 0, 0);
        }
        grid->setColumnStretch(grid->columnCount(), 1);
        column->addWidget(group);
        modules_.push_back(w);
    }
    if (panel.empty()) {
        auto* none = new QLabel(QStringLiteral("No modules on the simulated network"), body);
        none->setObjectName(QStringLiteral("SimNoModules"));
        column->addWidget(none);
    }
    column->addStretch();

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("SimScroll"));
    scroll->setWidgetResizable(true);
    scroll->setWidget(body);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(scroll);
    resize(560, std::min(600, 80 + 110 * int(panel.size())));

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("SimRefreshTimer"));
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (isVisible()) refresh();
    });
    timer_->start();
    refresh();
}

void TSimulatorForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void TSimulatorForm::setSwitch(int address, uint16_t mask, bool on) {
    sim_.withCore([&](sim::SimCore& core) { sim::SetInput(core, address, mask, on); });
    refresh();
}

void TSimulatorForm::refresh() {
    const std::vector<sim::PanelModule> panel = ReadPanel(sim_);
    for (ModuleWidgets& w : modules_) {
        if (w.address < 1 || size_t(w.address) > panel.size()) continue;
        const sim::PanelModule& m = panel[size_t(w.address - 1)];
        if (w.position) w.position->setText(QStringLiteral("Position: %1").arg(m.position));
        for (size_t i = 0; i < w.switches.size() && i < m.switches.size(); ++i) {
            // The switch shows what the module holds, without acting again.
            const QSignalBlocker quiet(w.switches[i]);
            w.switches[i]->setChecked(m.switches[i].on);
        }
        for (size_t i = 0; i < w.lamps.size() && i < m.lamps.size(); ++i) DrawLamp(w.lamps[i], m.lamps[i]);
    }
}

#else

TSimulatorForm::TSimulatorForm(QWidget* parent, SimMaster& sim) : QWidget(parent, Qt::Window), sim_(sim) {}
void TSimulatorForm::refresh() {}
void TSimulatorForm::setSwitch(int, uint16_t, bool) {}
void TSimulatorForm::showEvent(QShowEvent* event) { QWidget::showEvent(event); }

#endif
