#pragma once
// The lines in which the open program and the master's differ, as "Compare
// with master" found them: one row each; choosing a row selects its listing
// line (for a line only the master holds, the program's line at its place).
// It closes when the program is edited or replaced, or a comparison finds no
// difference.

#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class TMainForm;

class TDifferencesForm : public QWidget {
public:
    explicit TDifferencesForm(TMainForm& main);
    // Fills the rows from MainState::masterComparison.
    void fill();

private:
    void selectRow(int row);

    TMainForm& main_;
    QLabel* summary_ = nullptr;
    QListWidget* list_ = nullptr;
    std::vector<int> lines_;   // the listing line of each row
};
