// Makes a recording in the window (offscreen) after a short flight in
// stabilise mode with gusts, and writes beside it, as JSON, the values the
// program held when recording began, keyed as the documented start block's
// fields. tests/record/read_recording_start.py decodes the recording from the
// format document alone and compares.
//
//   recording_start_dump DIR   ->  DIR/window.uavrec, DIR/program.json

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QSlider>
#include <QSpinBox>
#include <QAbstractButton>
#include <QToolButton>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/recordingui.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tform5.h"
#include "app/tform7.h"

using namespace uav;

namespace {

// A JSON writer just large enough for the dump: doubles in 17 digits (they
// read back exactly), texts escaped.
class Json {
public:
    std::string str() const { return out_.str(); }
    void open(const char* key) { item(key) << '{'; first_ = true; }
    void close() { out_ << '}'; first_ = false; }
    void num(const char* key, double v) { item(key) << fmt(v); }
    void integer(const char* key, long long v) { item(key) << v; }
    void flag(const char* key, bool v) { item(key) << (v ? "true" : "false"); }
    void text(const char* key, const std::string& s) { item(key) << quote(s); }
    void nums(const char* key, const double* v, int n) {
        item(key) << '[';
        for (int i = 0; i < n; ++i) out_ << (i ? "," : "") << fmt(v[i]);
        out_ << ']';
    }
    void vec(const char* key, const Vec3& v) {
        const double a[3] = {v.x, v.y, v.z};
        nums(key, a, 3);
    }
    void mat(const char* key, const Mat3& m) { nums(key, &m.m[0][0], 9); }
    template <class C>
    void vecs(const char* key, const C& c) {
        std::vector<double> all;
        for (const Vec3& v : c) all.insert(all.end(), {v.x, v.y, v.z});
        nums(key, all.data(), static_cast<int>(all.size()));
    }
    template <class C>
    void texts(const char* key, const C& c) {
        item(key) << '[';
        bool f = true;
        for (const std::string& s : c) {
            out_ << (f ? "" : ",") << quote(s);
            f = false;
        }
        out_ << ']';
    }
    template <class C>
    void ints(const char* key, const C& c) {
        item(key) << '[';
        bool f = true;
        for (auto v : c) {
            out_ << (f ? "" : ",") << static_cast<long long>(v);
            f = false;
        }
        out_ << ']';
    }

private:
    std::ostream& item(const char* key) {
        if (!first_) out_ << ',';
        first_ = false;
        if (key) out_ << quote(key) << ':';
        return out_;
    }
    static std::string fmt(double v) {
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", v);
        return b;
    }
    static std::string quote(const std::string& s) {
        std::string q = "\"";
        for (unsigned char c : s) {
            if (c == '"' || c == '\\') {
                q += '\\';
                q += static_cast<char>(c);
            } else if (c < 0x20) {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                q += b;
            } else {
                q += static_cast<char>(c);
            }
        }
        return q + "\"";
    }
    std::ostringstream out_;
    bool first_ = true;
};

void dumpState(Json& j, const SimState& s) {
    j.open("state");
    j.mat("orient", s.orient);
    j.mat("earthToBody", s.earthToBody);
    j.mat("bodyToEarth", s.bodyToEarth);
    j.vec("velocity", s.velocity);
    j.vec("omegaEarth", s.omegaEarth);
    j.vec("omegaBody", s.omegaBody);
    j.vec("airflowBody", s.airflowBody);
    const double pos[7] = {s.posH, s.posX, s.posZ, s.posD, s.rollAngle, s.pitchAngle, s.yawAngle};
    j.nums("posH posX posZ posD roll pitch yaw", pos, 7);
    j.vecs("elemAirflow", s.elemAirflow);
    j.vecs("elemForceBody", s.elemForceBody);
    j.vecs("elemForceEarth", s.elemForceEarth);
    j.vecs("elemCP", s.elemCP);
    j.vec("thrustBody", s.thrustBody);
    j.nums("servoPos", s.servoPos.data(), ELEMENT_COUNT);
    j.vec("wind", s.wind);
    const double air[6] = {s.airTemp, s.airPressure, s.airDensity, s.groundTemp, s.groundPressure, s.dt};
    j.nums("air and dt", air, 6);
    j.flag("running", s.running);
    j.integer("fault", static_cast<int>(s.fault));
    j.close();
}

void dumpAircraft(Json& j, const Aircraft& ac) {
    j.open("aircraft");
    for (int i = 0; i < ELEMENT_COUNT; ++i) {
        const AeroElement& e = ac.elements[static_cast<std::size_t>(i)];
        const std::string key = "element" + std::to_string(i);
        j.open(key.c_str());
        j.flag("active", e.active);
        j.vec("pos", e.pos);
        const double lca[3] = {e.len, e.chord, e.area};
        j.nums("len chord area", lca, 3);
        j.vecs("normal chordVec chordDir spanDir", std::array<Vec3, 4>{e.normal, e.chordVec, e.chordDir, e.spanDir});
        const double rest[4] = {e.k, e.efTr, e.servoSteps, e.servoSpeed};
        j.nums("k efTr servoSteps servoSpeed", rest, 4);
        j.close();
    }
    const ModelParams& p = ac.params;
    j.vec("inertia", p.inertia);
    const double m[3] = {p.mass, p.thrustMax, p.vycos};
    j.nums("mass thrustMax vycos", m, 3);
    j.vecs("motorPos thrustVec weight", std::array<Vec3, 3>{p.motorPos, p.thrustVec, p.weight});
    j.num("kvis", p.kvis);
    j.nums("mix", &ac.mix.c[0][0], MIX_ROWS * ELEMENT_COUNT);
    j.close();
}

void dumpAutopilot(Json& j, const Autopilot& ap) {
    j.open("autopilot");
    j.integer("mode", static_cast<int>(ap.mode));
    j.flag("loopTimerOn", ap.loopTimerOn);
    j.ints("sliders", std::array<int, 4>{ap.sliders.ailerons, ap.sliders.rudder, ap.sliders.elevator,
                                         ap.sliders.throttle});
    const Channels& c = ap.channels;
    const double ch[4] = {c.throttle, c.rudderIn, c.aileronIn, c.elevatorIn};
    j.nums("channels", ch, 4);
    j.nums("servoCmd", ap.servos.servoCmd.data(), ELEMENT_COUNT);
    j.flag("servoTimeSet", ap.servos.servoTimeMs.has_value());
    j.integer("servoTimeMs", ap.servos.servoTimeMs.value_or(0));
    const AutopilotLoops& l = ap.loops;
    const PidLoop* loops[8] = {&l.rollLoop,    &l.pitchLoop,    &l.speedLoop,   &l.altitudeLoop,
                               &l.headingLoop, &l.rollRateLoop, &l.yawRateLoop, &l.pitchRateLoop};
    std::vector<double> all;
    for (const PidLoop* p : loops)
        all.insert(all.end(), {p->measured, p->output, p->setpoint, p->kp, p->ki, p->kd, p->integral, p->prevMeasured});
    j.nums("loops", all.data(), static_cast<int>(all.size()));
    const StabiliserSettings& st = ap.stabiliser;
    const double stab[7] = {st.rollMaxAngle, st.pitchMaxAngle, st.speedMin,  st.speedMax,
                            st.rollRateMax,  st.pitchRateMax,  st.yawRateMax};
    j.nums("stabiliser", stab, 7);
    const ReturnSettings& rs = ap.returnSettings;
    const double ret[6] = {rs.returnAltitude, rs.criticalAltitude, rs.returnMaxRoll,
                           rs.returnMaxPitch, rs.returnSpeed,      rs.homeRadius};
    j.nums("return", ret, 6);
    j.flag("headingByAilerons", rs.headingByAilerons);
    const ReturnState& r = ap.returnState;
    j.flag("altitudeCaptured", r.altitudeCaptured);
    j.flag("belowCritical", r.belowCritical);
    const double rsv[4] = {r.profileStartDistance, r.profileStartAltitude, r.altitudeCommand, r.headingCommand};
    j.nums("returnState", rsv, 4);
    const RelayTuning& t = ap.tuning;
    j.flag("tuningOn", t.on);
    j.integer("tuningPhase", t.phase);
    j.integer("tuningStartTimeMs", t.startTimeMs);
    const double bases[2] = {t.pitchBase, t.rollBase};
    j.nums("tuningBases", bases, 2);
    j.ints("tuningCounts", std::array<int, 4>{t.pitchSign, t.rollSign, t.pitchCrossings, t.rollCrossings});
    const double sums[2] = {t.pitchErrorSum, t.rollErrorSum};
    j.nums("tuningErrorSums", sums, 2);
    j.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: recording_start_dump DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string dir = argv[1];
    SimApp sim;
    sim.appDir = dir + "/";
    sim.decimalSep = ',';
    Windows w = createWindows(sim);
    TForm1& f = *w.form1;
    // A flight of a second and a half with the sliders moved, gusts on,
    // stabilise engaged and a setting changed: few fields keep their defaults.
    f.SpinEdit9->setValue(3);
    f.CheckBox2->click();
    f.SpeedButton2->click();
    f.TrackBar1->setValue(35);
    f.TrackBar4->setValue(-60);
    StabiliserTexts st = w.form5->texts();
    st.text[ST_ROLL_KP] = "27,5";
    w.form5->setTexts(st);
    w.form5->SpeedButton4Click();
    f.RadioGroup1Buttons->button(1)->click();
    for (int i = 0; i < 150; ++i) {
        if (i % 2 == 0) {
            f.Timer5Timer();
            f.Timer4Timer();
        }
        if (i % 100 == 50) f.Timer3Timer();
        f.Timer2Timer();
    }
    f.TrackBar3->setValue(-15);

    const std::int64_t before = sim.nowMs();
    const std::int64_t flightTick = sim.flightTicks;
    Json j;
    j.integer("clockMsAtLeast", before);
    j.integer("flightTick", flightTick);
    dumpState(j, sim.state);
    dumpAircraft(j, sim.aircraft);
    dumpAutopilot(j, sim.ap);
    const SliderPositions sl = f.sliderPositions();
    j.ints("sliders", std::array<int, 4>{sl.ailerons, sl.rudder, sl.elevator, sl.throttle});
    j.flag("gustsOn", f.CheckBox2->isChecked());
    j.ints("gustMaxPeriod", std::array<int, 2>{f.SpinEdit9->value(), f.SpinEdit10->value()});
    const auto* gusts = dynamic_cast<const SeededUniform*>(sim.rng.get());
    j.text("randomState", gusts ? gusts->saveState() : std::string());
    const ModelTexts mt = w.form2->texts();
    j.texts("modelScalars", mt.scalars);
    j.ints("modelActive", mt.active);
    std::vector<std::string> params, mix;
    for (const auto& e : mt.params) params.insert(params.end(), e.begin(), e.end());
    for (const auto& r : mt.mix) mix.insert(mix.end(), r.begin(), r.end());
    j.texts("modelParams", params);
    j.texts("modelMix", mix);
    j.text("modelSep", std::string(1, sim.decimalSep));
    j.texts("stabiliserTexts", w.form5->texts().text);
    const ReturnTexts rt = w.form7->texts();
    j.texts("returnTexts", rt.text);
    j.flag("captureAltitudeAtOnce", rt.captureAltitudeAtOnce);
    j.integer("headingGroup", rt.headingGroupIndex);
    j.text("settingsSep", std::string(1, sim.decimalSep));

    f.recordingUi()->startRecording(QString::fromStdString(dir + "/window.uavrec"));
    j.integer("clockMsAtMost", sim.nowMs());
    f.Timer2Timer();
    f.recordingUi()->stopRecording();
    std::ofstream(dir + "/program.json") << "{" << j.str() << "}\n";
    delete w.form1;
    return 0;
}
