// The link's frame scanner on arbitrary bytes, fed in the pieces the input's
// first byte chooses: it must never read or write out of bounds, and every
// command it returns must come from a well-formed frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 32 + 1;
    ++data;
    --size;
    uav::FrameScanner scanner;
    std::vector<uav::ServoCommand> out;
    for (std::size_t i = 0; i < size; i += piece) scanner.feed(data + i, size - i < piece ? size - i : piece, out);
    // No more frames than whole 20-byte stretches in the input.
    if (out.size() > size / uav::COMMAND_FRAME_SIZE) std::abort();
    for (const uav::ServoCommand& c : out) {
        const uav::SliderPositions p = uav::slidersFromCommand(c);
        if (p.ailerons < -100 || p.ailerons > 100 || p.throttle < -100 || p.throttle > 100) std::abort();
        const uav::CommandFrame f = uav::encodeCommand(c);
        uav::FrameScanner again;
        std::vector<uav::ServoCommand> back;
        again.feed(f.data(), f.size(), back);
        if (back.size() != 1 || !(back[0] == c)) std::abort();
    }
    return 0;
}
