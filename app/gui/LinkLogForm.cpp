#include "app/gui/LinkLogForm.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "app/MainState.h"
#include "app/gui/MainForm.h"
#include "program/SafeFile.h"

namespace {

// The window keeps at most this many exchanges; the oldest tenth goes first.
constexpr size_t kMaxRows = 200000;

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(uint8_t(c)));
    return s;
}

}  // namespace

// The exchanges read so far, and the rows that pass the filters.  The
// unsolicited bytes not yet ended by a command are shown as a last row.
class LinkLogModel : public QAbstractTableModel {
public:
    explicit LinkLogModel(QObject* parent) : QAbstractTableModel(parent) {}

    std::string command, verdict, search;  // "" = any

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex& = {}) const override { return 4; }

    const LinkExchange& at(int row) const {
        const size_t i = rows_[size_t(row)];
        return i < all_.size() ? all_[i] : pending_;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole) return {};
        const LinkExchange& e = at(index.row());
        switch (index.column()) {
            case 0: return QString::number(double(e.t_us) / 1e6, 'f', 6);
            case 1: return QString::fromLatin1(e.command);
            case 2: return QString::fromLatin1(e.summary.data(), int(e.summary.size()));
            default: return QString::fromLatin1(LinkVerdictCaption(e.verdict));
        }
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        static const char* const kHeads[] = {"Time (s)", "Command", "Summary", "Verdict"};
        return QString::fromLatin1(kHeads[section]);
    }

    // Adds exchanges that ended and sets the pending row (hasPending false: none).
    void append(std::vector<LinkExchange>& ended, const LinkExchange& pending, bool hasPending) {
        beginResetModelIfTrimming(ended.size());
        dropPendingRow();
        const size_t first = all_.size();
        for (auto& e : ended) all_.push_back(std::move(e));
        std::vector<size_t> add;
        for (size_t i = first; i < all_.size(); ++i)
            if (passes(all_[i])) add.push_back(i);
        hasPending_ = hasPending;
        if (hasPending) {
            pending_ = pending;
            if (passes(pending_)) add.push_back(size_t(-1));
        }
        if (!add.empty()) {
            beginInsertRows({}, int(rows_.size()), int(rows_.size() + add.size()) - 1);
            rows_.insert(rows_.end(), add.begin(), add.end());
            endInsertRows();
        }
    }
    void refilter() {
        beginResetModel();
        rows_.clear();
        for (size_t i = 0; i < all_.size(); ++i)
            if (passes(all_[i])) rows_.push_back(i);
        if (hasPending_ && passes(pending_)) rows_.push_back(size_t(-1));
        endResetModel();
    }
    void clear() {
        beginResetModel();
        all_.clear();
        rows_.clear();
        hasPending_ = false;
        endResetModel();
    }
    size_t total() const { return all_.size() + (hasPending_ ? 1 : 0); }

private:
    bool passes(const LinkExchange& e) const {
        if (!command.empty() && command != e.command) return false;
        if (!verdict.empty() && verdict != LinkVerdictId(e.verdict)) return false;
        if (search.empty()) return true;
        return Lower(e.command).find(search) != std::string::npos ||
               Lower(e.summary).find(search) != std::string::npos ||
               Lower(LinkHex(e.sent) + " " + LinkHex(e.received)).find(search) != std::string::npos;
    }
    void dropPendingRow() {
        if (!rows_.empty() && rows_.back() == size_t(-1)) {
            beginRemoveRows({}, int(rows_.size()) - 1, int(rows_.size()) - 1);
            rows_.pop_back();
            endRemoveRows();
        }
        hasPending_ = false;
    }
    void beginResetModelIfTrimming(size_t adding) {
        if (all_.size() + adding <= kMaxRows) return;
        const size_t drop = std::min(all_.size(), kMaxRows / 10 + adding);
        all_.erase(all_.begin(), all_.begin() + long(drop));
        hasPending_ = false;
        refilter();
    }

    std::vector<LinkExchange> all_;
    std::vector<size_t> rows_;  // indexes into all_; -1 the pending row
    LinkExchange pending_;
    bool hasPending_ = false;
};

TLinkLogForm::TLinkLogForm(TMainForm& main, LinkLog& log) : QWidget(&main, Qt::Window), main_(main), log_(log) {
    setObjectName(QStringLiteral("LinkLogForm"));
    setWindowTitle(QStringLiteral("Link Log"));
    resize(820, 520);

    followCheck_ = new QCheckBox(QStringLiteral("Follow"), this);
    followCheck_->setObjectName(QStringLiteral("LinkLogFollowCheck"));
    followCheck_->setChecked(true);
    followCheck_->setToolTip(QStringLiteral("Keep the newest exchange in view"));
    connect(followCheck_, &QCheckBox::toggled, this, &TLinkLogForm::setFollowing);

    pauseButton_ = new QPushButton(QStringLiteral("Pause"), this);
    pauseButton_->setObjectName(QStringLiteral("LinkLogPauseButton"));
    pauseButton_->setToolTip(QStringLiteral("Stop adding rows (the log goes on recording)"));
    connect(pauseButton_, &QPushButton::clicked, this, [this] { setPaused(!paused_); });

    commandBox_ = new QComboBox(this);
    commandBox_->setObjectName(QStringLiteral("LinkLogCommandBox"));
    commandBox_->addItem(QStringLiteral("All commands"), QString());
    for (const std::string& name : LinkCommandNames())
        commandBox_->addItem(QString::fromLatin1(name.c_str()), QString::fromLatin1(name.c_str()));
    connect(commandBox_, &QComboBox::currentIndexChanged, this,
            [this] { setCommandFilter(commandBox_->currentData().toString()); });

    verdictBox_ = new QComboBox(this);
    verdictBox_->setObjectName(QStringLiteral("LinkLogVerdictBox"));
    verdictBox_->addItem(QStringLiteral("All verdicts"), QString());
    for (int v = 0; v < kLinkVerdicts; ++v)
        verdictBox_->addItem(QString::fromLatin1(LinkVerdictCaption(LinkVerdict(v))),
                             QString::fromLatin1(LinkVerdictId(LinkVerdict(v))));
    connect(verdictBox_, &QComboBox::currentIndexChanged, this,
            [this] { setVerdictFilter(verdictBox_->currentData().toString()); });

    searchEdit_ = new QLineEdit(this);
    searchEdit_->setObjectName(QStringLiteral("LinkLogSearchEdit"));
    searchEdit_->setPlaceholderText(QStringLiteral("Search"));
    searchEdit_->setClearButtonEnabled(true);
    connect(searchEdit_, &QLineEdit::textChanged, this, &TLinkLogForm::setSearch);

    auto* saveButton = new QPushButton(QStringLiteral("Save..."), this);
    saveButton->setObjectName(QStringLiteral("LinkLogSaveButton"));
    saveButton->setToolTip(QStringLiteral("Save the log for stepwright-cli decode"));
    connect(saveButton, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile
                                 ? chooseFile()
                                 : QFileDialog::getSaveFileName(this, QString(), QString(),
                                                                QStringLiteral("Link logs (*.log);;All files (*)"));
        if (!path.isEmpty()) save(path);
    });
    auto* clearButton = new QPushButton(QStringLiteral("Clear"), this);
    clearButton->setObjectName(QStringLiteral("LinkLogClearButton"));
    connect(clearButton, &QPushButton::clicked, this, &TLinkLogForm::clearLog);

    model_ = new LinkLogModel(this);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("LinkLogTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->setColumnWidth(0, 100);
    table_->setColumnWidth(1, 140);
    table_->setColumnWidth(3, 130);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TLinkLogForm::showSelected);

    hex_ = new QPlainTextEdit(this);
    hex_->setObjectName(QStringLiteral("LinkLogHexView"));
    hex_->setReadOnly(true);
    hex_->setMaximumHeight(80);
    hex_->setFont(QFont(QStringLiteral("Monospace")));
    hex_->setPlaceholderText(QStringLiteral("The bytes of the selected exchange"));

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("LinkLogStatusLabel"));

    auto* tools = new QHBoxLayout;
    tools->addWidget(followCheck_);
    tools->addWidget(pauseButton_);
    tools->addWidget(commandBox_);
    tools->addWidget(verdictBox_);
    tools->addWidget(searchEdit_, 1);
    tools->addWidget(saveButton);
    tools->addWidget(clearButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(table_, 1);
    layout->addWidget(hex_);
    layout->addWidget(statusLabel_);

    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("LinkLogRefreshTimer"));
    timer_->setInterval(250);
    connect(timer_, &QTimer::timeout, this, &TLinkLogForm::refresh);
    updateStatus();
}

TLinkLogForm::~TLinkLogForm() = default;

void TLinkLogForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_->start();
}

void TLinkLogForm::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

void TLinkLogForm::refresh() {
    if (paused_) return;
    LinkRuns runs;
    const uint64_t from = log_.copyRuns(nextRun_, runs);
    if (from > nextRun_) decoder_ = LinkDecoder();  // the ring moved past: start afresh
    nextRun_ = from + runs.heads.size();
    // The module list's types name the frames (detection's are learnt too).
    const MainState& s = main_.state();
    int32_t types[32];
    for (int i = 0; i < 32; ++i) types[i] = s.moduleListDefined && i <= s.moduleListCount ? s.moduleTypes[i] : -1;
    decoder_.setModuleTypes(types);
    std::vector<LinkExchange> ended;
    decoder_.feed(runs, ended);
    LinkExchange pending;
    const bool hasPending = decoder_.pendingUnsolicited(pending);
    if (ended.empty() && !hasPending && runs.heads.empty()) return;
    model_->append(ended, pending, hasPending);
    if (following_ && model_->rowCount() > 0) table_->scrollToBottom();
    updateStatus();
}

void TLinkLogForm::setPaused(bool paused) {
    paused_ = paused;
    pauseButton_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!paused) refresh();
    updateStatus();
}

void TLinkLogForm::setFollowing(bool on) {
    following_ = on;
    if (followCheck_->isChecked() != on) followCheck_->setChecked(on);
    if (on) table_->scrollToBottom();
}

void TLinkLogForm::setCommandFilter(const QString& command) {
    model_->command = command.toLatin1().toStdString();
    model_->refilter();
    updateStatus();
}

void TLinkLogForm::setVerdictFilter(const QString& verdictId) {
    model_->verdict = verdictId.toLatin1().toStdString();
    model_->refilter();
    updateStatus();
}

void TLinkLogForm::setSearch(const QString& text) {
    model_->search = Lower(text.toLatin1().toStdString());
    model_->refilter();
    updateStatus();
}

int TLinkLogForm::rowCount() const { return model_->rowCount(); }

const LinkExchange& TLinkLogForm::exchangeAt(int row) const { return model_->at(row); }

bool TLinkLogForm::save(const QString& path) {
    LinkRuns runs;
    log_.copyRuns(0, runs);
    const MainState& s = main_.state();
    int32_t types[32];
    for (int i = 0; i < 32; ++i) types[i] = s.moduleListDefined && i <= s.moduleListCount ? s.moduleTypes[i] : -1;
    // Written as Save writes a program: an earlier file stays whole until
    // the new one is complete.
    const QByteArray name = QFile::encodeName(path);
    if (!WriteFileData(name.toStdString(), FormatLinkLog(runs, types)).empty()) {
        main_.state().message(Format("Cannot write %s", name.constData()));
        return false;
    }
    return true;
}

void TLinkLogForm::clearLog() {
    log_.clear();
    nextRun_ = log_.endRun();
    decoder_ = LinkDecoder();
    model_->clear();
    hex_->clear();
    updateStatus();
}

void TLinkLogForm::showSelected() {
    const QModelIndex index = table_->currentIndex();
    if (!index.isValid()) {
        hex_->clear();
        return;
    }
    const LinkExchange& e = model_->at(index.row());
    QString text = QStringLiteral("> ") + QString::fromLatin1(LinkHex(e.sent).c_str());
    if (!e.received.empty()) text += QStringLiteral("\n< ") + QString::fromLatin1(LinkHex(e.received).c_str());
    hex_->setPlainText(text);
}

void TLinkLogForm::updateStatus() {
    QString text = QStringLiteral("%1 exchanges, %2 shown").arg(model_->total()).arg(model_->rowCount());
    if (paused_) text += QStringLiteral(" - paused");
    statusLabel_->setText(text);
}
