#pragma once
// The Problems window: the program check's findings, one a row, kept up to
// date as the program changes; a double click selects the finding's line.
// Whether shown or not, it gives every listing line with a finding its
// findings as tool tip.  It informs and never blocks.

#include <QWidget>

#include "app/Problems.h"

class QLabel;
class QListWidget;
class TMainForm;

class TProblemsForm : public QWidget {
    Q_OBJECT
public:
    explicit TProblemsForm(TMainForm& main);

    // Checks the program again if it changed, and redraws the list and the tool tips.
    void sync();
    // Selects the line of row `row` of the list, as a double click does.
    void selectRow(int row);
    const ProblemsCache& cache() const { return cache_; }

private:
    TMainForm& main_;
    ProblemsCache cache_;
    QListWidget* list_;
    QLabel* summary_;
};
