#include "record/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "record/telemetry.h"

namespace uav {

namespace {

std::string osReason(int err) { return std::strerror(err); }

// The file a name stands for: a symbolic link is written through, as opening
// it for writing would.
std::string resolved(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string r = real;
            std::free(real);
            return r;
        }
    }
    return path;
}

// A recording replaces only what is absent or a regular file it may write:
// a folder, a device or a write-protected file is refused before any file
// changes.
void checkReplaceable(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return;
        throw SimError("cannot write '" + path + "': " + osReason(errno));
    }
    if (S_ISDIR(st.st_mode)) throw SimError("cannot write '" + path + "': " + osReason(EISDIR));
    if (!S_ISREG(st.st_mode)) throw SimError("cannot write '" + path + "': not a regular file");
    if (::access(path.c_str(), W_OK) != 0) throw SimError("cannot write '" + path + "': " + osReason(errno));
}

// A new file beside `target`, to be renamed over it once its first bytes are in.
int createTemporary(const std::string& target, std::string& temp) {
    temp = target + ".uavsim-tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw SimError("cannot write '" + target + "': " + osReason(errno));
    struct stat old{};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    ::fchmod(fd, mode);
    return fd;
}

}  // namespace

FlightRecorder::FlightRecorder(const std::string& path, const RecordingStart& start)
    : path_(path), startTick_(start.flightTick) {
    csv_.imbue(std::locale::classic());
    // Both files are written under temporary names first and renamed over
    // the targets only once both hold their first bytes: a start that fails
    // (the CSV's name is a folder, a full disk) leaves both as they were.
    const std::string target = resolved(path_), csvTarget = resolved(csvPath());
    checkReplaceable(target);
    checkReplaceable(csvTarget);
    std::string temp, csvTemp;
    fd_ = createTemporary(target, temp);
    try {
        csvFd_ = createTemporary(csvTarget, csvTemp);
    } catch (...) {
        ::close(fd_);
        ::unlink(temp.c_str());
        throw;
    }
    auto abandon = [&](const std::string& message) {
        ::close(fd_);
        ::close(csvFd_);
        fd_ = csvFd_ = -1;
        ::unlink(temp.c_str());
        ::unlink(csvTemp.c_str());
        finished_ = true;
        return SimError(message);
    };
    writeAll(fd_, encodeHeader() + encodeStartBlock(start), path_);
    writeTelemetryHeader(csv_);
    writeAll(csvFd_, csv_.str(), csvPath());
    csv_.str({});
    if (error_) throw abandon(*error_);
    // The telemetry first: should the second rename fail, the recording
    // that was there is still whole.
    if (::rename(csvTemp.c_str(), csvTarget.c_str()) != 0)
        throw abandon("cannot write '" + csvPath() + "': " + osReason(errno));
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string reason = osReason(errno);
        throw abandon("cannot write '" + path_ + "': " + reason);
    }
}

FlightRecorder::~FlightRecorder() {
    try {
        finish();
    } catch (const SimError&) {
        // Already kept in error_; a destructor cannot tell anyone more.
    }
}

void FlightRecorder::add(const EventData& e) {
    if (finished_) return;
    encodeEvent(payload_, Event{ticks_, e});
}

void FlightRecorder::dynamicsTick(bool running, std::int64_t clockMs, const SimState& after) {
    if (finished_) return;
    encodeEvent(payload_, Event{ticks_, ev::DynamicsTick{running, clockMs}});
    ++ticks_;
    telemetryAfterTick(csv_, ticks_, startTick_, after);
    if (++ticksInBlock_ >= TICKS_PER_BLOCK) flushBlock();
}

void FlightRecorder::flushBlock() {
    if (!error_) {
        writeAll(fd_, encodeBlock(index_++, payload_), path_);
        writeAll(csvFd_, csv_.str(), csvPath());
    }
    payload_.clear();
    csv_.str({});
    ticksInBlock_ = 0;
}

void FlightRecorder::finish() {
    if (finished_) {
        if (error_) throw SimError(*error_);
        return;
    }
    encodeEvent(payload_, Event{ticks_, ev::End{}});
    flushBlock();
    finished_ = true;
    for (int* fd : {&fd_, &csvFd_}) {
        if (*fd >= 0 && ::close(*fd) != 0 && !error_) error_ = "closing '" + path_ + "': " + std::strerror(errno);
        *fd = -1;
    }
    if (error_) throw SimError(*error_);
}

void FlightRecorder::writeAll(int fd, const std::string& bytes, const std::string& file) {
    std::size_t done = 0;
    while (done < bytes.size() && !error_) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = "writing '" + file + "' failed: " + std::strerror(n < 0 ? errno : ENOSPC) +
                     "; the recording stopped there";
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace uav
