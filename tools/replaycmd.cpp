#include "tools/replaycmd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "core/errors.h"
#include "record/replay.h"

namespace uav {

namespace {

struct ReplayOptions {
    std::string recording;
    std::string csvPath;  // empty: none; "-": standard output
    bool quiet = false;
};

ReplayOptions parseReplayArgs(const std::vector<std::string>& args) {
    ReplayOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw SimError("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "--replay") {
            if (!o.recording.empty()) throw SimError("more than one recording given");
            o.recording = value();
        } else if (a == "--csv") {
            o.csvPath = value();
        } else if (a == "--quiet") {
            o.quiet = true;
        } else {
            throw SimError("option " + a + " does not go with --replay (only --csv and --quiet do)");
        }
    }
    return o;
}

std::string reason(int err) { return std::strerror(err); }

// The whole file; a recording is read into memory (an hour is about 10 MB).
std::string readRecording(const std::string& path) {
    constexpr std::uintmax_t LIMIT = std::uintmax_t{1} << 30;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw SimError("cannot read recording '" + path + "': " + reason(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st{};
    if (::fstat(fd, &st) != 0) throw SimError("cannot read recording '" + path + "': " + reason(errno));
    if (!S_ISREG(st.st_mode)) throw SimError("'" + path + "' is not a file");
    if (static_cast<std::uintmax_t>(st.st_size) > LIMIT) throw SimError("'" + path + "' is larger than 1 GiB");
    std::string bytes;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SimError("cannot read recording '" + path + "': " + reason(errno));
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (bytes.size() > LIMIT) throw SimError("'" + path + "' is larger than 1 GiB");
    }
    return bytes;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa{}, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

bool isReplayCommand(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--replay") return true;
    return false;
}

std::string replayUsage() {
    return "Replay: uavsim-run --replay FILE.uavrec [--csv OUT] [--quiet]\n"
           "  re-flies a recording made in the window (menu \"Запись\") and writes the telemetry\n"
           "  the window wrote beside it (FILE.uavrec.csv), row for row\n";
}

int replayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ReplayOptions o;
    try {
        o = parseReplayArgs(args);
        const std::string bytes = readRecording(o.recording);
        {
            // The header and the start must be sound before the CSV file is touched.
            RecordingReader check(bytes);
            check.start();
        }
        if (!o.csvPath.empty() && o.csvPath != "-" && sameFile(o.csvPath, o.recording))
            throw SimError("CSV file '" + o.csvPath + "' is the recording itself");
        // Opened (and emptied) only once the first rows are due: a recording
        // of which no tick can be replayed leaves the CSV file as it was.
        std::ofstream file;
        CsvSink sink;
        if (o.csvPath == "-") {
            sink = [&out] { return &out; };
        } else if (!o.csvPath.empty()) {
            sink = [&]() -> std::ostream* {
                const int fd = ::open(o.csvPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0) throw SimError("cannot write CSV file '" + o.csvPath + "': " + reason(errno));
                ::close(fd);
                errno = 0;
                file.open(o.csvPath, std::ios::binary | std::ios::trunc);
                if (!file) throw SimError("cannot write CSV file '" + o.csvPath + "': " + reason(errno ? errno : EIO));
                return &file;
            };
        }
        const auto t0 = std::chrono::steady_clock::now();
        const ReplaySummary sum = replayRecordingTo(bytes, sink);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (file.is_open()) {
            file.flush();
            if (!file) throw SimError("cannot write CSV file '" + o.csvPath + "': writing the telemetry failed");
        } else if (o.csvPath == "-") {
            out.flush();
            if (!out) throw SimError("writing the CSV telemetry failed");
        }
        if (sum.writtenBy != programVersion())
            err << "uavsim-run: recorded by " << sum.writtenBy << ", replayed by " << programVersion()
                << ": the flight may differ\n";
        if (!o.quiet) {
            char line[256];
            std::snprintf(line, sizeof line, "replay %s: %ld blocks, %lld dynamics ticks (%.2f s), %lld events in %.3f s wall\n",
                          o.recording.c_str(), sum.blocks, static_cast<long long>(sum.ticks),
                          static_cast<double>(sum.ticks) * sum.final.dt, static_cast<long long>(sum.events), wall);
            err << line;
        }
        if (!sum.problem.empty()) {
            // Not a single tick: nothing was replayed (and no CSV touched).
            const bool nothing = sum.ticks == 0;
            err << "uavsim-run: " << o.recording << ": " << sum.problem << (nothing ? "; nothing replayed" : "")
                << '\n';
            return nothing ? 2 : 4;
        }
        return 0;
    } catch (const RecordingError& e) {
        err << "uavsim-run: " << o.recording << ": " << e.what() << "; nothing replayed\n";
        return 2;
    } catch (const SimError& e) {
        err << "uavsim-run: " << e.what() << '\n';
        return 2;
    }
}

}  // namespace uav
