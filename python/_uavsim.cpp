// The Python binding of uav::Flight: one class and the exceptions. Options are
// checked with the runner's messages, named by their Python keywords; the GIL
// is released while the simulation ticks. Sweeps, metrics and the command
// line are plain Python in the package (uavsim/).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "flight/flight.h"
#include "record/telemetry.h"

namespace py = pybind11;
using namespace uav;

namespace {

// The exception classes, created once when the module is imported.
struct Errors {
    PyObject* error = nullptr;     // uavsim.Error, base of the others
    PyObject* option = nullptr;    // a bad option value or type name (also a ValueError)
    PyObject* model = nullptr;     // a model that cannot be read or applied
    PyObject* settings = nullptr;  // a settings name or text (also a ValueError)
    PyObject* mode = nullptr;      // an engagement that stopped
    PyObject* tuning = nullptr;    // a relay tuning proposal that failed
    PyObject* fault = nullptr;     // the flight faulted (the non-finite latch)
    PyObject* busy = nullptr;      // the flight is used by another thread
};
Errors errors;

[[noreturn]] void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

const FlightOptionNames PY_NAMES{"decimal_sep", "speed_kmh", "angle_deg",   "altitude_m", "distance_m",
                                 "wind_north",  "wind_east", "gust_max",    "gust_period", "ailerons",
                                 "elevator",    "rudder",    "throttle",    "settings"};
constexpr OptionRange SECONDS_RANGE{0, 1e7};  // as the runner's --seconds

const char* const MODE_NAMES[] = {"off", "stabilise", "return", "ratehold"};

std::string numberText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// A Python number (int, float, NumPy scalar) as a double, or OptionError /
// TypeError naming the option.
double toNumber(const char* name, py::handle v) {
    if (PyBool_Check(v.ptr()) || !(PyFloat_Check(v.ptr()) || PyLong_Check(v.ptr()) || PyNumber_Check(v.ptr())) ||
        PyUnicode_Check(v.ptr()) || PyBytes_Check(v.ptr())) {
        PyErr_Format(PyExc_TypeError, "%s: a number is needed, not %s", name, Py_TYPE(v.ptr())->tp_name);
        throw py::error_already_set();
    }
    const double d = PyFloat_AsDouble(v.ptr());
    if (d == -1.0 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_OverflowError)) {
            PyErr_Clear();
            raise(errors.option, std::string(name) + ": the number is outside the range of a double");
        }
        throw py::error_already_set();
    }
    return d;
}

double option(const char* name, py::handle v, OptionRange r) {
    try {
        return checkedOption(name, toNumber(name, v), r);
    } catch (const SimError& e) {
        raise(errors.option, e.what());
    }
}

int slider(const char* name, py::handle v) {
    try {
        return checkedSlider(name, toNumber(name, v));
    } catch (const SimError& e) {
        raise(errors.option, e.what());
    }
}

// A number of ticks, 1 or more.
int wholeTicks(const char* name, py::handle v) {
    const double n = option(name, v, {1, 1e9});
    if (n != std::floor(n)) raise(errors.option, std::string(name) + ": a whole number of ticks is needed");
    return static_cast<int>(n);
}

// A str as UTF-8; OptionError for one that UTF-8 cannot hold (lone surrogates).
std::string utf8(const char* name, py::handle v) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(v.ptr(), &size);
    if (!data) {
        PyErr_Clear();
        raise(errors.option, std::string(name) + ": the text cannot be written as UTF-8");
    }
    return std::string(data, static_cast<std::size_t>(size));
}

std::string text(const char* name, py::handle v) {
    if (!PyUnicode_Check(v.ptr())) {
        PyErr_Format(PyExc_TypeError, "%s: a str is needed, not %s", name, Py_TYPE(v.ptr())->tp_name);
        throw py::error_already_set();
    }
    return utf8(name, v);
}

ApMode modeFrom(py::handle v) {
    const std::string m = text("mode", v);
    for (int i = 0; i < 4; ++i)
        if (m == MODE_NAMES[i]) return static_cast<ApMode>(i);
    raise(errors.option, "mode: '" + m + "' is not off, stabilise, return or ratehold");
}

// A settings value as typed into a window: a str as it is, a number in its
// shortest form, True/False as 1/0 (the two flags).
std::string settingText(const std::string& name, py::handle v) {
    if (PyBool_Check(v.ptr())) return v.ptr() == Py_True ? "1" : "0";
    if (PyUnicode_Check(v.ptr())) return text(name.c_str(), v);
    if (PyLong_Check(v.ptr())) return utf8(name.c_str(), py::str(v));
    if (PyFloat_Check(v.ptr())) return numberText(PyFloat_AsDouble(v.ptr()));
    PyErr_Format(PyExc_TypeError, "settings: %s: a str or a number is needed, not %s", name.c_str(),
                 Py_TYPE(v.ptr())->tp_name);
    throw py::error_already_set();
}

// {"returnAltitude": 200, ...}, or pairs, or "NAME=VALUE" texts as --set takes them.
std::vector<std::pair<std::string, std::string>> settingsFrom(py::handle v) {
    std::vector<std::pair<std::string, std::string>> out;
    if (v.is_none()) return out;
    if (PyDict_Check(v.ptr())) {
        for (auto item : py::reinterpret_borrow<py::dict>(v)) {
            const std::string name = text("settings", item.first);
            out.emplace_back(name, settingText(name, item.second));
        }
        return out;
    }
    if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr())) {
        PyErr_SetString(PyExc_TypeError, "settings: a dict, or a list of NAME=VALUE texts or (name, value) pairs");
        throw py::error_already_set();
    }
    for (auto item : py::reinterpret_borrow<py::sequence>(v)) {
        if (PyUnicode_Check(item.ptr())) {
            const std::string s = utf8("settings", item);
            const std::size_t eq = s.find('=');
            if (eq == std::string::npos || eq == 0) raise(errors.settings, "settings: '" + s + "' is not NAME=VALUE");
            out.emplace_back(s.substr(0, eq), s.substr(eq + 1));
        } else if (PyTuple_Check(item.ptr()) && PyTuple_Size(item.ptr()) == 2) {
            const py::tuple t = py::reinterpret_borrow<py::tuple>(item);
            const std::string name = text("settings", t[0]);
            out.emplace_back(name, settingText(name, t[1]));
        } else {
            PyErr_SetString(PyExc_TypeError, "settings: each entry is a NAME=VALUE text or a (name, value) pair");
            throw py::error_already_set();
        }
    }
    return out;
}

std::string noNul(const char* what, std::string s) {
    if (s.find('\0') != std::string::npos) raise(errors.option, std::string(what) + ": a path holds no NUL character");
    return s;
}

const std::vector<std::string>& columnNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n{"t_s"};
        const auto& q = plotQuantityNames();
        n.insert(n.end(), q.begin(), q.begin() + TELEMETRY_COUNT);
        return n;
    }();
    return names;
}

py::dict rowDict(double t, const double* v) {
    py::dict d;
    const auto& names = columnNames();
    d[py::str(names[0])] = t;
    for (int i = 0; i < TELEMETRY_COUNT; ++i) d[py::str(names[static_cast<std::size_t>(i) + 1])] = v[i];
    return d;
}

py::dict stateDict(const Flight& f) {
    double v[TELEMETRY_COUNT];
    telemetryValues(f.state(), v);
    return rowDict(f.time(), v);
}

// Writes `bytes` to `path` as a whole or not at all: a temporary file beside
// it, flushed, then renamed over it. A path that is the model file is refused.
void writeFileAtomically(const std::string& path, const std::string& bytes, const std::string& modelPath) {
    struct stat target{}, model{};
    if (!modelPath.empty() && ::stat(path.c_str(), &target) == 0 && ::stat(modelPath.c_str(), &model) == 0 &&
        target.st_dev == model.st_dev && target.st_ino == model.st_ino)
        raise(errors.error, "CSV file '" + path + "' is the model file '" + modelPath +
                                "'; the telemetry would replace the model");
    std::string tmp = path + ".uavsim-tmp.XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    auto fail = [&](int err) {
        if (fd >= 0) {
            ::close(fd);
            ::unlink(tmp.c_str());
        }
        raise(errors.error, "cannot write CSV file '" + path + "': " + std::strerror(err));
    };
    if (fd < 0) fail(errno);
    ::fchmod(fd, 0644);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) fail(w < 0 ? errno : EIO);
        done += static_cast<std::size_t>(w);
    }
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        raise(errors.error, "cannot write CSV file '" + path + "': " + std::strerror(err));
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        raise(errors.error, "cannot write CSV file '" + path + "': " + std::strerror(err));
    }
}

class PyFlight {
public:
    PyFlight(py::object model, py::object speed, py::object angle, py::object altitude, py::object distance,
             py::object windNorth, py::object windEast, py::object gustMax, py::object gustPeriod, py::object seed, py::object ailerons,
             py::object elevator, py::object rudder, py::object throttle, py::object mode, py::object settings,
             py::object decimalSep, py::object modelName, py::object keepEvery);

    // Locks the flight for one call: a second thread using the same flight
    // at the same time gets an error instead of a data race.
    class Use {
    public:
        explicit Use(PyFlight& f) : lock_(f.busy_, std::try_to_lock) {
            if (!lock_) raise(errors.busy, "this flight is in use by another thread");
        }

    private:
        std::unique_lock<std::mutex> lock_;
    };

    Flight& flight() { return *flight_; }
    const std::string& modelPath() const { return modelPath_; }

    // Flies `ticks` ticks without the GIL; FlightFault at a fault.
    void fly(std::int64_t ticks) {
        bool ok = true;
        {
            py::gil_scoped_release free;
            ok = flight_->run(ticks) == ticks;
        }
        if (!ok) raiseFault();
    }
    void checkNotFaulted() {
        if (flight_->fault() != SimFault::None) raiseFault();
    }
    [[noreturn]] void raiseFault() {
        const char* reason = simFaultText(flight_->fault());
        char msg[256];
        std::snprintf(msg, sizeof msg, "the flight faulted at %.2f s: %s; its state stays the last valid one",
                      flight_->time(), reason);
        py::object exc = py::reinterpret_borrow<py::object>(errors.fault)(std::string(msg));
        exc.attr("reason") = reason;
        exc.attr("time") = flight_->time();
        exc.attr("state") = stateDict(*flight_);
        PyErr_SetObject(errors.fault, exc.ptr());
        throw py::error_already_set();
    }

private:
    std::unique_ptr<Flight> flight_;
    std::string modelPath_;
    std::mutex busy_;
};

PyFlight::PyFlight(py::object model, py::object speed, py::object angle, py::object altitude, py::object distance,
                   py::object windNorth, py::object windEast, py::object gustMax, py::object gustPeriod, py::object seed,
                   py::object ailerons, py::object elevator, py::object rudder, py::object throttle,
                   py::object mode, py::object settings, py::object decimalSep, py::object modelName,
                   py::object keepEvery) {
    FlightOptions o;
    // The model: bytes or a str holding a line break are the file's content,
    // any other str or path-like object names the file.
    if (PyBytes_Check(model.ptr()) || PyByteArray_Check(model.ptr())) {
        o.modelBytes = PyBytes_Check(model.ptr()) ? model.cast<std::string>()
                                                  : std::string(PyByteArray_AsString(model.ptr()),
                                                                static_cast<std::size_t>(PyByteArray_Size(model.ptr())));
    } else if (PyUnicode_Check(model.ptr()) && utf8("model", model).find('\n') != std::string::npos) {
        // A str is Unicode: handed over as UTF-8 behind a byte-order mark, which
        // the model reader takes as UTF-8 (as from Windows Notepad).
        o.modelBytes = "\xEF\xBB\xBF" + utf8("model", model);
    } else {
        py::object path = model;
        if (!PyUnicode_Check(model.ptr())) {
            PyObject* p = PyOS_FSPath(model.ptr());
            if (!p) throw py::error_already_set();
            path = py::reinterpret_steal<py::object>(p);
        }
        if (PyBytes_Check(path.ptr())) path = path.attr("decode")("utf-8", "surrogateescape");
        o.modelPath = noNul("model", text("model", path));
    }
    // A name for a model given as its content, for the messages.
    if (o.modelBytes && !modelName.is_none()) o.modelPath = noNul("model_name", text("model_name", modelName));
    modelPath_ = o.modelBytes ? std::string() : o.modelPath;
    o.initial = {option("speed_kmh", speed, SPEED_KMH_RANGE), option("angle_deg", angle, ANGLE_DEG_RANGE),
                 option("altitude_m", altitude, ALTITUDE_M_RANGE), option("distance_m", distance, DISTANCE_M_RANGE)};
    o.windNorth = option("wind_north", windNorth, WIND_MS_RANGE);
    o.windEast = option("wind_east", windEast, WIND_MS_RANGE);
    o.gustMax = option("gust_max", gustMax, GUST_MAX_MS_RANGE);
    o.gustPeriod = option("gust_period", gustPeriod, GUST_PERIOD_S_RANGE);
    {
        if (PyBool_Check(seed.ptr()) || !PyLong_Check(seed.ptr())) {
            PyErr_Format(PyExc_TypeError, "seed: a whole number is needed, not %s", Py_TYPE(seed.ptr())->tp_name);
            throw py::error_already_set();
        }
        const unsigned long long s = PyLong_AsUnsignedLongLong(seed.ptr());
        if (PyErr_Occurred()) {
            PyErr_Clear();
            raise(errors.option, "seed: '" + utf8("seed", py::str(seed)) +
                                     "' is not a whole number 0 .. 18446744073709551615");
        }
        o.seed = s;
    }
    o.sliders = {slider("ailerons", ailerons), slider("rudder", rudder), slider("elevator", elevator),
                 slider("throttle", throttle)};
    o.mode = modeFrom(mode);
    o.settings = settingsFrom(settings);
    const int keep = wholeTicks("keep_every", keepEvery);
    const std::string sep = text("decimal_sep", decimalSep);
    if (sep != "." && sep != ",") raise(errors.option, "decimal_sep: '" + sep + "' is not . or ,");
    o.decimalSep = sep[0];
    try {
        checkFlightOptions(o, PY_NAMES);
    } catch (const SimError& e) {
        const std::string m = e.what();
        raise(m.rfind("settings: ", 0) == 0 ? errors.settings : errors.option, m);
    }
    try {
        flight_ = std::make_unique<Flight>(o, PY_NAMES);
    } catch (const SimError& e) {
        const std::string m = e.what();
        raise(m.rfind("autopilot settings: ", 0) == 0 ? errors.settings : errors.model, m);
    }
    if (!flight_->startModeError().empty())
        raise(errors.mode, "mode " + std::string(MODE_NAMES[static_cast<int>(o.mode)]) +
                               ": the engagement stopped: " + flight_->startModeError());
    if (!flight_->startWarning().empty()) {
        if (PyErr_WarnEx(PyExc_UserWarning, flight_->startWarning().c_str(), 1) != 0) throw py::error_already_set();
    }
    flight_->keepTelemetry(keep);
}

py::dict slidersDict(const SliderPositions& p) {
    py::dict d;
    d["ailerons"] = p.ailerons;
    d["elevator"] = p.elevator;
    d["rudder"] = p.rudder;
    d["throttle"] = p.throttle;
    return d;
}

// A controller's answer: None (keep), a dict of some of the four, or the four
// in the order ailerons, elevator, rudder, throttle.
SliderPositions slidersFromAnswer(py::handle answer, SliderPositions p) {
    if (answer.is_none()) return p;
    if (PyDict_Check(answer.ptr())) {
        for (auto item : py::reinterpret_borrow<py::dict>(answer)) {
            const std::string k = text("controller", item.first);
            if (k == "ailerons") p.ailerons = slider("ailerons", item.second);
            else if (k == "elevator") p.elevator = slider("elevator", item.second);
            else if (k == "rudder") p.rudder = slider("rudder", item.second);
            else if (k == "throttle") p.throttle = slider("throttle", item.second);
            else raise(errors.option, "controller: '" + k + "' is not ailerons, elevator, rudder or throttle");
        }
        return p;
    }
    if (PySequence_Check(answer.ptr()) && !PyUnicode_Check(answer.ptr()) && PySequence_Size(answer.ptr()) == 4) {
        const py::sequence s = py::reinterpret_borrow<py::sequence>(answer);
        return {slider("ailerons", s[0]), slider("rudder", s[2]), slider("elevator", s[1]), slider("throttle", s[3])};
    }
    PyErr_Format(PyExc_TypeError,
                 "controller: return None, a dict of slider positions or (ailerons, elevator, rudder, throttle), "
                 "not %s",
                 Py_TYPE(answer.ptr())->tp_name);
    throw py::error_already_set();
}

std::int64_t ticksOf(py::handle seconds) {
    return std::llround(option("seconds", seconds, SECONDS_RANGE) / 0.01);
}

// Rows every `every` ticks of a flight's kept telemetry: by default the
// runner's 10, or the kept interval when 10 is not a multiple of it.
int everyOf(const Flight& f, py::handle every) {
    const int keep = f.keptEvery();
    if (every.is_none()) return 10 % keep == 0 ? 10 : keep;
    const int n = wholeTicks("every", every);
    if (n % keep != 0)
        raise(errors.option, "every: " + std::to_string(n) + " is not a multiple of keep_every (" +
                                 std::to_string(keep) + ")");
    return n;
}

// A C-ordered array of doubles for a large copy: anonymous memory backed by
// transparent huge pages where the kernel offers them (an hour of telemetry,
// 150 MB, then takes a hundred page faults instead of forty thousand).
py::array_t<double> bigArray(py::ssize_t rows, py::ssize_t cols) {
    const std::size_t bytes = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) * sizeof(double);
    if (bytes < (std::size_t{4} << 20)) return py::array_t<double>({rows, cols});
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    ::madvise(p, bytes, MADV_HUGEPAGE);
    struct Mapping {
        void* p;
        std::size_t bytes;
    };
    py::capsule owner(new Mapping{p, bytes}, [](void* m) {
        auto* mapping = static_cast<Mapping*>(m);
        ::munmap(mapping->p, mapping->bytes);
        delete mapping;
    });
    return py::array_t<double>({rows, cols}, static_cast<double*>(p), owner);
}

py::dict telemetry(PyFlight& pf, py::handle everyArg) {
    PyFlight::Use use(pf);
    const Flight& f = pf.flight();
    const int every = everyOf(f, everyArg);
    const std::vector<std::int64_t> ticks = f.csvTicks(every);
    const auto rows = static_cast<py::ssize_t>(ticks.size());
    py::array_t<double> t(rows);
    py::array_t<double> values = bigArray(rows, TELEMETRY_COUNT);
    {
        double* tp = t.mutable_data();
        double* vp = values.mutable_data();
        const double dt = f.state().dt;
        py::gil_scoped_release free;
        const std::int64_t r0 = ticks.empty() ? -1 : f.loggedRowOfTick(ticks.front());
        const std::int64_t r1 = ticks.empty() ? -1 : f.loggedRowOfTick(ticks.back());
        if (r0 >= 0 && r1 >= 0 && r1 - r0 + 1 == rows) {
            // Consecutive kept rows: one copy.
            std::memcpy(vp, f.loggedRow(r0), static_cast<std::size_t>(rows) * TELEMETRY_COUNT * sizeof(double));
        } else {
            for (py::ssize_t r = 0; r < rows; ++r)
                std::memcpy(vp + r * TELEMETRY_COUNT, f.csvRow(ticks[static_cast<std::size_t>(r)]),
                            TELEMETRY_COUNT * sizeof(double));
        }
        for (py::ssize_t r = 0; r < rows; ++r) tp[r] = static_cast<double>(ticks[static_cast<std::size_t>(r)]) * dt;
    }
    py::dict d;
    const auto& names = columnNames();
    d[py::str(names[0])] = t;
    py::object columns = values.attr("T");  // views, no copy
    for (int i = 0; i < TELEMETRY_COUNT; ++i)
        d[py::str(names[static_cast<std::size_t>(i) + 1])] = columns[py::int_(i)];
    return d;
}

}  // namespace

PYBIND11_MODULE(_uavsim, m) {
    m.doc() = "uavsim flights: the binding of the simulator's step-wise flight";

    auto make = [&](const char* name, PyObject* bases, const char* doc) {
        PyObject* type = PyErr_NewExceptionWithDoc((std::string("uavsim.") + name).c_str(), doc, bases, nullptr);
        if (!type) throw py::error_already_set();
        m.add_object(name, py::handle(type));  // the module keeps the reference
        return type;
    };
    errors.error = make("Error", PyExc_Exception, "Base of the errors uavsim raises.");
    auto both = [](PyObject* a, PyObject* b) { return py::make_tuple(py::handle(a), py::handle(b)).release().ptr(); };
    errors.option = make("OptionError", both(errors.error, PyExc_ValueError),
                         "An option value out of its range, not a number, or an unknown name.");
    errors.model = make("ModelError", errors.error, "A model file or text that cannot be read or applied.");
    errors.settings = make("SettingsError", both(errors.error, PyExc_ValueError),
                           "An autopilot settings name or text the settings windows refuse.");
    errors.mode = make("ModeError", errors.error, "A mode engagement that stopped; the previous mode stays.");
    errors.tuning = make("TuningError", errors.error, "The relay tuning could not propose gains.");
    errors.fault = make("FlightFault", errors.error,
                        "The flight's state would have become invalid; it stays at the last valid state "
                        "(attributes state, time, reason).");
    errors.busy = make("BusyError", errors.error, "The flight is in use by another thread.");

    py::tuple cols(columnNames().size());
    for (std::size_t i = 0; i < columnNames().size(); ++i) cols[i] = py::str(columnNames()[i]);
    m.attr("COLUMNS") = cols;
    m.attr("DT") = 0.01;

    py::class_<PyFlight>(m, "Flight", R"(A flight of a model, as the runner flies it.

Flight(model, *, speed_kmh=30, angle_deg=15, altitude_m=2, distance_m=0, wind_north=0, wind_east=0,
       gust_max=0, gust_period=1, seed=1, ailerons=0, elevator=0, rudder=0, throttle=-100, mode="off",
       settings=None, decimal_sep=".", keep_every=1)

model: a path (str without a line break, or path-like), or the model file's text (str with line
breaks, or bytes as on disk); model_name names a model given as its content in messages.
keep_every: the telemetry kept every N ticks (about 150 MB per simulated hour at every tick).
Options, ranges and defaults are the runner's (uavsim-run --help).)")
        .def(py::init<py::object, py::object, py::object, py::object, py::object, py::object, py::object, py::object,
                      py::object, py::object, py::object, py::object, py::object, py::object, py::object, py::object,
                      py::object, py::object, py::object>(),
             py::arg("model"), py::kw_only(), py::arg("speed_kmh") = 30.0, py::arg("angle_deg") = 15.0,
             py::arg("altitude_m") = 2.0, py::arg("distance_m") = 0.0, py::arg("wind_north") = 0.0,
             py::arg("wind_east") = 0.0, py::arg("gust_max") = 0.0, py::arg("gust_period") = 1.0,
             py::arg("seed") = 1, py::arg("ailerons") = 0, py::arg("elevator") = 0, py::arg("rudder") = 0,
             py::arg("throttle") = -100, py::arg("mode") = "off", py::arg("settings") = py::none(),
             py::arg("decimal_sep") = ".", py::arg("model_name") = py::none(), py::arg("keep_every") = 1)
        .def(
            "sliders",
            [](PyFlight& pf, py::object ailerons, py::object elevator, py::object rudder, py::object throttle) {
                SliderPositions p;
                {
                    PyFlight::Use use(pf);
                    p = pf.flight().sliders();
                }
                if (!ailerons.is_none()) p.ailerons = slider("ailerons", ailerons);
                if (!elevator.is_none()) p.elevator = slider("elevator", elevator);
                if (!rudder.is_none()) p.rudder = slider("rudder", rudder);
                if (!throttle.is_none()) p.throttle = slider("throttle", throttle);
                PyFlight::Use use(pf);
                pf.flight().setSliders(p);
                return slidersDict(p);
            },
            py::kw_only(), py::arg("ailerons") = py::none(), py::arg("elevator") = py::none(),
            py::arg("rudder") = py::none(), py::arg("throttle") = py::none(),
            "Moves the given sliders (-100..100, whole numbers, the main window's scale: throttle -100 is full "
            "throttle, elevator -100 the top end); returns all four.")
        .def_property(
            "mode",
            [](PyFlight& pf) {
                PyFlight::Use use(pf);
                return std::string(MODE_NAMES[static_cast<int>(pf.flight().mode())]);
            },
            [](PyFlight& pf, py::object v) {
                const ApMode mode = modeFrom(v);
                PyFlight::Use use(pf);
                try {
                    pf.flight().setMode(mode);
                } catch (const SimError& e) {
                    raise(errors.mode, std::string("mode ") + MODE_NAMES[static_cast<int>(mode)] +
                                           ": the engagement stopped: " + e.what());
                }
            },
            "'off', 'stabilise', 'return' or 'ratehold'. Set at any time, as on the main window: an "
            "engagement that stops raises ModeError and leaves the previous mode.")
        .def_property(
            "wind",
            [](PyFlight& pf) {
                PyFlight::Use use(pf);
                const Vec3 w = pf.flight().state().wind;
                return py::make_tuple(w.x, w.z);
            },
            [](PyFlight& pf, py::object v) {
                if (PyUnicode_Check(v.ptr()) || !PySequence_Check(v.ptr()) || PySequence_Size(v.ptr()) != 2) {
                    PyErr_SetString(PyExc_TypeError, "wind: (north, east) in m/s");
                    throw py::error_already_set();
                }
                const py::sequence s = py::reinterpret_borrow<py::sequence>(v);
                const double n = option("wind_north", s[0], WIND_MS_RANGE);
                const double e = option("wind_east", s[1], WIND_MS_RANGE);
                PyFlight::Use use(pf);
                pf.flight().setWind(n, e);
            },
            "(north, east), m/s: the velocity of the air mass. Gusts replace it at their period.")
        .def(
            "set_settings",
            [](PyFlight& pf, py::object settings, bool apply) {
                const auto s = settingsFrom(settings);
                PyFlight::Use use(pf);
                try {
                    pf.flight().setSettingTexts(s);
                } catch (const SimError& e) {
                    raise(errors.settings, std::string("settings: ") + e.what());
                }
                if (!apply) return;
                try {
                    pf.flight().applySettings();
                } catch (const SimError& e) {
                    raise(errors.settings, e.what());
                }
            },
            py::arg("settings"), py::kw_only(), py::arg("apply") = true,
            "Types settings texts into the two settings windows (names as --set takes them) and, with "
            "apply=True, applies both windows: all or nothing.")
        .def("tune_start",
             [](PyFlight& pf) {
                 PyFlight::Use use(pf);
                 pf.flight().startTuning();
             },
             "Starts the relay auto-tuning (\"Start AT\").")
        .def(
            "tune_stop",
            [](PyFlight& pf) {
                PyFlight::Use use(pf);
                TuningProposal p;
                try {
                    p = pf.flight().stopTuning();
                } catch (const SimError& e) {
                    raise(errors.tuning, e.what());
                }
                py::dict d;
                for (const auto& [name, value] : p) d[py::str(name)] = py::str(value);
                return d;
            },
            "Stops the relay tuning (\"Stpop AT\") and returns the proposed gains as settings texts "
            "{'rollLoop.kp': '...', ...}; set_settings(proposal) applies them.")
        .def_property_readonly("tuning_caption",
                               [](PyFlight& pf) {
                                   PyFlight::Use use(pf);
                                   return pf.flight().tuningCaption();
                               })
        .def(
            "step",
            [](PyFlight& pf) {
                PyFlight::Use use(pf);
                pf.checkNotFaulted();
                bool ok = true;
                {
                    py::gil_scoped_release free;
                    ok = pf.flight().step();
                }
                if (!ok) pf.raiseFault();
            },
            "One control period: control tick, loop tick, two dynamics ticks (one when the flight stands "
            "between the two ticks of a period). Raises FlightFault when the flight faults.")
        .def(
            "run",
            [](PyFlight& pf, py::object seconds, py::object controller) {
                const std::int64_t ticks = ticksOf(seconds);
                if (controller.is_none()) {
                    PyFlight::Use use(pf);
                    pf.checkNotFaulted();
                    pf.fly(ticks);
                    return;
                }
                for (std::int64_t done = 0; done < ticks;) {
                    py::dict state;
                    SliderPositions p;
                    {
                        PyFlight::Use use(pf);
                        pf.checkNotFaulted();
                        state = stateDict(pf.flight());
                        p = pf.flight().sliders();
                    }
                    const SliderPositions next = slidersFromAnswer(controller(state), p);
                    PyFlight::Use use(pf);
                    pf.flight().setSliders(next);
                    const std::int64_t n = std::min<std::int64_t>(pf.flight().ticks() % 2 == 0 ? 2 : 1, ticks - done);
                    pf.fly(n);
                    done += n;
                }
            },
            py::arg("seconds"), py::arg("controller") = py::none(),
            "Flies `seconds` of simulated time. With a controller, calls controller(state) once per control "
            "period, before its control tick, and applies the sliders it returns (None keeps them; a dict of "
            "some of the four; or (ailerons, elevator, rudder, throttle)).")
        .def_property_readonly("ticks",
                               [](PyFlight& pf) {
                                   PyFlight::Use use(pf);
                                   return pf.flight().ticks();
                               })
        .def_property_readonly("time",
                               [](PyFlight& pf) {
                                   PyFlight::Use use(pf);
                                   return pf.flight().time();
                               }, "Simulated seconds flown.")
        .def_property_readonly("state",
                               [](PyFlight& pf) {
                                   PyFlight::Use use(pf);
                                   return stateDict(pf.flight());
                               }, "The CSV quantities of the present state, by the CSV header's names.")
        .def_property_readonly("fault",
                               [](PyFlight& pf) -> py::object {
                                   PyFlight::Use use(pf);
                                   if (pf.flight().fault() == SimFault::None) return py::none();
                                   return py::str(simFaultText(pf.flight().fault()));
                               }, "None, or why the flight stopped.")
        .def("telemetry", &telemetry, py::arg("every") = py::none(),
             "The runner's CSV rows as a dict of NumPy arrays by column name: a row every `every` ticks "
             "(t = every x 0.01 s, 2 x ..., not the start), and after a fault the last valid state. `every` "
             "is a multiple of keep_every; by default 10, or keep_every when 10 is not a multiple of it.")
        .def_property_readonly("keep_every",
                               [](PyFlight& pf) {
                                   PyFlight::Use use(pf);
                                   return pf.flight().keptEvery();
                               }, "Ticks between the kept telemetry rows.")
        .def(
            "to_csv",
            [](PyFlight& pf, py::object path, py::object every) {
                PyObject* p = PyOS_FSPath(path.ptr());
                if (!p) throw py::error_already_set();
                py::object fsPath = py::reinterpret_steal<py::object>(p);
                if (PyBytes_Check(fsPath.ptr())) fsPath = fsPath.attr("decode")("utf-8", "surrogateescape");
                const std::string file = noNul("path", text("path", fsPath));
                std::ostringstream out;
                {
                    PyFlight::Use use(pf);
                    pf.flight().writeCsv(out, everyOf(pf.flight(), every));
                }
                writeFileAtomically(file, out.str(), pf.modelPath());
            },
            py::arg("path"), py::arg("every") = py::none(),
            "Writes the runner's CSV (uavsim-run --csv PATH --every N) of the flight so far; the file is "
            "replaced whole or left as it was.");
}
