#include "app/gui/WatchForm.h"

#include <QAreaSeries>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QLegendMarker>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QScatterSeries>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "app/MainState.h"
#include "app/gui/Latin1.h"
#include "app/gui/MainForm.h"
#include "program/SafeFile.h"

namespace {

constexpr double kBitPitch = 1.5;   // digital traces stand this far apart
constexpr double kBitHigh = 1.0;

QPushButton* Button(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QValueAxis* Axis(const QString& title) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    return axis;
}

// An axis range widened to whole steps of 1, 2 or 5 times a power of ten,
// five to eight ticks, so that the labels are round numbers.
struct RoundRange {
    double lo, hi;
    int ticks;
    bool operator==(const RoundRange&) const = default;
};

RoundRange Round(double lo, double hi) {
    const double rough = (hi - lo) / 5;
    double step = 1;
    if (rough > 0 && std::isfinite(rough)) {
        const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
        const double n = rough / magnitude;
        step = (n <= 1 ? 1 : n <= 2 ? 2 : n <= 5 ? 5 : 10) * magnitude;
    }
    const double roundLo = std::floor(lo / step) * step;
    const double roundHi = std::ceil(hi / step) * step;
    return {roundLo, roundHi, int(std::lround((roundHi - roundLo) / step)) + 1};
}

RoundRange RangeOf(const QValueAxis* axis) { return {axis->min(), axis->max(), axis->tickCount()}; }

// Done in one pass: each change of an axis lays out every series again.
void SetRange(QValueAxis* axis, const RoundRange& r) {
    if (axis->tickCount() != r.ticks) axis->setTickCount(r.ticks);
    axis->setRange(r.lo, r.hi);
}

// What decides where the charts put their plot areas: their sizes, the
// labels of the axes beside them, and their legends.
std::vector<double> AlignKey(const QChartView* valueView, const QChartView* bitView, const RoundRange& value,
                             bool velocity, const RoundRange& velocityRange, size_t traces) {
    return {double(valueView->width()), double(valueView->height()), double(bitView->width()),
            double(bitView->height()),  value.lo,                    value.hi,
            double(value.ticks),        double(velocity),            velocityRange.lo,
            velocityRange.hi,           double(velocityRange.ticks), double(traces)};
}

// Point lists alike, a break (NaN) matching a break.
bool SamePoints(const QList<QPointF>& a, const QList<QPointF>& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QPointF& p = a[i];
        const QPointF& q = b[i];
        if (std::isnan(p.x()) != std::isnan(q.x())) return false;
        if (!std::isnan(p.x()) && (p.x() != q.x() || p.y() != q.y())) return false;
    }
    return true;
}

// A break in a line: Qt Charts draws no segment to or from a NaN point.
const QPointF kBreak(NAN, NAN);

// The name chosen in a save dialog, with the suffix added when it has none.
QString WithSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    return path + (path.endsWith(QLatin1Char('.')) ? suffix : QLatin1Char('.') + suffix);
}

}  // namespace

// One series and what it draws.
struct WatchTrace {
    struct {
        int address;
        SampleKind kind;
        int channel;
        bool velocity;   // the velocity derived from the channel
    } key;
    QXYSeries* series;
    double offset;   // digital traces: their base line
};

TWatchForm::TWatchForm(TMainForm& main) : QWidget(&main, Qt::Window), main_(main) {
    setObjectName(QStringLiteral("WatchForm"));
    setWindowTitle(QStringLiteral("Watch"));
    resize(900, 600);

    modules_ = new QListWidget(this);
    modules_->setObjectName(QStringLiteral("WatchModuleList"));
    modules_->setMinimumWidth(120);
    modules_->setMaximumWidth(160);
    modules_->setToolTip(QStringLiteral("Tick the modules to watch"));
    connect(modules_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        setWatched(item->data(Qt::UserRole).toInt(), item->checkState() == Qt::Checked);
    });

    pauseButton_ = Button(this, "WatchPauseButton", QStringLiteral("Pause"));
    connect(pauseButton_, &QPushButton::clicked, this, [this] { setPaused(!paused_ && sampler_.running()); });
    auto* clear = Button(this, "WatchClearButton", QStringLiteral("Clear"));
    connect(clear, &QPushButton::clicked, this, &TWatchForm::clearSamples);
    auto* zoomIn = Button(this, "WatchZoomInButton", QStringLiteral("Zoom In"));
    connect(zoomIn, &QPushButton::clicked, this, [this] { setSpan(spanS_ / 2); });
    auto* zoomOut = Button(this, "WatchZoomOutButton", QStringLiteral("Zoom Out"));
    connect(zoomOut, &QPushButton::clicked, this, [this] { setSpan(spanS_ * 2); });
    auto* left = Button(this, "WatchPanLeftButton", QStringLiteral("<"));
    connect(left, &QPushButton::clicked, this, [this] { panBy(-0.5); });
    auto* right = Button(this, "WatchPanRightButton", QStringLiteral(">"));
    connect(right, &QPushButton::clicked, this, [this] { panBy(0.5); });
    followCheck_ = new QCheckBox(QStringLiteral("Follow"), this);
    followCheck_->setObjectName(QStringLiteral("WatchFollowCheck"));
    followCheck_->setChecked(true);
    connect(followCheck_, &QCheckBox::clicked, this, &TWatchForm::setFollowing);
    velocityCheck_ = new QCheckBox(QStringLiteral("Velocity"), this);
    velocityCheck_->setObjectName(QStringLiteral("WatchVelocityCheck"));
    connect(velocityCheck_, &QCheckBox::clicked, this, &TWatchForm::setVelocity);
    onlyStoppedCheck_ = new QCheckBox(QStringLiteral("Only while stopped"), this);
    onlyStoppedCheck_->setObjectName(QStringLiteral("WatchOnlyStoppedCheck"));
    onlyStoppedCheck_->setToolTip(
        QStringLiteral("Sample only while the program is stopped: on a master whose program and host replies "
                       "share one area, a sample taken while the program runs may show the program's reply"));
    connect(onlyStoppedCheck_, &QCheckBox::clicked, this, &TWatchForm::setOnlyStopped);
    // A name without an extension gets the file type's own.
    auto* csv = Button(this, "WatchCsvButton", QStringLiteral("Export CSV..."));
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path = WithSuffix(askFile(QStringLiteral("CSV (*.csv)")), QStringLiteral("csv"));
        if (!path.isEmpty()) exportCsv(path);
    });
    auto* png = Button(this, "WatchPngButton", QStringLiteral("Export PNG..."));
    connect(png, &QPushButton::clicked, this, [this] {
        const QString path = WithSuffix(askFile(QStringLiteral("PNG (*.png)")), QStringLiteral("png"));
        if (!path.isEmpty()) exportPng(path);
    });
    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName(QStringLiteral("WatchStatusLabel"));

    valueChart_ = new QChart;
    valueChart_->legend()->setAlignment(Qt::AlignRight);
    valueX_ = Axis(QStringLiteral("s"));
    valueY_ = Axis(QStringLiteral("counts"));
    velocityY_ = Axis(QStringLiteral("counts/s"));
    // Positions and velocities are whole counts.
    valueY_->setLabelFormat(QStringLiteral("%.0f"));
    velocityY_->setLabelFormat(QStringLiteral("%.0f"));
    valueChart_->addAxis(valueX_, Qt::AlignBottom);
    valueChart_->addAxis(valueY_, Qt::AlignLeft);
    valueChart_->addAxis(velocityY_, Qt::AlignRight);
    velocityY_->setVisible(false);
    valueView_ = new QChartView(valueChart_, this);
    valueView_->setObjectName(QStringLiteral("WatchValueChart"));
    valueView_->setRubberBand(QChartView::HorizontalRubberBand);

    bitChart_ = new QChart;
    bitChart_->legend()->setAlignment(Qt::AlignRight);
    bitX_ = Axis(QStringLiteral("s"));
    bitY_ = Axis(QString());
    bitY_->setLabelsVisible(false);
    bitY_->setGridLineVisible(false);
    bitChart_->addAxis(bitX_, Qt::AlignBottom);
    bitChart_->addAxis(bitY_, Qt::AlignLeft);
    bitView_ = new QChartView(bitChart_, this);
    bitView_->setObjectName(QStringLiteral("WatchBitChart"));

    // The shading behind the traces, added first so that they draw over it.
    QChart* const bandCharts[2] = {valueChart_, bitChart_};
    QValueAxis* const times[2] = {valueX_, bitX_};
    for (int k = 0; k < 2; ++k) {
        bandLine_[k] = new QLineSeries;
        band_[k] = new QAreaSeries(bandLine_[k]);
        band_[k]->setName(QStringLiteral("Program running"));
        band_[k]->setPen(Qt::NoPen);
        band_[k]->setBrush(QColor(255, 170, 0, 60));
        bandCharts[k]->addSeries(band_[k]);
        auto* level = new QValueAxis;
        level->setRange(0, 1);
        level->setVisible(false);
        bandCharts[k]->addAxis(level, Qt::AlignRight);
        band_[k]->attachAxis(times[k]);
        band_[k]->attachAxis(level);
    }
    // The lower chart's traces are all bits: the key is in the upper legend.
    for (QLegendMarker* marker : bitChart_->legend()->markers(band_[1])) marker->setVisible(false);
    // The time axis as it now stands (attaching the shading may have moved it).
    shownX_ = {valueX_->min(), valueX_->max()};

    auto* tools = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{pauseButton_, clear, zoomIn, zoomOut, left, right, followCheck_,
                                                      velocityCheck_, onlyStoppedCheck_, csv, png})
        tools->addWidget(w);
    tools->addStretch();
    auto* charts = new QVBoxLayout;
    charts->addLayout(tools);
    charts->addWidget(valueView_, 3);
    charts->addWidget(bitView_, 2);
    charts->addWidget(statusLabel_);
    auto* top = new QHBoxLayout(this);
    top->addWidget(modules_);
    top->addLayout(charts, 1);

    sampleTimer_ = new QTimer(this);
    sampleTimer_->setObjectName(QStringLiteral("WatchSampleTimer"));
    sampleTimer_->setSingleShot(true);
    sampleTimer_->setTimerType(Qt::PreciseTimer);
    connect(sampleTimer_, &QTimer::timeout, this, &TWatchForm::sampleTick);
    drawTimer_ = new QTimer(this);
    drawTimer_->setInterval(200);
    connect(drawTimer_, &QTimer::timeout, this, [this] {
        if (!isVisible()) return;
        redraw();
        updateStatus();
    });
    drawTimer_->start();
    // The window's keys reach it from whichever of its widgets has the focus.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    redraw();
    updateStatus();
}

TWatchForm::~TWatchForm() = default;

void TWatchForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    redraw();
    updateStatus();
}

void TWatchForm::keyPressEvent(QKeyEvent* event) {
    if (!windowKey(this, event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    handleKey(this, event);
    event->accept();
}

// The window's keys are taken before the widget with the focus sees them, so
// that Space pauses rather than pressing a button or unticking a module, and
// the arrows pan whatever has the focus.  Enter ticks or unticks the module
// list's current module, which Space no longer does.
bool TWatchForm::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (windowKey(watched, key)) {
            if (type == QEvent::KeyPress) handleKey(watched, key);
            return true;
        }
    } else if (type == QEvent::Resize && (watched == valueView_ || watched == bitView_)) {
        // The views resize their charts after this: line them up afterwards.
        QTimer::singleShot(0, this, [this] {
            if (isVisible()) redraw();
        });
    }
    return QWidget::eventFilter(watched, event);
}

bool TWatchForm::windowKey(QObject* target, const QKeyEvent* key) const {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Minus: return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Space: return mods == Qt::NoModifier;
        case Qt::Key_Return:
        case Qt::Key_Enter: return mods == Qt::NoModifier && (target == modules_ || target == modules_->viewport());
        default: return false;
    }
}

void TWatchForm::handleKey(QObject*, const QKeyEvent* key) {
    switch (key->key()) {
        case Qt::Key_Plus: setSpan(spanS_ / 2); break;
        case Qt::Key_Minus: setSpan(spanS_ * 2); break;
        case Qt::Key_Left: panBy(-0.25); break;
        case Qt::Key_Right: panBy(0.25); break;
        case Qt::Key_Space:
            if (pauseButton_->isEnabled()) setPaused(!paused_ && sampler_.running());
            break;
        default:
            if (QListWidgetItem* item = modules_->currentItem())
                item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            break;
    }
}

// The list offers every module of the module list that has a status window.
void TWatchForm::refreshModules() {
    const MainState& s = main_.state();
    std::vector<int> rows;
    QStringList texts;
    const auto& items = s.form.ModuleListBox.items;
    for (int a = 0; a < int(items.size()) && a <= kMaxModules; ++a) {
        SampleKind kind;
        if (!SampleKindOf(s.moduleTypes[a], kind)) continue;
        rows.push_back(a);
        texts << toQ(items[size_t(a)]);
    }
    bool same = rows == shownModules_;
    for (int i = 0; same && i < modules_->count(); ++i) same = modules_->item(i)->text() == texts[i];
    if (same) return;
    const QSignalBlocker blocker(modules_);
    modules_->clear();
    shownModules_ = rows;
    std::vector<int> watched;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QListWidgetItem(texts[int(i)], modules_);
        item->setData(Qt::UserRole, rows[i]);
        const bool on = std::binary_search(sampler_.watched().begin(), sampler_.watched().end(), rows[i]);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        if (on) watched.push_back(rows[i]);
    }
    // Modules no longer in the list are no longer watched.
    if (watched != sampler_.watched()) {
        sampler_.setWatched(watched);
        buildTraces();
    }
}

void TWatchForm::setWatched(int address, bool on) {
    std::vector<int> watched = sampler_.watched();
    if (on)
        watched.push_back(address);
    else
        std::erase(watched, address);
    sampler_.setWatched(watched);
    for (int i = 0; i < modules_->count(); ++i) {
        QListWidgetItem* item = modules_->item(i);
        if (item->data(Qt::UserRole).toInt() != address) continue;
        const QSignalBlocker blocker(modules_);
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    if (!paused_ && !sampler_.running() && !sampler_.stoppedByLink() && !sampler_.stoppedByNoise() && !watched.empty())
        sampler_.start(Sampler::Clock::now());
    buildTraces();
    redraw();
    updateStatus();
    scheduleTick();
}

void TWatchForm::setPaused(bool paused) {
    paused_ = paused;
    if (paused) {
        sampler_.pause();
    } else {
        sampler_.start(Sampler::Clock::now());
    }
    updateStatus();
    scheduleTick();
}

void TWatchForm::setOnlyStopped(bool on) {
    sampler_.setOnlyStopped(on);
    onlyStoppedCheck_->setChecked(on);
    updateStatus();
}

void TWatchForm::clearSamples() {
    sampler_.clear();
    rightS_ = 0;
    dirty_ = true;
    redraw();
    updateStatus();
}

namespace {

// What the terminal holds, to tell whether a sample collected characters for it.
std::tuple<size_t, size_t, size_t, size_t, size_t> TerminalMark(const MainState& s) {
    const TerminalState& t = s.terminal;
    return {t.lines.size(), t.lines.empty() ? 0 : t.lines.back().size(), t.undrawn.newLines,
            t.undrawn.droppedLines, t.undrawn.trimmed};
}

}  // namespace

void TWatchForm::sampleTick() {
    if (!paused_ && sampler_.running()) {
        const bool waiting = sampler_.waitingForStop();
        // Only a sample that collected printed characters, found the master
        // announcing itself or lost the link changes the other windows.
        main_.runBetweenTicks([this](MainState& s, double msUntilPoll) {
            const auto terminal = TerminalMark(s);
            const bool online = s.online, detection = s.forceDetection;
            sampler_.step(s, Sampler::Clock::now(), msUntilPoll);
            return s.online != online || s.forceDetection != detection || TerminalMark(s) != terminal;
        });
        if (!sampler_.running() || sampler_.waitingForStop() != waiting) updateStatus();
    }
    scheduleTick();
}

void TWatchForm::scheduleTick() {
    if (paused_ || !sampler_.running() || sampler_.watched().empty()) {
        sampleTimer_->stop();
        return;
    }
    // Off line (or while the list disagrees with the network) there is
    // nothing to fetch: look again now and then.
    if (!Sampler::LinkFree(main_.state())) {
        sampleTimer_->start(50);
        return;
    }
    const double due = sampler_.msUntilDue(Sampler::Clock::now());
    sampleTimer_->start(int(std::clamp(due, 2.0, 50.0)));
}

void TWatchForm::updateStatus() {
    const MainState& s = main_.state();
    QString text;
    if (sampler_.stoppedByLink())
        text = QStringLiteral("Stopped: Stepwright not responding.  Resume to sample again.");
    else if (sampler_.stoppedByNoise())
        text = QStringLiteral("Stopped: the line did not come quiet after a bad reply.  Resume to sample again.");
    else if (paused_)
        text = QStringLiteral("Paused");
    else if (sampler_.watched().empty())
        text = QStringLiteral("Tick the modules to watch");
    else if (!s.online)
        text = QStringLiteral("Waiting: Stepwright not on-line.");
    else if (s.moduleMismatch)
        text = QStringLiteral("Waiting: Module list does not match detected modules.");
    else if (sampler_.waitingForStop())
        text = QStringLiteral("Waiting: the program is running (sampling only while stopped); %1 samples kept")
                   .arg(sampler_.samples().size());
    else
        text = QStringLiteral("%1 module(s), a row every %2 ms; %3 samples kept")
                   .arg(sampler_.watched().size())
                   .arg(sampler_.rowPeriodMs(s), 0, 'f', 0)
                   .arg(sampler_.samples().size());
    if (sampler_.badReplies() > 0)
        text += QStringLiteral("; %1 sample(s) dropped for a bad reply").arg(sampler_.badReplies());
    statusLabel_->setText(text);
    // With nothing ticked there is nothing to pause or resume.
    const bool idle =
        sampler_.watched().empty() && !paused_ && !sampler_.stoppedByLink() && !sampler_.stoppedByNoise();
    const bool stopped = !idle && (paused_ || !sampler_.running());
    pauseButton_->setText(stopped ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    pauseButton_->setEnabled(!idle);
}

// One series per channel of every watched module (and per velocity).
void TWatchForm::buildTraces() {
    std::vector<WatchTrace>& traces = traces_;
    // The shading stays; the traces go.
    for (const WatchTrace& t : traces) {
        t.series->chart()->removeSeries(t.series);
        delete t.series;
    }
    traces.clear();
    traceNames_.clear();
    dirty_ = true;
    const MainState& s = main_.state();
    int bits = 0;
    for (int a : sampler_.watched()) {
        SampleKind kind;
        if (a > kMaxModules || !SampleKindOf(s.moduleTypes[a], kind)) continue;
        const auto& channels = ChannelsOf(kind);
        for (int c = 0; c < int(channels.size()); ++c) {
            const QString name = QStringLiteral("%1 %2").arg(a).arg(QLatin1String(channels[size_t(c)].caption));
            const ChannelShape shape = channels[size_t(c)].shape;
            QXYSeries* series = nullptr;
            double offset = 0;
            if (shape == ChannelShape::Marker) {
                auto* scatter = new QScatterSeries;
                scatter->setMarkerSize(9);
                series = scatter;
            } else {
                series = new QLineSeries;
            }
            series->setName(name);
            QChart* chart = shape == ChannelShape::Digital ? bitChart_ : valueChart_;
            chart->addSeries(series);
            if (shape == ChannelShape::Digital) {
                offset = bits++ * kBitPitch;
                series->attachAxis(bitX_);
                series->attachAxis(bitY_);
            } else {
                series->attachAxis(valueX_);
                series->attachAxis(valueY_);
            }
            traces.push_back({{a, kind, c, false}, series, offset});
            traceNames_ << name;
            if (velocity_ && shape == ChannelShape::Line) {
                // Thin and solid: a dashed line would be drawn across a gap.
                auto* v = new QLineSeries;
                v->setName(name + QStringLiteral(" velocity"));
                QPen pen = v->pen();
                pen.setWidthF(1);
                v->setPen(pen);
                valueChart_->addSeries(v);
                v->attachAxis(valueX_);
                v->attachAxis(velocityY_);
                traces.push_back({{a, kind, c, true}, v, 0});
                traceNames_ << v->name();
            }
        }
    }
    velocityY_->setVisible(velocity_);
    bitY_->setRange(-0.25, std::max(1, bits) * kBitPitch);
}

void TWatchForm::redraw() {
    refreshModules();
    const SampleRing& ring = sampler_.samples();
    const double newest = ring.size() ? ring[ring.size() - 1].timeMs / 1000.0 : 0.0;
    // A stretch dragged across the upper chart zoomed it: keep that stretch.
    if (std::abs(valueX_->min() - shownX_.first) > 1e-6 || std::abs(valueX_->max() - shownX_.second) > 1e-6) {
        spanS_ = std::max(0.5, valueX_->max() - valueX_->min());
        rightS_ = valueX_->max();
        following_ = false;
        followCheck_->setChecked(false);
    }
    const double right = following_ ? std::max(newest, spanS_) : rightS_;
    const double leftEdge = right - spanS_;
    // Nothing new to draw: the charts stay as they are.
    const Drawn now{ring.pushed(), leftEdge, right, valueView_->width(), valueView_->height(), bitView_->height()};
    if (!dirty_ && now == drawn_) return;
    dirty_ = false;
    drawn_ = now;

    // The first sample shown: one before the left edge, so that lines enter
    // from it.  Times rise through the ring.
    size_t lo = 0, hi = ring.size();
    const uint32_t fromMs = leftEdge <= 0 ? 0 : uint32_t(leftEdge * 1000.0);
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (ring[mid].timeMs < fromMs) lo = mid + 1;
        else hi = mid;
    }
    std::vector<WatchTrace>& traces = traces_;
    // A line keeps at most its lowest and highest point per column of six
    // pixels, a step or digital trace only its changes: the charts lay out
    // every point they are given, so an hour of samples must come to them
    // no longer than a minute's.
    const double columns = std::max(100, valueView_->width()) / 6.0;
    const double columnS = spanS_ / columns;
    struct Column {
        long index = LONG_MIN;
        QPointF lo, hi;
    };
    std::vector<QList<QPointF>> points(traces.size());
    std::vector<Column> column(traces.size());
    // Steps and digital traces: the newest level and its time; velocities:
    // the previous position.  NaN: none yet, or none since a gap.
    std::vector<QPointF> last(traces.size(), kBreak);
    double minY = INFINITY, maxY = -INFINITY, minV = INFINITY, maxV = -INFINITY;
    auto flush = [&](size_t k) {
        Column& c = column[k];
        if (c.index == LONG_MIN) return;
        const bool lowFirst = c.lo.x() <= c.hi.x();
        points[k].append(lowFirst ? c.lo : c.hi);
        if (c.lo != c.hi) points[k].append(lowFirst ? c.hi : c.lo);
        c.index = LONG_MIN;
    };
    auto addLinePoint = [&](size_t k, QPointF p) {
        Column& c = column[k];
        const long index = long(std::floor(p.x() / columnS));
        if (index != c.index) {
            flush(k);
            c.index = index;
            c.lo = c.hi = p;
        } else {
            if (p.y() < c.lo.y()) c.lo = p;
            if (p.y() > c.hi.y()) c.hi = p;
        }
    };
    auto shapeOf = [&](const WatchTrace& tr) { return ChannelsOf(tr.key.kind)[size_t(tr.key.channel)].shape; };
    // No line across a gap: a step or digital trace first reaches on to its
    // last sample before it.
    auto breakTrace = [&](size_t k) {
        const ChannelShape shape = shapeOf(traces[k]);
        if (shape == ChannelShape::Marker) return;
        flush(k);
        QList<QPointF>& p = points[k];
        const bool level = !traces[k].key.velocity && (shape == ChannelShape::Steps || shape == ChannelShape::Digital);
        if (level && !std::isnan(last[k].x()) && !p.isEmpty() && p.last() != last[k]) p.append(last[k]);
        if (!p.isEmpty() && !std::isnan(p.last().x())) p.append(kBreak);
        last[k] = kBreak;
    };
    // The shading: stretches from a sample taken while the program may have
    // run to the next taken while it was stopped (or the last before a gap),
    // joined when less than a column apart.
    QList<QPointF> band;
    bool bandOpen = false;
    double bandStart = 0, previousT = 0;
    auto closeBand = [&](double end) {
        if (!bandOpen) return;
        bandOpen = false;
        if (band.size() >= 4 && bandStart - band.last().x() < columnS) {
            band.removeLast();
            band.removeLast();
        } else {
            band << QPointF(bandStart, 0) << QPointF(bandStart, 1);
        }
        band << QPointF(end, 1) << QPointF(end, 0);
    };

    std::vector<std::vector<size_t>> byAddress(kMaxModules + 1);
    for (size_t k = 0; k < traces.size(); ++k) byAddress[size_t(traces[k].key.address)].push_back(k);
    const size_t first = lo > 0 ? lo - 1 : 0;
    for (size_t i = first; i < ring.size(); ++i) {
        const ModuleSample& m = ring[i];
        const double t = m.timeMs / 1000.0;
        if (m.afterGap()) closeBand(previousT);
        if (m.programRan()) {
            if (!bandOpen) bandStart = t;
            bandOpen = true;
        } else {
            closeBand(t);
        }
        previousT = t;
        if (m.address > kMaxModules) continue;
        for (size_t k : byAddress[m.address]) {
            const WatchTrace& tr = traces[k];
            if (tr.key.kind != m.kind()) continue;
            if (m.afterGap() && i > first) breakTrace(k);
            const ChannelShape shape = shapeOf(tr);
            const double v = double(ChannelValue(m, tr.key.channel));
            QList<QPointF>& p = points[k];
            const QPointF prev = last[k];
            if (tr.key.velocity) {
                last[k] = QPointF(t, v);
                if (std::isnan(prev.x()) || t <= prev.x()) continue;
                const double vel = (v - prev.y()) / (t - prev.x());
                addLinePoint(k, QPointF(t, vel));
                minV = std::min(minV, vel);
                maxV = std::max(maxV, vel);
                continue;
            }
            switch (shape) {
                case ChannelShape::Line: addLinePoint(k, QPointF(t, v)); break;
                case ChannelShape::Marker:
                    // A marker where the home position is first seen or changes.
                    if (p.isEmpty() || p.last().y() != v) p.append(QPointF(t, v));
                    break;
                case ChannelShape::Steps:
                case ChannelShape::Digital: {
                    const double y = shape == ChannelShape::Digital ? tr.offset + v * kBitHigh : v;
                    if (std::isnan(prev.x())) {
                        p.append(QPointF(t, y));
                    } else if (prev.y() != y) {
                        p.append(QPointF(t, prev.y()));
                        p.append(QPointF(t, y));
                    }
                    last[k] = QPointF(t, y);
                    break;
                }
            }
            if (shape != ChannelShape::Digital) {
                minY = std::min(minY, v);
                maxY = std::max(maxY, v);
            }
        }
    }
    closeBand(previousT);
    for (size_t k = 0; k < traces.size(); ++k) {
        flush(k);
        // A step or digital trace reaches on to its newest sample.
        const ChannelShape shape = shapeOf(traces[k]);
        if (!traces[k].key.velocity && (shape == ChannelShape::Steps || shape == ChannelShape::Digital) &&
            !std::isnan(last[k].x()) && !points[k].isEmpty() && points[k].last() != last[k])
            points[k].append(last[k]);
    }
    if (minY > maxY) minY = 0, maxY = 1;
    const double pad = std::max(1.0, (maxY - minY) * 0.05);
    const RoundRange valueRange = Round(minY - pad, maxY + pad);
    RoundRange velocityRange = RangeOf(velocityY_);
    if (velocity_) {
        if (minV > maxV) minV = -1, maxV = 1;
        const double vpad = std::max(1.0, (maxV - minV) * 0.05);
        velocityRange = Round(minV - vpad, maxV + vpad);
    }

    // Each series is laid out once: a change of an axis, or of the plot
    // areas, lays out every series on it again, so the series about to get
    // new points are emptied before the axes move and filled after (all of
    // them when the plot areas are lined up afresh).
    const bool realign =
        AlignKey(valueView_, bitView_, valueRange, velocity_, velocityRange, traces_.size()) != alignedFor_;
    std::vector<bool> changed(traces.size());
    for (size_t k = 0; k < traces.size(); ++k)
        changed[k] = realign || !SamePoints(traces[k].series->points(), points[k]);
    const bool axesMove = realign || valueX_->min() != leftEdge || valueX_->max() != right ||
                          bitX_->min() != leftEdge || bitX_->max() != right || !(RangeOf(valueY_) == valueRange) ||
                          !(RangeOf(velocityY_) == velocityRange);
    if (axesMove) {
        for (size_t k = 0; k < traces.size(); ++k)
            if (changed[k] && traces[k].series->count() > 0) traces[k].series->replace(QList<QPointF>());
        for (QLineSeries* line : bandLine_)
            if (line->count() > 0) line->replace(QList<QPointF>());
    }
    valueX_->setRange(leftEdge, right);
    bitX_->setRange(leftEdge, right);
    shownX_ = {valueX_->min(), valueX_->max()};
    SetRange(valueY_, valueRange);
    if (velocity_) SetRange(velocityY_, velocityRange);
    alignPlotAreas();
    for (size_t k = 0; k < traces.size(); ++k)
        if (changed[k]) traces[k].series->replace(points[k]);
    for (QLineSeries* line : bandLine_)
        if (!SamePoints(line->points(), band)) line->replace(band);
}

void TWatchForm::alignPlotAreas() {
    const std::vector<double> key =
        AlignKey(valueView_, bitView_, RangeOf(valueY_), velocity_, RangeOf(velocityY_), traces_.size());
    if (key == alignedFor_) return;
    alignedFor_ = key;
    // Each chart's own layout first, then the narrower of the two for both.
    for (QChart* chart : {valueChart_, bitChart_}) {
        chart->setPlotArea(QRectF());
        chart->layout()->invalidate();
        chart->layout()->activate();
    }
    const QRectF value = valueChart_->plotArea(), bit = bitChart_->plotArea();
    const double left = std::max(value.left(), bit.left());
    const double right = std::min(value.right(), bit.right());
    if (right - left < 20) return;   // too small to share: each keeps its own
    valueChart_->setPlotArea(QRectF(left, value.top(), right - left, value.height()));
    bitChart_->setPlotArea(QRectF(left, bit.top(), right - left, bit.height()));
    // The axes follow now, not at the next layout pass, so that a picture
    // taken at once shows them where the traces are.
    for (QChart* chart : {valueChart_, bitChart_}) {
        chart->layout()->invalidate();
        chart->layout()->activate();
    }
}

QStringList TWatchForm::traceNames() const { return traceNames_; }

void TWatchForm::setSpan(double seconds) {
    spanS_ = std::clamp(seconds, 0.5, 86400.0);
    redraw();
}

void TWatchForm::panBy(double fraction) {
    const SampleRing& ring = sampler_.samples();
    const double newest = ring.size() ? ring[ring.size() - 1].timeMs / 1000.0 : 0.0;
    if (following_) rightS_ = std::max(newest, spanS_);
    rightS_ = std::max(spanS_, rightS_ + fraction * spanS_);
    following_ = rightS_ >= newest && fraction > 0;
    followCheck_->setChecked(following_);
    redraw();
}

void TWatchForm::setFollowing(bool on) {
    following_ = on;
    followCheck_->setChecked(on);
    redraw();
}

void TWatchForm::setVelocity(bool on) {
    velocity_ = on;
    velocityCheck_->setChecked(on);
    buildTraces();
    redraw();
}

QString TWatchForm::askFile(const QString& filter) {
    if (chooseFile) return chooseFile(filter);
    // The dialog adds the filter's extension itself, so that it asks before
    // replacing the file that will really be written.
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("WatchExportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(filter.section(QLatin1String("*."), 1).section(QLatin1Char(')'), 0, 0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

bool TWatchForm::exportCsv(const QString& path) {
    // Written as Save writes a program: an earlier export stays whole until
    // the new one is complete.
    const QByteArray name = QFile::encodeName(path);
    if (!WriteFileData(name.toStdString(), RingCsv(sampler_.samples())).empty()) {
        main_.state().message(Format("Cannot write %s", name.constData()));
        return false;
    }
    return true;
}

bool TWatchForm::exportPng(const QString& path) {
    redraw();
    QWidget* charts = valueView_->parentWidget();
    const QRect area = valueView_->geometry().united(bitView_->geometry());
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !charts->grab(area).save(&buffer, "PNG") ||
        !WriteFileData(QFile::encodeName(path).toStdString(), png.toStdString()).empty()) {
        main_.state().message(Format("Cannot write %s", QFile::encodeName(path).constData()));
        return false;
    }
    return true;
}
