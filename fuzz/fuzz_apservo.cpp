// ArduPilot's servo packets on arbitrary datagrams, through the session and
// the channel map: never a read out of bounds, a packet only from a datagram
// of 40 or 72 bytes with the right magic, sliders always within -100..100,
// and a reply built after each frame never holds NaN or infinity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "link/apjson.h"
#include "link/apsession.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte splits the rest into datagrams of up to 80 bytes, each
    // from one of two senders, a second apart or less.
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    uav::ApSession session;
    uav::ServoCommand cmd;
    uav::SimState s;
    double now = 0.0;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(size - i, data[i] % 81);
        const std::uint8_t* d = data + i + 1;
        const std::size_t len = std::min(n, size - i - 1);
        const std::string sender = (data[i] & 1) && (mode & 1) ? "b" : "a";
        now += (data[i] >> 4) * 0.1;
        uav::ApServoPacket p;
        const uav::ApFrameAction a = session.accept(sender, d, len, now, p);
        if (a != uav::ApFrameAction::Ignore) {
            if (len != uav::AP_PACKET_16_BYTES && len != uav::AP_PACKET_32_BYTES) std::abort();
            cmd = uav::commandFromServos(p, uav::ApChannelMap{}, cmd);
            const uav::SliderPositions sl = uav::slidersFromCommand(cmd);
            for (int v : {sl.ailerons, sl.elevator, sl.rudder, sl.throttle})
                if (v < -100 || v > 100) std::abort();
            // Whatever the pulses, the reply stays readable.
            // Pulses near the top stand for a state gone bad: NaN and infinity.
            s.posX = p.pwmUs[0] > 60000 ? std::numeric_limits<double>::quiet_NaN() : p.pwmUs[0];
            s.velocity.x = p.pwmUs[1] > 60000 ? std::numeric_limits<double>::infinity() : p.pwmUs[1] * 1e36;
            const uav::ApReply r = uav::writeFdmReply(uav::fdmFromState(s, {}, now));
            if (r.text.find("inf") != std::string::npos || r.text.find("nan") != std::string::npos) std::abort();
        }
        i += 1 + len;
    }
    const uav::ApCounters& c = session.counters();
    if (c.frames + c.repeats + c.wrongSize + c.wrongMagic + c.otherSender != c.datagrams) std::abort();
    return 0;
}
