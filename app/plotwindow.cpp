#include "app/plotwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <QWheelEvent>
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
#include "views/plotquantities.h"

namespace uav {

namespace {

constexpr int SPANS[] = {10, 30, 120};  // s
constexpr int MIN_DRAW_INTERVAL_MS = 100;  // at most ten pictures a second
constexpr double WHEEL_ZOOM = 0.8;         // span factor per wheel notch (120 eighths of a degree)
constexpr int GROUP_ROW = -2;              // item data of a kind's heading in the menus

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

const std::string& codeOf(int q) { return plotQuantityNames()[static_cast<std::size_t>(q)]; }

// Every code name has a label (a test checks it); the code name stands in otherwise.
PlotQuantityLabel labelOf(int q) {
    if (const PlotQuantityLabel* l = plotQuantityLabel(codeOf(q))) return *l;
    return {codeOf(q), "", codeOf(q), ""};
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

QString shortNumber(double v) { return QString::number(v, 'g', 6); }

void appendNumber(std::string& out, double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// The quantities in menus grouped by kind: a heading row (not selectable) per
// kind, the Russian name with its unit, the code name as the tooltip.
QStandardItemModel* quantityMenu(QObject* parent) {
    auto* model = new QStandardItemModel(parent);
    auto* none = new QStandardItem(QStringLiteral("—"));
    none->setData(PlotWindow::NONE, Qt::UserRole);
    model->appendRow(none);
    for (const std::string& group : plotQuantityGroups()) {
        auto* head = new QStandardItem(qs(group));
        head->setData(GROUP_ROW, Qt::UserRole);
        head->setFlags(Qt::NoItemFlags);
        QFont bold = head->font();
        bold.setBold(true);
        head->setFont(bold);
        model->appendRow(head);
        for (int q = 0; q < PLOT_QUANTITY_COUNT; ++q) {
            const PlotQuantityLabel l = labelOf(q);
            if (l.group != group) continue;
            auto* item = new QStandardItem(QStringLiteral("   ") + qs(nameWithUnit(l)));
            item->setData(q, Qt::UserRole);
            item->setToolTip(qs(l.code));
            model->appendRow(item);
        }
    }
    return model;
}

}  // namespace

PlotWindow::PlotWindow(SimApp& sim, QWidget* parent) : QWidget(parent), sim_(sim) {
    setObjectName(QStringLiteral("FormPlots"));
    setWindowFlags(Qt::Window);  // an ordinary window: it may go behind the main one
    setWindowTitle(QStringLiteral("Графики"));
    buildLayout();
    resize(900, 800);
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
    resetButton = new QPushButton(QStringLiteral("Сбросить масштаб"), this);
    resetButton->setEnabled(false);
    top->addWidget(resetButton);
    top->addStretch();
    csvButton = new QPushButton(QStringLiteral("Экспорт CSV…"), this);
    pngButton = new QPushButton(QStringLiteral("Сохранить PNG…"), this);
    top->addWidget(csvButton);
    top->addWidget(pngButton);

    plotArea = new QWidget(this);
    auto* stack = new QVBoxLayout(plotArea);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    QStandardItemModel* menu = quantityMenu(this);
    auto* choices = new QHBoxLayout;
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
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
        pl.x->setLabelFormat("%.0f");  // whole-second steps
        pl.x->setTickType(QValueAxis::TicksDynamic);
        pl.x->setTickAnchor(0.0);
        pl.x->setTitleText(QStringLiteral("время, с"));
        pl.x->setTitleFont(small);
        pl.y->setTickType(QValueAxis::TicksDynamic);
        pl.y->setTickAnchor(0.0);
        pl.y->setTitleFont(small);
        // As yAxis_ starts: 0 .. 1 in one step, no decimals.
        pl.y->setLabelFormat(QStringLiteral("%.0f"));
        pl.y->setTickInterval(1.0);
        pl.y->setRange(0.0, 1.0);
        chart->addAxis(pl.x, Qt::AlignBottom);
        chart->addAxis(pl.y, Qt::AlignLeft);
        for (int l = 0; l < LINES; ++l) {
            auto* s = new QLineSeries;
            chart->addSeries(s);
            s->attachAxis(pl.x);
            s->attachAxis(pl.y);
            pl.lines[static_cast<std::size_t>(l)].series = s;
            auto* box = new QComboBox(this);
            box->setModel(menu);
            box->setMaxVisibleItems(24);
            box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
            box->setMinimumContentsLength(14);
            box->setToolTip(QStringLiteral("График %1, линия %2").arg(p + 1).arg(l + 1));
            quantityBoxes[static_cast<std::size_t>(p)][static_cast<std::size_t>(l)] = box;
            choices->addWidget(box);
            connect(box, &QComboBox::currentIndexChanged, this, [this, p] {
                const auto& b = quantityBoxes[static_cast<std::size_t>(p)];
                setQuantities(p, b[0]->currentData().toInt(), b[1]->currentData().toInt());
            });
        }
        pl.cursor = new QLineSeries;
        QPen cursorPen(QColor(80, 80, 80));
        cursorPen.setStyle(Qt::DashLine);
        pl.cursor->setPen(cursorPen);
        chart->addSeries(pl.cursor);
        pl.cursor->attachAxis(pl.x);
        pl.cursor->attachAxis(pl.y);
        pl.cursor->setVisible(false);

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
        pl.view->setMinimumHeight(130);
        pl.view->viewport()->setMouseTracking(true);
        pl.view->viewport()->installEventFilter(this);
        boxLayout->addWidget(pl.legend);
        boxLayout->addWidget(pl.view, 1);
        stack->addWidget(pl.box);
    }

    scrollBar = new QScrollBar(Qt::Horizontal, this);
    scrollBar->setEnabled(false);
    scrollBar->setToolTip(QStringLiteral("Всё кольцо записанных значений (в паузе)"));
    cursorLabel = new QLabel(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(choices);
    layout->addWidget(plotArea, 1);
    layout->addWidget(scrollBar);
    layout->addWidget(cursorLabel);

    connect(spanBox, &QComboBox::currentIndexChanged, this, [this] {
        if (frozen_) {
            // Paused: the new span ends where the view ends.
            xView_ = clampToLimits({xView_.hi - spanSeconds(), xView_.hi}, ringLimits());
        }
        lastDraw_.invalidate();
        draw();
    });
    connect(pauseBox, &QCheckBox::toggled, this, [this](bool on) { setPaused(on); });
    connect(resetButton, &QPushButton::clicked, this, [this] { resetView(); });
    connect(scrollBar, &QScrollBar::valueChanged, this, [this](int v) {
        if (!frozen_) return;
        const AxisRange lim = ringLimits();
        const double lo = lim.lo + v * frozen_->dt();
        xView_ = clampToLimits({lo, lo + xView_.span()}, lim);
        draw();
    });
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
    QStringList units;
    for (int l = 0; l < LINES; ++l) {
        Line& line = pl.lines[static_cast<std::size_t>(l)];
        line.quantity = (want[l] >= 0 && want[l] < PLOT_QUANTITY_COUNT) ? want[l] : NONE;
        line.series->setVisible(line.quantity != NONE);
        QComboBox* box = quantityBoxes[static_cast<std::size_t>(plot)][static_cast<std::size_t>(l)];
        const QSignalBlocker block(box);
        box->setCurrentIndex(std::max(0, box->findData(line.quantity)));
        if (line.quantity != NONE) {
            const PlotQuantityLabel q = labelOf(line.quantity);
            const QString unit = q.unit.empty() ? QStringLiteral("доля хода") : qs(q.unit);
            if (!units.contains(unit)) units << unit;
        }
    }
    pl.y->setTitleText(units.join(QStringLiteral("; ")));
    pl.box->setVisible(pl.lines[0].quantity != NONE || pl.lines[1].quantity != NONE);
    yManual_[static_cast<std::size_t>(plot)].reset();
    lastDraw_.invalidate();
    draw();
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
    if (paused && sim_.plotRing) {
        frozen_ = std::make_unique<TelemetryRing>(*sim_.plotRing);
        xView_ = liveRange();
    } else {
        frozen_.reset();
    }
    for (auto& m : yManual_) m.reset();
    cursor_.reset();
    drag_.reset();
    resetButton->setEnabled(paused);
    scrollBar->setEnabled(paused);
    lastDraw_.invalidate();
    draw();
}

void PlotWindow::resetView() {
    if (frozen_) xView_ = liveRange();
    for (auto& m : yManual_) m.reset();
    draw();
}

const TelemetryRing* PlotWindow::shown() const { return frozen_ ? frozen_.get() : sim_.plotRing.get(); }

AxisRange PlotWindow::ringLimits() const {
    const TelemetryRing* r = shown();
    if (!r || r->size() == 0) return {0.0, spanSeconds()};
    return {r->time(0), r->time(r->size() - 1)};
}

AxisRange PlotWindow::liveRange() const {
    const TelemetryRing* r = shown();
    // An empty ring shows the first span of the flight's clock from now.
    const double end = (r && r->size()) ? r->time(r->size() - 1)
                                        : static_cast<double>(sim_.flightTicks) * sim_.state.dt + spanSeconds();
    return {end - spanSeconds(), end};
}

std::pair<std::size_t, std::size_t> PlotWindow::windowRange() const {
    const TelemetryRing* r = shown();
    if (!r || r->size() == 0) return {0, 0};
    const AxisRange x = frozen_ ? xView_ : liveRange();
    // Half a tick of slack: a sample on the window's edge belongs to it.
    const double slack = r->dt() / 2;
    return {r->firstAtOrAfter(x.lo - slack), r->firstAtOrAfter(x.hi + slack)};
}

void PlotWindow::zoomTime(double anchor, double factor) {
    if (!frozen_) return;
    const AxisRange lim = ringLimits();
    const double maxSpan = std::max(lim.span(), spanSeconds());
    xView_ = clampToLimits(zoomRange(xView_, anchor, factor, MIN_TIME_SPAN, maxSpan), lim);
    draw();
}

void PlotWindow::panTime(double delta) {
    if (!frozen_) return;
    xView_ = clampToLimits(panRange(xView_, delta), ringLimits());
    draw();
}

void PlotWindow::zoomValues(int plot, double anchor, double factor) {
    if (!frozen_ || plot < 0 || plot >= PLOTS) return;
    const auto k = static_cast<std::size_t>(plot);
    const AxisRange r = yAxis_[k].range;
    const double size = std::max(std::abs(r.lo), std::abs(r.hi));
    // Labels finer than a millionth of the values would need more digits than a double has.
    yManual_[k] = zoomRange(r, anchor, factor, std::max(size * 1e-6, 1e-12), std::max(size, 1.0) * 1e6);
    draw();
}

void PlotWindow::panValues(int plot, double delta) {
    if (!frozen_ || plot < 0 || plot >= PLOTS) return;
    const auto k = static_cast<std::size_t>(plot);
    yManual_[k] = panRange(yAxis_[k].range, delta);
    draw();
}

void PlotWindow::setCursor(std::optional<double> t) {
    cursor_ = t;
    draw();
}

void PlotWindow::refresh() {
    if (frozen_) return;
    if (lastDraw_.isValid() && lastDraw_.elapsed() < MIN_DRAW_INTERVAL_MS) return;
    draw();
}

void PlotWindow::applyTimeAxis(AxisRange r) {
    const double step = timeTickStep(r.span());
    if (r == xShown_ && step == xStep_) return;
    xShown_ = r;
    xStep_ = step;
    for (Plot& pl : plots_) {
        pl.x->setTickInterval(step);
        pl.x->setRange(r.lo, r.hi);
    }
}

void PlotWindow::applyValueAxis(std::size_t k, const ValueAxis& a) {
    const ValueAxis& old = yAxis_[k];
    Plot& pl = plots_[k];
    if (a.decimals != old.decimals)
        pl.y->setLabelFormat(QStringLiteral("%.%1f").arg(a.decimals));
    if (a.step != old.step) pl.y->setTickInterval(a.step);
    if (!(a.range == old.range)) pl.y->setRange(a.range.lo, a.range.hi);
    yAxis_[k] = a;
}

QString PlotWindow::legendText(int plot) const { return plots_[static_cast<std::size_t>(plot)].legend->text(); }

void PlotWindow::draw() {
    lastDraw_.start();
    const TelemetryRing* ring = shown();
    const AxisRange x = frozen_ ? xView_ : liveRange();
    applyTimeAxis(x);
    const auto [first, last] = windowRange();
    // One sample beyond each edge, so that a zoomed line reaches the frame.
    const std::size_t from = first > 0 ? first - 1 : first;
    const std::size_t to = (ring && last < ring->size()) ? last + 1 : last;
    // The sample the legend reads: at the cursor while there is one (none
    // where the ring holds nothing), else the newest shown.
    std::optional<std::size_t> reading;
    if (ring && ring->size()) {
        if (frozen_ && cursor_) {
            const std::size_t i = ring->nearest(*cursor_);
            if (std::abs(ring->time(i) - *cursor_) <= ring->dt()) reading = i;
        } else if (last > first) {
            reading = last - 1;
        }
    }
    QList<QPointF> points;
    points.reserve(MAX_POINTS + 2);
    for (std::size_t k = 0; k < plots_.size(); ++k) {
        Plot& pl = plots_[k];
        if (pl.box->isHidden()) continue;
        double lo = INFINITY, hi = -INFINITY;
        QString legend;
        for (Line& line : pl.lines) {
            if (line.quantity == NONE) continue;
            points.clear();
            const int q = line.quantity;
            if (ring) {
                for (std::size_t i : plotSamples(*ring, q, from, to, MAX_POINTS / 2)) {
                    const double v = ring->value(i, q);
                    points.append({ring->time(i), v});
                    if (std::isfinite(v) && i >= first && i < last) {
                        lo = std::min(lo, v);
                        hi = std::max(hi, v);
                    }
                }
            }
            line.series->replace(points);
            const PlotQuantityLabel label = labelOf(q);
            legend += QStringLiteral("<span style=\"color:%1\">&#9632;</span> %2")
                          .arg(line.series->color().name(), qs(label.name).toHtmlEscaped());
            if (reading) legend += " = " + shortNumber(ring->value(*reading, q)) + (label.unit.empty() ? "" : " " + qs(label.unit));
            legend += "&nbsp;&nbsp;&nbsp;";
        }
        pl.legend->setText(legend);
        const int steps = valueIntervalsFor(plotRect(static_cast<int>(k)).height());
        ValueAxis y;
        if (yManual_[k])
            y = valueAxisOver(*yManual_[k], steps);
        else if (frozen_)
            y = valueAxisFor(lo, hi, steps);  // fits what the paused view shows
        else
            y = followValueAxis(yAxis_[k], lo, hi, steps);
        applyValueAxis(k, y);
        const bool cursorShown = frozen_ && cursor_;
        pl.cursor->setVisible(cursorShown);
        if (cursorShown) pl.cursor->replace(QList<QPointF>{{*cursor_, y.range.lo}, {*cursor_, y.range.hi}});
    }

    if (frozen_) {
        const AxisRange lim = ringLimits();
        const double dt = frozen_->dt();
        const QSignalBlocker block(scrollBar);
        scrollBar->setRange(0, std::max(0, static_cast<int>(std::lround((lim.span() - xView_.span()) / dt))));
        scrollBar->setPageStep(std::max(1, static_cast<int>(std::lround(xView_.span() / dt))));
        scrollBar->setSingleStep(std::max(1, static_cast<int>(std::lround(timeTickStep(xView_.span()) / dt))));
        scrollBar->setValue(static_cast<int>(std::lround((xView_.lo - lim.lo) / dt)));
        if (cursor_ && reading)
            cursorLabel->setText(QStringLiteral("t = %1 с").arg(qs(tickTimeText(ring->tick(*reading), dt))));
        else if (cursor_)
            cursorLabel->setText(QStringLiteral("t = %1 с: нет данных").arg(*cursor_, 0, 'f', 2));
        else
            cursorLabel->setText(QStringLiteral(
                "Колесо — масштаб по времени, Ctrl+колесо — по вертикали, перетаскивание — сдвиг, двойной щелчок — сброс"));
    } else {
        cursorLabel->clear();
    }
}

int PlotWindow::plotOf(QObject* viewport) const {
    for (std::size_t k = 0; k < plots_.size(); ++k)
        if (plots_[k].view->viewport() == viewport) return static_cast<int>(k);
    return -1;
}

QRectF PlotWindow::plotRect(int plot) const {
    const Plot& pl = plots_[static_cast<std::size_t>(plot)];
    QChart* chart = pl.view->chart();
    return pl.view->mapFromScene(chart->mapRectToScene(chart->plotArea())).boundingRect();
}

bool PlotWindow::eventFilter(QObject* watched, QEvent* event) {
    const int plot = plotOf(watched);
    if (plot < 0 || !frozen_) return QWidget::eventFilter(watched, event);
    const QRectF area = plotRect(plot);
    const AxisRange yr = yAxis_[static_cast<std::size_t>(plot)].range;
    auto timeAt = [&](QPointF p) { return valueAtPixel(p.x(), area.left(), area.right(), xView_); };
    auto valueAt = [&](QPointF p) { return valueAtPixel(p.y(), area.bottom(), area.top(), yr); };
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* w = static_cast<QWheelEvent*>(event);
        const double notches = w->angleDelta().y() / 120.0;
        if (notches == 0.0) return true;
        const double factor = std::pow(WHEEL_ZOOM, notches);
        if (w->modifiers() & Qt::ControlModifier)
            zoomValues(plot, valueAt(w->position()), factor);
        else
            zoomTime(timeAt(w->position()), factor);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(event);
        if (m->button() != Qt::LeftButton) break;
        drag_ = Drag{plot, m->position(), xView_, yr};
        return true;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(event);
        if (drag_ && drag_->plot == plot && (m->buttons() & Qt::LeftButton)) {
            const QPointF d = m->position() - drag_->start;
            // The data follows the pointer: a drag to the right shows earlier times.
            const double dt = -d.x() / std::max(1.0, area.width()) * drag_->x.span();
            const double dv = d.y() / std::max(1.0, area.height()) * drag_->y.span();
            xView_ = clampToLimits(panRange(drag_->x, dt), ringLimits());
            yManual_[static_cast<std::size_t>(plot)] = panRange(drag_->y, dv);
            draw();
        } else if (area.contains(m->position())) {
            setCursor(timeAt(m->position()));
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        drag_.reset();
        return true;
    case QEvent::MouseButtonDblClick:
        resetView();
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

std::string PlotWindow::visibleCsv() const {
    std::vector<int> qs;
    for (const Plot& pl : plots_)
        for (const Line& line : pl.lines)
            if (line.quantity != NONE && std::find(qs.begin(), qs.end(), line.quantity) == qs.end())
                qs.push_back(line.quantity);
    std::string out = "t_s";
    for (int q : qs) out += "," + codeOf(q);
    out += '\n';
    const TelemetryRing* r = shown();
    if (!r) return out;
    const auto [first, last] = windowRange();
    for (std::size_t i = first; i < last; ++i) {
        out += tickTimeText(r->tick(i), r->dt());
        for (int q : qs) {
            out += ',';
            appendNumber(out, r->value(i, q));
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
