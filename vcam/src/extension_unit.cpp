// vcam: the extension-unit route. Selector 1 announces the length of the next control write
// (and is set back to 1 afterwards); selectors 2-5, 8 and 9 carry register, I2C and flash work,
// and a read's bytes are collected with a get of the same selector.
#include "vcam/camera.h"

namespace vcam {

namespace {

enum Selector : uint32_t {
    kFrame = 1,
    kRegisterRead = 2,
    kRegisterWrite = 3,
    kI2cRead = 4,
    kI2cWrite = 5,
    kFlashRead = 8,
    kFlashWrite = 9,
};

} // namespace

int32_t Camera::SetUnitControl(uint32_t selector, uint32_t length, const uint8_t* data) {
    Transfer& t =
        Record(Route::ExtensionUnit, Direction::Set, selector, length, data, data ? length : 0);
    if (Refused() || !data || length == 0)
        return kFail;
    if (selector == kFrame) {
        if (length != 1)
            return kInvalidArgument;
        framedLength_ = data[0];
        t.ok = true;
        return kOk;
    }
    // Without the announcing frame the control's length does not match and the unit stalls.
    if (length != framedLength_)
        return kFail;
    unitPendingSelector_ = -1;
    bool ok = false;
    switch (selector) {
    case kRegisterRead:
        unitPendingData_.assign(length == 2 && data[1] <= 4 ? data[1] : 0, 0);
        ok = length == 2 && ReadRegisters(data[0], data[1], unitPendingData_.data());
        break;
    case kRegisterWrite:
        ok = length >= 3 && data[1] == length - 2 && WriteRegisters(data[0], data[1], data + 2);
        break;
    case kI2cWrite:
        // An unanswered address is no transfer error: register 5 tells the host.
        ok = length >= 3 && data[1] == length - 3 && data[2] == 0;
        if (ok)
            I2cWrite(data[0], data + 3, data[1]);
        break;
    case kI2cRead:
        ok = length == 3 && data[2] == 1;
        if (ok) {
            unitPendingData_.assign(data[1], 0);
            I2cRead(data[0], unitPendingData_.data(), data[1]);
        }
        break;
    case kFlashWrite:
        ok = length >= 3 && data[1] == length - 3 && data[2] == 0 &&
             FlashWrite(data[0], data + 3, data[1]);
        break;
    case kFlashRead:
        if (length == 3) {
            unitPendingData_.assign(data[1], 0);
            ok = FlashRead(data[0], data[2], unitPendingData_.data(), data[1]);
        }
        break;
    }
    if (ok && (selector == kRegisterRead || selector == kI2cRead || selector == kFlashRead))
        unitPendingSelector_ = int(selector);
    t.ok = ok;
    return ok ? kOk : kFail;
}

int32_t Camera::GetUnitControl(uint32_t selector, uint32_t length, uint8_t* data) {
    Transfer& t = Record(Route::ExtensionUnit, Direction::Get, selector, length, nullptr, 0);
    if (Refused() || !data)
        return kFail;
    if (int(selector) != unitPendingSelector_ || length != unitPendingData_.size())
        return kFail;
    unitPendingSelector_ = -1;
    for (uint32_t i = 0; i < length; ++i)
        data[i] = unitPendingData_[i];
    t.returned = unitPendingData_;
    t.ok = true;
    return kOk;
}

} // namespace vcam
