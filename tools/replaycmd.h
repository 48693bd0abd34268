// uavsim-run --replay FILE [--csv OUT] [--quiet]: re-flies a recording made
// in the window, as fast as the machine allows, and writes its telemetry.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace uav {

// Whether the command line asks for a replay (it holds --replay).
bool isReplayCommand(const std::vector<std::string>& args);

// Runs the replay command; messages go to `err`, "-" as the CSV file means
// `out`. Exit status: 0 a whole recording replayed; 2 nothing replayed: a bad
// command line, an unreadable, foreign or other-version file, or one of which
// not a single tick could be replayed (the CSV file is then left as it was);
// 4 the recording was replayed up to a bad or missing block, or diverged.
int replayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string replayUsage();

}  // namespace uav
