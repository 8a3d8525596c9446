// Register access protocol: one register, I2C or serial-flash request of the register library,
// carried to the camera chip over whichever transport is open, in that transport's wire format.
#pragma once

#include "win32api.h"

// The routes to the chip, numbered as the library holds them.
enum Transport : BYTE {
    TransportNone = 0,
    TransportExtensionUnit = 1, // IExtensionUnitControl*
    TransportHid = 2,           // HANDLE of the camera's HID interface
    TransportVideoInput = 3,    // IKsControl* of a video input device
    TransportReceiver = 4,      // IKsControl* of a BDA receiver component
};

// The open transport and what it holds (the library's TransportObject).
struct TransportLink {
    BYTE transport;
    void* object; // null when nothing is open
    // Transport 2: the interface's FeatureReportByteLength, the least buffer its reports take.
    USHORT featureReportLength = 0;
};

const DWORD kRequestBytes = 64;     // write and read areas of the bus requests
const WORD kI2cWritePhase = 0x0001; // I2cRequest::flags

struct RegisterPacket {
    BYTE address;
    BYTE count;   // 1, 2 or 4 (at most 4)
    BYTE data[4]; // little-endian value: written by a read, sent by a write
};

struct I2cRequest {
    WORD flags;         // kI2cWritePhase exactly when writeLength is not 0
    WORD deviceAddress; // 8-bit I2C address, 0xA0 for the configuration EEPROM
    BYTE writeBytes[kRequestBytes];
    BYTE writeLength;
    BYTE readBytes[kRequestBytes];
    BYTE readLength;
};

struct FlashRequest {
    BYTE mode;          // 1 for the configuration reads
    WORD deviceAddress; // 0 for the serial flash
    BYTE writeBytes[kRequestBytes];
    BYTE writeLength;
    BYTE readBytes[kRequestBytes];
    BYTE readLength;
};

// Each returns true on success. A failed request leaves data or readBytes as far as they were
// written. Requests whose lengths do not fit the records or the transport's reports are
// refused before anything reaches the device.
bool RegisterRead(const TransportLink& link, RegisterPacket* packet);
bool RegisterWrite(const TransportLink& link, const RegisterPacket* packet);
bool I2cTransfer(const TransportLink& link, I2cRequest* request);
bool FlashTransfer(const TransportLink& link, FlashRequest* request);

// Transports 1 and 2: whether the chip reports the last I2C phase acknowledged (register 5,
// bit 4 clear). A status that cannot be read counts as failure.
bool I2cStatusCheck(const TransportLink& link);
