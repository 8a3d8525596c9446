// vcam: the HID route. A 4-byte command report (0x87) says what the next step is; the 40-byte
// data report (0x93) carries a write's bytes to the chip or a read's bytes back.
#include "vcam/camera.h"

#include <cstring>

namespace vcam {

namespace {

enum HidCommand : uint8_t {
    kReadRegister = 0,
    kWriteRegister = 1,
    kI2cReadPhase = 2,
    kI2cWritePhase = 3,
    kFlashReadPhase = 10,
    kFlashWritePhase = 11,
};

// What a data report can carry after the three header bytes of a bus write.
constexpr size_t kBusWriteRoom = kDataReportSize - 3;

} // namespace

bool Camera::HidSetFeature(const uint8_t* report, size_t length) {
    uint8_t id = length ? report[0] : 0;
    Transfer& t = Record(Route::Hid, Direction::Set, id, uint32_t(length), report, length);
    if (Refused())
        return false;
    bool ok = false;
    if (id == kCommandReport && length == 1 + kCommandReportSize) {
        const uint8_t* c = report + 1;
        switch (c[0]) {
        case kReadRegister:
            std::memset(hidDataReport_, 0, sizeof hidDataReport_);
            ok = c[3] == 0 && ReadRegisters(c[1], c[2], hidDataReport_);
            if (ok)
                FillPastCount(c[1], c[2], hidDataReport_, kDataReportSize);
            hidPendingCommand_ = -1;
            break;
        case kWriteRegister:
        case kI2cWritePhase:
        case kFlashWritePhase:
            ok = c[1] == 0 && c[2] == 0 && c[3] == 0;
            hidPendingCommand_ = ok ? c[0] : -1;
            break;
        case kI2cReadPhase:
            // An unanswered address is no transfer error: register 5 tells the host.
            std::memset(hidDataReport_, 0, sizeof hidDataReport_);
            ok = c[2] <= kDataReportSize && c[3] == 1;
            if (ok)
                I2cRead(c[1], hidDataReport_, c[2]);
            hidPendingCommand_ = -1;
            break;
        case kFlashReadPhase:
            std::memset(hidDataReport_, 0, sizeof hidDataReport_);
            ok = c[2] <= kDataReportSize && FlashRead(c[1], c[3], hidDataReport_, c[2]);
            hidPendingCommand_ = -1;
            break;
        default:
            hidPendingCommand_ = -1;
            break;
        }
    } else if (id == kDataReport && length == 1 + kDataReportSize && hidPendingCommand_ >= 0) {
        const uint8_t* d = report + 1;
        switch (hidPendingCommand_) {
        case kWriteRegister:
            ok = d[1] <= kDataReportSize - 2 && WriteRegisters(d[0], d[1], d + 2);
            break;
        case kI2cWritePhase:
            ok = d[1] <= kBusWriteRoom && d[2] == 0;
            if (ok)
                I2cWrite(d[0], d + 3, d[1]);
            break;
        case kFlashWritePhase:
            ok = d[1] <= kBusWriteRoom && d[2] == 0 && FlashWrite(d[0], d + 3, d[1]);
            break;
        }
        hidPendingCommand_ = -1;
    }
    t.ok = ok;
    return ok;
}

bool Camera::HidGetFeature(uint8_t* report, size_t length) {
    uint8_t id = length ? report[0] : 0;
    Transfer& t = Record(Route::Hid, Direction::Get, id, uint32_t(length), report, length);
    if (Refused())
        return false;
    if (id != kDataReport || length != 1 + kDataReportSize)
        return false;
    std::memcpy(report + 1, hidDataReport_, kDataReportSize);
    t.returned.assign(report, report + length);
    t.ok = true;
    return true;
}

} // namespace vcam
