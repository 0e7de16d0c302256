#pragma once
// The Watch window: live traces of the modules ticked in its list, fetched by
// the sampler between two poll ticks.  Positions are lines against time (with
// their velocity on request), home positions markers, counters steps; limit,
// power and input bits and the I/O bits are digital traces in a chart of
// their own below, its time axis lined up with the upper one.  No line is
// drawn across a gap in the samples; stretches sampled while the program may
// have run are shaded.  Pause, resume, zoom, pan, clear, export as CSV and
// PNG; the window's keys (+, -, arrows, Space) act whatever has the focus.

#include <QString>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "modules/Sampler.h"

class QAreaSeries;
class QChart;
class QLineSeries;
class QChartView;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QValueAxis;
class TMainForm;
struct WatchTrace;

class TWatchForm : public QWidget {
    Q_OBJECT
public:
    explicit TWatchForm(TMainForm& main);
    ~TWatchForm() override;

    Sampler& sampler() { return sampler_; }
    // Ticks or unticks a module in the list (as the user does).
    void setWatched(int address, bool on);
    // Pause and resume sampling.
    void setPaused(bool paused);
    void clearSamples();
    // Rebuilds the traces from the samples at once.
    void redraw();
    // The traces drawn: "ADDRESS CAPTION", in drawing order.
    QStringList traceNames() const;
    // Exports; false after telling the user why.
    bool exportCsv(const QString& path);
    bool exportPng(const QString& path);
    // Shows seconds of time across the charts; following: the newest sample
    // stays at the right edge.
    void setSpan(double seconds);
    double span() const { return spanS_; }
    void panBy(double fraction);
    void setFollowing(bool on);
    void setVelocity(bool on);
    void setOnlyStopped(bool on);

    // One sample step, as its timer runs it (the tests call it directly).
    void sampleTick();

    // Where the export buttons write; empty: the file dialog asks.
    std::function<QString(const QString& filter)> chooseFile;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's own keys; false for any other key.
    bool windowKey(QObject* target, const QKeyEvent* key) const;
    void handleKey(QObject* target, const QKeyEvent* key);
    // Both charts' plot areas the same from left to right, so that their
    // time axes line up (laid out again only when what decides them changed).
    void alignPlotAreas();
    void buildTraces();
    void refreshModules();
    void updateStatus();
    void scheduleTick();
    QString askFile(const QString& filter);

    TMainForm& main_;
    Sampler sampler_;
    QListWidget* modules_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QCheckBox* velocityCheck_ = nullptr;
    QCheckBox* followCheck_ = nullptr;
    QCheckBox* onlyStoppedCheck_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QChartView* valueView_ = nullptr;
    QChartView* bitView_ = nullptr;
    QChart* valueChart_ = nullptr;
    QChart* bitChart_ = nullptr;
    QValueAxis* valueX_ = nullptr;
    QValueAxis* valueY_ = nullptr;
    QValueAxis* velocityY_ = nullptr;
    QValueAxis* bitX_ = nullptr;
    QValueAxis* bitY_ = nullptr;
    // The shaded stretches sampled while the program may have run: one area
    // in each chart, on an axis of its own (0 to 1, hidden).
    QLineSeries* bandLine_[2] = {nullptr, nullptr};
    QAreaSeries* band_[2] = {nullptr, nullptr};
    QTimer* sampleTimer_ = nullptr;
    QTimer* drawTimer_ = nullptr;
    std::vector<WatchTrace> traces_;
    QStringList traceNames_;
    std::vector<int> shownModules_;   // the list's rows: module addresses
    double spanS_ = 30.0;
    double rightS_ = 0.0;             // time at the right edge when not following
    std::pair<double, double> shownX_{0.0, 0.0};  // the time axis as last set
    bool following_ = true;
    bool velocity_ = false;
    bool paused_ = false;
    // What the charts show was drawn from: redraw() does nothing while it is
    // the same.  dirty_ forces the next redraw.
    struct Drawn {
        uint64_t pushed = 0;
        double left = 0, right = 0;
        int valueWidth = 0, valueHeight = 0, bitHeight = 0;
        bool operator==(const Drawn&) const = default;
    } drawn_;
    bool dirty_ = true;
    // What the plot areas were lined up for.
    std::vector<double> alignedFor_;
};
