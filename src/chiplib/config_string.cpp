// Configuration string query: locates the configuration block in the camera's I2C EEPROM or
// serial flash and copies one string's text; and the locked I2C and flash transfers it uses.
#include "chiplib/etlib2.h"
#include "chiplib/etlib2_state.h"

#include <algorithm>
#include <cstring>

namespace {

const BYTE kConfigInFlash = 0x80; // register 5
const BYTE kBusRegister = 6;
const BYTE kSensorBus = 0x04; // register 6: cleared to put the I2C engine on the EEPROM's bus
const BYTE kEepromDevice = 0xA0;
const DWORD kFlashPiece = 32;
const BYTE kFlashReadCommand = 0x03;
const BYTE kFlashReadMode = 1;
const DWORD kHidDataReport = 40; // the most one I2C read brings back over HID

// The block's layout, the same in both memories.
const DWORD kEepromBaseOffset = 84;
const DWORD kFlashBaseP = 0x1000;
const DWORD kFlashBaseOther = 0x2000;
const DWORD kStringOffsets = 10; // + 2 x string number
const DWORD kSelectorByte = 18;
const DWORD kDescriptorHeader = 2; // length byte and type byte ahead of the text

// The field of the selector byte that names the string for `selector`.
DWORD StringNumber(BYTE selectorByte, DWORD selector) {
    const int shift[3] = {2, 0, 4};
    return (selectorByte >> shift[selector]) & 3;
}

void SwapFirstTwo(BYTE* bytes) {
    std::swap(bytes[0], bytes[1]);
}

// One EEPROM read at a 16-bit address, passed little-endian as I2cTransact expects.
HRESULT EepromRead(DWORD address, DWORD length, BYTE* destination) {
    BYTE at[2] = {BYTE(address), BYTE(address >> 8)};
    return I2cTransact(kEepromDevice, sizeof at, at, length, destination);
}

HRESULT ReadEepromString(DWORD selector, char* buffer) {
    BYTE header[4] = {};
    HRESULT hr = EepromRead(0, sizeof header, header);
    if (FAILED(hr))
        return hr;
    DWORD base = DWORD(header[1]) * 256 + kEepromBaseOffset;
    BYTE selectorByte = 0;
    if (FAILED(hr = EepromRead(base + kSelectorByte, 1, &selectorByte)))
        return hr;
    DWORD number = StringNumber(selectorByte, selector);
    if (number == 0) {
        std::memset(buffer, 0, 4);
        return S_OK;
    }
    BYTE offset = 0, length = 0;
    if (FAILED(hr = EepromRead(base + kStringOffsets + 2 * number, 1, &offset)))
        return hr;
    if (FAILED(hr = EepromRead(base + offset, 1, &length)))
        return hr;
    if (length < kDescriptorHeader)
        return S_OK;
    // Cut to the caller's buffer; read in pieces that one request can carry.
    DWORD text = std::min<DWORD>(length - kDescriptorHeader, kDeviceStringBytes);
    DWORD piece = gEtLib2.link.transport == TransportHid ? kHidDataReport : kRequestBytes;
    BYTE read[kDeviceStringBytes];
    for (DWORD done = 0; done < text; done += piece) {
        DWORD n = std::min(piece, text - done);
        if (FAILED(hr = EepromRead(base + offset + kDescriptorHeader + done, n, read + done)))
            return hr;
    }
    std::memcpy(buffer, read, text);
    return S_OK;
}

// Flash failures are not reported: a value that could not be read stays 0.
HRESULT ReadFlashString(DWORD selector, char* buffer) {
    const HRESULT kFromFlash = 1;
    BYTE header[4] = {};
    FlashRead(0, sizeof header, header);
    DWORD base = header[1] == 'P' ? kFlashBaseP : kFlashBaseOther;
    BYTE selectorByte = 0;
    FlashRead(base + kSelectorByte, 1, &selectorByte);
    DWORD number = StringNumber(selectorByte, selector);
    if (number == 0) {
        std::memset(buffer, 0, 4);
        return kFromFlash;
    }
    BYTE offset = 0, length = 0;
    FlashRead(base + kStringOffsets + 2 * number, 1, &offset);
    FlashRead(base + offset, 1, &length);
    if (length >= kDescriptorHeader)
        FlashRead(base + offset + kDescriptorHeader,
                  std::min<DWORD>(length - kDescriptorHeader, kDeviceStringBytes),
                  reinterpret_cast<BYTE*>(buffer));
    return kFromFlash;
}

} // namespace

HRESULT I2cTransact(DWORD device, DWORD writeLength, BYTE* writeBytes, DWORD readLength,
                    BYTE* destination) {
    if (!gEtLib2.link.object || writeLength > kRequestBytes || readLength > kRequestBytes)
        return E_FAIL;
    I2cRequest request = {};
    request.deviceAddress = BYTE(device);
    if (writeLength) {
        request.flags = kI2cWritePhase;
        request.writeLength = BYTE(writeLength);
        std::memcpy(request.writeBytes, writeBytes, writeLength);
    }
    request.readLength = BYTE(readLength);
    bool eeprom = request.deviceAddress == kEepromDevice;
    if (eeprom && writeLength >= 2) {
        SwapFirstTwo(writeBytes);
        SwapFirstTwo(request.writeBytes);
    }
    // Held from the bus select to the end of the transfer: another process's transfer must not
    // find the bus switched under it, nor switch it under ours.
    if (!LockLibrary())
        return E_FAIL;
    if (eeprom) {
        RegisterPacket bus = {kBusRegister, 1, {0, 0, 0, 0}};
        if (RegisterRead(gEtLib2.link, &bus)) {
            bus.data[0] &= BYTE(~kSensorBus);
            bus.data[1] = bus.data[2] = bus.data[3] = 0;
            RegisterWrite(gEtLib2.link, &bus);
        }
    }
    bool done = I2cTransfer(gEtLib2.link, &request);
    if (done)
        std::memcpy(destination, request.readBytes, readLength);
    UnlockLibrary();
    return done ? S_OK : E_FAIL;
}

HRESULT FlashTransact(DWORD device, DWORD mode, DWORD writeLength, const BYTE* writeBytes,
                      DWORD readLength, BYTE* destination) {
    BYTE writeCount = BYTE(writeLength), readCount = BYTE(readLength);
    if (!gEtLib2.link.object || writeCount > kRequestBytes || readCount > kRequestBytes)
        return E_FAIL;
    FlashRequest request = {};
    request.mode = BYTE(mode);
    request.deviceAddress = BYTE(device);
    if (writeCount) {
        request.writeLength = writeCount;
        std::memcpy(request.writeBytes, writeBytes, writeCount);
    }
    request.readLength = readCount;
    if (!LockLibrary())
        return E_FAIL;
    bool done = FlashTransfer(gEtLib2.link, &request);
    if (done)
        std::memcpy(destination, request.readBytes, readCount);
    UnlockLibrary();
    return done ? S_OK : E_FAIL;
}

HRESULT FlashRead(DWORD address, DWORD length, BYTE* destination) {
    while (length > 0) {
        DWORD piece = std::min(length, kFlashPiece);
        BYTE command[4] = {kFlashReadCommand, BYTE(address >> 16), BYTE(address >> 8),
                           BYTE(address)};
        FlashTransact(0, kFlashReadMode, sizeof command, command, piece, destination);
        address += piece;
        destination += piece;
        length -= piece;
    }
    return S_OK;
}

HRESULT etLib2_GetDeviceString(DWORD selector, char* buffer) {
    if (!gEtLib2.open)
        return E_FAIL;
    // Outside the three strings there is nothing to read; the device is not asked.
    if (selector > 2 || !buffer)
        return E_INVALIDARG;
    RegisterPacket status = {5, 1, {0, 0, 0, 0}};
    HRESULT hr = LockedRegisterRead(&status);
    if (FAILED(hr))
        return hr;
    if (status.data[0] & kConfigInFlash)
        return ReadFlashString(selector, buffer);
    return ReadEepromString(selector, buffer);
}
