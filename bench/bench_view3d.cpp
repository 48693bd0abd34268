// bench_view3d: what the 3D view costs the GUI thread, under a real X server
// (run it under xvfb-run -a -s "-screen 0 1280x1024x24"; needs OpenGL).
//
//   bench_view3d [--frames N] [--rtf SECONDS] [--png FILE]
//
// Frames: the 3D window at its size, a flight of 16 m/s heading north-east
// with a slow turn, PosModel + DrawPic + swap timed per frame, for each way
// of submitting the terrain; median and 90th percentile of frames without a
// cell crossing, and the cost of a cell crossing (grid shift + list rebuild).
// --rtf: the whole program with "3D" ticked, the trainer in level flight at
// 300 m under the stabilising autopilot, for SECONDS of wall time; prints the
// real-time factor (simulated / wall time) and the same without "3D".
// --png: the 3D frame of that flight over "Поле с озерами" after 6 s (the README's picture).
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QOpenGLWidget>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/simapp.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform9.h"

using namespace uav;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// CPU time of every thread of the process (the renderer's own included), ms.
double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// Frame `step` of the timed flight: 130 ms per frame at 16 m/s north-east,
// 300 m up, banked, turning 3 deg per frame.
void flightStep(SimState& s, int step) {
    const double t = step * 0.13, heading = step * 3.0 * DEG_TO_RAD;
    s.posH = 300;
    s.posX = 16 * t * std::cos(0.7);
    s.posZ = 16 * t * std::sin(0.7);
    s.posD = std::hypot(s.posX, s.posZ);
    s.orient = MatMul(MRotX(10 * DEG_TO_RAD), MRotY(-heading));
}

const char* modeName(TerrainSubmit m) {
    switch (m) {
    case TerrainSubmit::Culled: return "tiles, culled (used)";
    case TerrainSubmit::AllTiles: return "tiles, all (full disc)";
    case TerrainSubmit::Immediate: return "immediate mode (full disc)";
    }
    return "";
}

const char* modeName(int m, TerrainSubmit mode) {
    return m == 3 ? "immediate, swap in DrawPic" : modeName(mode);
}

void benchFrames(int frames) {
    SimApp sim;
    sim.ap.returnSettings.returnAltitude = 150;
    TForm9 form(sim, nullptr);
    form.show();
    if (!QTest::qWaitFor([&] { return !form.grabFrame().isNull(); }, 10000)) {
        std::fprintf(stderr, "bench_view3d: the GL window was never exposed\n");
        return;
    }
    std::printf("3D window drawing area %dx%d\n", form.centralWidget()->width(), form.centralWidget()->height());
    // The ways take turns frame by frame, so a load that other programs
    // put on the machine meanwhile falls on all of them alike.
    // The fourth: the whole disc in immediate mode, swapped at once, as the
    // frame was first described.
    constexpr int MODES = 4;
    const TerrainSubmit modes[MODES] = {TerrainSubmit::Culled, TerrainSubmit::AllTiles, TerrainSubmit::Immediate,
                                        TerrainSubmit::Immediate};
    struct Stats {
        std::vector<double> plain, plainCpu, crossing, rebuild, tiles, submit, swap;
    } st[MODES];
    SimState& s = sim.state;
    for (int n = 0; n < frames * MODES; ++n) {
        const int m = n % MODES;
        const int step = n / MODES;
        form.renderer().submit = modes[m];
        form.swapAtOnce = m == 3;
        flightStep(s, step);
        QApplication::processEvents();
        const double cpu0 = processCpuMs();
        const auto t0 = Clock::now();
        form.PosModel();
        const double submit = ms(Clock::now() - t0);
        // The swap follows on its own timer: wait for it and add its time.
        if (!QTest::qWaitFor([&] { return !form.swapPending(); }, 1000)) std::fprintf(stderr, "no swap\n");
        const double took = form.swapAtOnce ? submit : submit + form.lastSwapMs;  // at once: inside PosModel
        const double cpu = processCpuMs() - cpu0;
        st[m].submit.push_back(submit);
        st[m].swap.push_back(form.lastSwapMs);
        if (form.camera().gridChanged) {
            st[m].crossing.push_back(took);
            st[m].rebuild.push_back(form.renderer().lastRebuildMs);
        } else {
            st[m].plain.push_back(took);
            st[m].plainCpu.push_back(cpu);
        }
        st[m].tiles.push_back(form.renderer().tilesDrawn);
    }
    for (int m = 0; m < MODES; ++m)
        std::printf("%-28s frame median %6.2f ms  p90 %6.2f ms  cpu median %6.2f ms (%zu frames)  "
                    "crossing frame median %6.2f ms, array refill median %5.2f ms (%zu)  tiles drawn median %.0f\n",
                    modeName(m, modes[m]), percentile(st[m].plain, 0.5), percentile(st[m].plain, 0.9),
                    percentile(st[m].plainCpu, 0.5), st[m].plain.size(), percentile(st[m].crossing, 0.5),
                    percentile(st[m].rebuild, 0.5), st[m].crossing.size(), percentile(st[m].tiles, 0.5));
    for (int m = 0; m < MODES; ++m)
        std::printf("%-28s of which PosModel (submission) median %6.2f ms, swap median %6.2f ms\n",
                    modeName(m, modes[m]), percentile(st[m].submit, 0.5), percentile(st[m].swap, 0.5));
    // The grid shift alone (CreateBufT), pure C++.
    std::vector<double> shift;
    for (int n = 0; n < 50; ++n) {
        const auto t0 = Clock::now();
        CreateBufT(form.terrain(), n, 2 * n, 150);
        shift.push_back(ms(Clock::now() - t0));
    }
    std::printf("grid shift CreateBufT median %.2f ms\n", percentile(shift, 0.5));
}

void setUpFlight(SimApp& sim, bool view3d) {
    TForm1& f1 = *sim.windows.form1;
    f1.SpinEdit8->setValue(300);  // altitude, m
    f1.SpinEdit5->setValue(58);   // speed, km/h
    f1.SpinEdit11->setValue(0);   // pitch, deg
    f1.SpeedButton4Click();
    f1.TrackBar4->setValue(20);
    f1.RadioGroup1Click(1);  // stabilise: wings level, nose level
    f1.CheckBox1->setChecked(view3d);
    f1.CheckBox1Click();
}

double flight(SimApp& sim, bool view3d, int seconds) {
    setUpFlight(sim, view3d);
    TForm1& f1 = *sim.windows.form1;
    long ticks = 0;
    auto c = QObject::connect(f1.Timer2, &QTimer::timeout, [&] {
        if (sim.state.running) ++ticks;
    });
    f1.SpeedButton2Click();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const double wallS = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
    f1.SpeedButton3Click();
    QObject::disconnect(c);
    return static_cast<double>(ticks) * sim.state.dt / wallS;
}

// The other window type for the same drawing: a QOpenGLWidget, whose frame Qt
// renders into a framebuffer object and then composites into the window.
class WidgetView : public QOpenGLWidget {
public:
    WidgetView(Terrain3d& t, Camera3d& c) : t_(t), c_(c) { resize(640, 480); }
    Gl3dRenderer renderer;

protected:
    void initializeGL() override {
        renderer.initialise();
        const TextureLoad sky = loadTextureFile("TXT/Sky.tga");
        if (sky.ok) renderer.setSky(sky.image);
    }
    void resizeGL(int w, int h) override { renderer.resize(w, h); }
    void paintGL() override { renderer.render(t_, c_); }

private:
    Terrain3d& t_;
    Camera3d& c_;
};

// The same flight drawn by a QOpenGLWidget: update(), then the event that paints and composites.
void benchWidget(int frames) {
    SimApp sim;
    Terrain3d t;
    Camera3d cam;
    {
        TForm9 form(sim, nullptr);  // for its built-in map
        t = form.terrain();
    }
    WidgetView view(t, cam);
    view.show();
    QTest::qWait(300);
    std::vector<double> plain, plainCpu;
    SimState& s = sim.state;
    for (int n = 0; n < frames; ++n) {
        flightStep(s, n);
        QApplication::processEvents();
        const double cpu0 = processCpuMs();
        const auto t0 = Clock::now();
        cam = PosModel(t, s, 150);
        if (cam.gridChanged) view.renderer.terrainChanged();
        view.update();
        QApplication::processEvents();  // the update request: paintGL, then the composition
        const double took = ms(Clock::now() - t0);
        const double cpu = processCpuMs() - cpu0;
        if (!cam.gridChanged) {
            plain.push_back(took);
            plainCpu.push_back(cpu);
        }
    }
    std::printf("%-28s frame median %6.2f ms  p90 %6.2f ms  cpu median %6.2f ms (%zu frames)\n",
                "QOpenGLWidget, culled", percentile(plain, 0.5), percentile(plain, 0.9), percentile(plainCpu, 0.5),
                plain.size());
}

// The program's windows with the trainer as its model, in a scratch folder.
struct Program {
    Program() {
        std::filesystem::create_directories(dir);
        sim.appDir = dir.string() + "/";
        std::filesystem::copy_file(std::string(UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl", dir / "conf.ini",
                                   std::filesystem::copy_options::overwrite_existing);
        sim.decimalSep = '.';
        w = createWindows(sim);
        w.form1->show();
        QTest::qWait(500);
    }
    ~Program() {
        delete w.form1;
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "uavsim-bench-view3d";
    SimApp sim;
    Windows w;
};

// The 3D view after a few seconds of the flight above, saved as PNG.
void picture(const char* file) {
    Program p;
    p.w.form9->loadMap(QStringLiteral("TXT/field_lake.bmp"));
    setUpFlight(p.sim, true);
    p.w.form1->SpeedButton2Click();
    QTest::qWait(6000);
    const QImage frame = p.w.form9->grabFrame();
    std::printf("picture %s: %s\n", file, !frame.isNull() && frame.save(QString::fromLocal8Bit(file)) ? "saved" : "failed");
}

void benchRtf(int seconds) {
    Program p;
    SimApp& sim = p.sim;
    const double with3d = flight(sim, true, seconds);
    std::printf("real-time factor over %d s with 3D: %.3f\n", seconds, with3d);
    const double without = flight(sim, false, seconds);
    std::printf("real-time factor over %d s without 3D: %.3f\n", seconds, without);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 400, rtf = 0;
    const char* png = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--png") == 0) png = argv[i + 1];
        if (std::strcmp(argv[i], "--frames") == 0) frames = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--rtf") == 0) rtf = std::atoi(argv[i + 1]);
    }
    // The sky is read from TXT/ relative to the working directory.
    std::filesystem::current_path(UAVSIM_SOURCE_DIR_DEFAULT);
    setDefaultGlFormat();
    QApplication app(argc, argv);
    if (!TForm9::openGlAvailable()) {
        std::fprintf(stderr, "bench_view3d: no OpenGL context here; run under xvfb-run\n");
        return 1;
    }
    if (frames > 0) benchFrames(frames);
    if (frames > 0) benchWidget(frames);
    if (rtf > 0) benchRtf(rtf);
    if (png) picture(png);
    return 0;
}
