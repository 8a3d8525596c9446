// vcam: the chip itself: its registers, the I2C engine with the configuration EEPROM, the serial
// flash, the capture button, and the record of every transfer.
#include "vcam/camera.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vcam {

namespace {

// Register 5's I2C status and configuration strap belong to the chip; writes leave them alone.
constexpr uint8_t kStatusReadOnly = kI2cError | kConfigInFlash;
constexpr uint8_t kChipRevision = 0x28; // what the probe register holds
constexpr uint8_t kFlashReadCommand = 0x03;
constexpr uint8_t kFlashReadMode = 1;

uint8_t MemoryByte(const std::vector<uint8_t>& memory, uint32_t address) {
    return memory.empty() ? 0xFF : memory[address % memory.size()];
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s = "[";
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s + "]";
}

} // namespace

Camera::Camera() {
    std::memset(registers_, 0, sizeof registers_);
    registers_[kBusRegister] = kSensorBus; // the sensor bus is selected while streaming
    registers_[kProbeRegister] = kChipRevision;
}

void Camera::PressButton() {
    registers_[kStatusRegister] |= kButtonLatch;
    registers_[kCaptureRegister] |= kCaptureLatch;
}

void Camera::SetButtonDown(bool down) {
    if (down && !buttonDown_)
        PressButton();
    buttonDown_ = down;
}

int32_t Camera::EvaCommand(int32_t command, int32_t a, int32_t b, int32_t c) {
    const int32_t args[4] = {command, a, b, c};
    uint8_t sent[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            sent[4 * i + j] = uint8_t(uint32_t(args[i]) >> (8 * j));
    Transfer& t = Record(Route::Eva, Direction::Get, uint32_t(command), 16, sent, sizeof sent);
    if (Refused() || command != 13 || a != 0 || b != 0 || c != 4) {
        t.ok = false;
        return -1;
    }
    int32_t state = buttonDown_ ? 1 : 0;
    t.returned.assign(1, uint8_t(state));
    t.ok = true;
    return state;
}

void Camera::FailTransfer(size_t occurrence) {
    refusals_.push_back(transferNumber_ + occurrence);
}

Transfer& Camera::Record(Route route, Direction direction, uint32_t id, uint32_t length,
                         const uint8_t* sent, size_t sentLength) {
    ++transferNumber_;
    if (!recording_) {
        unrecorded_.route = route;
        unrecorded_.direction = direction;
        unrecorded_.id = id;
        unrecorded_.length = length;
        unrecorded_.sent.assign(sent, sent ? sent + sentLength : sent);
        unrecorded_.returned.clear();
        unrecorded_.ok = false;
        return unrecorded_;
    }
    Transfer t{route, direction, id, length, {}, {}, false};
    if (sent)
        t.sent.assign(sent, sent + sentLength);
    transfers_.push_back(std::move(t));
    return transfers_.back();
}

bool Camera::Refused() {
    auto it = std::find(refusals_.begin(), refusals_.end(), transferNumber_);
    if (it == refusals_.end())
        return false;
    refusals_.erase(it);
    return true;
}

bool Camera::ReadRegisters(uint8_t address, size_t count, uint8_t* out) const {
    if (count == 0 || count > 4 || address + count > 256)
        return false;
    std::memcpy(out, registers_ + address, count);
    return true;
}

void Camera::FillPastCount(uint8_t address, size_t count, uint8_t* out, size_t room) const {
    if (!wideReads_)
        return;
    for (size_t i = count; i < room; ++i)
        out[i] = address + i < 256 ? registers_[address + i] : 0;
}

bool Camera::WriteRegisters(uint8_t address, size_t count, const uint8_t* in) {
    if (count == 0 || count > 4 || address + count > 256)
        return false;
    for (size_t i = 0; i < count; ++i) {
        size_t r = address + i;
        uint8_t keep = r == kStatusRegister ? kStatusReadOnly : 0;
        registers_[r] = uint8_t((registers_[r] & keep) | (in[i] & ~keep));
    }
    return true;
}

void Camera::SetI2cStatus(bool acknowledged) {
    if (acknowledged)
        registers_[kStatusRegister] &= uint8_t(~kI2cError);
    else
        registers_[kStatusRegister] |= kI2cError;
}

// The EEPROM answers only on its own bus (register 6 bit 2 clear) and takes a 16-bit address,
// high byte first, before any data it stores.
bool Camera::I2cWrite(uint8_t device, const uint8_t* bytes, size_t length) {
    bool present =
        device == kEepromAddress && !eeprom_.empty() && !(registers_[kBusRegister] & kSensorBus);
    bool ok = present && length >= 2;
    if (ok) {
        eepromPointer_ = uint32_t((bytes[0] << 8) | bytes[1]) % eeprom_.size();
        for (size_t i = 2; i < length; ++i) {
            eeprom_[eepromPointer_] = bytes[i];
            eepromPointer_ = uint32_t((eepromPointer_ + 1) % eeprom_.size());
        }
    }
    SetI2cStatus(ok);
    return ok;
}

bool Camera::I2cRead(uint8_t device, uint8_t* out, size_t length) {
    bool present =
        device == kEepromAddress && !eeprom_.empty() && !(registers_[kBusRegister] & kSensorBus);
    for (size_t i = 0; i < length; ++i) {
        if (present) {
            out[i] = eeprom_[eepromPointer_];
            eepromPointer_ = uint32_t((eepromPointer_ + 1) % eeprom_.size());
        } else {
            out[i] = 0xFF; // nobody drives the bus
        }
    }
    SetI2cStatus(present);
    return present;
}

// The serial flash understands one command: 0x03 with a 24-bit big-endian address, after which
// a read phase in mode 1 streams bytes from that address on.
bool Camera::FlashWrite(uint8_t device, const uint8_t* bytes, size_t length) {
    flashReadArmed_ = false;
    if (device != 0 || length != 4 || bytes[0] != kFlashReadCommand)
        return false;
    flashPointer_ = uint32_t((bytes[1] << 16) | (bytes[2] << 8) | bytes[3]);
    flashReadArmed_ = true;
    return true;
}

bool Camera::FlashRead(uint8_t device, uint8_t mode, uint8_t* out, size_t length) {
    if (device != 0 || mode != kFlashReadMode || !flashReadArmed_)
        return false;
    for (size_t i = 0; i < length; ++i)
        out[i] = MemoryByte(flash_, flashPointer_++);
    return true;
}

std::string Describe(const Transfer& t) {
    std::string s = t.direction == Direction::Set ? "set " : "get ";
    s += std::to_string(t.id);
    if (t.direction == Direction::Set)
        s += " " + Hex(t.sent);
    else
        s += " (" + std::to_string(t.length) + ") -> " + Hex(t.returned);
    if (!t.ok)
        s += " refused";
    return s;
}

} // namespace vcam
