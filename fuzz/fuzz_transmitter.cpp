// libFuzzer target for the transmitter's untrusted inputs. The input up to
// the first NUL byte is a conf.ini (its "Pult" section is loaded); after it
// comes a sequence of operations: a byte 0..2 clicks the calibration wizard,
// a byte 3 runs the rest as a report descriptor, any other byte n starts a
// report of n % 64 bytes (fewer when the input ends), read as a numbered or
// unnumbered report by its low bit.
//
// Invariants: indices stay inside the raw buffer, every channel value is
// finite, every slider position is within -100..100, raw bytes are 0..255,
// and the settings saved after it all load back as the same configuration.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/errors.h"
#include "model/inifile.h"
#include "transmitter/reportdesc.h"
#include "transmitter/transmitter.h"

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void checkState(const uav::TransmitterState& s, const uav::TransmitterConfig& c) {
    using namespace uav;
    for (int k = 0; k < CHANNEL_COUNT; ++k) {
        check(c.channelIndex[k] >= 0 && c.channelIndex[k] < RAW_REPORT_SIZE, "index inside the buffer");
        check(std::isfinite(s.channelValue[k]), "finite channel value");
        check(std::isfinite(c.scalePos[k]) && std::isfinite(c.scaleNeg[k]), "finite scales");
    }
    for (int v : s.rawReport) check(v >= 0 && v <= 255, "raw byte");
    const SliderTargets t = sliderTargets(s);
    for (int p : {t.ailerons, t.rudder, t.elevator, t.throttle}) check(p >= -100 && p <= 100, "slider range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace uav;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t iniSize = nul ? static_cast<std::size_t>(nul - data) : size;
    PultSettings p = loadPultSettings(
        IniFile::fromBytes(std::string_view(reinterpret_cast<const char*>(data), iniSize)));
    for (int sel : p.selector) check(sel >= 0 && sel <= CHANNEL_INDEX_MAX, "selector range");
    TransmitterConfig& c = p.config;
    TransmitterState s;
    CalibrationStep step = CalibrationStep::Idle;
    checkState(s, c);

    std::size_t i = nul ? iniSize + 1 : size;
    while (i < size) {
        const std::uint8_t op = data[i++];
        if (op <= 2) {
            step = wizardClick(step, c, s).step;
        } else if (op == 3) {
            const ReportDescriptorInfo d = parseReportDescriptor(data + i, size - i);
            check(d.inputReportLength >= 1, "report length");
            break;
        } else {
            const std::size_t n = std::min<std::size_t>(op % 64, size - i);
            const SplitReport r = splitReport(data + i, n, (op & 1) != 0);
            check(r.size <= n, "split size");
            acceptReport(s, c, step, r.data, r.size);
            i += n;
        }
        checkState(s, c);
        (void)rawReportText(s, size);
    }

    // What a save writes loads back as the same configuration.
    IniFile store = IniFile::fromBytes("");
    savePultSettings(store, "fuzz", c, ',');
    const PultSettings back = loadPultSettings(store);
    check(back.config.channelIndex == c.channelIndex && back.config.channelMid == c.channelMid &&
              back.config.channelMax == c.channelMax && back.config.channelMin == c.channelMin &&
              back.config.channelReverse == c.channelReverse,
          "save and load round trip");
    return 0;
}
