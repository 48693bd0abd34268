// "Графики": up to four stacked live plots sharing the time axis (the
// flight's clock, s), each with one or two of the telemetry quantities or the
// autopilot's set-points and loop errors, over the last 10, 30 or 120 s.
// Drawn from the ring the dynamics tick fills, at most ten times a second, so
// the plots never hold up the flight. Pause freezes the picture; then the
// wheel zooms (time; with Ctrl the plot's values), a drag pans, the scroll bar
// runs back through the whole ring and a cursor line reads every plotted
// value. The visible data can be exported to CSV and the picture to PNG.
// Ticks, labels, zoom and pan are computed in views/plotaxes.h.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/simapp.h"
#include "views/plotaxes.h"

class QCheckBox;
class QLabel;
class QComboBox;
class QPushButton;
class QScrollBar;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace uav {

class PlotWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int PLOTS = 4;
    static constexpr int LINES = 2;        // quantities per plot
    static constexpr int NONE = -1;        // no quantity chosen
    static constexpr int MAX_POINTS = 400; // per line: min and max of 200 columns
    static constexpr double MIN_TIME_SPAN = 2.0;  // s, the closest time zoom

    PlotWindow(SimApp& sim, QWidget* parent);
    ~PlotWindow() override;

    QComboBox* spanBox = nullptr;        // "10 с", "30 с", "120 с"
    QCheckBox* pauseBox = nullptr;       // "Пауза"
    QPushButton* resetButton = nullptr;  // "Сбросить масштаб"
    QPushButton* csvButton = nullptr;    // "Экспорт CSV…"
    QPushButton* pngButton = nullptr;    // "Сохранить PNG…"
    QScrollBar* scrollBar = nullptr;     // the paused view within the ring
    QLabel* cursorLabel = nullptr;       // the cursor's time, or how to use the pause
    std::array<std::array<QComboBox*, LINES>, PLOTS> quantityBoxes{};
    QWidget* plotArea = nullptr;         // the four charts, what the PNG shows

    // Chooses a plot's quantities (indexes of plotQuantityNames; NONE hides a
    // line; a plot with none is hidden).
    void setQuantities(int plot, int first, int second);
    void setSpanSeconds(int seconds);  // 10, 30 or 120
    double spanSeconds() const;
    void setPaused(bool paused);

    // While paused: the time window shown (s of the flight's clock), zoomed
    // about `anchor` by `factor` (< 1 zooms in) or moved by `delta` s; kept
    // inside the ring. A plot's value range zoomed or moved (it then stays
    // until the pause ends or resetView).
    void zoomTime(double anchor, double factor);
    void panTime(double delta);
    void zoomValues(int plot, double anchor, double factor);
    void panValues(int plot, double delta);
    void resetView();
    AxisRange timeRange() const { return xShown_; }
    AxisRange valueRange(int plot) const { return yAxis_[static_cast<std::size_t>(plot)].range; }
    // The cursor line at time t (s), reading every plotted value; nullopt hides it.
    void setCursor(std::optional<double> t);
    // "name = value unit" of each shown line, as the legend reads them.
    QString legendText(int plot) const;

    // Redraws from the ring, unless paused or drawn less than 100 ms ago.
    void refresh();
    // The visible data: "t_s" (the flight's clock, two decimals) and each
    // shown quantity by its code name, every sample of the time window. Only
    // the header when nothing is visible. exportCsv throws SimError when the
    // file cannot be written whole.
    void exportCsv(const QString& path) const;
    std::string visibleCsv() const;
    // The picture of the plots. Throws SimError.
    void savePng(const QString& path) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Line {
        QLineSeries* series = nullptr;
        int quantity = NONE;
    };
    struct Plot {
        QWidget* box = nullptr;      // the legend line and the chart
        QLabel* legend = nullptr;    // "name = value" of each line, in its colour
        QChartView* view = nullptr;
        QValueAxis* x = nullptr;
        QValueAxis* y = nullptr;
        QLineSeries* cursor = nullptr;
        std::array<Line, LINES> lines;
    };
    void buildLayout();
    void draw();
    void applyTimeAxis(AxisRange r);
    void applyValueAxis(std::size_t plot, const ValueAxis& a);
    const TelemetryRing* shown() const;  // the live ring, or its copy while paused; null before any
    AxisRange ringLimits() const;        // first and last sample time
    AxisRange liveRange() const;         // the last span of the ring
    // Indexes of the samples in the time window [first, last).
    std::pair<std::size_t, std::size_t> windowRange() const;
    // The plot under a viewport, its plot area in the viewport's pixels.
    int plotOf(QObject* viewport) const;
    QRectF plotRect(int plot) const;

    SimApp& sim_;
    std::array<Plot, PLOTS> plots_;
    std::unique_ptr<TelemetryRing> frozen_;
    QElapsedTimer lastDraw_;
    AxisRange xView_;                     // the paused time window
    AxisRange xShown_{-1.0, 0.0};          // what the time axes show
    double xStep_ = 0.0;
    // The value axes last set: a chart lays its labels out again on every
    // change, so live they change only when the data leaves them.
    std::array<ValueAxis, PLOTS> yAxis_{};
    std::array<std::optional<AxisRange>, PLOTS> yManual_{};  // zoomed or dragged while paused
    std::optional<double> cursor_;
    // A drag in progress: where it began and the ranges then.
    struct Drag {
        int plot = -1;
        QPointF start;
        AxisRange x, y;
    };
    std::optional<Drag> drag_;
};

}  // namespace uav
