// The flight recording: what a recorded flight holds and its file format.
//
// Binary, little-endian, documented in docs/recording-format.md:
//   header  "UAVREC\r\n", u16 format version, u16 n, n bytes program version,
//           u32 CRC-32 of the header bytes before it;
//   blocks  "UBLK", u32 index (0, 1, 2, ...), u32 payload length L, L bytes
//           payload, u32 CRC-32 of the block's bytes before it.
// Block 0 holds the start (RecordingStart); every later block holds events,
// one second of flight at most, so a crash loses at most the last second. The
// last block of a finished recording ends with the End event.
//
// Doubles are stored as their IEEE-754 bits, so a replay starts from exactly
// the recorded state and re-flies exactly the recorded inputs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "control/apsettings.h"
#include "control/autopilot.h"
#include "core/aircraft.h"
#include "core/simstate.h"
#include "model/modeltext.h"

namespace uav {

// 2: the start holds the flight's clock (flightTick).
inline constexpr std::uint16_t RECORDING_FORMAT_VERSION = 2;
inline constexpr std::string_view RECORDING_MAGIC{"UAVREC\r\n", 8};
inline constexpr std::string_view BLOCK_MAGIC{"UBLK", 4};
// No block is larger (a second of flight is a few kilobytes; the start block
// with its texts a few tens).
inline constexpr std::uint32_t MAX_BLOCK_PAYLOAD = 4u << 20;
// Events per block: one second of dynamics ticks.
inline constexpr int TICKS_PER_BLOCK = 100;

// The program version written into a recording's header.
std::string programVersion();

// Everything the program holds at the moment recording begins.
struct RecordingStart {
    std::int64_t clockMs = 0;      // the controls' clock then
    std::int64_t flightTick = 0;   // dynamics ticks the window had run before (the CSV's clock)
    SimState state;
    Aircraft aircraft;             // the model records in force
    Autopilot autopilot;           // mode, loop timer, channels, servos, loops, settings, tuning
    SliderPositions sliders;       // where the four sliders stand
    bool gustsOn = false;          // "Порывистый, макс:"
    int gustMax = 1;               // m/s
    int gustPeriod = 1;            // s
    std::string randomState;       // the gust generator's state (SeededUniform), empty if unknown
    ModelTexts modelTexts;         // the model window's texts
    char modelDecimalSep = '.';
    StabiliserTexts stabiliserTexts;
    ReturnTexts returnTexts;
    char settingsDecimalSep = '.';
};

// The inputs, each applied by the replay exactly as the program applied it.
namespace ev {
struct DynamicsTick { bool running = false; std::int64_t clockMs = 0; };  // clock for the relay step
struct ControlTick { std::int64_t clockMs = 0; };
struct LoopTick { std::int64_t clockMs = 0; };
struct Slider { int index = 0; int position = 0; };  // TrackBar1..4 as 0..3, -100..100
// The texts sit behind pointers so that every event stays small.
struct Mode {  // with the auto-return texts an engagement of Return applies
    ApMode mode = ApMode::Off;
    std::shared_ptr<ReturnTexts> returnTexts = std::make_shared<ReturnTexts>();
    char decimalSep = '.';
};
struct ModelApply {
    std::shared_ptr<ModelTexts> texts = std::make_shared<ModelTexts>();
    char decimalSep = '.';
};
struct StabiliserApply {
    std::shared_ptr<StabiliserTexts> texts = std::make_shared<StabiliserTexts>();
    char decimalSep = '.';
};
struct ReturnApply {
    std::shared_ptr<ReturnTexts> texts = std::make_shared<ReturnTexts>();
    char decimalSep = '.';
};
struct Initial { InitialConditions ic; };
struct Run { bool running = false; };                   // start and stop buttons
struct Wind { double north = 0.0, east = 0.0; };        // m/s, set on the compass
struct Gust { double maxSpeed = 0.0; double north = 0.0, east = 0.0; };  // m/s, the drawn gust
struct TuningStart {};
struct TuningStop { std::int64_t clockMs = 0; };
struct End {};                                          // the recording was stopped
}  // namespace ev

using EventData = std::variant<ev::DynamicsTick, ev::ControlTick, ev::LoopTick, ev::Slider, ev::Mode, ev::ModelApply,
                               ev::StabiliserApply, ev::ReturnApply, ev::Initial, ev::Run, ev::Wind, ev::Gust,
                               ev::TuningStart, ev::TuningStop, ev::End>;

struct Event {
    std::int64_t tick = 0;  // dynamics ticks since recording began, when it took effect
    EventData data;
};

// The kind's name, for messages ("DynamicsTick").
const char* eventName(const EventData& e);

// Encoding. The header, the start block and an event block, each complete.
std::string encodeHeader();
std::string encodeStartBlock(const RecordingStart& start);
std::string encodeEventBlock(std::uint32_t index, const std::vector<Event>& events);
// Appends one event's bytes to a block payload being built.
void encodeEvent(std::string& payload, const Event& e);
// A block around a payload already encoded.
std::string encodeBlock(std::uint32_t index, std::string_view payload);

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);

// What is wrong with a recording, with the block it was found in (-1: the
// header). The reader stops at the first fault: nothing after it is used.
struct RecordingError : std::runtime_error {
    RecordingError(long block, const std::string& what);
    long block;
};

// Reads a recording held in memory (untrusted: every length and value is
// checked; no length makes it allocate more than the bytes could hold).
class RecordingReader {
public:
    // Checks the header; throws RecordingError naming another format version
    // (and the program that wrote it), a foreign file or a damaged header.
    // The bytes must outlive the reader (a temporary string cannot be given).
    explicit RecordingReader(std::string_view bytes);
    explicit RecordingReader(std::string&&) = delete;

    const std::string& writtenBy() const { return writtenBy_; }

    // Block 0; throws RecordingError.
    RecordingStart start();
    // The events of the next block, empty at the end of the bytes; throws
    // RecordingError naming the block (a truncated, corrupted or out-of-order
    // block, or a bad event in it). Stamps are checked: each event's tick is
    // the number of dynamics ticks before it.
    std::vector<Event> nextBlock();
    // Whether the End event has been read.
    bool finished() const { return finished_; }
    // Index of the next block to be read.
    long nextIndex() const { return index_; }

private:
    std::string_view blockPayload();

    std::string_view bytes_;
    std::size_t pos_ = 0;
    long index_ = 0;
    std::int64_t ticks_ = 0;
    bool finished_ = false;
    std::string writtenBy_;
};

}  // namespace uav
