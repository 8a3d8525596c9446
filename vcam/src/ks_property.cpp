// vcam: the kernel-streaming routes. The video filter answers the register, I2C and flash
// properties of its private set; the receiver filter answers one bus-transfer property whose
// device 0xFF is the chip's own register file.
#include "vcam/camera.h"

#include <cstring>

namespace vcam {

const uint8_t kVideoRegisterSet[16] = {0xFB, 0x8E, 0x54, 0x85, 0xC8, 0x86, 0x57, 0x4E,
                                       0xB2, 0xFA, 0x80, 0x2B, 0x1B, 0x86, 0xC2, 0xAA};
const uint8_t kReceiverBusSet[16] = {0x4E, 0x4C, 0x6A, 0x84, 0xD8, 0x76, 0xEC, 0x42,
                                     0xA3, 0x33, 0x12, 0x1F, 0x36, 0x5A, 0x4D, 0xA8};

namespace {

constexpr uint32_t kHeaderSize = 24;
constexpr uint32_t kRegisterRecord = 32; // header and one 32-bit value
constexpr uint32_t kBusRecord = 104;     // header, three 32-bit fields, 68 bytes
constexpr uint32_t kBusBytesAt = 36;
constexpr uint32_t kBusRoom = kBusRecord - kBusBytesAt;

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

int32_t Camera::VideoProperty(const uint8_t* property, uint32_t propertyLength, uint8_t* data,
                              uint32_t dataLength, uint32_t* bytesReturned) {
    return KsProperty(false, property, propertyLength, data, dataLength, bytesReturned);
}

int32_t Camera::ReceiverProperty(const uint8_t* property, uint32_t propertyLength, uint8_t* data,
                                 uint32_t dataLength, uint32_t* bytesReturned) {
    return KsProperty(true, property, propertyLength, data, dataLength, bytesReturned);
}

int32_t Camera::KsProperty(bool receiver, const uint8_t* property, uint32_t propertyLength,
                           uint8_t* data, uint32_t dataLength, uint32_t* bytesReturned) {
    if (bytesReturned)
        *bytesReturned = 0;
    bool header = property && propertyLength >= kHeaderSize;
    uint32_t id = header ? Le32(property + 16) : 0;
    uint32_t flags = header ? Le32(property + 20) : 0;
    Transfer& t = Record(receiver ? Route::ReceiverProperty : Route::VideoProperty,
                         flags == kPropertyGet ? Direction::Get : Direction::Set, id, dataLength,
                         property, property ? propertyLength : 0);
    if (Refused())
        return kFail;
    if (!header || !data || (flags != kPropertyGet && flags != kPropertySet))
        return kInvalidArgument;
    if (std::memcmp(property, receiver ? kReceiverBusSet : kVideoRegisterSet, 16) != 0)
        return kPropertySetUnsupported;
    uint32_t record = (id == kRegisterSelect || id == kRegisterData) ? kRegisterRecord : kBusRecord;
    if (propertyLength < record || dataLength < record)
        return kBufferTooSmall;
    int32_t hr = receiver ? ReceiverRequest(id, flags, property, data, record, bytesReturned)
                          : VideoRequest(id, flags, property, data, record, bytesReturned);
    t.ok = hr >= 0;
    if (t.ok && flags == kPropertyGet)
        t.returned.assign(data, data + dataLength);
    return hr;
}

int32_t Camera::VideoRequest(uint32_t id, uint32_t flags, const uint8_t*, uint8_t* data,
                             uint32_t length, uint32_t* bytesReturned) {
    bool get = flags == kPropertyGet;
    if (id == kRegisterSelect && !get) {
        uint32_t value = Le32(data + kHeaderSize);
        uint32_t width = value & 0xFF;
        if ((width != 1 && width != 2 && width != 4) || value > 0xFFFF)
            return kInvalidArgument;
        selection_ = value;
        return kOk;
    }
    if (id == kRegisterData) {
        uint8_t address = uint8_t(selection_ >> 8);
        uint32_t width = selection_ & 0xFF;
        if (width == 0)
            return kNotReady;
        if (!get)
            return WriteRegisters(address, width, data + kHeaderSize) ? kOk : kInvalidArgument;
        uint8_t value[4] = {};
        if (!ReadRegisters(address, width, value))
            return kInvalidArgument;
        FillPastCount(address, width, value, sizeof value);
        std::memcpy(data + kHeaderSize, value, 4);
        if (bytesReturned)
            *bytesReturned = length;
        return kOk;
    }
    if ((id == kI2cCommand || id == kFlashCommand) && !get) {
        uint32_t device = Le32(data + 24), writeField = Le32(data + 28),
                 readLength = Le32(data + 32);
        if (id == kI2cCommand) {
            if (device > 0xFF || writeField > kBusRoom || readLength > kBusRoom)
                return kInvalidArgument;
            i2cResult_.assign(readLength, 0);
            if (writeField && !I2cWrite(uint8_t(device), data + kBusBytesAt, writeField))
                return kFail;
            if (readLength && !I2cRead(uint8_t(device), i2cResult_.data(), readLength))
                return kFail;
            return kOk;
        }
        // The flash command's write field counts the mode byte ahead of the write bytes.
        if (device > 0xFF || writeField == 0 || writeField > kBusRoom || readLength > kBusRoom)
            return kInvalidArgument;
        uint8_t mode = data[kBusBytesAt];
        flashResult_.assign(readLength, 0);
        if (writeField > 1 && !FlashWrite(uint8_t(device), data + kBusBytesAt + 1, writeField - 1))
            return kFail;
        if (readLength && !FlashRead(uint8_t(device), mode, flashResult_.data(), readLength))
            return kFail;
        return kOk;
    }
    if ((id == kI2cResult || id == kFlashResult) && get) {
        const std::vector<uint8_t>& result = id == kI2cResult ? i2cResult_ : flashResult_;
        std::memset(data + kHeaderSize, 0, length - kHeaderSize);
        std::memcpy(data + kBusBytesAt, result.data(), result.size());
        if (bytesReturned)
            *bytesReturned = length;
        return kOk;
    }
    return kPropertyIdUnsupported;
}

int32_t Camera::ReceiverRequest(uint32_t id, uint32_t flags, const uint8_t* property, uint8_t* data,
                                uint32_t length, uint32_t* bytesReturned) {
    if (id != kBusTransfer)
        return kPropertyIdUnsupported;
    bool get = flags == kPropertyGet;
    // A get describes its transfer in the property; a set carries it in the data.
    const uint8_t* request = get ? property : data;
    uint32_t device = Le32(request + 24), writeLength = Le32(request + 28),
             readLength = Le32(request + 32);
    if (writeLength > kBusRoom || readLength > kBusRoom || (!get && readLength) || (device > 0xFF))
        return kInvalidArgument;
    uint8_t written[kBusRoom];
    std::memcpy(written, request + kBusBytesAt, writeLength);
    uint8_t read[kBusRoom] = {};
    bool ok;
    if (device == kChipRegisters) {
        // One address byte, then the values to write or room for the values read.
        if (writeLength == 0)
            return kInvalidArgument;
        ok = get ? writeLength == 1 && ReadRegisters(written[0], readLength, read)
                 : WriteRegisters(written[0], writeLength - 1, written + 1);
        if (!ok)
            return kInvalidArgument;
    } else {
        ok = (!writeLength || I2cWrite(uint8_t(device), written, writeLength)) &&
             (!readLength || I2cRead(uint8_t(device), read, readLength));
        if (!ok)
            return kFail;
    }
    if (get) {
        std::memcpy(data + kBusBytesAt, read, readLength);
        if (bytesReturned)
            *bytesReturned = length;
    }
    return kOk;
}

} // namespace vcam
