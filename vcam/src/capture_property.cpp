// vcam: the capture driver's private property interface over the chip's registers.
#include "vcam/camera.h"

namespace vcam {

namespace {
constexpr uint32_t kDriverProperty4135 = 0x00002820; // what the driver reports; never used
constexpr uint32_t kDriverProperty4136 = 0x00000001;
} // namespace

int32_t Camera::CaptureProperty(bool set, uint32_t id, uint32_t* value) {
    uint8_t sent[4] = {};
    for (int i = 0; set && i < 4; ++i)
        sent[i] = uint8_t(*value >> (8 * i));
    Transfer& t = Record(Route::CaptureProperty, set ? Direction::Set : Direction::Get, id, 4,
                         set ? sent : nullptr, set ? 4 : 0);
    int32_t hr = kPropertyIdUnsupported;
    if (Refused()) {
        hr = kFail;
    } else if (id == kRegisterSelect && set) {
        uint32_t width = *value & 0xFF;
        bool valid = *value == 0 || ((width == 1 || width == 2 || width == 4) && *value <= 0xFFFF);
        if (valid)
            selection_ = *value;
        hr = valid ? kOk : kInvalidArgument;
    } else if (id == kRegisterData) {
        uint8_t address = uint8_t(selection_ >> 8);
        uint32_t width = selection_ & 0xFF;
        uint8_t bytes[4] = {};
        if (width == 0) {
            hr = kNotReady;
        } else if (set) {
            hr = WriteRegisters(address, width, sent) ? kOk : kInvalidArgument;
        } else if (ReadRegisters(address, width, bytes)) {
            for (uint32_t i = 0; i < width; ++i)
                *value = (*value & ~(0xFFu << (8 * i))) | (uint32_t(bytes[i]) << (8 * i));
            hr = kOk;
        } else {
            hr = kInvalidArgument;
        }
    } else if ((id == 4135 || id == 4136) && !set) {
        *value = id == 4135 ? kDriverProperty4135 : kDriverProperty4136;
        hr = kOk;
    } else if (id == 4135 || id == 4136 || id == kRegisterSelect) {
        hr = kInvalidArgument;
    }
    t.ok = hr >= 0;
    if (t.ok && !set)
        for (int i = 0; i < 4; ++i)
            t.returned.push_back(uint8_t(*value >> (8 * i)));
    return hr;
}

} // namespace vcam
