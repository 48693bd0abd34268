// The device layer's threads with the fake platform: hand-off to the
// user-interface thread (here the test's own), retry after a failed read,
// unreadable devices, and release while a report waits to be handled.
#include "transmitter/devicelayer.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "transmitter/fakehid.h"
#include "tests/testutil.h"

using namespace uav;
using namespace std::chrono;

namespace {

// Stands in for the user-interface thread: tasks queue until the test runs them.
struct UiQueue {
    std::mutex m;
    std::deque<std::function<void()>> tasks;
    UiPoster poster() {
        return [this](std::function<void()> t) {
            std::lock_guard<std::mutex> l(m);
            tasks.push_back(std::move(t));
        };
    }
    // Runs queued tasks until `done` holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done, milliseconds limit = milliseconds(2000)) {
        const auto end = steady_clock::now() + limit;
        while (!done()) {
            if (steady_clock::now() > end) return false;
            std::function<void()> t;
            {
                std::lock_guard<std::mutex> l(m);
                if (!tasks.empty()) {
                    t = std::move(tasks.front());
                    tasks.pop_front();
                }
            }
            if (t)
                t();
            else
                std::this_thread::sleep_for(milliseconds(1));
        }
        return true;
    }
    // Waits, running nothing, until `n` tasks are queued.
    bool waitPending(std::size_t n) {
        const auto end = steady_clock::now() + milliseconds(2000);
        while (pending() != n)
            if (steady_clock::now() > end) return false;
            else std::this_thread::sleep_for(milliseconds(1));
        return true;
    }
    std::size_t pending() {
        std::lock_guard<std::mutex> l(m);
        return tasks.size();
    }
};

HidDeviceInfo device(const std::string& path, bool numbered = false) {
    HidDeviceInfo d;
    d.path = path;
    d.productString = "adapter " + path;
    d.numberedReports = numbered;
    return d;
}

struct Received {
    std::uint8_t id;
    std::vector<std::uint8_t> data;
};

}  // namespace

TEST(DeviceLayer, ReportsAreHandedOverOneAtATime) {
    auto owned = std::make_unique<FakeHidPlatform>();
    FakeHidPlatform& fake = *owned;
    UiQueue ui;
    DeviceLayer layer(std::move(owned), ui.poster());
    fake.plug(device("a", true));
    EXPECT_TRUE(layer.deviceChange()) << "the first notice rebuilds";
    EXPECT_TRUE(layer.deviceChange()) << "and every later one: a replugged device may keep its path";

    std::vector<Received> got;
    auto devices = layer.attachAll([&](std::uint8_t id, const std::uint8_t* d, std::size_t n) {
        got.push_back({id, std::vector<std::uint8_t>(d, d + n)});
    });
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(devices[0]->readable());
    fake.send("a", {7, 1, 2, 3});
    fake.send("a", {7, 4});
    ASSERT_TRUE(ui.waitPending(1));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(fake.queued("a"), 1u) << "the reader waits until its report has been handled";
    ASSERT_TRUE(ui.pumpUntil([&] { return got.size() == 2; }));
    EXPECT_EQ(got[0].id, 7);
    EXPECT_EQ(got[0].data, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(got[1].data, (std::vector<std::uint8_t>{4}));

    // Release while a report waits for the user-interface thread: no hang, and
    // the late hand-off does nothing.
    fake.send("a", {7, 9});
    ASSERT_TRUE(ui.waitPending(1));
    const auto t0 = steady_clock::now();
    releaseAll(devices);
    EXPECT_LT(steady_clock::now() - t0, milliseconds(500));
    ui.pumpUntil([&] { return ui.pending() == 0; });
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(fake.openConnections(), 0);
}

TEST(DeviceLayer, FailedReadsRetryAndUnreadableDevicesAreListed) {
    auto owned = std::make_unique<FakeHidPlatform>();
    FakeHidPlatform& fake = *owned;
    UiQueue ui;
    DeviceLayer layer(std::move(owned), ui.poster());
    fake.plug(device("locked"), FakeFailure::CannotOpen);
    fake.plug(device("flaky"), FakeFailure::ReadsFail);
    layer.deviceChange();
    int reports = 0;
    auto devices = layer.attachAll([&](std::uint8_t, const std::uint8_t*, std::size_t) { ++reports; });
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_FALSE(devices[0]->readable());
    EXPECT_EQ(devices[0]->openError(), "Permission denied");

    std::this_thread::sleep_for(milliseconds(450));
    const long failed = fake.failedReads("flaky");
    EXPECT_GE(failed, 2) << "retried";
    EXPECT_LE(failed, 6) << "about every 100 ms, not in a busy loop";
    fake.setFailure("flaky", FakeFailure::None);
    fake.send("flaky", {1, 2});
    EXPECT_TRUE(ui.pumpUntil([&] { return reports == 1; })) << "reads go on once the device recovers";

    fake.unplug("flaky");
    EXPECT_TRUE(layer.deviceChange());
    fake.plug(device("flaky"));
    EXPECT_TRUE(layer.deviceChange());
    releaseAll(devices);
}
