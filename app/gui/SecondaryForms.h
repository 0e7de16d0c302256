#pragma once
// The seven windows the main window shows on demand: the communications
// settings, the terminal, the progress notice and the four module status
// windows.  Each draws its part of the state and hands its events to the main
// window, which runs the handlers.

#include <QDialog>
#include <QWidget>
#include <string>
#include <vector>

struct MainState;
struct StatusFormState;
class TMainForm;
class QCheckBox;
class QLabel;
class QPushButton;
class RadioGroup;
class TerminalMemoWidget;

class TComForm : public QDialog {
    Q_OBJECT
public:
    explicit TComForm(TMainForm& main);
    void sync(const MainState& s);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TMainForm& main_;
    RadioGroup* comRG_;
    QCheckBox* reconnectBox_;
    QPushButton* setButton_;
};

class TTerminalForm : public QWidget {
    Q_OBJECT
public:
    explicit TTerminalForm(TMainForm& main);
    // Draws what changed in the terminal's lines (and marks it drawn).
    void sync(MainState& s);
    // Characters in one row of the text box.
    int rowLength() const { return rowChars_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The text box shows each line as rows of at most rowChars_ characters,
    // one text block per row, so that adding to a long line lays out only
    // its last row: the cost of drawing what arrived does not grow with what
    // is already shown.
    void redraw(const std::vector<std::string>& lines);
    bool drawChanges(const std::vector<std::string>& lines, size_t dropped, size_t trimmed);
    void dropTopLines(size_t count);
    void trimLastLine(size_t count);
    // Text to insert at the end of the document for characters that extend
    // the last line (whose last row holds lastRow characters).
    QString rowsFor(const std::string& bytes, int lastRow, int& rowsAdded) const;
    int rowChars() const;

    TMainForm& main_;
    TerminalMemoWidget* memo_;
    int rowChars_ = 80;
    std::vector<int> rows_;   // blocks of each line shown
    size_t lastLength_ = 0;   // characters of the last line shown
};

class TMessageForm : public QWidget {
    Q_OBJECT
public:
    explicit TMessageForm(TMainForm& main);
    void sync(const MainState& s);

private:
    QLabel* labels_[3];
};

// A module status window: caption labels with fixed texts beside value labels
// that a double click on the module list fills.
class TStatForm : public QDialog {
    Q_OBJECT
public:
    struct Row {
        const char* caption;   // nullptr: the value label stands alone
        const char* valueName;
        int x, y;              // of the caption label
    };
    TStatForm(const char* objectName, const std::vector<Row>& rows, int captionWidth, int width, int height,
              const StatusFormState& initial);
    void fill(const StatusFormState& state);
};

class TServoStatForm : public TStatForm {
    Q_OBJECT
public:
    explicit TServoStatForm(const StatusFormState& initial);
};

class TIoStatForm : public TStatForm {
    Q_OBJECT
public:
    explicit TIoStatForm(const StatusFormState& initial);
};

class TMasterStatForm : public TStatForm {
    Q_OBJECT
public:
    explicit TMasterStatForm(const StatusFormState& initial);
};

class TStepStatForm : public TStatForm {
    Q_OBJECT
public:
    explicit TStepStatForm(const StatusFormState& initial);
};
