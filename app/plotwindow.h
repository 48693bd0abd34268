// "Графики": up to four stacked live plots sharing the time axis, each with
// one or two of the telemetry quantities or the autopilot's set-points and
// loop errors, over the last 10, 30 or 120 s. Drawn from the ring the
// dynamics tick fills, at most ten times a second, so the plots never hold up
// the flight. Pause freezes the picture; the visible data can be exported to
// CSV and the picture to PNG.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "app/simapp.h"

class QCheckBox;
class QLabel;
class QComboBox;
class QPushButton;
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

    PlotWindow(SimApp& sim, QWidget* parent);
    ~PlotWindow() override;

    QComboBox* spanBox = nullptr;        // "10 с", "30 с", "120 с"
    QCheckBox* pauseBox = nullptr;       // "Пауза"
    QPushButton* csvButton = nullptr;    // "Экспорт CSV…"
    QPushButton* pngButton = nullptr;    // "Сохранить PNG…"
    std::array<std::array<QComboBox*, LINES>, PLOTS> quantityBoxes{};
    QWidget* plotArea = nullptr;         // the four charts, what the PNG shows

    // Chooses a plot's quantities (NONE hides a line; a plot with none is hidden).
    void setQuantities(int plot, int first, int second);
    void setSpanSeconds(int seconds);  // 10, 30 or 120
    double spanSeconds() const;
    void setPaused(bool paused);

    // Redraws from the ring, unless paused or drawn less than 100 ms ago.
    void refresh();
    // The visible data: "t_s" and each shown quantity, every sample of the
    // window. Throws SimError when the file cannot be written whole.
    void exportCsv(const QString& path) const;
    std::string visibleCsv() const;
    // The picture of the plots. Throws SimError.
    void savePng(const QString& path) const;

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
        std::array<Line, LINES> lines;
    };
    void buildLayout();
    void draw();
    void setTimeAxes();
    const TelemetryRing& shown() const;  // the live ring, or its copy while paused
    // Indexes of the samples in the window [first, last).
    std::pair<std::size_t, std::size_t> windowRange() const;

    SimApp& sim_;
    std::array<Plot, PLOTS> plots_;
    std::unique_ptr<TelemetryRing> frozen_;
    QElapsedTimer lastDraw_;
    // The axis ranges last set: a chart relays out its labels on every change,
    // so the ranges change only when the data leaves them.
    std::array<std::pair<double, double>, PLOTS> yRange_{};
};

}  // namespace uav
