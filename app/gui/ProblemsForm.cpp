// The Problems window and the listing's tool tips.

#include "app/gui/ProblemsForm.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/MainState.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "app/gui/Widgets.h"

TProblemsForm::TProblemsForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("ProblemsForm"));
    setWindowTitle(QStringLiteral("Problems"));
    resize(640, 260);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("ProblemsSummary"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("ProblemsList"));
    list_->setToolTip(QStringLiteral("Double-click a problem to select its line"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { selectRow(list_->row(item)); });
    main.addSyncHook([this] { sync(); });
    sync();
}

void TProblemsForm::sync() {
    if (main_.closed() || !cache_.update(main_.state())) return;
    const std::vector<check::Finding>& findings = cache_.findings();
    summary_->setText(toQ(ProblemsSummary(findings)));
    list_->clear();
    for (const check::Finding& f : findings) {
        auto* item = new QListWidgetItem(toQ(ProblemRow(f)), list_);
        // A suppressed finding stays in the list, greyed.
        if (f.suppressed()) {
            QColor grey = list_->palette().color(QPalette::Disabled, QPalette::Text);
            if (grey == list_->palette().color(QPalette::Active, QPalette::Text)) grey = QColor(Qt::gray);
            item->setForeground(grey);
        }
    }

    // The listing's items carry their line's findings.
    auto* listing = main_.findChild<QListWidget*>(QStringLiteral("ProgramListBox"));
    if (!listing) return;
    // Items move with inserted and removed lines: every old tip and mark goes.
    for (int i = 0; i < listing->count(); ++i) {
        QListWidgetItem* item = listing->item(i);
        if (!item->toolTip().isEmpty()) item->setToolTip(QString());
        if (item->data(kFindingRole).toInt() != 0) item->setData(kFindingRole, 0);
    }
    for (int line : cache_.linesWithFindings())
        if (QListWidgetItem* item = listing->item(line)) item->setToolTip(toQ(cache_.tipFor(line)));
    // The listing's margin shows each such line's worst finding by colour.
    for (const check::Finding& f : findings)
        if (QListWidgetItem* item = listing->item(f.line))
            item->setData(kFindingRole, std::max(item->data(kFindingRole).toInt(), int(f.severity) + 1));
}

void TProblemsForm::selectRow(int row) {
    const std::vector<check::Finding>& findings = cache_.findings();
    if (row < 0 || size_t(row) >= findings.size()) return;
    const int line = findings[size_t(row)].line;
    main_.run([line](MainState& s) { SelectProblemLine(s, line); });
}
