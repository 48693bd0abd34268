// Load benchmark of the autopilot link (a measuring tool, not a test).
//
// GUI part: starts the desktop program's windows in this process (the views
// running, the flight started, optionally the 3D view shown), starts the
// connection window's server on 127.0.0.1, and lets N clients each send R
// frames per second for T seconds, each frame when its time comes and the
// previous reply is in, as a flight controller's loop would. Reports frames
// sent and answered, the round-trip percentiles over all clients, and the
// simulation's real-time factor (dynamics ticks x 0.01 s over wall time)
// during the load.
//
// Lockstep part: the headless runner in lockstep mode and one client sending
// each frame as soon as the last reply is in; reports frames per second.
//
// Run under a display (xvfb-run -a -s "-screen 0 1280x1024x24"):
//   build/release/bench/bench_link_load --clients 16 --rate 400 --seconds 30 [--3d] [--gui-block-ms 40]
// --gui-block-ms X blocks the GUI thread X ms on every display tick (130 ms),
// standing in for a software-rendered 3D frame where none is drawn.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform6.h"
#include "core/errors.h"
#include "link/hilclient.h"
#include "tools/runnerlink.h"

using namespace uav;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int clients = 16;
    double rate = 400;     // frames per second per client
    double seconds = 30;
    bool show3d = false;
    int guiBlockMs = 0;
    long lockstepFrames = 200000;
    bool gui = true, lockstep = true;
};

struct ClientResult {
    long sent = 0, answered = 0;
    std::vector<double> rttMicros;
    std::string error;
};

void loadClient(int port, const Options& o, Clock::time_point start, ClientResult& r) {
    try {
        HilClient c("127.0.0.1", port);
        const long frames = std::lround(o.rate * o.seconds);
        r.rttMicros.reserve(static_cast<std::size_t>(frames));
        for (long k = 0; k < frames; ++k) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(static_cast<double>(k) / o.rate)));
            const auto sent = Clock::now();
            ++r.sent;
            c.exchange({1500, 1500, 1500, 1400});
            r.rttMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
            ++r.answered;
        }
    } catch (const SimError& e) {
        r.error = e.what();
    }
}

// CPU seconds (user + system) of a thread of this process, from /proc.
double threadCpuSeconds(long tid) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(f, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stod(field);
        if (i == 15) stime = std::stod(field);
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double percentile(const std::vector<double>& sorted, double p) {
    return sorted.empty() ? 0.0 : sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
}

int runGui(int argc, char** argv, const Options& o) {
    setDefaultGlFormat();
    UavApplication app(argc, argv);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "uavsim-link-load";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(std::string(UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl", dir / "conf.ini",
                               std::filesystem::copy_options::overwrite_existing);
    SimApp sim;
    sim.appDir = dir.string() + "/";
    const Windows w = createWindows(sim);
    TForm1& f1 = *w.form1;
    f1.show();
    f1.SpinEdit8->setValue(100);
    f1.SpinEdit5->setValue(58);
    f1.SpinEdit11->setValue(0);
    f1.SpeedButton4Click();
    f1.SpeedButton2Click();
    if (o.show3d) {
        f1.CheckBox1->setChecked(true);
        f1.CheckBox1Click();
    }
    QTimer blocker;
    if (o.guiBlockMs > 0) {
        // Busy, as a software renderer is: the GUI thread holds a core.
        QObject::connect(&blocker, &QTimer::timeout, [&] {
            const auto until = Clock::now() + std::chrono::milliseconds(o.guiBlockMs);
            while (Clock::now() < until) {
            }
        });
        blocker.start(130);
    }
    TForm6& f6 = *w.form6;
    f6.lbIPs->item(0)->setCheckState(Qt::Checked);
    f6.edtPort->setText(QStringLiteral("0"));
    if (!f6.Start()) {
        std::fprintf(stderr, "bench_link_load: the server did not start: %s\n", f6.errorTexts.join(' ').toLocal8Bit().constData());
        return 1;
    }
    const int port = f6.server().boundPorts().at(0);

    std::vector<ClientResult> results(static_cast<std::size_t>(o.clients));
    std::vector<std::thread> threads;
    std::uint64_t ticksAtStart = 0;
    double guiCpuAtStart = 0, guiCpuLoaded = 0;
    Clock::time_point loadStart;
    // Let the windows settle for a second, then load for T seconds.
    QTimer::singleShot(1000, [&] {
        ticksAtStart = sim.linkTelemetry.published();
        guiCpuAtStart = threadCpuSeconds(getpid());
        loadStart = Clock::now() + std::chrono::milliseconds(20);
        for (int i = 0; i < o.clients; ++i)
            threads.emplace_back(loadClient, port, std::cref(o), loadStart, std::ref(results[static_cast<std::size_t>(i)]));
    });
    std::uint64_t ticksLoaded = 0;
    double wallLoaded = 0;
    QTimer::singleShot(1000 + static_cast<int>(o.seconds * 1000) + 20, [&] {
        ticksLoaded = sim.linkTelemetry.published() - ticksAtStart;
        guiCpuLoaded = threadCpuSeconds(getpid()) - guiCpuAtStart;
        wallLoaded = std::chrono::duration<double>(Clock::now() - loadStart).count();
        // The clients finish on their own; keep the loop running until they have.
        auto* poll = new QTimer(&f1);
        QObject::connect(poll, &QTimer::timeout, [&] {
            bool all = true;
            for (const ClientResult& r : results) all = all && (r.sent == std::lround(o.rate * o.seconds) || !r.error.empty());
            if (all) QCoreApplication::quit();
        });
        poll->start(50);
    });
    QApplication::exec();
    for (std::thread& t : threads) t.join();
    const LinkCounters lc = f6.server().counters();
    f6.Stop();

    long sent = 0, answered = 0;
    std::vector<double> all;
    for (const ClientResult& r : results) {
        sent += r.sent;
        answered += r.answered;
        all.insert(all.end(), r.rttMicros.begin(), r.rttMicros.end());
        if (!r.error.empty()) std::printf("client error: %s\n", r.error.c_str());
    }
    std::sort(all.begin(), all.end());
    std::printf("GUI link load: %d clients x %.0f frames/s x %.0f s, platform %s, 3D view %s, GUI blocked %d ms per "
                "display tick\n",
                o.clients, o.rate, o.seconds, QGuiApplication::platformName().toLocal8Bit().constData(),
                o.show3d ? "shown" : "hidden", o.guiBlockMs);
    std::printf("  frames sent %ld, answered %ld, lost %ld (server: %llu answered, %llu rejected, %llu overflowed; "
                "%llu of %llu connections on real-time scheduling)\n",
                sent, answered, sent - answered, static_cast<unsigned long long>(lc.frames),
                static_cast<unsigned long long>(lc.rejected), static_cast<unsigned long long>(lc.overflowed),
                static_cast<unsigned long long>(lc.realtime - lc.demoted), static_cast<unsigned long long>(lc.accepted));
    std::printf("  round trip: p50 %.0f us, p99 %.0f us, p99.9 %.0f us, max %.0f us\n", percentile(all, 0.5),
                percentile(all, 0.99), percentile(all, 0.999), all.empty() ? 0.0 : all.back());
    std::printf("  real-time factor during the load: %.3f (%llu dynamics ticks in %.2f s)\n",
                wallLoaded > 0 ? static_cast<double>(ticksLoaded) * 0.01 / wallLoaded : 0.0,
                static_cast<unsigned long long>(ticksLoaded), wallLoaded);
    std::printf("  GUI thread busy %.0f %% of the load's wall time\n", wallLoaded > 0 ? 100.0 * guiCpuLoaded / wallLoaded : 0.0);
    delete w.form1;
    return 0;
}

int runLockstep(const Options& o) {
    RunOptions ro;
    ro.modelPath = std::string(UAVSIM_SOURCE_DIR_DEFAULT) + "/models/trainer.mdl";
    ro.initial = {58, 0, 100, 0};
    ro.seconds = static_cast<double>(o.lockstepFrames) * 0.02 + 1.0;
    ro.linkPort = 0;
    ro.lockstep = true;
    std::promise<int> portPromise;
    std::future<int> portFuture = portPromise.get_future();
    auto flight = std::async(std::launch::async, [&] {
        return runLinkFlight(ro, nullptr, [&](int port) { portPromise.set_value(port); });
    });
    const int port = portFuture.get();
    double wall = 0;
    long answered = 0;
    {
        HilClient c("127.0.0.1", port);
        c.setSpin(std::chrono::microseconds(200));
        const auto t0 = Clock::now();
        for (long k = 0; k < o.lockstepFrames; ++k, ++answered) c.exchange({1500, 1500, 1500, 1400});
        wall = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    const RunSummary sum = flight.get();
    std::printf("Lockstep: %ld frames answered in %.2f s: %.0f frames/s (%.0fx real time; %.1f s simulated)\n", answered,
                wall, static_cast<double>(answered) / wall, sum.simSeconds / wall, sum.simSeconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string("0"); };
        if (a == "--clients") o.clients = std::stoi(next());
        else if (a == "--rate") o.rate = std::stod(next());
        else if (a == "--seconds") o.seconds = std::stod(next());
        else if (a == "--3d") o.show3d = true;
        else if (a == "--gui-block-ms") o.guiBlockMs = std::stoi(next());
        else if (a == "--lockstep-frames") o.lockstepFrames = std::stol(next());
        else if (a == "--gui-only") o.lockstep = false;
        else if (a == "--lockstep-only") o.gui = false;
        else {
            std::fprintf(stderr, "usage: bench_link_load [--clients N] [--rate HZ] [--seconds S] [--3d] "
                                 "[--gui-block-ms MS] [--lockstep-frames N] [--gui-only | --lockstep-only]\n");
            return 2;
        }
    }
    int rc = 0;
    if (o.gui) rc = runGui(argc, argv, o);
    if (o.lockstep && rc == 0) rc = runLockstep(o);
    return rc;
}
