// Golden flights: six runner scenarios kept as CSV in tests/golden/ and
// compared to 1e-9 relative (1e-12 absolute for values near zero). A change
// that moves them must say why in its commit message; regenerate on purpose
// with UAVSIM_UPDATE_GOLDEN=1 (see README).
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tests/testutil.h"
#include "tools/runner.h"

using namespace uav;
using namespace uav::test;

namespace {

struct Scenario {
    const char* name;
    const char* model;  // under the source tree
    std::vector<std::string> args;
};

// Each flies 30 simulated seconds from 58 km/h level at the given altitude and
// writes a row every simulated second.
const Scenario SCENARIOS[] = {
    {"cruise-wind", "models/trainer.mdl", {"--throttle", "20", "--wind-north", "4", "--wind-east", "-3"}},
    {"stabilise-turn-gusts", "models/trainer.mdl",
     {"--mode", "stabilise", "--throttle", "0", "--ailerons", "40", "--elevator", "10", "--gust-max", "3",
      "--gust-period", "2", "--seed", "7"}},
    {"return-wind", "models/trainer.mdl",
     {"--mode", "return", "--altitude", "80", "--distance", "600", "--wind-east", "3"}},
    {"ratehold-engaged-late", "models/trainer.mdl",
     {"--mode", "ratehold", "--engage-at", "2", "--throttle", "0", "--rudder", "-5", "--elevator", "5"}},
    {"relay-tuning", "models/trainer.mdl",
     {"--mode", "stabilise", "--throttle", "0", "--tune-start", "5", "--tune-stop", "25"}},
    // Elements 2 and 4: a V-tail of swept halves rotated +-35 deg about x,
    // rudder mixed -0.6 and +0.6.
    {"vtail-negative-mix", "tests/golden/vtail.mdl",
     {"--mode", "stabilise", "--throttle", "0", "--ailerons", "-15", "--rudder", "-40", "--wind-north", "-5",
      "--wind-east", "2"}},
};

std::string sourceDir() { return std::getenv("UAVSIM_SOURCE_DIR"); }

std::string flyScenario(const Scenario& sc) {
    std::vector<std::string> args = {sourceDir() + "/" + sc.model, "--speed", "58", "--angle", "0", "--altitude",
                                     "100", "--seconds", "30", "--every", "100"};
    args.insert(args.end(), sc.args.begin(), sc.args.end());  // a later --altitude wins
    RunOptions opt;
    EXPECT_TRUE(parseRunArgs(args, opt));
    std::ostringstream csv;
    const RunSummary sum = runFlight(opt, &csv);
    EXPECT_EQ(sum.fault, SimFault::None);
    EXPECT_EQ(sum.autopilotError, "");
    return csv.str();
}

std::vector<std::string> splitOn(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cell;
    std::istringstream in(s);
    while (std::getline(in, cell, sep)) out.push_back(cell);
    return out;
}

// Compares row by row; on a difference names the time, the column and both values.
void expectSameFlight(const std::string& want, const std::string& got) {
    const auto wantRows = splitOn(want, '\n'), gotRows = splitOn(got, '\n');
    ASSERT_EQ(wantRows.size(), gotRows.size()) << "number of rows";
    ASSERT_FALSE(wantRows.empty());
    ASSERT_EQ(wantRows[0], gotRows[0]) << "header";
    const auto columns = splitOn(wantRows[0], ',');
    int differences = 0;
    for (std::size_t r = 1; r < wantRows.size(); ++r) {
        const auto a = splitOn(wantRows[r], ','), b = splitOn(gotRows[r], ',');
        ASSERT_EQ(a.size(), columns.size());
        ASSERT_EQ(b.size(), columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const double x = std::stod(a[c]), y = std::stod(b[c]);
            const double tol = std::max(1e-9 * std::max(std::fabs(x), std::fabs(y)), 1e-12);
            if (std::fabs(x - y) <= tol) continue;
            if (++differences <= 5)
                ADD_FAILURE() << "t = " << a[0] << " s, " << columns[c] << ": golden " << a[c] << ", now " << b[c];
        }
    }
    EXPECT_EQ(differences, 0) << "cells that moved";
}

}  // namespace

TEST(GoldenFlights, MatchTheirRecordedTelemetry) {
    const bool update = std::getenv("UAVSIM_UPDATE_GOLDEN") != nullptr;
    for (const Scenario& sc : SCENARIOS) {
        SCOPED_TRACE(sc.name);
        const std::string path = sourceDir() + "/tests/golden/" + sc.name + ".csv";
        const std::string now = flyScenario(sc);
        if (update) {
            putFile(path, now);
            continue;
        }
        const std::string golden = fileBytes(path);
        ASSERT_FALSE(golden.empty()) << path << " is missing (UAVSIM_UPDATE_GOLDEN=1 writes it)";
        expectSameFlight(golden, now);
    }
    if (update) GTEST_SKIP() << "golden flights rewritten in tests/golden/";
}
