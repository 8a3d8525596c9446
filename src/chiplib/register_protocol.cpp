// Register access protocol: the wire format of each request on each transport. Transport 1 frames
// every control write with its length; transport 2 pairs a 4-byte command report with the 40-byte
// data report; transports 3 and 4 send one zero-filled property buffer that is both the request
// and its data.
#include "chiplib/register_protocol.h"

#include "chiplib/extension_unit.h"
#include "chiplib/hid_transport.h"

#include <cstring>

namespace {

// ---- Transport 1: extension-unit controls ----

enum UnitSelector : ULONG {
    kFrameSelector = 1,
    kRegisterReadSelector = 2,
    kRegisterWriteSelector = 3,
    kI2cReadSelector = 4,
    kI2cWriteSelector = 5,
    kFlashReadSelector = 8,
    kFlashWriteSelector = 9,
};

// One framed control write of n bytes, then for reads the get of `getLength` bytes `into`. The
// closing frame follows whatever the transfer did, but not a failed opening frame.
bool FramedTransfer(IExtensionUnitControl* unit, ULONG selector, BYTE* bytes, ULONG n,
                    BYTE* into = nullptr, ULONG getLength = 0) {
    BYTE frame = BYTE(n);
    if (FAILED(unit->SetUnitControl(kFrameSelector, 1, &frame)))
        return false;
    HRESULT hr = unit->SetUnitControl(selector, n, bytes);
    if (SUCCEEDED(hr) && into)
        hr = unit->GetUnitControl(selector, getLength, into);
    BYTE close = 1;
    unit->SetUnitControl(kFrameSelector, 1, &close);
    return SUCCEEDED(hr);
}

// A bus write phase: device address, write length, 0, the write bytes.
bool UnitBusWrite(IExtensionUnitControl* unit, ULONG selector, WORD device, const BYTE* bytes,
                  BYTE length) {
    BYTE buffer[3 + kRequestBytes];
    buffer[0] = BYTE(device);
    buffer[1] = length;
    buffer[2] = 0;
    std::memcpy(buffer + 3, bytes, length);
    return FramedTransfer(unit, selector, buffer, ULONG(length) + 3);
}

// A bus read phase: device address, read length, and 1 (I2C) or the mode (flash).
bool UnitBusRead(IExtensionUnitControl* unit, ULONG selector, WORD device, BYTE length, BYTE last,
                 BYTE* into) {
    BYTE buffer[3] = {BYTE(device), length, last};
    return FramedTransfer(unit, selector, buffer, 3, into, length);
}

// ---- Transport 2: HID feature reports ----

enum HidCommand : BYTE {
    kReadRegisterCommand = 0,
    kWriteRegisterCommand = 1,
    kI2cReadCommand = 2,
    kI2cWriteCommand = 3,
    kFlashReadCommand = 10,
    kFlashWriteCommand = 11,
};
const DWORD kCommandReportData = 4;
const DWORD kDataReportData = 40;
// A bus write's data report holds the device address, the length and a 0 ahead of the bytes.
const DWORD kHidBusWriteRoom = kDataReportData - 3;

bool SendCommand(const TransportLink& link, BYTE code, BYTE address, BYTE length, BYTE last) {
    BYTE report[kCommandReportData] = {code, address, length, last};
    return SetFeatureReport(static_cast<HANDLE>(link.object), link.featureReportLength,
                            kCommandReportId, report, kCommandReportData);
}

// Sends `n` bytes as the data report, zero-padded to its 40 bytes.
bool SendData(const TransportLink& link, const BYTE* bytes, DWORD n) {
    BYTE report[kDataReportData] = {};
    std::memcpy(report, bytes, n);
    return SetFeatureReport(static_cast<HANDLE>(link.object), link.featureReportLength,
                            kDataReportId, report, kDataReportData);
}

bool GetData(const TransportLink& link, BYTE* into) {
    return GetFeatureReport(static_cast<HANDLE>(link.object), link.featureReportLength,
                            kDataReportId, into, kDataReportData);
}

bool HidBusWrite(const TransportLink& device, BYTE command, WORD address, const BYTE* bytes,
                 BYTE length) {
    if (!SendCommand(device, command, 0, 0, 0))
        return false;
    BYTE data[3 + kHidBusWriteRoom];
    data[0] = BYTE(address);
    data[1] = length;
    data[2] = 0;
    std::memcpy(data + 3, bytes, length);
    return SendData(device, data, 3 + DWORD(length));
}

bool HidBusRead(const TransportLink& device, BYTE command, WORD address, BYTE length, BYTE last,
                BYTE* readBytes) {
    if (!SendCommand(device, command, BYTE(address), length, last))
        return false;
    std::memset(readBytes, 0, kRequestBytes);
    return GetData(device, readBytes);
}

// ---- Transports 3 and 4: kernel-streaming properties ----

// {85548EFB-86C8-4E57-B2FA-802B1B86C2AA}
const GUID kVideoRegisterPropertySet = {
    0x85548EFB, 0x86C8, 0x4E57, {0xB2, 0xFA, 0x80, 0x2B, 0x1B, 0x86, 0xC2, 0xAA}};
// {846A4C4E-76D8-42EC-A333-121F365A4DA8}
const GUID kReceiverBusPropertySet = {
    0x846A4C4E, 0x76D8, 0x42EC, {0xA3, 0x33, 0x12, 0x1F, 0x36, 0x5A, 0x4D, 0xA8}};

enum PropertyId : ULONG {
    kRegisterSelect = 4101,
    kRegisterData = 4102,
    kI2cCommand = 4137,
    kI2cResult = 4138,
    kFlashCommand = 4139,
    kFlashResult = 4140,
    kBusTransfer = 4150,
};
const ULONG kRegisterPropertySize = 32;
const ULONG kBusPropertySize = 104;
const DWORD kPayload = sizeof(KSPROPERTY); // 24: the header's end
const DWORD kBusBytes = 36;                // after device address, write and read lengths
const DWORD kChipRegisters = 0xFF;         // BusTransfer's device for the chip's own registers

static_assert(sizeof(KSPROPERTY) == 24, "the property header is 24 bytes");
static_assert(kBusBytes + 1 + kRequestBytes <= kBusPropertySize,
              "a flash write with its mode byte fits the property buffer");

struct PropertyBuffer {
    union {
        KSPROPERTY header;
        BYTE bytes[kBusPropertySize];
    };
};

void PutLe32(BYTE* at, DWORD value) {
    for (int i = 0; i < 4; ++i)
        at[i] = BYTE(value >> (8 * i));
}

// Zero-fills the first `size` bytes and writes the header.
void BeginProperty(PropertyBuffer* buffer, const GUID& set, ULONG id, ULONG flags, ULONG size) {
    std::memset(buffer->bytes, 0, size);
    buffer->header.Set = set;
    buffer->header.Id = id;
    buffer->header.Flags = flags;
}

// The buffer is the property and its data at once; the returned byte count is not needed.
bool CallProperty(IKsControl* control, PropertyBuffer* buffer, ULONG size) {
    ULONG returned = 0;
    return SUCCEEDED(control->KsProperty(&buffer->header, size, buffer->bytes, size, &returned));
}

bool SelectRegister(IKsControl* control, const RegisterPacket* packet) {
    DWORD width = packet->count == 2 ? 2 : packet->count == 4 ? 4 : 1;
    PropertyBuffer buffer;
    BeginProperty(&buffer, kVideoRegisterPropertySet, kRegisterSelect, KSPROPERTY_TYPE_SET,
                  kRegisterPropertySize);
    PutLe32(buffer.bytes + kPayload, (DWORD(packet->address) << 8) + width);
    return CallProperty(control, &buffer, kRegisterPropertySize);
}

// One BusTransfer: device address, write length, read length, the write bytes from offset 36.
void BeginBusTransfer(PropertyBuffer* buffer, ULONG flags, DWORD device, DWORD writeLength,
                      DWORD readLength) {
    BeginProperty(buffer, kReceiverBusPropertySet, kBusTransfer, flags, kBusPropertySize);
    PutLe32(buffer->bytes + 24, device);
    PutLe32(buffer->bytes + 28, writeLength);
    PutLe32(buffer->bytes + 32, readLength);
}

IExtensionUnitControl* Unit(const TransportLink& link) {
    return static_cast<IExtensionUnitControl*>(link.object);
}
IKsControl* KsControl(const TransportLink& link) {
    return static_cast<IKsControl*>(link.object);
}

bool HasWritePhase(const I2cRequest* request) {
    return (request->flags & kI2cWritePhase) != 0;
}

// Lengths every transport can carry; the HID data report is smaller still.
bool BusRequestFits(const TransportLink& link, bool writePhase, BYTE writeLength, BYTE readLength) {
    if (writeLength > kRequestBytes || readLength > kRequestBytes)
        return false;
    if (link.transport == TransportHid)
        return (!writePhase || writeLength <= kHidBusWriteRoom) && readLength <= kDataReportData;
    return true;
}

} // namespace

bool RegisterRead(const TransportLink& link, RegisterPacket* packet) {
    if (!link.object || packet->count > 4)
        return false;
    switch (link.transport) {
    case TransportExtensionUnit: {
        BYTE request[2] = {packet->address, packet->count};
        return FramedTransfer(Unit(link), kRegisterReadSelector, request, 2, packet->data,
                              packet->count);
    }
    case TransportHid: {
        if (!SendCommand(link, kReadRegisterCommand, packet->address, packet->count, 0))
            return false;
        // The value is the report's first four data bytes whatever the count.
        BYTE report[kDataReportData];
        if (!GetData(link, report))
            return false;
        std::memcpy(packet->data, report, 4);
        return true;
    }
    case TransportVideoInput: {
        if (!SelectRegister(KsControl(link), packet))
            return false;
        PropertyBuffer buffer;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kRegisterData, KSPROPERTY_TYPE_GET,
                      kRegisterPropertySize);
        if (!CallProperty(KsControl(link), &buffer, kRegisterPropertySize))
            return false;
        std::memcpy(packet->data, buffer.bytes + kPayload, 4);
        return true;
    }
    case TransportReceiver: {
        PropertyBuffer buffer;
        BeginBusTransfer(&buffer, KSPROPERTY_TYPE_GET, kChipRegisters, 1, packet->count);
        buffer.bytes[kBusBytes] = packet->address;
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        std::memcpy(packet->data, buffer.bytes + kBusBytes, packet->count);
        return true;
    }
    }
    return false;
}

bool RegisterWrite(const TransportLink& link, const RegisterPacket* packet) {
    if (!link.object || packet->count > 4)
        return false;
    switch (link.transport) {
    case TransportExtensionUnit: {
        BYTE request[2 + 4] = {packet->address, packet->count};
        std::memcpy(request + 2, packet->data, packet->count);
        return FramedTransfer(Unit(link), kRegisterWriteSelector, request,
                              ULONG(packet->count) + 2);
    }
    case TransportHid: {
        if (!SendCommand(link, kWriteRegisterCommand, 0, 0, 0))
            return false;
        BYTE data[2 + 4] = {packet->address, packet->count};
        std::memcpy(data + 2, packet->data, packet->count);
        return SendData(link, data, 2 + DWORD(packet->count));
    }
    case TransportVideoInput: {
        if (!SelectRegister(KsControl(link), packet))
            return false;
        PropertyBuffer buffer;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kRegisterData, KSPROPERTY_TYPE_SET,
                      kRegisterPropertySize);
        std::memcpy(buffer.bytes + kPayload, packet->data, 4);
        return CallProperty(KsControl(link), &buffer, kRegisterPropertySize);
    }
    case TransportReceiver: {
        PropertyBuffer buffer;
        BeginBusTransfer(&buffer, KSPROPERTY_TYPE_SET, kChipRegisters, DWORD(packet->count) + 1, 0);
        buffer.bytes[kBusBytes] = packet->address;
        std::memcpy(buffer.bytes + kBusBytes + 1, packet->data, packet->count);
        return CallProperty(KsControl(link), &buffer, kBusPropertySize);
    }
    }
    return false;
}

bool I2cStatusCheck(const TransportLink& link) {
    // Zeroed first, so the outcome never rests on an unset byte; an unreadable status is no
    // proof that the phase was acknowledged.
    RegisterPacket status = {5, 1, {0, 0, 0, 0}};
    const BYTE kI2cError = 0x10;
    return RegisterRead(link, &status) && !(status.data[0] & kI2cError);
}

bool I2cTransfer(const TransportLink& link, I2cRequest* request) {
    if (!link.object ||
        !BusRequestFits(link, HasWritePhase(request), request->writeLength, request->readLength))
        return false;
    switch (link.transport) {
    case TransportExtensionUnit:
    case TransportHid: {
        bool unit = link.transport == TransportExtensionUnit;
        if (HasWritePhase(request)) {
            bool written = unit
                               ? UnitBusWrite(Unit(link), kI2cWriteSelector, request->deviceAddress,
                                              request->writeBytes, request->writeLength)
                               : HidBusWrite(link, kI2cWriteCommand, request->deviceAddress,
                                             request->writeBytes, request->writeLength);
            if (!written || !I2cStatusCheck(link))
                return false;
        }
        bool read = unit ? UnitBusRead(Unit(link), kI2cReadSelector, request->deviceAddress,
                                       request->readLength, 1, request->readBytes)
                         : HidBusRead(link, kI2cReadCommand, request->deviceAddress,
                                      request->readLength, 1, request->readBytes);
        return read && I2cStatusCheck(link);
    }
    case TransportVideoInput: {
        // The write bytes and the read length travel in one set, also without a write phase.
        PropertyBuffer buffer;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kI2cCommand, KSPROPERTY_TYPE_SET,
                      kBusPropertySize);
        PutLe32(buffer.bytes + 24, request->deviceAddress);
        PutLe32(buffer.bytes + 28, request->writeLength);
        PutLe32(buffer.bytes + 32, request->readLength);
        std::memcpy(buffer.bytes + kBusBytes, request->writeBytes, request->writeLength);
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kI2cResult, KSPROPERTY_TYPE_GET,
                      kBusPropertySize);
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        std::memcpy(request->readBytes, buffer.bytes + kBusBytes, request->readLength);
        return true;
    }
    case TransportReceiver: {
        PropertyBuffer buffer;
        BeginBusTransfer(&buffer, KSPROPERTY_TYPE_GET, request->deviceAddress, request->writeLength,
                         request->readLength);
        std::memcpy(buffer.bytes + kBusBytes, request->writeBytes, request->writeLength);
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        std::memcpy(request->readBytes, buffer.bytes + kBusBytes, request->readLength);
        return true;
    }
    }
    return false;
}

bool FlashTransfer(const TransportLink& link, FlashRequest* request) {
    bool writePhase = request->writeLength != 0;
    if (!link.object ||
        !BusRequestFits(link, writePhase, request->writeLength, request->readLength))
        return false;
    switch (link.transport) {
    case TransportExtensionUnit:
        if (writePhase && !UnitBusWrite(Unit(link), kFlashWriteSelector, request->deviceAddress,
                                        request->writeBytes, request->writeLength))
            return false;
        return UnitBusRead(Unit(link), kFlashReadSelector, request->deviceAddress,
                           request->readLength, request->mode, request->readBytes);
    case TransportHid:
        if (writePhase && !HidBusWrite(link, kFlashWriteCommand, request->deviceAddress,
                                       request->writeBytes, request->writeLength))
            return false;
        return HidBusRead(link, kFlashReadCommand, request->deviceAddress, request->readLength,
                          request->mode, request->readBytes);
    case TransportVideoInput: {
        // The write length counts the mode byte that leads the write bytes.
        PropertyBuffer buffer;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kFlashCommand, KSPROPERTY_TYPE_SET,
                      kBusPropertySize);
        PutLe32(buffer.bytes + 24, request->deviceAddress);
        PutLe32(buffer.bytes + 28, DWORD(request->writeLength) + 1);
        PutLe32(buffer.bytes + 32, request->readLength);
        buffer.bytes[kBusBytes] = request->mode;
        std::memcpy(buffer.bytes + kBusBytes + 1, request->writeBytes, request->writeLength);
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        BeginProperty(&buffer, kVideoRegisterPropertySet, kFlashResult, KSPROPERTY_TYPE_GET,
                      kBusPropertySize);
        if (!CallProperty(KsControl(link), &buffer, kBusPropertySize))
            return false;
        std::memcpy(request->readBytes, buffer.bytes + kBusBytes, request->readLength);
        return true;
    }
    case TransportReceiver:
        return false; // the receiver's bus property carries no flash transfers
    }
    return false;
}
