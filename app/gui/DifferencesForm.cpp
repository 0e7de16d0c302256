// The differing lines of the last comparison with the master.

#include "app/gui/DifferencesForm.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/MainState.h"
#include "app/MasterProgram.h"
#include "app/Problems.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"

TDifferencesForm::TDifferencesForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("DifferencesForm"));
    setWindowTitle(QStringLiteral("Differences from the master"));
    resize(640, 260);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("DifferencesSummary"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("DifferencesList"));
    list_->setToolTip(QStringLiteral("Select a line to select it in the listing"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { selectRow(row); });
    // The rows hold for the program they were found for: an edit, another
    // program or a comparison that found no difference ends them.
    main.addSyncHook([this] {
        if (isVisible() && CurrentMasterVerdict(main_.state()) != MasterVerdict::Different) hide();
    });
}

void TDifferencesForm::fill() {
    const ProgramComparison& c = main_.state().masterComparison;
    list_->blockSignals(true);
    list_->clear();
    lines_.clear();
    // A line only the master holds stands at the program's next line.
    const int count = main_.state().lineCount;
    std::vector<int> next(c.lines.size() + 1, count);
    for (size_t k = c.lines.size(); k-- > 0;)
        next[k] = c.lines[k].kind != '+' ? c.lines[k].line : next[k + 1];
    for (size_t k = 0; k < c.lines.size(); ++k) {
        const DiffLine& l = c.lines[k];
        if (l.kind == ' ') continue;
        const bool mine = l.kind == '-';
        // A program line by its listing line; a master's line by where it stands.
        const std::string where = mine ? "- line " + std::to_string(l.line + 1)
                                  : next[k] < count ? "+ master, before line " + std::to_string(next[k] + 1)
                                                    : std::string("+ master, at the end");
        list_->addItem(toQ(where + ":  " + l.text));
        lines_.push_back(mine ? l.line : std::max(0, std::min(next[k], count - 1)));
    }
    list_->blockSignals(false);
    summary_->setText(toQ(std::to_string(c.differing) + " line(s) differ"));
}

void TDifferencesForm::selectRow(int row) {
    if (row < 0 || size_t(row) >= lines_.size()) return;
    const int line = lines_[size_t(row)];
    main_.run([line](MainState& s) { SelectProblemLine(s, line); });
}
