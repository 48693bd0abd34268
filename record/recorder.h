// Writing a recording while the program flies: the header and the start block
// at once, then the events in blocks of one second, each written to the file
// (and its telemetry to FILE.csv) as soon as it is complete, so a crash loses
// at most the last second.
#pragma once

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

#include "record/recording.h"

namespace uav {

class FlightRecorder {
public:
    // Creates (or empties) `path` and `path` + ".csv" and writes the header,
    // the start block and the CSV header. Throws SimError with the system's
    // reason; then neither file has been created or changed by it, beyond
    // the one that could not be opened.
    FlightRecorder(const std::string& path, const RecordingStart& start);
    ~FlightRecorder();
    FlightRecorder(const FlightRecorder&) = delete;
    FlightRecorder& operator=(const FlightRecorder&) = delete;

    // An input, stamped with the dynamics ticks recorded so far.
    void add(const EventData& e);
    // A dynamics tick (after it ran): `running` and the clock it was given,
    // then the telemetry row that is due. Every TICKS_PER_BLOCK ticks the
    // block is written out.
    void dynamicsTick(bool running, std::int64_t clockMs, const SimState& after);
    // The End event, the last block written and both files closed. Throws
    // SimError when a write failed (now or before).
    void finish();

    const std::string& path() const { return path_; }
    std::string csvPath() const { return path_ + ".csv"; }
    std::int64_t ticks() const { return ticks_; }
    // A write that failed stops the recording; the reason is kept here.
    const std::optional<std::string>& error() const { return error_; }

private:
    void flushBlock();
    void writeAll(int fd, const std::string& bytes, const std::string& file);

    std::string path_;
    int fd_ = -1;
    int csvFd_ = -1;
    std::string payload_;       // events of the block being filled
    std::ostringstream csv_;    // telemetry rows of that block
    std::uint32_t index_ = 1;
    std::int64_t ticks_ = 0;
    std::int64_t startTick_ = 0;  // the flight's clock when recording began
    int ticksInBlock_ = 0;
    bool finished_ = false;
    std::optional<std::string> error_;
};

}  // namespace uav
