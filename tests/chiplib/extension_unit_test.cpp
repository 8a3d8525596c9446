// The extension-unit server's contract as the program declares it: the operations sit at the
// table positions the server has them (10 get, 11 set, 12 open, 13 close), counted from
// QueryInterface, so a call by position, as a C caller or another compiler makes it, lands on the
// named operation.
#include "chiplib/chip_test.h"
#include "chiplib/extension_unit.h"

namespace {

using SetOrGet = HRESULT(STDMETHODCALLTYPE*)(void* self, ULONG selector, ULONG length,
                                             BYTE* buffer);
using Open = HRESULT(STDMETHODCALLTYPE*)(void* self, BOOL* found);
using Close = HRESULT(STDMETHODCALLTYPE*)(void* self);
using Release = ULONG(STDMETHODCALLTYPE*)(void* self);

class ExtensionUnitTest : public ChipTest {};

TEST_F(ExtensionUnitTest, OperationsSitAtTheirTablePositions) {
    winsim::RegisterExtensionUnitServer(&camera);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    void* unit = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ExtensionUnitControl, nullptr, kExtensionUnitClassContext,
                               IID_IExtensionUnitControl, &unit),
              S_OK);
    void** table = *static_cast<void***>(unit);
    BOOL found = FALSE;
    EXPECT_EQ(reinterpret_cast<Open>(table[12])(unit, &found), S_OK);
    EXPECT_TRUE(found);
    camera.SetRegister(5, 0x40);
    BYTE frame = 2, request[2] = {5, 1}, value = 0;
    EXPECT_EQ(reinterpret_cast<SetOrGet>(table[11])(unit, 1, 1, &frame), S_OK);
    EXPECT_EQ(reinterpret_cast<SetOrGet>(table[11])(unit, 2, 2, request), S_OK);
    EXPECT_EQ(reinterpret_cast<SetOrGet>(table[10])(unit, 2, 1, &value), S_OK);
    EXPECT_EQ(value, 0x40);
    EXPECT_EQ(Wire(),
              (std::vector<std::string>{"set 1 [02]", "set 2 [05 01]", "get 2 (1) -> [40]"}));
    EXPECT_EQ(reinterpret_cast<Close>(table[13])(unit), S_OK);
    EXPECT_LT(reinterpret_cast<SetOrGet>(table[11])(unit, 1, 1, &frame), 0); // closed
    // Position 13 was CloseUnit, position 2 Release.
    EXPECT_EQ(winsim::CallCount("IExtensionUnitControl::CloseUnit"), 1u);
    EXPECT_EQ(reinterpret_cast<Release>(table[2])(unit), 0u);
    CoUninitialize();
}

} // namespace
