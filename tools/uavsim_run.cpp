// uavsim-run: the headless runner. See --help.
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "packaging/version.h"
#include "tools/replaycmd.h"
#include "tools/runner.h"
#include "tools/runnerardupilot.h"
#include "tools/runnerlink.h"

int main(int argc, char** argv) {
    using namespace uav;
    std::ios::sync_with_stdio(false);
    // --version wins over every other option, whatever else is given.
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--version") {
            std::cout << versionText("uavsim-run");
            return 0;
        }
    if (const std::vector<std::string> args(argv + 1, argv + argc); isReplayCommand(args))
        return replayCommand(args, std::cout, std::cerr);
    RunOptions opt;
    try {
        if (!parseRunArgs(std::vector<std::string>(argv + 1, argv + argc), opt)) {
            std::cout << runUsage() << replayUsage();
            return 0;
        }
        // The model and every setting are read and accepted before the CSV
        // file is created or emptied: a refused run costs no file.
        Flight started = startRun(opt, &std::cerr);
        std::ofstream file;
        std::ostream* csv = nullptr;
        if (opt.csvPath == "-") {
            csv = &std::cout;
        } else if (!opt.csvPath.empty()) {
            openCsvFile(opt.csvPath, opt.modelPath, file);
            csv = &file;
        }
        const auto t0 = std::chrono::steady_clock::now();
        LinkRunReport link;
        ArduPilotRunReport ardupilot;
        RunSummary sum;
        if (opt.apPort >= 0) {
            sum = flyArduPilotRun(opt, started, csv, [&](int port) {
                std::cerr << "uavsim-run: waiting for ArduPilot's servo packets on UDP " << opt.apAddress << ':'
                          << port << " (lockstep)" << std::endl;
            }, &ardupilot, &std::cerr);
        } else if (opt.linkPort >= 0) {
            sum = flyStartedLinkRun(opt, started, csv, [&](int port) {
                std::cerr << "uavsim-run: link listening on " << opt.linkAddress << ':' << port
                          << (opt.lockstep ? " (lockstep)" : " (real time)") << std::endl;
            }, &link);
        } else {
            sum = flyStartedRun(opt, started, csv);
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (csv) {
            errno = 0;
            csv->flush();
            if (!*csv) throw csvWriteError();
        }
        if (!opt.quiet) writeSummary(std::cerr, opt, sum, wall);
        if (!opt.quiet && opt.linkPort >= 0)
            std::cerr << "link: " << link.framesAnswered << " frames answered, " << link.connections
                      << " connections\n";
        for (const std::string& line : link.drops) std::cerr << "link: " << line << '\n';
        if (!opt.quiet && opt.apPort >= 0) writeArduPilotSummary(std::cerr, ardupilot);
        return sum.fault == SimFault::None ? 0 : 3;
    } catch (const NoLinkClient& e) {
        std::cerr << "uavsim-run: " << e.what() << '\n';
        return 5;
    } catch (const SimError& e) {
        std::cerr << "uavsim-run: " << e.what() << '\n';
        return 2;
    }
}
