// libFuzzer target: a flight recording read and re-flown from untrusted bytes.
// Whatever the bytes, the reader either refuses them with a RecordingError
// naming a block or replays what it accepted; the replay's telemetry goes to
// memory only.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "record/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        std::ostringstream csv;
        uav::replayRecording(bytes, &csv);
    } catch (const uav::RecordingError&) {
    }
    return 0;
}
