// A flight recorded in the window, with its timers running in real time on the
// offscreen platform, re-flown headless: the replay's telemetry is the
// recorder's, byte for byte. And the live plots from the same ring.

#include <set>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QLabel>
#include <QWheelEvent>
#include <QtCharts/QChartView>
#include <sstream>

#include "app/plotwindow.h"
#include "app/recordingui.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tform5.h"
#include "app/tform7.h"
#include "record/recording.h"
#include "record/replay.h"
#include "tests/testutil.h"

using namespace uav;
using namespace uav::test;

namespace {

class RecordedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        sim.appDir = dir.path.string() + "/";
        sim.decimalSep = ',';
        w = createWindows(sim);
    }
    void TearDown() override { delete w.form1; }
    TForm1& f() { return *w.form1; }
    RecordingUi& rec() { return *f().recordingUi(); }

    // Runs the event loop for `ms`, doing each action at its time.
    void fly(int ms, const std::vector<std::pair<int, std::function<void()>>>& actions) {
        QEventLoop loop;
        for (const auto& [at, act] : actions) QTimer::singleShot(at, &f(), act);
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    TempDir dir;
    SimApp sim;
    Windows w;
};

template <std::size_t I = 0>
EventData eventOfKindForTest(std::size_t k) {
    if constexpr (I < std::variant_size_v<EventData>) {
        if (k == I) return EventData(std::in_place_index<I>);
        return eventOfKindForTest<I + 1>(k);
    } else {
        return EventData{};
    }
}

int csvRows(const std::string& csv) { return static_cast<int>(std::count(csv.begin(), csv.end(), '\n')) - 1; }

}  // namespace

TEST_F(RecordedWindow, SixtySecondSessionReplaysByteForByte) {
    const std::string path = dir / "flight.uavrec";
    f().SpinEdit9->setValue(4);
    f().CheckBox2->click();  // gusts on, every second
    rec().startRecording(QString::fromStdString(path));
    EXPECT_EQ(f().windowTitle(), QStringLiteral("Симулятор — REC"));
    EXPECT_FALSE(rec().startAction->isEnabled());
    f().SpeedButton2->click();

    auto mode = [this](int i) { return [this, i] { f().RadioGroup1Buttons->button(i)->click(); }; };
    fly(60000, {
        {2000, [this] { f().TrackBar1->setValue(40); }},
        {4000, [this] { f().TrackBar4->setValue(0); }},
        {6000, [this] { f().TrackBar3->setValue(-20); }},
        {10000, mode(1)},  // stabilise: the sliders are set-points now
        {11000, [this] { w.form5->SpeedButton1Click(); }},  // "Start AT": the relay flies bank and pitch
        {14000, [this] { f().TrackBar1->setValue(-30); }},
        {17000, [this] {
             try {
                 w.form5->SpeedButton2Click();  // "Stpop AT": the proposals go into the fields
             } catch (const SimError&) {  // no proposal: the tuning stops all the same
             }
         }},
        {20000, [this] {
             // A heavier model, applied in flight.
             ModelTexts t = w.form2->texts();
             t.scalars[3] = "2,6";
             t.params[2][4] = "0,45";
             w.form2->setTexts(t);
             w.form2->applyModel();
         }},
        {24000, [this] {
             StabiliserTexts t = w.form5->texts();
             t.text[ST_ROLL_KP] = "25";
             w.form5->setTexts(t);
             w.form5->SpeedButton4Click();
         }},
        {28000, mode(2)},  // return home
        {32000, [this] {
             // The auto-return window's apply, in flight: a lower return altitude.
             ReturnTexts t = w.form7->texts();
             t.text[RT_ALTITUDE] = "40";
             w.form7->setTexts(t);
             w.form7->SpeedButton4Click();
         }},
        {36000, [this] { f().Image1MouseDown(Qt::LeftButton, 80, 40); }},
        {44000, [this] { f().SpeedButton3->click(); }},
        {46000, [this] { f().SpeedButton2->click(); }},
        {50000, [this] { f().SpeedButton4->click(); }},  // initial conditions, in flight
        {52000, mode(0)},
        {54000, [this] { f().TrackBar2->setValue(20); }},
    });
    rec().stopRecording();
    // The caption the relay tuning left ("crossings  crossings"), without the mark.
    EXPECT_FALSE(f().windowTitle().endsWith(QStringLiteral(" — REC"))) << f().windowTitle().toStdString();
    EXPECT_TRUE(rec().startAction->isEnabled());

    const std::string recorded = fileBytes(path + ".csv");
    // Even a loaded machine gives most of the 6000 ticks of a minute.
    EXPECT_GT(csvRows(recorded), 400);
    std::ostringstream replayed;
    const ReplaySummary sum = replayRecording(fileBytes(path), &replayed);
    EXPECT_EQ(sum.problem, "");
    EXPECT_TRUE(sum.finished);
    EXPECT_EQ(csvRows(replayed.str()), csvRows(recorded));
    EXPECT_TRUE(replayed.str() == recorded) << "the replay's telemetry differs from the recorder's";
    expectSameState(sum.final, sim.state);  // the replay ends where the window stands

    // Every kind of input the windows have reached the recording.
    const std::string bytes = fileBytes(path);
    RecordingReader reader(bytes);
    reader.start();
    std::set<std::size_t> kinds;
    for (std::vector<Event> block = reader.nextBlock(); !block.empty(); block = reader.nextBlock())
        for (const Event& e : block) kinds.insert(e.data.index());
    for (std::size_t k = 0; k < std::variant_size_v<EventData>; ++k)
        EXPECT_TRUE(kinds.count(k)) << "no " << eventName(eventOfKindForTest(k)) << " event in the recording";
}

TEST_F(RecordedWindow, RelayTuningsCaptionWinsOverTheMark) {
    rec().startRecording(QString::fromStdString(dir / "t.uavrec"));
    f().SpeedButton2->click();
    w.form5->SpeedButton1Click();  // "Start AT"
    for (int i = 0; i < 3; ++i) f().Timer2Timer();
    f().Timer1Timer();
    EXPECT_EQ(f().windowTitle(), QStringLiteral("0  0"));  // the relay's crossings, no mark
    sim.ap.tuning.on = false;  // as "Stpop AT" leaves it, without its proposal's message
    f().Timer1Timer();
    EXPECT_EQ(f().windowTitle(), QStringLiteral("0  0 — REC"));
    rec().stopRecording();
    EXPECT_EQ(f().windowTitle(), QStringLiteral("0  0"));
}

TEST_F(RecordedWindow, PlotsDrawTheRingAndExportWhatTheyShow) {
    PlotWindow& p = *rec().plots();
    p.setSpanSeconds(10);
    p.setQuantities(0, 1, PlotWindow::NONE);  // posH_m
    p.setQuantities(3, PlotWindow::NONE, PlotWindow::NONE);  // the fourth plot hidden
    p.show();
    f().SpeedButton2->click();
    fly(1500, {});
    ASSERT_NE(sim.plotRing, nullptr);
    EXPECT_GT(sim.plotRing->size(), 50u);
    p.setPaused(true);
    const std::string csv = p.visibleCsv();
    // Every sample of the window, the paused copy's last one being the ring's then.
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "t_s,posH_m,roll_deg,rollLoop.setpoint_deg,airspeed_ms,speedLoop.setpoint_ms");
    EXPECT_EQ(csvRows(csv), static_cast<int>(sim.plotRing->size()));
    fly(300, {});
    EXPECT_EQ(p.visibleCsv(), csv);  // paused: the picture and its data stay
    p.exportCsv(QString::fromStdString(dir / "plots.csv"));
    EXPECT_EQ(fileBytes(dir / "plots.csv"), csv);
    p.savePng(QString::fromStdString(dir / "plots.png"));
    EXPECT_GT(fileBytes(dir / "plots.png").size(), 1000u);
}

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string field(const std::string& row, int n) {
    std::size_t b = 0;
    for (int i = 0; i < n; ++i) b = row.find(',', b) + 1;
    return row.substr(b, row.find(',', b) - b);
}

}  // namespace

TEST_F(RecordedWindow, PlotsShareTheRecordingsClockAndZoomWhilePaused) {
    PlotWindow& p = *rec().plots();
    p.setSpanSeconds(10);
    p.setQuantities(0, 1, PlotWindow::NONE);  // posH_m
    p.show();
    // Nothing flown into the ring yet: paused, zoomed, panned, exported, read.
    p.setPaused(true);
    p.zoomTime(5.0, 0.1);
    p.panTime(-1e9);
    p.zoomValues(0, 0.0, 0.5);
    p.setCursor(3.0);
    EXPECT_EQ(p.visibleCsv(), "t_s,posH_m,roll_deg,rollLoop.setpoint_deg,airspeed_ms,speedLoop.setpoint_ms,posD_m\n");
    p.exportCsv(QString::fromStdString(dir / "empty.csv"));
    EXPECT_EQ(csvRows(fileBytes(dir / "empty.csv")), 0);
    p.setPaused(false);

    // Half a second flown, then a recording of a second and a half.
    f().SpeedButton2->click();
    fly(500, {});
    const std::int64_t ticksBefore = sim.flightTicks;
    ASSERT_GT(ticksBefore, 10);
    const std::string path = dir / "f.uavrec";
    rec().startRecording(QString::fromStdString(path));
    fly(1500, {});
    rec().stopRecording();
    p.setPaused(true);
    const auto plotted = lines(p.visibleCsv());
    const auto recorded = lines(fileBytes(path + ".csv"));
    ASSERT_GT(recorded.size(), 10u);
    // The recording's rows keep the flight's clock, not the recording's.
    EXPECT_EQ(field(recorded[1], 0), tickTimeText(ticksBefore + CSV_TICKS, 0.01));
    // Each recorded row is a plotted row: same time text, same altitude.
    int matched = 0;
    for (std::size_t i = 1; i < recorded.size(); ++i)
        for (const std::string& row : plotted)
            if (field(row, 0) == field(recorded[i], 0)) {
                EXPECT_EQ(field(row, 1), field(recorded[i], 2)) << "posH at t " << field(row, 0);
                ++matched;
            }
    EXPECT_EQ(matched, static_cast<int>(recorded.size()) - 1);

    // Paused: the ring holds about 2 s; the 10 s view ends at its newest sample.
    const TelemetryRing& ring = *sim.plotRing;
    const double newest = ring.time(ring.size() - 1);
    EXPECT_EQ(p.timeRange().hi, newest);
    p.zoomTime(newest - 1.0, 0.5);
    EXPECT_DOUBLE_EQ(p.timeRange().span(), 5.0);
    p.zoomTime(newest - 1.0, 1e-6);
    EXPECT_DOUBLE_EQ(p.timeRange().span(), PlotWindow::MIN_TIME_SPAN);
    // Past the ring's ends: the view stops at them.
    p.panTime(-1e9);
    // (A loaded machine may have run fewer than 2 s of ticks: then the view ends at the newest.)
    const bool longRing = newest - ring.time(0) >= 2.0;
    EXPECT_DOUBLE_EQ(p.timeRange().lo, longRing ? ring.time(0) : newest - 2.0);
    const auto early = lines(p.visibleCsv());
    EXPECT_EQ(field(early[1], 0), tickTimeText(ring.tick(0), 0.01));
    // 2 s of 10 ms samples, both ends included.
    EXPECT_EQ(early.size(), 1u + std::min<std::size_t>(ring.size(), 201u));
    p.panTime(1e9);
    EXPECT_EQ(p.timeRange().hi, newest);
    // The values zoom and move on their own, and come back on reset.
    const AxisRange y = p.valueRange(0);
    p.zoomValues(0, (y.lo + y.hi) / 2, 0.5);
    EXPECT_NEAR(p.valueRange(0).span(), y.span() / 2, 1e-9 * y.span());
    p.panValues(0, y.span());
    EXPECT_NEAR(p.valueRange(0).lo, (y.lo + y.hi) / 2 - y.span() / 4 + y.span(), 1e-9 * y.span());
    // The cursor reads the sample under it, in every plot's legend.
    const std::size_t mid = ring.size() / 2;
    p.setCursor(ring.time(mid) + 0.001);
    EXPECT_NE(p.legendText(0).indexOf(QStringLiteral("высота H = %1 м").arg(ring.value(mid, 1), 0, 'g', 6)), -1)
        << p.legendText(0).toStdString();
    EXPECT_NE(p.cursorLabel->text().indexOf(QString::fromStdString(tickTimeText(ring.tick(mid), 0.01))), -1);
    p.setCursor(ring.time(0) - 5.0);  // before the ring: nothing to read
    EXPECT_TRUE(p.cursorLabel->text().endsWith(QStringLiteral("нет данных"))) << p.cursorLabel->text().toStdString();
    EXPECT_EQ(p.legendText(0).indexOf(QStringLiteral(" = ")), -1) << p.legendText(0).toStdString();
    p.setCursor(-1e300);
    p.setCursor(ring.time(0));  // its oldest sample
    EXPECT_NE(p.cursorLabel->text().indexOf(QString::fromStdString(tickTimeText(ring.tick(0), 0.01))), -1);
    p.resetView();
    EXPECT_EQ(p.timeRange().hi, newest);
    EXPECT_DOUBLE_EQ(p.timeRange().span(), 10.0);

    // The mouse: the wheel over a chart zooms the time about the pointer,
    // a move sets the cursor.
    QChartView* chart = p.findChildren<QChartView*>().front();
    const QPointF centre = QRectF(chart->viewport()->rect()).center();
    QWheelEvent wheel(centre, chart->viewport()->mapToGlobal(centre), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart->viewport(), &wheel);
    EXPECT_NEAR(p.timeRange().span(), 10.0 * 0.64, 1e-9);
    QMouseEvent move(QEvent::MouseMove, centre, chart->viewport()->mapToGlobal(centre), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(chart->viewport(), &move);
    EXPECT_TRUE(p.cursorLabel->text().startsWith("t = ")) << p.cursorLabel->text().toStdString();
    p.setPaused(false);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
