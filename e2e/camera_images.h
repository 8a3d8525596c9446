// The configuration memories of the stand-in cameras: an EEPROM and a serial flash, each with a
// configuration block whose string 1 is a serial number, as the camera's maker writes them.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

const char kEepromSerial[] = "VX2-E2E1";
const char kFlashSerial[] = "VX2-FLASH-7";

// A string descriptor at base + `offset`, named by selector 1 (string 1).
inline void PutSerial(std::vector<uint8_t>* image, size_t base, uint8_t offset, const char* text) {
    size_t length = std::strlen(text);
    (*image)[base + 18] = 0x01; // selector 1 names string 1; selectors 0 and 2 name none
    (*image)[base + 12] = offset;
    (*image)[base + offset] = uint8_t(length + 2);
    (*image)[base + offset + 1] = 3; // descriptor type, not read
    std::memcpy(&(*image)[base + offset + 2], text, length);
}

// The header's byte 1 places the block at byte1 * 256 + 84.
inline std::vector<uint8_t> EepromImage() {
    std::vector<uint8_t> image(0x8000, 0xFF);
    image[1] = 0x01;
    PutSerial(&image, 340, 0x30, kEepromSerial);
    return image;
}

// A header whose byte 1 is "P" places the block at 0x1000.
const uint32_t kFlashBlock = 0x1000;
const uint8_t kFlashSerialOffset = 0x40;
inline std::vector<uint8_t> FlashImage() {
    std::vector<uint8_t> image(0x4000, 0xFF);
    image[0] = 0x55;
    image[1] = 'P';
    PutSerial(&image, kFlashBlock, kFlashSerialOffset, kFlashSerial);
    return image;
}
