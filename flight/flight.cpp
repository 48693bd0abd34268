#include "flight/flight.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <charconv>
#include <cmath>
#include <ostream>

#include "control/flightstart.h"
#include "control/headless.h"
#include "core/dynamics.h"
#include "core/errors.h"
#include "core/wind.h"
#include "model/inifile.h"
#include "model/modeltext.h"
#include "record/telemetry.h"

namespace uav {

namespace {

// A number as a user would type it: "0", "0.01", "120.5".
std::string numberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string limitText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

std::int64_t ticksOf(double seconds, double dt) { return std::llround(seconds / dt); }

}  // namespace

double checkedOption(const char* name, double value, OptionRange range) {
    if (!std::isfinite(value))
        throw SimError(std::string(name) + ": '" + numberText(value) + "' is not a number");
    if (value < range.lo || value > range.hi)
        throw SimError(std::string(name) + ": " + numberText(value) + " is outside " + limitText(range.lo) + " .. " +
                       limitText(range.hi));
    return value;
}

int checkedSlider(const char* name, double value) {
    checkedOption(name, value, SLIDER_RANGE);
    if (value != std::floor(value)) throw SimError(std::string(name) + ": slider positions are whole numbers");
    return static_cast<int>(value);
}

void checkFlightOptions(const FlightOptions& o, const FlightOptionNames& n) {
    if (o.decimalSep != '.' && o.decimalSep != ',')
        throw SimError(std::string(n.decimalSep) + ": '" + std::string(1, o.decimalSep) + "' is not . or ,");
    checkedOption(n.speed, o.initial.speedKmh, SPEED_KMH_RANGE);
    checkedOption(n.angle, o.initial.angleDeg, ANGLE_DEG_RANGE);
    checkedOption(n.altitude, o.initial.altitudeM, ALTITUDE_M_RANGE);
    checkedOption(n.distance, o.initial.distanceM, DISTANCE_M_RANGE);
    checkedOption(n.windNorth, o.windNorth, WIND_MS_RANGE);
    checkedOption(n.windEast, o.windEast, WIND_MS_RANGE);
    checkedOption(n.gustMax, o.gustMax, GUST_MAX_MS_RANGE);
    checkedOption(n.gustPeriod, o.gustPeriod, GUST_PERIOD_S_RANGE);
    checkedSlider(n.ailerons, o.sliders.ailerons);
    checkedSlider(n.elevator, o.sliders.elevator);
    checkedSlider(n.rudder, o.sliders.rudder);
    checkedSlider(n.throttle, o.sliders.throttle);
    StabiliserTexts stab = defaultStabiliserTexts('.');
    ReturnTexts ret = defaultReturnTexts('.');
    for (const auto& [name, text] : o.settings) {
        try {
            setSettingText(stab, ret, name, text);
        } catch (const SimError& e) {
            throw SimError(std::string(n.settings) + ": " + e.what());
        }
    }
}

// The kept telemetry: rows of TELEMETRY_COUNT doubles appended every tick (an
// hour is 150 MB). Anonymous memory that grows by remapping, so growing never
// copies, and backed by transparent huge pages where the kernel offers them,
// so filling it costs few page faults.
class RowLog {
public:
    RowLog() = default;
    RowLog(const RowLog&) = delete;
    RowLog& operator=(const RowLog&) = delete;
    ~RowLog() {
        if (data_) ::munmap(data_, capacity_);
    }
    std::int64_t rows() const { return rows_; }
    const double* row(std::int64_t r) const { return data_ + static_cast<std::size_t>(r) * TELEMETRY_COUNT; }
    // Room for one more row; throws std::bad_alloc when the memory is refused.
    void reserveRow() {
        const std::size_t need = (static_cast<std::size_t>(rows_) + 1) * ROW_BYTES;
        if (need <= capacity_) return;
        const std::size_t grown = std::max<std::size_t>(FIRST_BYTES, capacity_ * 2);
        void* p = data_ ? ::mremap(data_, capacity_, grown, MREMAP_MAYMOVE)
                        : ::mmap(nullptr, grown, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        ::madvise(p, grown, MADV_HUGEPAGE);  // a hint: without it the log works the same
        data_ = static_cast<double*>(p);
        capacity_ = grown;
    }
    void append(const SimState& s) {
        reserveRow();
        telemetryValues(s, data_ + static_cast<std::size_t>(rows_) * TELEMETRY_COUNT);
        ++rows_;
    }

private:
    static constexpr std::size_t ROW_BYTES = TELEMETRY_COUNT * sizeof(double);
    static constexpr std::size_t FIRST_BYTES = std::size_t{4} << 20;  // two huge pages, about 100 s
    double* data_ = nullptr;
    std::size_t capacity_ = 0;  // bytes
    std::int64_t rows_ = 0;
};

// The settings texts of a flight are written with a decimal point, whatever
// the model file uses.
constexpr char SETTINGS_SEP = '.';

struct Flight::Impl {
    explicit Impl(const FlightOptions& o) : hc(ap), gustRandom(o.seed) {}

    SimState s;
    Aircraft ac;
    ModelOutlines outlines;
    Autopilot ap;
    HeadlessControl hc;  // after ap: its relay hook steers ap's loops
    StabiliserTexts stabTexts;
    ReturnTexts retTexts;
    SeededUniform gustRandom;
    double gustMax = 0.0;          // m/s
    std::int64_t gustTicks = 100;  // ticks between gusts
    std::int64_t ticks = 0;        // flown, the faulting one not counted
    std::string startModeError, startWarning;

    bool logging = false;
    std::int64_t keep = 1;         // ticks between kept rows
    std::int64_t firstLogged = 0;  // the tick of row 0
    RowLog log;
    double faultRow[TELEMETRY_COUNT] = {};  // the last valid state, once a fault latched
};

Flight::Flight(const FlightOptions& o, const FlightOptionNames& names) {
    checkFlightOptions(o, names);
    impl_ = std::make_unique<Impl>(o);
    Impl& m = *impl_;

    FlightStart in;
    const std::string modelName = o.modelPath.empty() ? std::string("model text") : o.modelPath;
    if (o.modelBytes) {
        const IniFile store = IniFile::fromBytes(*o.modelBytes);
        in.modelTexts = loadModelTexts(store, TextDefaults::ModelFile);
        if (!holdsModel(store)) m.startWarning = noModelWarning(modelName);
    } else {
        in.modelTexts = loadModelFile(o.modelPath);
        if (!modelFileHoldsModel(o.modelPath)) m.startWarning = noModelWarning(o.modelPath);
    }
    in.modelDecimalSep = o.decimalSep;
    in.initial = o.initial;
    in.settingsDecimalSep = SETTINGS_SEP;
    in.stabiliserTexts = defaultStabiliserTexts(SETTINGS_SEP);
    in.returnTexts = defaultReturnTexts(SETTINGS_SEP);
    for (const auto& [name, text] : o.settings) setSettingText(in.stabiliserTexts, in.returnTexts, name, text);
    in.sliders = o.sliders;
    in.wind = {o.windNorth, 0.0, o.windEast};
    in.mode = o.mode;

    const FlightStartResult r = startFlight(in, m.s, m.ac, m.outlines, m.ap, nullptr);
    if (r.modelError) throw SimError(modelName + ": " + *r.modelError);
    if (r.stabiliserError) throw SimError("autopilot settings: " + *r.stabiliserError);
    if (r.returnError) throw SimError("autopilot settings: " + *r.returnError);
    m.startModeError = r.modeError.value_or("");
    m.stabTexts = in.stabiliserTexts;
    m.retTexts = in.returnTexts;
    m.gustMax = o.gustMax;
    m.gustTicks = std::max<std::int64_t>(1, ticksOf(o.gustPeriod, m.s.dt));
    m.s.running = true;
}

Flight::~Flight() = default;
Flight::Flight(Flight&&) noexcept = default;
Flight& Flight::operator=(Flight&&) noexcept = default;

bool Flight::tick() {
    Impl& m = *impl_;
    if (m.s.fault != SimFault::None) return false;
    const std::int64_t i = m.ticks;
    if (m.gustMax > 0 && i > 0 && i % m.gustTicks == 0) m.s.wind = nextGust(m.gustMax, m.gustRandom).wind;
    const bool keepRow = m.logging && (i + 1) % m.keep == 0;
    if (keepRow) m.log.reserveRow();  // refused memory stops the flight before the tick, not after
    const SimState before = m.s;  // the control tick also writes servos and thrust
    const TickResult r = headlessTick(m.hc, m.ap, m.s, m.ac);
    if (r.faultRaised || m.s.fault != SimFault::None) {
        const SimFault f = m.s.fault;
        m.s = before;
        m.s.fault = f;
        if (m.logging) telemetryValues(m.s, m.faultRow);
        return false;
    }
    ++m.ticks;
    if (keepRow) m.log.append(m.s);
    return true;
}

void Flight::shapeState(const std::function<void(SimState&)>& shape) {
    SimState shaped = impl_->s;
    shape(shaped);
    if (!stateFinite(shaped)) throw SimError("the shaped state is not finite");
    impl_->s = shaped;
}

bool Flight::step() {
    if (!tick()) return false;
    return impl_->ticks % 2 == 0 || tick();
}

std::int64_t Flight::run(std::int64_t count) {
    std::int64_t done = 0;
    while (done < count && tick()) ++done;
    return done;
}

std::int64_t Flight::ticks() const { return impl_->ticks; }
double Flight::time() const { return static_cast<double>(impl_->ticks) * impl_->s.dt; }

void Flight::setSliders(const SliderPositions& p) { impl_->ap.sliders = p; }
const SliderPositions& Flight::sliders() const { return impl_->ap.sliders; }

void Flight::setMode(ApMode mode) {
    Impl& m = *impl_;
    engageMode(m.ap, mode, m.s, m.retTexts, SETTINGS_SEP);
}
ApMode Flight::mode() const { return impl_->ap.mode; }
const std::string& Flight::startModeError() const { return impl_->startModeError; }

void Flight::setWind(double northMs, double eastMs) { impl_->s.wind = {northMs, 0.0, eastMs}; }

void Flight::setSettingTexts(const std::vector<std::pair<std::string, std::string>>& settings) {
    Impl& m = *impl_;
    StabiliserTexts stab = m.stabTexts;
    ReturnTexts ret = m.retTexts;
    for (const auto& [name, text] : settings) setSettingText(stab, ret, name, text);
    m.stabTexts = std::move(stab);
    m.retTexts = std::move(ret);
}

void Flight::applySettings() {
    Impl& m = *impl_;
    Autopilot next = m.ap;
    try {
        applyStabiliserTexts(m.stabTexts, SETTINGS_SEP, next.stabiliser, next.loops);
        applyReturnTexts(m.retTexts, SETTINGS_SEP, m.s, next.returnSettings, next.returnState, next.loops);
    } catch (const SimError& e) {
        throw SimError(std::string("autopilot settings: ") + e.what());
    }
    m.ap = std::move(next);
}

void Flight::startTuning() { uav::startTuning(impl_->ap.tuning); }

TuningProposal Flight::stopTuning() {
    Impl& m = *impl_;
    uav::stopTuning(m.ap.tuning, headlessClockMs(m.hc), m.stabTexts, SETTINGS_SEP);
    TuningProposal p;
    for (int f : {ST_ROLL_KP, ST_ROLL_KI, ST_ROLL_KD, ST_PITCH_KP, ST_PITCH_KI, ST_PITCH_KD})
        p.emplace_back(STABILISER_FIELDS[f].setting, m.stabTexts.text[f]);
    return p;
}
bool Flight::tuning() const { return impl_->ap.tuning.on; }
const std::string& Flight::tuningCaption() const { return impl_->hc.hook.caption; }

const SimState& Flight::state() const { return impl_->s; }
const Aircraft& Flight::aircraft() const { return impl_->ac; }
const Autopilot& Flight::autopilot() const { return impl_->ap; }
const StabiliserTexts& Flight::stabiliserTexts() const { return impl_->stabTexts; }
const ReturnTexts& Flight::returnTexts() const { return impl_->retTexts; }
SimFault Flight::fault() const { return impl_->s.fault; }
const std::string& Flight::startWarning() const { return impl_->startWarning; }

void Flight::keepTelemetry(int everyTicks) {
    Impl& m = *impl_;
    if (everyTicks < 1) throw SimError("the telemetry interval must be 1 tick or more, not " + std::to_string(everyTicks));
    if (m.logging) return;
    m.logging = true;
    m.keep = everyTicks;
    m.firstLogged = m.ticks;
    m.log.append(m.s);
    if (m.s.fault != SimFault::None) telemetryValues(m.s, m.faultRow);
}

int Flight::keptEvery() const { return static_cast<int>(impl_->keep); }
std::int64_t Flight::loggedRows() const { return impl_->log.rows(); }

std::int64_t Flight::loggedTick(std::int64_t r) const {
    const Impl& m = *impl_;
    return r == 0 ? m.firstLogged : (m.firstLogged / m.keep + r) * m.keep;
}

const double* Flight::loggedRow(std::int64_t r) const { return impl_->log.row(r); }

std::int64_t Flight::loggedRowOfTick(std::int64_t tick) const {
    const Impl& m = *impl_;
    if (!m.logging || tick < m.firstLogged) return -1;
    std::int64_t r = 0;
    if (tick > m.firstLogged) {
        if (tick % m.keep != 0) return -1;
        r = tick / m.keep - m.firstLogged / m.keep;
    }
    return r < loggedRows() ? r : -1;
}

std::vector<std::int64_t> Flight::csvTicks(int every) const {
    const Impl& m = *impl_;
    std::vector<std::int64_t> out;
    if (every < 1) return out;
    if (every % m.keep != 0)
        throw SimError("every: " + std::to_string(every) + " is not a multiple of the " + std::to_string(m.keep) +
                       " ticks between kept rows");
    const std::int64_t rows = loggedRows();
    if (rows == 0) return out;
    const std::int64_t first = m.firstLogged, last = fault() != SimFault::None ? m.ticks : loggedTick(rows - 1);
    std::int64_t n = std::max<std::int64_t>(every, (first + every - 1) / every * every);
    out.reserve(static_cast<std::size_t>((last - first) / every + 2));
    for (; n <= last; n += every) out.push_back(n);
    // After a fault the telemetry ends with the last valid state.
    if (fault() != SimFault::None && (last == 0 || last % every != 0)) out.push_back(last);
    return out;
}

const double* Flight::csvRow(std::int64_t tick) const {
    const std::int64_t r = loggedRowOfTick(tick);
    if (r >= 0) return loggedRow(r);
    if (fault() != SimFault::None && tick == impl_->ticks) return impl_->faultRow;
    throw SimError("tick " + std::to_string(tick) + " was not kept");
}

void Flight::writeCsv(std::ostream& out, int every) const {
    writeTelemetryHeader(out);
    const double dt = impl_->s.dt;
    for (std::int64_t n : csvTicks(every)) writeTelemetryRow(out, n, dt, csvRow(n));
}

}  // namespace uav
