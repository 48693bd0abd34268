// uavsim-run: the headless runner. See --help.
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tools/replaycmd.h"
#include "tools/runner.h"
#include "tools/runnerlink.h"

int main(int argc, char** argv) {
    using namespace uav;
    std::ios::sync_with_stdio(false);
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
        const RunSummary sum =
            opt.linkPort < 0 ? flyStartedRun(opt, started, csv) : flyStartedLinkRun(opt, started, csv, [&](int port) {
                std::cerr << "uavsim-run: link listening on " << opt.linkAddress << ':' << port
                          << (opt.lockstep ? " (lockstep)" : " (real time)") << std::endl;
            }, &link);
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
        return sum.fault == SimFault::None ? 0 : 3;
    } catch (const NoLinkClient& e) {
        std::cerr << "uavsim-run: " << e.what() << '\n';
        return 5;
    } catch (const SimError& e) {
        std::cerr << "uavsim-run: " << e.what() << '\n';
        return 2;
    }
}
