// Transmitter latency: from an input report written by the "device" to the
// main window's aileron slider moved by it, with the whole program's windows
// and timers running (flight started, offscreen platform).
//
//   build/release/bench/bench_tx_latency [--path uhid|socket|fake] [--reports N]
//
// Paths:
//   uhid    a virtual HID device through /dev/uhid: kernel, hidraw node, hidapi,
//           reader thread, hand-off, window (the real path; needs /dev/uhid)
//   socket  the system path without the HID driver: each report is one
//           message on a SOCK_SEQPACKET socket read by the reader thread with
//           poll() (one message per read, as hidraw), then hand-off and window
//   fake    the in-memory fake platform (condition variable), hand-off, window
// Prints the number of reports and the latency percentiles in microseconds.
#include <QApplication>
#include <QListWidget>
#include <QSlider>
#include <QTimer>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform3.h"
#include "transmitter/fakehid.h"
#include "transmitter/virtualhid.h"

using namespace uav;
using Clock = std::chrono::steady_clock;

namespace {

const char* DEVICE_NAME = "uavsim bench transmitter";

// One device whose reports arrive on a SOCK_SEQPACKET socket.
class SocketPlatform final : public HidPlatform {
public:
    SocketPlatform() { socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds_); }
    ~SocketPlatform() override {
        close(fds_[0]);
        close(fds_[1]);
    }
    int writerFd() const { return fds_[1]; }
    std::vector<HidDeviceInfo> enumerate() override {
        HidDeviceInfo d;
        d.path = "socket";
        d.productString = DEVICE_NAME;
        d.inputReportLength = 9;
        return {d};
    }
    OpenResult open(const HidDeviceInfo&) override {
        class Conn final : public HidConnection {
        public:
            explicit Conn(int fd) : fd_(fd) {}
            int read(std::uint8_t* buf, std::size_t cap, int timeoutMs) override {
                pollfd p{fd_, POLLIN, 0};
                const int r = poll(&p, 1, timeoutMs);
                if (r <= 0) return r;
                return static_cast<int>(::read(fd_, buf, cap));
            }

        private:
            int fd_;
        };
        return {std::make_unique<Conn>(fds_[0]), {}};
    }
    int changeFd() const override { return -1; }
    void drainChanges() override {}

private:
    int fds_[2] = {-1, -1};
};

struct Sample {
    std::mutex m;
    std::condition_variable cv;
    Clock::time_point sent;
    bool seen = false;
    std::vector<double> micros;
};

}  // namespace

int main(int argc, char** argv) {
    std::string path = "socket";
    int reports = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--path") == 0) path = argv[i + 1];
        if (std::strcmp(argv[i], "--reports") == 0) reports = std::max(1, std::atoi(argv[i + 1]));
    }
    if (path != "uhid" && path != "socket" && path != "fake") {
        std::fprintf(stderr, "usage: %s [--path uhid|socket|fake] [--reports N]\n", argv[0]);
        return 2;
    }
    std::string why;
    if (path == "uhid" && !uhidAvailable(why)) {
        std::fprintf(stderr, "bench_tx_latency: the uhid path cannot run here: %s\n", why.c_str());
        return 77;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // conf.ini: the bench device, Ale on byte 0 calibrated 28..128..228.
    const auto dir = std::filesystem::temp_directory_path() / ("uavsim-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "conf.ini", std::ios::binary)
        << "[Pult]\r\nDev=" << DEVICE_NAME << "\r\nNum0=0\r\nMid0=128\r\nMax0=228\r\nMin0=28\r\n";

    SimApp sim;
    sim.appDir = dir.string() + "/";
    Windows w = createWindows(sim);
    std::unique_ptr<VirtualHidDevice> uhid;
    std::function<void(std::uint8_t)> send;
    if (path == "uhid") {
        uhid = std::make_unique<VirtualHidDevice>(DEVICE_NAME, 0x1209, 0x7a5e, eightAxisDescriptor());
        if (!uhid->valid()) {
            std::fprintf(stderr, "bench_tx_latency: %s\n", uhid->error().c_str());
            return 1;
        }
        send = [&](std::uint8_t v) { uhid->send({v, 128, 128, 128, 128, 128, 128, 128}); };
    } else {
        delete w.form3;
        if (path == "socket") {
            auto p = std::make_unique<SocketPlatform>();
            const int fd = p->writerFd();
            w.form3 = sim.windows.form3 = new TForm3(sim, w.form1, std::move(p));
            send = [fd](std::uint8_t v) {
                const std::uint8_t r[8] = {v, 128, 128, 128, 128, 128, 128, 128};
                if (write(fd, r, sizeof r) != sizeof r) std::perror("write");
            };
        } else {
            auto p = std::make_unique<FakeHidPlatform>();
            FakeHidPlatform* fake = p.get();
            HidDeviceInfo d;
            d.path = "fake";
            d.productString = DEVICE_NAME;
            fake->plug(d);
            w.form3 = sim.windows.form3 = new TForm3(sim, w.form1, std::move(p));
            send = [fake](std::uint8_t v) { fake->send("fake", {v, 128, 128, 128, 128, 128, 128, 128}); };
        }
    }
    // Other HID devices may come first in the list: select the bench device.
    QTimer::singleShot(1000, w.form3, [&w] {
        const auto found = w.form3->DevListBox->findItems(QString::fromUtf8(DEVICE_NAME), Qt::MatchExactly);
        if (!found.isEmpty()) w.form3->DevListBox->setCurrentItem(found.front());
    });
    w.form1->show();
    w.form1->SpeedButton2Click();  // a flight in progress: dynamics, control and display timers all busy

    Sample s;
    QObject::connect(w.form1->TrackBar1, &QSlider::valueChanged, [&](int) {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> l(s.m);
        if (s.seen) return;
        s.micros.push_back(std::chrono::duration<double, std::micro>(now - s.sent).count());
        s.seen = true;
        s.cv.notify_all();
    });

    int lost = 0;
    std::thread writer([&] {
        // Until the device is listed and selected, reports go nowhere: wait for the first.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> gapMs(2, 20);
        for (int i = 0; i < reports; ++i) {
            std::unique_lock<std::mutex> l(s.m);
            s.seen = false;
            s.sent = Clock::now();
            l.unlock();
            send(i % 2 ? 78 : 178);  // slider -50 / +50: every report moves it
            l.lock();
            if (!s.cv.wait_for(l, std::chrono::seconds(1), [&] { return s.seen; })) {
                ++lost;
                s.seen = true;  // a late arrival is not counted
            }
            l.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(rng)));
        }
        QMetaObject::invokeMethod(&app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QApplication::exec();
    writer.join();
    delete w.form1;
    std::filesystem::remove_all(dir);

    std::vector<double>& v = s.micros;
    if (v.empty()) {
        std::fprintf(stderr, "bench_tx_latency: no report reached the slider (%d lost)\n", lost);
        return 1;
    }
    std::sort(v.begin(), v.end());
    const auto pct = [&](double q) { return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))]; };
    std::printf("path=%s reports=%zu lost=%d  latency us: min %.0f  p50 %.0f  p90 %.0f  p99 %.0f  max %.0f\n",
                path.c_str(), v.size(), lost, v.front(), pct(0.5), pct(0.9), pct(0.99), v.back());
    return 0;
}
