// The fixture of the register-library tests: a virtual camera, the routes to it, and at the end
// no handle, preparsed data, SetupAPI set, heap block or COM object left behind.
#pragma once

#include "chiplib/register_protocol.h"
#include "support/program_test.h"
#include "winsim/devices.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

class ChipTest : public ProgramTest {
  protected:
    void TearDown() override;

    // The camera's transfers since the last call, as vcam::Describe gives them.
    std::vector<std::string> Wire();
    // The bytes of the n-th transfer since the last ClearTransfers (0-based).
    std::vector<BYTE> Sent(size_t n) const { return camera.Transfers().at(n).sent; }

    vcam::Camera camera;
};

// A feature report buffer as it reaches the device: the id, the bytes, zeros to the report size.
std::vector<BYTE> Report(BYTE id, std::initializer_list<BYTE> bytes, size_t dataSize);

// A property buffer of `size` bytes: the set's 16 bytes, id and flags, then the given bytes at
// their offsets, zeros elsewhere.
std::vector<BYTE> Property(const uint8_t (&set)[16], ULONG id, ULONG flags, size_t size,
                           std::initializer_list<std::pair<size_t, std::vector<BYTE>>> at);

std::vector<BYTE> Le32(DWORD value);
