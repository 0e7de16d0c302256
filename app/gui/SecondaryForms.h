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
    QPushButton* setButton_;
};

class TTerminalForm : public QWidget {
    Q_OBJECT
public:
    explicit TTerminalForm(TMainForm& main);
    void sync(const MainState& s);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TMainForm& main_;
    TerminalMemoWidget* memo_;
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
