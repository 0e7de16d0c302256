#pragma once
// The Link Log window: the host-protocol exchanges of the link log, one row
// each (time, command, summary, verdict), the bytes of the selected one in
// hex below.  Follows the newest row or pauses; filters by command and by
// verdict; searches the rows; saves the log for stepwright-cli decode.
// New exchanges are read on a timer while the window is shown, never per byte.

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "link/LinkLog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTimer;
class TMainForm;
class LinkLogModel;

class TLinkLogForm : public QWidget {
    Q_OBJECT
public:
    TLinkLogForm(TMainForm& main, LinkLog& log);
    ~TLinkLogForm() override;

    // Reads the exchanges recorded since the last refresh (its timer runs it).
    void refresh();
    void setPaused(bool paused);
    void setFollowing(bool on);
    // Filters: "" shows every command / verdict; the search matches the
    // command, the summary and the bytes in hex, ignoring case.
    void setCommandFilter(const QString& command);
    void setVerdictFilter(const QString& verdictId);
    void setSearch(const QString& text);
    // The rows shown.
    int rowCount() const;
    const LinkExchange& exchangeAt(int row) const;
    // Writes the whole log kept; false after telling the user why.
    bool save(const QString& path);
    // Forgets what was recorded.
    void clearLog();

    // Where Save writes; empty: the file dialog asks.
    std::function<QString()> chooseFile;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showSelected();
    void updateStatus();

    TMainForm& main_;
    LinkLog& log_;
    LinkDecoder decoder_;
    uint64_t nextRun_ = 0;
    bool paused_ = false;
    bool following_ = true;
    LinkLogModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* hex_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QCheckBox* followCheck_ = nullptr;
    QComboBox* commandBox_ = nullptr;
    QComboBox* verdictBox_ = nullptr;
    QLineEdit* searchEdit_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer* timer_ = nullptr;
};
