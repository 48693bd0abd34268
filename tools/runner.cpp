#include "tools/runner.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/dynamics.h"
#include "core/errors.h"
#include "model/apply.h"
#include "record/telemetry.h"
#include "tools/runnerardupilot.h"
#include "tools/runnerlink.h"

namespace uav {

namespace {

double toDouble(const std::string& opt, const std::string& text) {
    const char* b = text.data();
    const char* e = b + text.size();
    double v = 0.0;
    const auto r = std::from_chars(b, e, v);
    if (text.empty() || r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
        throw SimError("option " + opt + ": '" + text + "' is not a number");
    return v;
}

// A limit as a user types it: "0", "0.01", "10000000".
std::string limitText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

double inRange(const std::string& opt, const std::string& text, double lo, double hi) {
    const double v = toDouble(opt, text);
    if (v < lo || v > hi)
        throw SimError("option " + opt + ": " + text + " is outside " + limitText(lo) + " .. " + limitText(hi));
    return v;
}

double inRange(const std::string& opt, const std::string& text, OptionRange r) { return inRange(opt, text, r.lo, r.hi); }

int sliderValue(const std::string& opt, const std::string& text) {
    const double v = inRange(opt, text, SLIDER_RANGE);
    if (v != std::floor(v)) throw SimError("option " + opt + ": slider positions are whole numbers");
    return static_cast<int>(v);
}

constexpr double RAD_TO_DEG = 180.0 / PI;

constexpr double RUN_DT = 0.01;  // s, the dynamics step the start values set

std::int64_t tickAt(double seconds) { return seconds < 0 ? std::int64_t{-1} : std::llround(seconds / RUN_DT); }

std::int64_t engageTick(const RunOptions& opt) { return opt.mode == ApMode::Off ? -1 : tickAt(opt.engageAt); }

// The telemetry columns are the recorder's and the replay's (record/telemetry.h).
void writeCsvRow(std::ostream& out, std::int64_t tick, const SimState& s) { writeTelemetryRow(out, tick, s); }

}  // namespace

void writeCsvHeader(std::ostream& out) { writeTelemetryHeader(out); }

std::string runUsage() {
    return "Usage: uavsim-run [options] MODEL.mdl\n"
           "Flies a model file headless in simulated time (dt 0.01 s) and writes CSV telemetry.\n"
           "\n"
           "Model file:\n"
           "  --decimal-sep C     decimal separator of the model file's numbers: . or , (default .)\n"
           "Initial conditions (as the main window's fields):\n"
           "  --speed KMH         speed along the nose, 0..100 km/h (default 30)\n"
           "  --angle DEG         nose-up pitch, 0..90 deg (default 15)\n"
           "  --altitude M        0..15000 m (default 2)\n"
           "  --distance M        north of home, -100000..100000 m (default 0)\n"
           "Wind (earth frame, the velocity of the air mass):\n"
           "  --wind-north MS     m/s (default 0)\n"
           "  --wind-east MS      m/s (default 0)\n"
           "Gusts (the wind is replaced by a random one every period, from the first period on):\n"
           "  --gust-max MS       maximum gust speed, 0..100 m/s (default 0: no gusts)\n"
           "  --gust-period S     gust period, 0.01..1000 simulated s (default 1)\n"
           "  --seed N            seed of the gust generator, a whole number (default 1)\n"
           "Sliders, -100..100, as on the main window:\n"
           "  --ailerons N        (default 0)\n"
           "  --rudder N          (default 0)\n"
           "  --elevator N        -100 is the top end (stick forward) (default 0)\n"
           "  --throttle N        -100 is the top end, full throttle (default -100)\n"
           "Run:\n"
           "  --seconds S         simulated seconds (default 60)\n"
           "  --csv FILE          write telemetry to FILE, - for standard output (default: none)\n"
           "  --every N           a CSV row every N dynamics ticks (default 10)\n"
           "  --quiet             no summary on standard error\n"
           "Built-in autopilot (each 20 ms: control tick, loop tick, two dynamics ticks;\n"
           "the servo rate limit and the relay tuning read the simulated clock):\n"
           "  --mode M            off, stabilise, return or ratehold (default off); in\n"
           "                      stabilise and ratehold the sliders give the set-points\n"
           "  --engage-at S       simulated second at which the mode is engaged (default 0)\n"
           "  --set NAME=VALUE    a settings text as typed into the window, decimal point:\n"
           "                      degrees, km/h, m. NAME is the setting (rollMaxAngle,\n"
           "                      rollLoop.kp, speedMin, returnAltitude, homeRadius,\n"
           "                      altitudeLoop.ki, headingAilerons.kp, headingRudder.kd, ...),\n"
           "                      or a window field (stab.Edit2, return.Edit14); flags\n"
           "                      captureAltitude and headingByAilerons take 1 or 0\n"
           "  --tune-start S      start the relay tuning at S simulated seconds\n"
           "  --tune-stop S       stop it at S and print the proposed gains\n"
           "Autopilot link (the connection window's TCP server; see README):\n"
           "  --link [ADDR:]PORT  serve the link on ADDR (default 127.0.0.1), PORT 0 for any;\n"
           "                      the flight runs in real time for --seconds\n"
           "  --lockstep          with --link: each valid frame sets the sliders, advances\n"
           "                      one control period (two dynamics ticks), then is answered;\n"
           "                      ends after --seconds or when the client disconnects\n"
           "  --client-wait S     with --lockstep: wait at most S seconds (wall clock) for\n"
           "                      the client to connect (default 30), else exit with status 5\n"
           "ArduPilot SITL (its JSON physics interface; see README):\n"
           "  --ardupilot [ADDR:]PORT  answer ArduPilot's servo packets on UDP ADDR (default\n"
           "                      127.0.0.1), PORT 9002 for arduplane -I0; lockstep: each new\n"
           "                      frame advances one dynamics tick (10 ms), then is answered;\n"
           "                      ends after --seconds or when ArduPilot has sent nothing for 5 s\n"
           "  --ap-channels A,E,T,R  ArduPilot outputs of aileron, elevator, throttle and rudder,\n"
           "                      '-' before one reverses it (default 1,2,3,4)\n"
           "  --ap-start S        held (default: held still at the initial conditions until\n"
           "                      the throttle output first exceeds 1250 us, then a 1 s\n"
           "                      catapult stroke to the initial speed) or free\n"
           "  --help              this text\n"
           "  --version           the version and the git description it was built from\n";
}

bool parseRunArgs(const std::vector<std::string>& args, RunOptions& opt) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw SimError("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") return false;
        if (a == "--quiet") {
            opt.quiet = true;
        } else if (a == "--decimal-sep") {
            const std::string& v = value();
            if (v != "." && v != ",") throw SimError("option --decimal-sep: '" + v + "' is not . or ,");
            opt.decimalSep = v[0];
        } else if (a == "--speed") {
            opt.initial.speedKmh = inRange(a, value(), SPEED_KMH_RANGE);
        } else if (a == "--angle") {
            opt.initial.angleDeg = inRange(a, value(), ANGLE_DEG_RANGE);
        } else if (a == "--altitude") {
            opt.initial.altitudeM = inRange(a, value(), ALTITUDE_M_RANGE);
        } else if (a == "--distance") {
            opt.initial.distanceM = inRange(a, value(), DISTANCE_M_RANGE);
        } else if (a == "--wind-north") {
            opt.windNorth = inRange(a, value(), WIND_MS_RANGE);
        } else if (a == "--wind-east") {
            opt.windEast = inRange(a, value(), WIND_MS_RANGE);
        } else if (a == "--gust-max") {
            opt.gustMax = inRange(a, value(), GUST_MAX_MS_RANGE);
        } else if (a == "--gust-period") {
            opt.gustPeriod = inRange(a, value(), GUST_PERIOD_S_RANGE);
        } else if (a == "--seed") {
            const std::string& v = value();
            std::uint64_t seed = 0;
            const auto res = std::from_chars(v.data(), v.data() + v.size(), seed);
            if (res.ec != std::errc() || res.ptr != v.data() + v.size())
                throw SimError("option --seed: '" + v + "' is not a whole number");
            opt.seed = seed;
        } else if (a == "--ailerons") {
            opt.sliders.ailerons = sliderValue(a, value());
        } else if (a == "--rudder") {
            opt.sliders.rudder = sliderValue(a, value());
        } else if (a == "--elevator") {
            opt.sliders.elevator = sliderValue(a, value());
        } else if (a == "--throttle") {
            opt.sliders.throttle = sliderValue(a, value());
        } else if (a == "--seconds") {
            opt.seconds = inRange(a, value(), 0, 1e7);
        } else if (a == "--every") {
            const double v = inRange(a, value(), 1, 1e9);
            if (v != std::floor(v)) throw SimError("option --every: a whole number of ticks is needed");
            opt.csvEvery = static_cast<int>(v);
        } else if (a == "--csv") {
            opt.csvPath = value();
        } else if (a == "--mode") {
            const std::string& v = value();
            if (v == "off") opt.mode = ApMode::Off;
            else if (v == "stabilise") opt.mode = ApMode::Stabilise;
            else if (v == "return") opt.mode = ApMode::Return;
            else if (v == "ratehold") opt.mode = ApMode::RateHold;
            else throw SimError("option --mode: '" + v + "' is not off, stabilise, return or ratehold");
        } else if (a == "--engage-at") {
            opt.engageAt = inRange(a, value(), 0, 1e7);
        } else if (a == "--set") {
            const std::string& v = value();
            const std::size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0)
                throw SimError("option --set: '" + v + "' is not NAME=VALUE");
            opt.settings.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--tune-start") {
            opt.tuneStart = inRange(a, value(), 0, 1e7);
        } else if (a == "--tune-stop") {
            opt.tuneStop = inRange(a, value(), 0, 1e7);
        } else if (a == "--link") {
            parseLinkAddress(value(), opt);
        } else if (a == "--ardupilot") {
            parseArduPilotAddress(value(), opt);
        } else if (a == "--ap-channels") {
            try {
                opt.apChannels = parseChannelMap(value());
            } catch (const SimError& e) {
                throw SimError(std::string("option --ap-channels: ") + e.what());
            }
        } else if (a == "--ap-start") {
            const std::string& v = value();
            if (v == "held") opt.apHeldStart = true;
            else if (v == "free") opt.apHeldStart = false;
            else throw SimError("option --ap-start: '" + v + "' is not held or free");
        } else if (a == "--lockstep") {
            opt.lockstep = true;
        } else if (a == "--client-wait") {
            opt.clientWait = inRange(a, value(), 0.001, 86400);
        } else if (a.size() > 1 && a[0] == '-') {
            throw SimError("unknown option " + a + " (see --help)");
        } else if (opt.modelPath.empty()) {
            opt.modelPath = a;
        } else {
            throw SimError("more than one model file given: '" + opt.modelPath + "' and '" + a + "'");
        }
    }
    if (opt.modelPath.empty()) throw SimError("no model file given (see --help)");
    // Unknown settings names are found now rather than after the model loads.
    checkFlightOptions(opt);
    if (opt.lockstep && opt.linkPort < 0) throw SimError("option --lockstep needs --link");
    if (opt.apPort >= 0 && opt.linkPort >= 0) throw SimError("options --ardupilot and --link exclude each other");
    if (opt.tuneStop >= 0 && opt.tuneStart < 0) throw SimError("option --tune-stop needs --tune-start");
    if (opt.tuneStop >= 0 && opt.tuneStop < opt.tuneStart)
        throw SimError("option --tune-stop: the stop comes before the start");
    return true;
}

Flight startRun(const RunOptions& opt, std::ostream* warnings) {
    FlightOptions fo = opt;
    // A mode engaged at the start is engaged by the start-up itself.
    fo.mode = engageTick(opt) == 0 ? opt.mode : ApMode::Off;
    Flight flight(fo);
    if (warnings && !flight.startWarning().empty()) *warnings << "uavsim-run: " << flight.startWarning() << '\n';
    return flight;
}

RunSummary runFlight(const RunOptions& opt, std::ostream* csv, std::ostream* warnings, TickDriver* driver) {
    Flight flight = startRun(opt, warnings);
    return flyStartedRun(opt, flight, csv, driver);
}

RunSummary flyStartedRun(const RunOptions& opt, Flight& flight, std::ostream* csv, TickDriver* driver) {
    const double dt = flight.state().dt;
    const std::int64_t engageAtTick = engageTick(opt);
    const std::int64_t tuneStartTick = tickAt(opt.tuneStart), tuneStopTick = tickAt(opt.tuneStop);

    RunSummary sum;
    sum.autopilotError = flight.startModeError();
    sum.minAltitude = sum.maxAltitude = flight.state().posH;
    const std::int64_t ticks = std::llround(opt.seconds / dt);
    if (csv) writeCsvHeader(*csv);
    auto scheduled = [&](std::int64_t i) {
        if (i == engageAtTick && i > 0) {
            try {
                flight.setMode(opt.mode);
            } catch (const SimError& e) {
                sum.autopilotError = e.what();
            }
        }
        if (i == tuneStartTick) flight.startTuning();
        if (i == tuneStopTick) {
            try {
                sum.tuningResult = "";
                for (const auto& [name, text] : flight.stopTuning())
                    sum.tuningResult += std::string(sum.tuningResult.empty() ? "" : " ") + name + "=" + text;
            } catch (const SimError& e) {
                sum.tuningResult = e.what();
            }
        }
    };
    for (std::int64_t i = 0; i < ticks; ++i) {
        if (driver && !driver->beforeTick(i, flight)) break;
        const SimState& s = flight.state();  // afresh: the driver may have started the flight again
        scheduled(i);
        if (!flight.tick()) {
            // The state stays at its last valid value; the run stops there and
            // the telemetry ends with that state.
            sum.fault = flight.fault();
            sum.faultTime = static_cast<double>(i) * s.dt;
            if (csv && (i == 0 || i % opt.csvEvery != 0)) {
                writeCsvRow(*csv, i, s);
                ++sum.csvRows;
            }
            break;
        }
        ++sum.ticks;
        if (driver) driver->afterTick(i, s);
        if (s.posH < sum.minAltitude) sum.minAltitude = s.posH;
        if (s.posH > sum.maxAltitude) sum.maxAltitude = s.posH;
        if (s.posD > sum.maxDistance) sum.maxDistance = s.posD;
        if (csv && (i + 1) % opt.csvEvery == 0) {
            writeCsvRow(*csv, i + 1, s);
            if (!*csv) throw csvWriteError();  // a full disk: stop now, with the reason
            ++sum.csvRows;
        }
    }
    const SimState& s = flight.state();
    if (driver) driver->end(s);
    if (sum.fault == SimFault::None) scheduled(ticks);  // a stop at the very end still gives its proposal
    sum.simSeconds = static_cast<double>(sum.ticks) * dt;
    sum.tuningCaption = flight.tuningCaption();
    sum.final = s;
    return sum;
}

SimError csvWriteError() {
    return SimError(std::string("writing the CSV telemetry failed: ") + std::strerror(errno ? errno : EIO));
}

void openCsvFile(const std::string& csvPath, const std::string& modelPath, std::ofstream& file) {
    const int fd = ::open(csvPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw SimError("cannot write CSV file '" + csvPath + "': " + std::strerror(errno));
    struct stat csvStat{}, modelStat{};
    const bool same = ::fstat(fd, &csvStat) == 0 && ::stat(modelPath.c_str(), &modelStat) == 0 &&
                      csvStat.st_dev == modelStat.st_dev && csvStat.st_ino == modelStat.st_ino;
    ::close(fd);
    if (same)
        throw SimError("CSV file '" + csvPath + "' is the model file '" + modelPath +
                       "'; the telemetry would replace the model");
    errno = 0;
    file.open(csvPath, std::ios::binary | std::ios::trunc);
    if (!file)
        throw SimError("cannot write CSV file '" + csvPath + "': " + std::strerror(errno ? errno : EIO));
}

void writeSummary(std::ostream& out, const RunOptions& opt, const RunSummary& sum, double wallSeconds) {
    const SimState& s = sum.final;
    char line[512];
    std::snprintf(line, sizeof line, "model %s: %.2f s simulated (%lld ticks) in %.3f s wall, %.0fx real time\n",
                  opt.modelPath.c_str(), sum.simSeconds, static_cast<long long>(sum.ticks), wallSeconds,
                  wallSeconds > 0 ? sum.simSeconds / wallSeconds : 0.0);
    out << line;
    std::snprintf(line, sizeof line,
                  "final: altitude %.1f m, north %.1f m, east %.1f m, distance %.1f m, airspeed %.1f km/h, "
                  "ground speed %.1f km/h\n",
                  s.posH, s.posX, s.posZ, s.posD, -s.airflowBody.x * KMH_PER_MS, VecNorm(s.velocity) * KMH_PER_MS);
    out << line;
    std::snprintf(line, sizeof line, "attitude: roll %.1f deg, pitch %.1f deg, heading %.1f deg (west positive)\n",
                  s.rollAngle * RAD_TO_DEG, s.pitchAngle * RAD_TO_DEG, s.yawAngle * RAD_TO_DEG);
    out << line;
    std::snprintf(line, sizeof line, "altitude range %.1f .. %.1f m, farthest %.1f m from home, %lld CSV rows\n",
                  sum.minAltitude, sum.maxAltitude, sum.maxDistance, static_cast<long long>(sum.csvRows));
    out << line;
    if (opt.mode != ApMode::Off) {
        static const char* const names[] = {"off", "stabilise", "return", "ratehold"};
        std::snprintf(line, sizeof line, "autopilot: %s engaged at %.2f s%s%s\n",
                      names[static_cast<int>(opt.mode)], opt.engageAt,
                      sum.autopilotError.empty() ? "" : "; the engagement stopped: ", sum.autopilotError.c_str());
        out << line;
    }
    if (opt.tuneStart >= 0)
        out << "relay tuning: caption \"" << sum.tuningCaption << "\"; proposal: "
            << (opt.tuneStop >= 0 ? sum.tuningResult : std::string("none (not stopped)")) << '\n';
    if (sum.fault != SimFault::None) {
        std::snprintf(line, sizeof line, "FAULT at %.2f s: %s; the run stopped there, at the last valid state\n", sum.faultTime,
                      simFaultText(sum.fault));
        out << line;
    }
}

}  // namespace uav
