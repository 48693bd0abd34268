#include "record/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "record/telemetry.h"

namespace uav {

namespace {

int createFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw SimError("cannot write '" + path + "': " + std::strerror(errno));
    return fd;
}

}  // namespace

FlightRecorder::FlightRecorder(const std::string& path, const RecordingStart& start)
    : path_(path), startTick_(start.flightTick) {
    csv_.imbue(std::locale::classic());
    fd_ = createFile(path_);
    try {
        csvFd_ = createFile(csvPath());
    } catch (...) {
        ::close(fd_);
        throw;
    }
    writeAll(fd_, encodeHeader() + encodeStartBlock(start), path_);
    writeTelemetryHeader(csv_);
    writeAll(csvFd_, csv_.str(), csvPath());
    csv_.str({});
    if (error_) {
        ::close(fd_);
        ::close(csvFd_);
        throw SimError(*error_);
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
