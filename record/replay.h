// Re-flying a recording: the recorded start state, then every recorded input
// applied in its order through the same functions the program used, so the
// flight comes out the same, bit for bit.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "control/autopilot.h"
#include "control/relaytuning.h"
#include "core/wind.h"
#include "model/apply.h"
#include "record/recording.h"

namespace uav {

// A replay that no longer follows the recording (a gust drawn differently, a
// run state other than recorded): the recording came from another program
// version or another generator.
struct ReplayDiverged : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Replayer {
public:
    explicit Replayer(const RecordingStart& start);
    Replayer(const Replayer&) = delete;
    Replayer& operator=(const Replayer&) = delete;

    // Applies one event as the program applied it; after a dynamics tick
    // writes the telemetry row that is due (csv may be null). Throws
    // ReplayDiverged.
    void apply(const Event& e, std::ostream* csv);

    const SimState& state() const { return s_; }
    const Autopilot& autopilot() const { return ap_; }
    const Aircraft& aircraft() const { return ac_; }
    std::int64_t ticks() const { return ticks_; }

private:
    SimState s_;
    Aircraft ac_;
    ModelOutlines outlines_;
    Autopilot ap_;
    RelayTuneHook hook_{ap_};
    SliderPositions sliders_;
    StabiliserTexts stabiliserTexts_;
    char settingsSep_ = '.';
    std::optional<SeededUniform> random_;
    std::int64_t ticks_ = 0;
    std::int64_t startTick_ = 0;  // the flight's clock when the recording began
};

struct ReplaySummary {
    std::string writtenBy;        // the program version in the header
    long blocks = 0;              // blocks replayed, the start block included
    std::int64_t ticks = 0;       // dynamics ticks replayed
    std::int64_t events = 0;
    bool finished = false;        // the End event was reached
    std::string problem;          // why the replay stopped early (empty: it did not)
    SimState final;
};

// Replays a whole recording held in memory, writing the CSV header and rows to
// `csv` (may be null). A header or start block that cannot be read throws
// RecordingError (nothing is replayed). A later bad block, or a divergence,
// ends the replay before that block: `problem` names it, and nothing of it or
// after it is replayed. A recording without its End event (the recorder
// stopped by a crash) is replayed to its last whole block and says so.
ReplaySummary replayRecording(std::string_view bytes, std::ostream* csv);

}  // namespace uav
