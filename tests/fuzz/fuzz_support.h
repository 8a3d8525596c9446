// What the fuzz targets share: the camera offered on a route, and the check that an input left
// nothing behind (a finding is an abort, which libFuzzer reports with its input).
#pragma once

#include "vcam/camera.h"

#include <cstddef>
#include <cstdint>

// 0 HID, 1 extension unit, 2 video input, 3 receiver component.
void OfferCamera(vcam::Camera* camera, int route);
// Aborts with a message when handles (beyond the program's own), registry keys, COM objects,
// heap blocks, HID records or strings are left.
void CheckNothingLeft(const char* target);

// Reads the input front to back; past its end every read gives 0.
struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint16_t Word() { return uint16_t(Byte() | (Byte() << 8)); }
    uint32_t Dword() { return uint32_t(Word()) | (uint32_t(Word()) << 16); }
    size_t Left() const { return at < size ? size - at : 0; }
};
