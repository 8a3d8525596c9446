// The register-library test fixture: camera transfers as text, and expected report and property
// buffers built field by field.
#include "chiplib/chip_test.h"

void ChipTest::TearDown() {
    EXPECT_EQ(winsim::PreparsedDataCount(), 0) << "preparsed data left";
    EXPECT_EQ(winsim::DeviceInfoListCount(), 0) << "SetupAPI sets left";
    EXPECT_EQ(winsim::HeapBlockCount(), 0) << "heap blocks left";
    EXPECT_EQ(winsim::LiveComObjects(), 0) << "COM objects left";
    ProgramTest::TearDown();
}

std::vector<std::string> ChipTest::Wire() {
    std::vector<std::string> out;
    for (const vcam::Transfer& t : camera.Transfers())
        out.push_back(vcam::Describe(t));
    camera.ClearTransfers();
    return out;
}

std::vector<BYTE> Report(BYTE id, std::initializer_list<BYTE> bytes, size_t dataSize) {
    std::vector<BYTE> r(1 + dataSize, 0);
    r[0] = id;
    size_t i = 1;
    for (BYTE b : bytes)
        r.at(i++) = b;
    return r;
}

std::vector<BYTE> Le32(DWORD value) {
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

std::vector<BYTE> Property(const uint8_t (&set)[16], ULONG id, ULONG flags, size_t size,
                           std::initializer_list<std::pair<size_t, std::vector<BYTE>>> at) {
    std::vector<BYTE> p(size, 0);
    std::copy(set, set + 16, p.begin());
    auto idBytes = Le32(id), flagBytes = Le32(flags);
    std::copy(idBytes.begin(), idBytes.end(), p.begin() + 16);
    std::copy(flagBytes.begin(), flagBytes.end(), p.begin() + 20);
    for (auto& field : at)
        for (size_t i = 0; i < field.second.size(); ++i)
            p.at(field.first + i) = field.second[i];
    return p;
}
