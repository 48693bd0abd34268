// uavsim-run: the headless runner. See --help.
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/errors.h"
#include "tools/runner.h"

int main(int argc, char** argv) {
    using namespace uav;
    std::ios::sync_with_stdio(false);
    RunOptions opt;
    try {
        if (!parseRunArgs(std::vector<std::string>(argv + 1, argv + argc), opt)) {
            std::cout << runUsage();
            return 0;
        }
        std::ofstream file;
        std::ostream* csv = nullptr;
        auto openCsv = [&]() -> std::ostream* {
            if (opt.csvPath == "-") {
                csv = &std::cout;
            } else if (!opt.csvPath.empty()) {
                openCsvFile(opt.csvPath, opt.modelPath, file);
                csv = &file;
            }
            return csv;
        };
        const auto t0 = std::chrono::steady_clock::now();
        const RunSummary sum = runFlight(opt, openCsv);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (csv) {
            errno = 0;
            csv->flush();
            if (!*csv) throw csvWriteError();
        }
        if (!opt.quiet) writeSummary(std::cerr, opt, sum, wall);
        return sum.fault == SimFault::None ? 0 : 3;
    } catch (const SimError& e) {
        std::cerr << "uavsim-run: " << e.what() << '\n';
        return 2;
    }
}
