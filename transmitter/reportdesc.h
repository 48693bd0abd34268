// HID report descriptors and the report identifier byte.
//
// A device either numbers its reports (its descriptor has Report ID items)
// or not. On Windows every read starts with the report identifier, 0 for a
// device without numbered reports; hidraw starts a read with it only for
// numbered reports. Splitting by the descriptor gives the same data bytes on
// both, so a channel byte index means the same byte everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace uav {

struct ReportDescriptorInfo {
    bool numberedReports = false;
    // The longest input report in bytes including the identifier byte, as
    // Windows counts it (1 for a descriptor without input items).
    int inputReportLength = 1;
};

// Parses a report descriptor (untrusted bytes: any content is handled; a
// truncated last item is ignored).
ReportDescriptorInfo parseReportDescriptor(const std::uint8_t* bytes, std::size_t size);

struct SplitReport {
    std::uint8_t reportId = 0;
    const std::uint8_t* data = nullptr;  // points into the read buffer
    std::size_t size = 0;
};

// One read of n bytes as the device delivered it on hidraw, split into the
// report identifier and the data bytes.
SplitReport splitReport(const std::uint8_t* buffer, std::size_t n, bool numberedReports);

}  // namespace uav
