#include "record/recording.h"

#include <array>
#include <bit>
#include <concepts>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace uav {

#ifndef UAVSIM_VERSION
#define UAVSIM_VERSION "unknown"
#endif

std::string programVersion() { return std::string("uavsim ") + UAVSIM_VERSION; }

RecordingError::RecordingError(long b, const std::string& what)
    : std::runtime_error(b < 0 ? "recording header: " + what : "recording block " + std::to_string(b) + ": " + what),
      block(b) {}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

namespace {

// A fuzzing build takes every check sum as right, so that the fuzzer reaches
// the decoding behind it instead of stopping at the CRC.
bool crcMatches(std::uint32_t stored, std::string_view bytes) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)stored;
    (void)bytes;
    return true;
#else
    return stored == crc32(bytes);
#endif
}

// ---- Field visitors: one description of each record serves both directions.

class Out {
public:
    explicit Out(std::string& b) : b_(b) {}
    void u8(std::uint8_t v) { b_.push_back(static_cast<char>(v)); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }

    void num(const double& v) { u64(std::bit_cast<std::uint64_t>(v)); }
    void integer(const int& v) { u32(static_cast<std::uint32_t>(v)); }
    void integer(const std::int64_t& v) { u64(static_cast<std::uint64_t>(v)); }
    void flag(const bool& v) { u8(v ? 1 : 0); }
    void sep(const char& c) { u8(static_cast<std::uint8_t>(c)); }
    template <class E>
    void enumeration(const E& e, int /*max*/) { u8(static_cast<std::uint8_t>(e)); }
    void text(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        b_.append(s);
    }
    void clock(const std::optional<std::int64_t>& v) {
        flag(v.has_value());
        integer(v.value_or(0));
    }

private:
    void le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b_.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
    }
    std::string& b_;
};

// Reads from one block's payload; any fault throws RecordingError for it.
class In {
public:
    In(std::string_view b, long block) : b_(b), block_(block) {}
    std::uint8_t u8() { return static_cast<std::uint8_t>(le(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le(4)); }
    std::uint64_t u64() { return le(8); }

    void num(double& v) { v = std::bit_cast<double>(u64()); }
    void integer(int& v) { v = static_cast<int>(u32()); }
    void integer(std::int64_t& v) { v = static_cast<std::int64_t>(u64()); }
    void flag(bool& v) {
        const std::uint8_t b = u8();
        if (b > 1) fail("a flag holds " + std::to_string(b));
        v = b == 1;
    }
    void sep(char& c) {
        const std::uint8_t b = u8();
        if (b != '.' && b != ',') fail("a decimal separator holds byte " + std::to_string(b));
        c = static_cast<char>(b);
    }
    template <class E>
    void enumeration(E& e, int max) {
        const std::uint8_t b = u8();
        if (b > max) fail("a value of kind " + std::to_string(max) + " holds " + std::to_string(b));
        e = static_cast<E>(b);
    }
    void text(std::string& s) {
        const std::uint32_t n = u32();
        if (n > left()) fail("a text of " + std::to_string(n) + " bytes runs past the block's end");
        s.assign(b_.substr(pos_, n));
        pos_ += n;
    }
    void clock(std::optional<std::int64_t>& v) {
        bool has = false;
        std::int64_t t = 0;
        flag(has);
        integer(t);
        v = has ? std::optional<std::int64_t>(t) : std::nullopt;
    }

    std::size_t left() const { return b_.size() - pos_; }
    [[noreturn]] void fail(const std::string& what) const { throw RecordingError(block_, what); }

private:
    std::uint64_t le(int n) {
        if (left() < static_cast<std::size_t>(n)) fail("the block's data ends inside a value");
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b_[pos_ + i])) << (8 * i);
        pos_ += static_cast<std::size_t>(n);
        return v;
    }
    std::string_view b_;
    std::size_t pos_ = 0;
    long block_;
};

template <class IO, class V>
void vec(IO& io, V& v) {
    io.num(v.x);
    io.num(v.y);
    io.num(v.z);
}

template <class IO, class M>
void mat(IO& io, M& m) {
    for (auto& row : m.m)
        for (auto& c : row) io.num(c);
}

// The state in its fields' declaration order (forEachSimStateMember).
template <class IO, class S>
void visitState(IO& io, S& s) {
    forEachSimStateField(s, [&](const char*, auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Mat3>) {
            mat(io, v);
        } else if constexpr (std::is_same_v<T, Vec3>) {
            vec(io, v);
        } else if constexpr (std::is_same_v<T, double>) {
            io.num(v);
        } else if constexpr (std::is_same_v<T, std::array<Vec3, ELEMENT_COUNT>>) {
            for (auto& e : v) vec(io, e);
        } else if constexpr (std::is_same_v<T, std::array<double, ELEMENT_COUNT>>) {
            for (auto& e : v) io.num(e);
        } else if constexpr (std::is_same_v<T, bool>) {
            io.flag(v);
        } else if constexpr (std::is_same_v<T, SimFault>) {
            io.enumeration(v, static_cast<int>(SimFault::NonFinite));
        } else {
            static_assert(std::is_same_v<T, void>, "a state field of a new kind: give it an encoding");
        }
    });
}

// The start block holds the whole state: a change of its fields changes the
// format. 1304 bytes are the 29 fields of versions 1 and 2.
static_assert(sizeof(SimState) == 1304 && RECORDING_FORMAT_VERSION == 2,
              "SimState changed: list the field in forEachSimStateMember, raise RECORDING_FORMAT_VERSION, "
              "and update this size and docs/recording-format.md");
static_assert(static_cast<int>(SimFault::NonFinite) == 3,
              "a new SimFault value changes the recording format: raise RECORDING_FORMAT_VERSION");

template <class IO, class A>
void visitAircraft(IO& io, A& ac) {
    for (auto& e : ac.elements) {
        io.flag(e.active);
        vec(io, e.pos);
        io.num(e.len);
        io.num(e.chord);
        io.num(e.area);
        vec(io, e.normal);
        vec(io, e.chordVec);
        vec(io, e.chordDir);
        vec(io, e.spanDir);
        for (auto* d : {&e.k, &e.efTr, &e.servoSteps, &e.servoSpeed}) io.num(*d);
    }
    auto& p = ac.params;
    vec(io, p.inertia);
    io.num(p.mass);
    io.num(p.thrustMax);
    io.num(p.vycos);
    vec(io, p.motorPos);
    vec(io, p.thrustVec);
    vec(io, p.weight);
    io.num(p.kvis);
    for (auto& row : ac.mix.c)
        for (auto& c : row) io.num(c);
}

template <class IO, class L>
void visitLoop(IO& io, L& l) {
    for (auto* d : {&l.measured, &l.output, &l.setpoint, &l.kp, &l.ki, &l.kd, &l.integral, &l.prevMeasured})
        io.num(*d);
}

template <class IO, class P>
void visitSliders(IO& io, P& p) {
    io.integer(p.ailerons);
    io.integer(p.rudder);
    io.integer(p.elevator);
    io.integer(p.throttle);
}

template <class IO, class A>
void visitAutopilot(IO& io, A& ap) {
    io.enumeration(ap.mode, static_cast<int>(ApMode::RateHold));
    io.flag(ap.loopTimerOn);
    visitSliders(io, ap.sliders);
    auto& c = ap.channels;
    for (auto* d : {&c.throttle, &c.rudderIn, &c.aileronIn, &c.elevatorIn}) io.num(*d);
    for (auto& d : ap.servos.servoCmd) io.num(d);
    io.clock(ap.servos.servoTimeMs);
    auto& l = ap.loops;
    for (auto* loop : {&l.rollLoop, &l.pitchLoop, &l.speedLoop, &l.altitudeLoop, &l.headingLoop, &l.rollRateLoop,
                       &l.yawRateLoop, &l.pitchRateLoop})
        visitLoop(io, *loop);
    auto& st = ap.stabiliser;
    for (auto* d : {&st.rollMaxAngle, &st.pitchMaxAngle, &st.speedMin, &st.speedMax, &st.rollRateMax,
                    &st.pitchRateMax, &st.yawRateMax})
        io.num(*d);
    auto& rs = ap.returnSettings;
    for (auto* d : {&rs.returnAltitude, &rs.criticalAltitude, &rs.returnMaxRoll, &rs.returnMaxPitch, &rs.returnSpeed,
                    &rs.homeRadius})
        io.num(*d);
    io.flag(rs.headingByAilerons);
    auto& r = ap.returnState;
    io.flag(r.altitudeCaptured);
    io.flag(r.belowCritical);
    for (auto* d : {&r.profileStartDistance, &r.profileStartAltitude, &r.altitudeCommand, &r.headingCommand})
        io.num(*d);
    auto& t = ap.tuning;
    io.flag(t.on);
    io.integer(t.phase);
    io.integer(t.startTimeMs);
    io.num(t.pitchBase);
    io.num(t.rollBase);
    for (auto* i : {&t.pitchSign, &t.rollSign, &t.pitchCrossings, &t.rollCrossings}) io.integer(*i);
    io.num(t.pitchErrorSum);
    io.num(t.rollErrorSum);
}

template <class IO, class T>
    requires std::same_as<std::remove_const_t<T>, ModelTexts>
void visitTexts(IO& io, T& m) {
    for (auto& s : m.scalars) io.text(s);
    for (auto& a : m.active) io.flag(a);
    for (auto& el : m.params)
        for (auto& s : el) io.text(s);
    for (auto& row : m.mix)
        for (auto& s : row) io.text(s);
}

template <class IO, class T>
    requires std::same_as<std::remove_const_t<T>, StabiliserTexts>
void visitTexts(IO& io, T& t) {
    for (auto& s : t.text) io.text(s);
}

template <class IO, class T>
    requires std::same_as<std::remove_const_t<T>, ReturnTexts>
void visitTexts(IO& io, T& t) {
    for (auto& s : t.text) io.text(s);
    io.flag(t.captureAltitudeAtOnce);
    io.integer(t.headingGroupIndex);
}

template <class IO, class S>
void visitStart(IO& io, S& s) {
    io.integer(s.clockMs);
    io.integer(s.flightTick);
    visitState(io, s.state);
    visitAircraft(io, s.aircraft);
    visitAutopilot(io, s.autopilot);
    visitSliders(io, s.sliders);
    io.flag(s.gustsOn);
    io.integer(s.gustMax);
    io.integer(s.gustPeriod);
    io.text(s.randomState);
    visitTexts(io, s.modelTexts);
    io.sep(s.modelDecimalSep);
    visitTexts(io, s.stabiliserTexts);
    visitTexts(io, s.returnTexts);
    io.sep(s.settingsDecimalSep);
}

// ---- Events: a kind byte, the u64 tick stamp, then the kind's fields.

template <class IO>
struct EventVisitor {
    IO& io;
    void operator()(ev::DynamicsTick& e) {
        io.flag(e.running);
        io.integer(e.clockMs);
    }
    void operator()(ev::ControlTick& e) { io.integer(e.clockMs); }
    void operator()(ev::LoopTick& e) { io.integer(e.clockMs); }
    void operator()(ev::Slider& e) {
        io.integer(e.index);
        io.integer(e.position);
    }
    void operator()(ev::Mode& e) {
        io.enumeration(e.mode, static_cast<int>(ApMode::RateHold));
        visitTexts(io, *e.returnTexts);
        io.sep(e.decimalSep);
    }
    // The three applies: the window's texts, then their decimal separator.
    template <class Apply>
    void applied(Apply& e) {
        visitTexts(io, *e.texts);
        io.sep(e.decimalSep);
    }
    void operator()(ev::ModelApply& e) { applied(e); }
    void operator()(ev::StabiliserApply& e) { applied(e); }
    void operator()(ev::ReturnApply& e) { applied(e); }
    void operator()(ev::Initial& e) {
        for (auto* d : {&e.ic.speedKmh, &e.ic.angleDeg, &e.ic.altitudeM, &e.ic.distanceM}) io.num(*d);
    }
    void operator()(ev::Run& e) { io.flag(e.running); }
    void operator()(ev::Wind& e) {
        io.num(e.north);
        io.num(e.east);
    }
    void operator()(ev::Gust& e) {
        io.num(e.maxSpeed);
        io.num(e.north);
        io.num(e.east);
    }
    void operator()(ev::TuningStart&) {}
    void operator()(ev::TuningStop& e) { io.integer(e.clockMs); }
    void operator()(ev::End&) {}
};

constexpr const char* EVENT_NAMES[] = {"DynamicsTick",    "ControlTick", "LoopTick", "Slider",      "Mode",
                                       "ModelApply",      "StabiliserApply", "ReturnApply", "Initial", "Run",
                                       "Wind",            "Gust",        "TuningStart", "TuningStop", "End"};
static_assert(std::size(EVENT_NAMES) == std::variant_size_v<EventData>);

// An event's kind byte on disk is its index in EventData: a kind moved,
// inserted or removed changes the format.
template <class E, std::size_t I = 0>
constexpr std::size_t kindIndex() {
    if constexpr (std::is_same_v<E, std::variant_alternative_t<I, EventData>>)
        return I;
    else
        return kindIndex<E, I + 1>();
}
static_assert(std::variant_size_v<EventData> == 15 && RECORDING_FORMAT_VERSION == 2,
              "the event kinds changed: raise RECORDING_FORMAT_VERSION, then update these checks and "
              "docs/recording-format.md");
#define UAV_KIND_AT(name, index)                    \
    static_assert(kindIndex<ev::name>() == (index), \
                  "event kind " #name " is no longer at index " #index ": raise RECORDING_FORMAT_VERSION")
UAV_KIND_AT(DynamicsTick, 0);
UAV_KIND_AT(ControlTick, 1);
UAV_KIND_AT(LoopTick, 2);
UAV_KIND_AT(Slider, 3);
UAV_KIND_AT(Mode, 4);
UAV_KIND_AT(ModelApply, 5);
UAV_KIND_AT(StabiliserApply, 6);
UAV_KIND_AT(ReturnApply, 7);
UAV_KIND_AT(Initial, 8);
UAV_KIND_AT(Run, 9);
UAV_KIND_AT(Wind, 10);
UAV_KIND_AT(Gust, 11);
UAV_KIND_AT(TuningStart, 12);
UAV_KIND_AT(TuningStop, 13);
UAV_KIND_AT(End, 14);
#undef UAV_KIND_AT

template <std::size_t I = 0>
EventData eventOfKind(std::size_t kind) {
    if constexpr (I < std::variant_size_v<EventData>) {
        if (kind == I) return EventData(std::in_place_index<I>);
        return eventOfKind<I + 1>(kind);
    } else {
        return EventData{};
    }
}

// The controls' clock counts milliseconds from the program's start; a reading
// far outside that would overflow the differences the servos take.
constexpr std::int64_t MAX_CLOCK_MS = std::int64_t{1} << 50;
bool clockOk(std::int64_t t) { return t >= 0 && t <= MAX_CLOCK_MS; }
bool within(double v, double lo, double hi) { return v >= lo && v <= hi; }
bool slidersOk(const SliderPositions& p) {
    for (int v : {p.ailerons, p.rudder, p.elevator, p.throttle})
        if (v < -100 || v > 100) return false;
    return true;
}

// m/s: the compass's corners give about 14, a gust at most 10.
constexpr double MAX_WIND = 100.0;

// Values the program itself can never have produced.
void checkEvent(const In& in, const EventData& d) {
    std::int64_t clock = 0;
    if (const auto* t = std::get_if<ev::DynamicsTick>(&d)) clock = t->clockMs;
    if (const auto* t = std::get_if<ev::ControlTick>(&d)) clock = t->clockMs;
    if (const auto* t = std::get_if<ev::LoopTick>(&d)) clock = t->clockMs;
    if (const auto* t = std::get_if<ev::TuningStop>(&d)) clock = t->clockMs;
    if (!clockOk(clock)) in.fail("a clock reading out of range");
    int heading = 0;
    if (const auto* m = std::get_if<ev::Mode>(&d)) heading = m->returnTexts->headingGroupIndex;
    if (const auto* r = std::get_if<ev::ReturnApply>(&d)) heading = r->texts->headingGroupIndex;
    if (heading < 0 || heading > 1) in.fail("a heading group other than 0 or 1");
    if (const auto* s = std::get_if<ev::Slider>(&d)) {
        if (s->index < 0 || s->index > 3) in.fail("a slider event names slider " + std::to_string(s->index));
        if (s->position < -100 || s->position > 100)
            in.fail("a slider event holds position " + std::to_string(s->position));
    } else if (const auto* i = std::get_if<ev::Initial>(&d)) {
        // The fields' ranges.
        if (!within(i->ic.speedKmh, 0, 100) || !within(i->ic.angleDeg, 0, 90) || !within(i->ic.altitudeM, 0, 15000) ||
            !within(i->ic.distanceM, -100000, 100000))
            in.fail("initial conditions beyond their fields' ranges");
    } else if (const auto* w = std::get_if<ev::Wind>(&d)) {
        if (!within(w->north, -MAX_WIND, MAX_WIND) || !within(w->east, -MAX_WIND, MAX_WIND))
            in.fail("a wind that is not a number of m/s the compass can set");
    } else if (const auto* g = std::get_if<ev::Gust>(&d)) {
        if (!within(g->maxSpeed, 0, MAX_WIND) || !within(g->north, -MAX_WIND, MAX_WIND) ||
            !within(g->east, -MAX_WIND, MAX_WIND))
            in.fail("a gust that is not a number of m/s the generator can draw");
    }
}

// Visits a record only to find a double that is not a finite number.
struct FiniteCheck {
    bool ok = true;
    void num(const double& v) { ok = ok && std::isfinite(v); }
    template <class T>
    void integer(const T&) {}
    void flag(const bool&) {}
    void sep(const char&) {}
    template <class E>
    void enumeration(const E&, int) {}
    void text(const std::string&) {}
    void clock(const std::optional<std::int64_t>&) {}
};

// Values the program itself can never have held.
void checkStart(const In& in, const RecordingStart& s) {
    FiniteCheck f;
    visitStart(f, s);
    if (!f.ok) in.fail("the start holds a value that is not a finite number");
    const Autopilot& ap = s.autopilot;
    const RelayTuning& t = ap.tuning;
    if (!clockOk(s.clockMs) || (ap.servos.servoTimeMs && !clockOk(*ap.servos.servoTimeMs)) || !clockOk(t.startTimeMs))
        in.fail("the start holds a clock reading out of range");
    if (s.flightTick < 0 || s.flightTick > MAX_CLOCK_MS) in.fail("the start holds a flight clock out of range");
    if (!slidersOk(s.sliders) || !slidersOk(ap.sliders)) in.fail("the start holds a slider beyond its range");
    const bool signsOk = (t.pitchSign == 1 || t.pitchSign == -1) && (t.rollSign == 1 || t.rollSign == -1);
    if (t.phase < 0 || t.phase > 1 || !signsOk || t.pitchCrossings < 0 || t.rollCrossings < 0 ||
        t.pitchCrossings > 1'000'000'000 || t.rollCrossings > 1'000'000'000)
        in.fail("the start holds a relay tuning state the program cannot have");
    if (s.gustMax < 1 || s.gustMax > 10 || s.gustPeriod < 1 || s.gustPeriod > 100)
        in.fail("the start holds gust settings beyond their fields' ranges");
    if (s.returnTexts.headingGroupIndex < 0 || s.returnTexts.headingGroupIndex > 1)
        in.fail("the start holds a heading group other than 0 or 1");
}

void encodeHeaderInto(std::string& b) {
    b.append(RECORDING_MAGIC);
    Out o(b);
    o.u16(RECORDING_FORMAT_VERSION);
    const std::string v = programVersion();
    o.u16(static_cast<std::uint16_t>(v.size()));
    b.append(v);
    o.u32(crc32(b));
}

}  // namespace

const char* eventName(const EventData& e) { return EVENT_NAMES[e.index()]; }

std::string encodeHeader() {
    std::string b;
    encodeHeaderInto(b);
    return b;
}

std::string encodeBlock(std::uint32_t index, std::string_view payload) {
    std::string b;
    b.reserve(payload.size() + 16);
    b.append(BLOCK_MAGIC);
    Out o(b);
    o.u32(index);
    o.u32(static_cast<std::uint32_t>(payload.size()));
    b.append(payload);
    o.u32(crc32(b));
    return b;
}

std::string encodeStartBlock(const RecordingStart& start) {
    std::string p;
    Out o(p);
    RecordingStart copy = start;  // the visitors take the fields by reference
    visitStart(o, copy);
    return encodeBlock(0, p);
}

void encodeEvent(std::string& payload, const Event& e) {
    Out o(payload);
    o.u8(static_cast<std::uint8_t>(e.data.index()));
    o.integer(e.tick);
    EventData copy = e.data;
    std::visit(EventVisitor<Out>{o}, copy);
}

std::string encodeEventBlock(std::uint32_t index, const std::vector<Event>& events) {
    std::string p;
    for (const Event& e : events) encodeEvent(p, e);
    return encodeBlock(index, p);
}

RecordingReader::RecordingReader(std::string_view bytes) : bytes_(bytes) {
    if (bytes.size() < RECORDING_MAGIC.size() || bytes.substr(0, RECORDING_MAGIC.size()) != RECORDING_MAGIC)
        throw RecordingError(-1, "not a uavsim recording (no \"UAVREC\" mark at its start)");
    In in(bytes.substr(RECORDING_MAGIC.size()), -1);
    const std::uint16_t version = in.u16();
    const std::uint16_t n = in.u16();
    if (n > in.left()) throw RecordingError(-1, "the file ends inside the header");
    const std::size_t textAt = RECORDING_MAGIC.size() + 4;
    writtenBy_.assign(bytes.substr(textAt, n));
    // Printable names only: the text goes into messages.
    for (char& c : writtenBy_)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    if (version != RECORDING_FORMAT_VERSION)
        throw RecordingError(-1, "recording format version " + std::to_string(version) + " (written by " +
                                     writtenBy_ + "); this program (" + programVersion() + ") reads version " +
                                     std::to_string(RECORDING_FORMAT_VERSION));
    const std::size_t crcAt = textAt + n;
    if (bytes.size() < crcAt + 4) throw RecordingError(-1, "the file ends inside the header");
    In crcIn(bytes.substr(crcAt, 4), -1);
    if (!crcMatches(crcIn.u32(), bytes.substr(0, crcAt))) throw RecordingError(-1, "the header's check sum is wrong");
    pos_ = crcAt + 4;
}

std::string_view RecordingReader::blockPayload() {
    const long b = index_;
    const std::string_view rest = bytes_.substr(pos_);
    if (rest.size() < 12) throw RecordingError(b, "the file ends inside the block's head (cut short)");
    if (rest.substr(0, 4) != BLOCK_MAGIC) throw RecordingError(b, "no block mark where the block should start");
    In head(rest.substr(4, 8), b);
    const std::uint32_t index = head.u32();
    const std::uint32_t len = head.u32();
    if (index != static_cast<std::uint32_t>(b))
        throw RecordingError(b, "the block is numbered " + std::to_string(index) + " (out of order)");
    if (len > MAX_BLOCK_PAYLOAD) throw RecordingError(b, "a block of " + std::to_string(len) + " bytes");
    if (len > rest.size() - 12 || rest.size() - 12 - len < 4)
        throw RecordingError(b, "the file ends inside the block (cut short)");
    In crcIn(rest.substr(12 + len, 4), b);
    if (!crcMatches(crcIn.u32(), rest.substr(0, 12 + len))) throw RecordingError(b, "the block's check sum is wrong");
    pos_ += 12 + len + 4;
    ++index_;
    return rest.substr(12, len);
}

RecordingStart RecordingReader::start() {
    if (index_ != 0) throw RecordingError(index_, "the start block was already read");
    In in(blockPayload(), 0);
    RecordingStart s;
    visitStart(in, s);
    if (in.left() != 0) in.fail(std::to_string(in.left()) + " bytes after the start record");
    checkStart(in, s);
    return s;
}

std::vector<Event> RecordingReader::nextBlock() {
    std::vector<Event> events;
    if (pos_ == bytes_.size()) return events;
    if (finished_) throw RecordingError(index_, "a block after the recording's end");
    const long b = index_;
    const std::string_view payload = blockPayload();
    // The recorder writes a block only around events (a second of ticks, or
    // the End event): an empty one is damage, not the end of the recording.
    if (payload.empty()) throw RecordingError(b, "the block holds no event (every block written holds at least one)");
    In in(payload, b);
    std::int64_t ticks = ticks_;
    bool finished = false;
    while (in.left() > 0) {
        if (finished) in.fail("an event after the End event");
        const std::uint8_t kind = in.u8();
        if (kind >= std::variant_size_v<EventData>) in.fail("an event of unknown kind " + std::to_string(kind));
        Event e;
        e.data = eventOfKind(kind);
        in.integer(e.tick);
        std::visit(EventVisitor<In>{in}, e.data);
        checkEvent(in, e.data);
        if (e.tick != ticks)
            in.fail(std::string(eventName(e.data)) + " event stamped tick " + std::to_string(e.tick) + " after " +
                    std::to_string(ticks) + " dynamics ticks");
        if (std::holds_alternative<ev::DynamicsTick>(e.data)) ++ticks;
        if (std::holds_alternative<ev::End>(e.data)) finished = true;
        events.push_back(std::move(e));
    }
    ticks_ = ticks;
    finished_ = finished;
    return events;
}

}  // namespace uav
