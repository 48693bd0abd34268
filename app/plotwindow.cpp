#include "app/plotwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/guarded.h"
#include "app/programfiles.h"
#include "core/errors.h"

namespace uav {

namespace {

constexpr int SPANS[] = {10, 30, 120};  // s
constexpr int MIN_DRAW_INTERVAL_MS = 100;  // at most ten pictures a second

// What a user watching a return flight wants first.
constexpr const char* DEFAULT_LINES[PlotWindow::PLOTS][PlotWindow::LINES] = {
    {"posH_m", "altitudeLoop.setpoint_m"},
    {"roll_deg", "rollLoop.setpoint_deg"},
    {"airspeed_ms", "speedLoop.setpoint_ms"},
    {"posD_m", nullptr}};

int quantityIndex(const char* name) {
    if (!name) return PlotWindow::NONE;
    const auto& names = plotQuantityNames();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    return PlotWindow::NONE;
}

QString shortNumber(double v) { return QString::number(v, 'g', 5); }

// A round step near range / 4: 1, 2 or 5 times a power of ten.
double niceStep(double range) {
    const double raw = range / 4.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * p) return m * p;
    return 10.0 * p;
}

void appendNumber(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

}  // namespace

PlotWindow::PlotWindow(SimApp& sim, QWidget* parent) : QWidget(parent), sim_(sim) {
    setObjectName(QStringLiteral("FormPlots"));
    setWindowFlags(Qt::Window);  // an ordinary window: it may go behind the main one
    setWindowTitle(QStringLiteral("Графики"));
    buildLayout();
    resize(900, 760);
    for (int p = 0; p < PLOTS; ++p) setQuantities(p, quantityIndex(DEFAULT_LINES[p][0]), quantityIndex(DEFAULT_LINES[p][1]));
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::buildLayout() {
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Окно:"), this));
    spanBox = new QComboBox(this);
    for (int s : SPANS) spanBox->addItem(QStringLiteral("%1 с").arg(s), s);
    spanBox->setCurrentIndex(1);
    top->addWidget(spanBox);
    pauseBox = new QCheckBox(QStringLiteral("Пауза"), this);
    top->addWidget(pauseBox);
    top->addStretch();
    csvButton = new QPushButton(QStringLiteral("Экспорт CSV…"), this);
    pngButton = new QPushButton(QStringLiteral("Сохранить PNG…"), this);
    top->addWidget(csvButton);
    top->addWidget(pngButton);

    plotArea = new QWidget(this);
    auto* stack = new QVBoxLayout(plotArea);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    QStringList items{QStringLiteral("—")};
    for (const std::string& n : plotQuantityNames()) items << QString::fromStdString(n);
    auto* choices = new QHBoxLayout;
    for (int p = 0; p < PLOTS; ++p) {
        Plot& pl = plots_[static_cast<std::size_t>(p)];
        auto* chart = new QChart;
        chart->setAnimationOptions(QChart::NoAnimation);
        // The legend changes with every picture: a label outside the chart
        // costs a fraction of a chart legend's relayout.
        chart->legend()->hide();
        chart->setMargins(QMargins(4, 0, 4, 0));
        pl.x = new QValueAxis;
        pl.y = new QValueAxis;
        // Time in seconds before the newest sample: the axis stays still and
        // the curves move, so its labels are laid out once per span.
        pl.x->setLabelFormat("%.0f");
        pl.x->setTickType(QValueAxis::TicksDynamic);
        pl.x->setTickAnchor(0.0);
        pl.y->setLabelFormat("%.4g");
        pl.y->setTickType(QValueAxis::TicksDynamic);
        pl.y->setTickAnchor(0.0);
        chart->addAxis(pl.x, Qt::AlignBottom);
        chart->addAxis(pl.y, Qt::AlignLeft);
        for (int l = 0; l < LINES; ++l) {
            auto* s = new QLineSeries;
            chart->addSeries(s);
            s->attachAxis(pl.x);
            s->attachAxis(pl.y);
            pl.lines[static_cast<std::size_t>(l)].series = s;
            auto* box = new QComboBox(this);
            box->addItems(items);
            box->setMaxVisibleItems(20);
            box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            box->setMinimumContentsLength(12);
            box->setToolTip(QStringLiteral("График %1, линия %2").arg(p + 1).arg(l + 1));
            quantityBoxes[static_cast<std::size_t>(p)][static_cast<std::size_t>(l)] = box;
            choices->addWidget(box);
            connect(box, &QComboBox::currentIndexChanged, this, [this, p] {
                const auto& b = quantityBoxes[static_cast<std::size_t>(p)];
                setQuantities(p, b[0]->currentIndex() - 1, b[1]->currentIndex() - 1);
            });
        }
        pl.box = new QWidget(plotArea);
        auto* boxLayout = new QVBoxLayout(pl.box);
        boxLayout->setContentsMargins(0, 0, 0, 0);
        boxLayout->setSpacing(0);
        pl.legend = new QLabel(pl.box);
        pl.legend->setAlignment(Qt::AlignHCenter);
        pl.legend->setTextFormat(Qt::RichText);
        pl.legend->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        pl.view = new QChartView(chart, pl.box);
        pl.view->setRenderHint(QPainter::Antialiasing, false);
        pl.view->setMinimumHeight(120);
        boxLayout->addWidget(pl.legend);
        boxLayout->addWidget(pl.view, 1);
        stack->addWidget(pl.box);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(choices);
    layout->addWidget(plotArea, 1);

    connect(spanBox, &QComboBox::currentIndexChanged, this, [this] {
        setTimeAxes();
        lastDraw_.invalidate();
        draw();
    });
    setTimeAxes();
    connect(pauseBox, &QCheckBox::toggled, this, [this](bool on) { setPaused(on); });
    connect(csvButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт CSV…"),
                                                          dialogFolder(sim_) + "plots.csv",
                                                          QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty()) guarded(this, [&] { exportCsv(path); });
    });
    connect(pngButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить PNG…"),
                                                          dialogFolder(sim_) + "plots.png",
                                                          QStringLiteral("PNG (*.png)"));
        if (!path.isEmpty()) guarded(this, [&] { savePng(path); });
    });
}

void PlotWindow::setQuantities(int plot, int first, int second) {
    Plot& pl = plots_[static_cast<std::size_t>(plot)];
    const int want[LINES] = {first, second};
    for (int l = 0; l < LINES; ++l) {
        Line& line = pl.lines[static_cast<std::size_t>(l)];
        line.quantity = (want[l] >= 0 && want[l] < PLOT_QUANTITY_COUNT) ? want[l] : NONE;
        line.series->setVisible(line.quantity != NONE);
        QComboBox* box = quantityBoxes[static_cast<std::size_t>(plot)][static_cast<std::size_t>(l)];
        const QSignalBlocker block(box);
        box->setCurrentIndex(line.quantity + 1);
    }
    pl.box->setVisible(first != NONE || second != NONE);
    lastDraw_.invalidate();
    draw();
}

void PlotWindow::setTimeAxes() {
    const double span = spanSeconds();
    for (Plot& pl : plots_) {
        pl.x->setTickInterval(span / 6);  // 2, 5 or 20 s
        pl.x->setRange(-span, 0.0);
    }
}

void PlotWindow::setSpanSeconds(int seconds) {
    const int i = spanBox->findData(seconds);
    if (i >= 0) spanBox->setCurrentIndex(i);
}

double PlotWindow::spanSeconds() const { return spanBox->currentData().toDouble(); }

void PlotWindow::setPaused(bool paused) {
    if (pauseBox->isChecked() != paused) {
        pauseBox->setChecked(paused);  // comes back here through toggled
        return;
    }
    if (paused && sim_.plotRing)
        frozen_ = std::make_unique<TelemetryRing>(*sim_.plotRing);
    else
        frozen_.reset();
    lastDraw_.invalidate();
    draw();
}

const TelemetryRing& PlotWindow::shown() const { return frozen_ ? *frozen_ : *sim_.plotRing; }

std::pair<std::size_t, std::size_t> PlotWindow::windowRange() const {
    const TelemetryRing& r = shown();
    if (r.size() == 0) return {0, 0};
    const double end = r.time(r.size() - 1);
    return {r.firstAtOrAfter(end - spanSeconds()), r.size()};
}

void PlotWindow::refresh() {
    if (frozen_) return;
    if (lastDraw_.isValid() && lastDraw_.elapsed() < MIN_DRAW_INTERVAL_MS) return;
    draw();
}

void PlotWindow::draw() {
    if (!sim_.plotRing) return;
    lastDraw_.start();
    const TelemetryRing& r = shown();
    const auto [first, last] = windowRange();
    const double end = last > first ? r.time(last - 1) : 0.0;
    const std::size_t n = last - first;
    // Min and max of each column keep spikes visible however long the window.
    const std::size_t columns = MAX_POINTS / 2;
    QList<QPointF> points;
    points.reserve(MAX_POINTS);
    for (std::size_t k = 0; k < plots_.size(); ++k) {
        Plot& pl = plots_[k];
        if (pl.box->isHidden()) continue;
        double lo = INFINITY, hi = -INFINITY;
        QString legend;
        for (Line& line : pl.lines) {
            if (line.quantity == NONE) continue;
            points.clear();
            const int q = line.quantity;
            auto add = [&](std::size_t i) {
                const double v = r.value(i, q);
                points.append({r.time(i) - end, v});
                if (std::isfinite(v)) {
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            };
            if (n <= static_cast<std::size_t>(MAX_POINTS)) {
                for (std::size_t i = first; i < last; ++i) add(i);
            } else {
                for (std::size_t c = 0; c < columns; ++c) {
                    const std::size_t a = first + n * c / columns, b = first + n * (c + 1) / columns;
                    std::size_t iMin = a, iMax = a;
                    for (std::size_t i = a; i < b; ++i) {
                        if (r.value(i, q) < r.value(iMin, q)) iMin = i;
                        if (r.value(i, q) > r.value(iMax, q)) iMax = i;
                    }
                    add(std::min(iMin, iMax));
                    if (iMax != iMin) add(std::max(iMin, iMax));
                }
            }
            line.series->replace(points);
            const QString name = QString::fromStdString(plotQuantityNames()[static_cast<std::size_t>(q)]);
            legend += QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2").arg(line.series->color().name(), name);
            if (n) legend += " = " + shortNumber(r.value(last - 1, q));
            legend += "&nbsp;&nbsp;&nbsp;";
        }
        pl.legend->setText(legend);
        // The y range follows the data in round steps, and only when the data
        // leaves it or fills less than a quarter of it.
        if (!(lo <= hi)) lo = hi = 0.0;
        auto& [ylo, yhi] = yRange_[k];
        const bool outside = lo < ylo || hi > yhi || ylo >= yhi;
        const bool loose = (hi - lo) < 0.25 * (yhi - ylo) && yhi - ylo > 2 * niceStep(std::max(hi - lo, 1e-9));
        if (outside || loose) {
            const double step = niceStep(hi > lo ? hi - lo : std::max(1.0, std::abs(hi) * 0.1));
            ylo = std::floor(lo / step) * step;
            yhi = std::ceil(hi / step) * step;
            if (yhi - ylo < step) yhi = ylo + step;
            if (yhi == hi) yhi += step / 2;
            if (ylo == lo) ylo -= step / 2;
            pl.y->setTickInterval(step);
            pl.y->setRange(ylo, yhi);
        }
    }
}

std::string PlotWindow::visibleCsv() const {
    std::vector<int> qs;
    for (const Plot& pl : plots_)
        for (const Line& line : pl.lines)
            if (line.quantity != NONE && std::find(qs.begin(), qs.end(), line.quantity) == qs.end())
                qs.push_back(line.quantity);
    std::string out = "t_s";
    for (int q : qs) out += "," + plotQuantityNames()[static_cast<std::size_t>(q)];
    out += '\n';
    if (!sim_.plotRing) return out;
    const TelemetryRing& r = shown();
    const auto [first, last] = windowRange();
    for (std::size_t i = first; i < last; ++i) {
        appendNumber(out, r.time(i));
        for (int q : qs) {
            out += ',';
            appendNumber(out, r.value(i, q));
        }
        out += '\n';
    }
    return out;
}

void PlotWindow::exportCsv(const QString& path) const {
    const std::string bytes = visibleCsv();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) throw SimError("cannot write '" + path.toStdString() + "': " + f.errorString().toStdString());
    const qint64 n = f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (n != static_cast<qint64>(bytes.size()) || !f.flush() || f.error() != QFileDevice::NoError) {
        const std::string why = f.errorString().toStdString();
        f.cancelWriting();
        throw SimError("writing '" + path.toStdString() + "' failed: " + why);
    }
    if (!f.commit()) throw SimError("writing '" + path.toStdString() + "' failed: " + f.errorString().toStdString());
}

void PlotWindow::savePng(const QString& path) const {
    if (!plotArea->grab().save(path, "PNG")) throw SimError("cannot write '" + path.toStdString() + "'");
}

}  // namespace uav
