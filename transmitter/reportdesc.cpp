#include "transmitter/reportdesc.h"

#include <algorithm>
#include <array>
#include <map>

namespace uav {

namespace {

// Item types and tags of the short items that matter here.
constexpr int TYPE_MAIN = 0;
constexpr int TYPE_GLOBAL = 1;
constexpr int TAG_INPUT = 0x8;
constexpr int TAG_REPORT_SIZE = 0x7;
constexpr int TAG_REPORT_ID = 0x8;
constexpr int TAG_REPORT_COUNT = 0x9;
constexpr int TAG_PUSH = 0xA;
constexpr int TAG_POP = 0xB;
constexpr std::uint8_t LONG_ITEM = 0xFE;
constexpr std::size_t STACK_DEPTH = 16;
// Bits of one report are capped far above any real report (the kernel's
// limit is 16 KiB), so the sums never overflow.
constexpr std::uint64_t MAX_REPORT_BITS = 1ull << 32;

struct Globals {
    std::uint32_t reportSize = 0;   // bits per field
    std::uint32_t reportCount = 0;  // fields
    std::uint32_t reportId = 0;
};

}  // namespace

ReportDescriptorInfo parseReportDescriptor(const std::uint8_t* bytes, std::size_t size) {
    ReportDescriptorInfo info;
    Globals g;
    std::array<Globals, STACK_DEPTH> stack{};
    std::size_t depth = 0;
    std::map<std::uint32_t, std::uint64_t> inputBits;  // by report identifier

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t prefix = bytes[i];
        if (prefix == LONG_ITEM) {
            if (i + 1 >= size) break;
            i += 3 + static_cast<std::size_t>(bytes[i + 1]);
            continue;
        }
        const std::size_t dataSize = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + dataSize > size) break;
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < dataSize; ++b) value |= static_cast<std::uint32_t>(bytes[i + 1 + b]) << (8 * b);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        if (type == TYPE_GLOBAL) {
            switch (tag) {
            case TAG_REPORT_SIZE: g.reportSize = value; break;
            case TAG_REPORT_COUNT: g.reportCount = value; break;
            case TAG_REPORT_ID:
                g.reportId = value;
                info.numberedReports = true;
                break;
            case TAG_PUSH:
                if (depth < STACK_DEPTH) stack[depth++] = g;
                break;
            case TAG_POP:
                if (depth > 0) g = stack[--depth];
                break;
            default: break;
            }
        } else if (type == TYPE_MAIN && tag == TAG_INPUT) {
            std::uint64_t& bits = inputBits[g.reportId];
            bits = std::min(MAX_REPORT_BITS, bits + static_cast<std::uint64_t>(g.reportSize) * g.reportCount);
        }
        i += 1 + dataSize;
    }
    std::uint64_t longest = 0;
    for (const auto& [id, bits] : inputBits) longest = std::max(longest, (bits + 7) / 8);
    info.inputReportLength = static_cast<int>(1 + std::min<std::uint64_t>(longest, MAX_REPORT_BITS / 8));
    return info;
}

SplitReport splitReport(const std::uint8_t* buffer, std::size_t n, bool numberedReports) {
    SplitReport r;
    if (!numberedReports) {
        r.data = buffer;
        r.size = n;
    } else if (n > 0) {
        r.reportId = buffer[0];
        r.data = buffer + 1;
        r.size = n - 1;
    }
    return r;
}

}  // namespace uav
