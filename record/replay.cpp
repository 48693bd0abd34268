#include "record/replay.h"

#include <ostream>
#include <sstream>

#include "core/dynamics.h"
#include "core/errors.h"
#include "record/telemetry.h"

namespace uav {

namespace {

// The window's handlers catch the system's errors at their boundary and the
// program carries on with what was done before the error: so does the replay.
template <class F>
void asTheWindowDoes(F&& f) {
    try {
        f();
    } catch (const SimError&) {
    }
}

}  // namespace

Replayer::Replayer(const RecordingStart& start)
    : s_(start.state),
      ac_(start.aircraft),
      ap_(start.autopilot),
      sliders_(start.sliders),
      stabiliserTexts_(start.stabiliserTexts),
      settingsSep_(start.settingsDecimalSep),
      startTick_(start.flightTick) {
    if (!start.randomState.empty()) {
        random_.emplace(0);
        if (!random_->restoreState(start.randomState)) random_.reset();
    }
}

void Replayer::apply(const Event& e, std::ostream* csv) {
    const EventData& d = e.data;
    if (const auto* t = std::get_if<ev::DynamicsTick>(&d)) {
        if (t->running != s_.running)
            throw ReplayDiverged("at tick " + std::to_string(ticks_) + " the recording ran " +
                                 (t->running ? "and the replay stood" : "not and the replay did"));
        hook_.nowMs = t->clockMs;
        dynamicsTick(s_, ac_, &hook_);
        ++ticks_;
        if (csv) telemetryAfterTick(*csv, ticks_, startTick_, s_);
    } else if (const auto* c = std::get_if<ev::ControlTick>(&d)) {
        ap_.sliders = sliders_;
        asTheWindowDoes([&] { controlTick(ap_, s_, ac_, c->clockMs); });
    } else if (const auto* l = std::get_if<ev::LoopTick>(&d)) {
        asTheWindowDoes([&] { loopTick(ap_, s_, ac_, l->clockMs); });
    } else if (const auto* sl = std::get_if<ev::Slider>(&d)) {
        int* p[4] = {&sliders_.ailerons, &sliders_.rudder, &sliders_.elevator, &sliders_.throttle};
        *p[sl->index] = sl->position;
    } else if (const auto* m = std::get_if<ev::Mode>(&d)) {
        asTheWindowDoes([&] { engageMode(ap_, m->mode, s_, *m->returnTexts, m->decimalSep); });
    } else if (const auto* ma = std::get_if<ev::ModelApply>(&d)) {
        asTheWindowDoes([&] { applyModel(*ma->texts, ma->decimalSep, s_, ac_, outlines_, nullptr); });
    } else if (const auto* sa = std::get_if<ev::StabiliserApply>(&d)) {
        stabiliserTexts_ = *sa->texts;
        settingsSep_ = sa->decimalSep;
        asTheWindowDoes([&] { applyStabiliserTexts(*sa->texts, sa->decimalSep, ap_.stabiliser, ap_.loops); });
    } else if (const auto* ra = std::get_if<ev::ReturnApply>(&d)) {
        asTheWindowDoes([&] {
            applyReturnTexts(*ra->texts, ra->decimalSep, s_, ap_.returnSettings, ap_.returnState, ap_.loops);
        });
    } else if (const auto* ic = std::get_if<ev::Initial>(&d)) {
        applyInitialConditions(s_, ic->ic);
    } else if (const auto* r = std::get_if<ev::Run>(&d)) {
        s_.running = r->running;
    } else if (const auto* w = std::get_if<ev::Wind>(&d)) {
        s_.wind.x = w->north;
        s_.wind.z = w->east;
    } else if (const auto* g = std::get_if<ev::Gust>(&d)) {
        if (random_) {
            const Gust drawn = nextGust(g->maxSpeed, *random_);
            if (drawn.wind.x != g->north || drawn.wind.z != g->east)
                throw ReplayDiverged("at tick " + std::to_string(ticks_) +
                                     " the gust generator drew another gust than the recording holds");
        }
        s_.wind = {g->north, 0.0, g->east};
    } else if (std::holds_alternative<ev::TuningStart>(d)) {
        startTuning(ap_.tuning);
    } else if (const auto* ts = std::get_if<ev::TuningStop>(&d)) {
        // Only the texts take the proposal; the flight sees the relay stop.
        StabiliserTexts proposal = stabiliserTexts_;
        asTheWindowDoes([&] { stopTuning(ap_.tuning, ts->clockMs, proposal, settingsSep_); });
    }
}

ReplaySummary replayRecording(std::string_view bytes, std::ostream* csv) {
    RecordingReader reader(bytes);
    ReplaySummary sum;
    sum.writtenBy = reader.writtenBy();
    const RecordingStart start = reader.start();
    Replayer rp(start);
    sum.blocks = 1;
    if (csv) writeTelemetryHeader(*csv);
    try {
        for (;;) {
            const long block = reader.nextIndex();
            const std::vector<Event> events = reader.nextBlock();
            if (events.empty()) break;
            // A divergence inside a block leaves the rows of that block unwritten.
            std::ostringstream blockCsv;
            try {
                for (const Event& e : events) rp.apply(e, csv ? &blockCsv : nullptr);
            } catch (const ReplayDiverged& d) {
                sum.problem = "recording block " + std::to_string(block) + ": the replay diverged " + d.what();
                break;
            }
            if (csv) *csv << blockCsv.str();
            ++sum.blocks;
            sum.events += static_cast<std::int64_t>(events.size());
            sum.ticks = rp.ticks();
        }
    } catch (const RecordingError& e) {
        sum.problem = e.what();
    }
    sum.finished = reader.finished() && sum.problem.empty();
    if (sum.problem.empty() && !reader.finished())
        sum.problem = "the recording ends after block " + std::to_string(reader.nextIndex() - 1) +
                      " without its end mark (the recorder did not stop it); replayed up to there";
    sum.final = rp.state();
    return sum;
}

}  // namespace uav
