// winsim's devices where no Windows conformance run can reach them (no HID device exists under
// Wine): feature-report sizes, system-owned interfaces, unplugging, the two-call interface
// detail, capability queries, and the extension-unit server's life cycle.
#include "chiplib/extension_unit.h"
#include "support/program_state.h"
#include "support/program_test.h"
#include "winsim/devices.h"

#include <cstring>

namespace {

class DevicesTest : public ProgramTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(winsim::LiveComObjects(), 0);
        EXPECT_EQ(winsim::PreparsedDataCount(), 0);
        ProgramTest::TearDown();
    }
    vcam::Camera camera;
    const std::string path = winsim::HidPath(0xEB1A, 0x2860, 0);
};

// Windows' rule: the buffer must be as long as the collection's longest feature report (41 bytes
// for the camera), whichever report it carries; Wine only checks the addressed report.
TEST_F(DevicesTest, FeatureReportsNeedTheCollectionsLongestReportLength) {
    winsim::AddHidInterface(winsim::CameraHidInterface(path, &camera));
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BYTE buffer[65] = {0x87, 0, 5, 1, 0};
    for (ULONG length : {4u, 5u, 40u}) {
        SetLastError(0);
        EXPECT_FALSE(HidD_SetFeature(h, buffer, length)) << length;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << length;
        EXPECT_FALSE(HidD_GetFeature(h, buffer, length)) << length;
    }
    buffer[0] = 0x42; // not declared
    EXPECT_FALSE(HidD_SetFeature(h, buffer, 41));
    EXPECT_TRUE(camera.Transfers().empty());
    // 41 bytes or more are cut to the addressed report: the device sees its id and four bytes.
    buffer[0] = 0x87;
    EXPECT_TRUE(HidD_SetFeature(h, buffer, 41));
    EXPECT_TRUE(HidD_SetFeature(h, buffer, 65));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(camera.Transfers()[0].sent.size(), 5u);
    EXPECT_EQ(camera.Transfers()[1].sent.size(), 5u);

    // Unplugged: the handle stays, its requests fail, and the next listing of present devices
    // misses it; a listing without DIGCF_PRESENT still has it, and its path no longer opens.
    winsim::RemoveHidInterface(path);
    EXPECT_FALSE(HidD_SetFeature(h, buffer, 41));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(CloseHandle(h));
    GUID hid;
    HidD_GetHidGuid(&hid);
    for (DWORD flags :
         {DWORD(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE), DWORD(DIGCF_DEVICEINTERFACE)}) {
        HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, flags);
        SP_DEVICE_INTERFACE_DATA member = {};
        member.cbSize = sizeof member;
        bool listed = SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &member);
        EXPECT_EQ(listed, flags == DIGCF_DEVICEINTERFACE) << flags;
        SetupDiDestroyDeviceInfoList(set);
    }
    EXPECT_EQ(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    // Plugged in again, it is one device again, listed once.
    winsim::AddHidInterface(winsim::CameraHidInterface(path, &camera));
    HDEVINFO set = SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA member = {};
    member.cbSize = sizeof member;
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &member));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 1, &member));
    SetupDiDestroyDeviceInfoList(set);
}

// A COM object belongs to the apartment it was made in: once the thread's last CoUninitialize
// has ended it, calls on the object fail and are counted, as a use after release would be.
TEST_F(DevicesTest, ComObjectsAreUnusableOnceTheirApartmentEnds) {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    CoInitialize(nullptr);
    IKsControl* control = winsim::NewCameraKsControl(&camera, true);
    CoUninitialize(); // the apartment goes on
    BYTE property[104] = {};
    ULONG returned = 0;
    control->KsProperty(reinterpret_cast<PKSPROPERTY>(property), 104, property, 104, &returned);
    EXPECT_EQ(winsim::StaleComCalls(), 0u);
    CoUninitialize(); // the last one: it ends
    EXPECT_TRUE(FAILED(control->KsProperty(reinterpret_cast<PKSPROPERTY>(property), 104, property,
                                           104, &returned)));
    EXPECT_EQ(winsim::StaleComCalls(), 1u);
    // A new apartment does not bring the old object back; its Release is a late use too.
    CoInitialize(nullptr);
    EXPECT_TRUE(FAILED(control->KsProperty(reinterpret_cast<PKSPROPERTY>(property), 104, property,
                                           104, &returned)));
    control->Release();
    EXPECT_EQ(winsim::StaleComCalls(), 3u);
    CoUninitialize();
    ResetProgramState(); // the counted misuse was this test's own
}

TEST_F(DevicesTest, KeyboardsOpenOnlyForQueries) {
    std::string keyboard = winsim::HidPath(0x046D, 0xC31C, 1);
    winsim::AddHidInterface(winsim::KeyboardHidInterface(keyboard));
    EXPECT_EQ(CreateFileA(keyboard.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    HANDLE h = CreateFileA(keyboard.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    PHIDP_PREPARSED_DATA data = nullptr;
    ASSERT_TRUE(HidD_GetPreparsedData(h, &data));
    HIDP_CAPS caps;
    ASSERT_EQ(HidP_GetCaps(data, &caps), HIDP_STATUS_SUCCESS);
    EXPECT_EQ(caps.NumberInputButtonCaps, 1);
    EXPECT_EQ(caps.NumberOutputButtonCaps, 1);
    // All items, a range matched by a usage inside it, and a buffer too small for every match.
    HIDP_BUTTON_CAPS buttons[2] = {};
    USHORT n = 2;
    EXPECT_EQ(HidP_GetSpecificButtonCaps(HidP_Input, 0x07, 0, 0x04, buttons, &n, data),
              HIDP_STATUS_SUCCESS);
    EXPECT_EQ(n, 1);
    n = 2;
    EXPECT_EQ(HidP_GetSpecificButtonCaps(HidP_Feature, 0, 0, 0, buttons, &n, data),
              HIDP_STATUS_USAGE_NOT_FOUND);
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(HidD_FreePreparsedData(data));
    EXPECT_FALSE(HidD_FreePreparsedData(data)); // freed already
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(DevicesTest, InterfaceDetailsComeInTwoCalls) {
    winsim::AddHidInterface(winsim::CameraHidInterface(path, &camera));
    GUID hid;
    HidD_GetHidGuid(&hid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA member = {};
    member.cbSize = sizeof member;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &member));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &member, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    std::vector<char> room(required);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(room.data());
    detail->cbSize = required; // the whole size instead of the record's: refused
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
    detail->cbSize = sizeof *detail;
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required - 1, nullptr, nullptr));
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &member, detail, required, nullptr, nullptr));
    EXPECT_EQ(std::string(detail->DevicePath), path);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(winsim::DeviceInfoListCount(), 0);
}

TEST_F(DevicesTest, TheExtensionUnitServerReachesTheCameraOnlyWhileOpen) {
    winsim::RegisterExtensionUnitServer(&camera);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    IExtensionUnitControl* unit = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ExtensionUnitControl, nullptr, CLSCTX_LOCAL_SERVER,
                               IID_IExtensionUnitControl, reinterpret_cast<void**>(&unit)),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(CoCreateInstance(CLSID_ExtensionUnitControl, nullptr, kExtensionUnitClassContext,
                               IID_IExtensionUnitControl, reinterpret_cast<void**>(&unit)),
              S_OK);
    BYTE frame = 1;
    EXPECT_LT(unit->SetUnitControl(1, 1, &frame), 0); // not open yet
    BOOL found = FALSE;
    EXPECT_EQ(unit->OpenUnit(&found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(unit->SetUnitControl(1, 1, &frame), S_OK);
    EXPECT_EQ(unit->CloseUnit(), S_OK);
    EXPECT_LT(unit->SetUnitControl(1, 1, &frame), 0);
    EXPECT_EQ(camera.Transfers().size(), 1u);
    EXPECT_EQ(unit->AddRef(), 2u);
    EXPECT_EQ(unit->Release(), 1u);
    EXPECT_EQ(unit->Release(), 0u);
    EXPECT_EQ(winsim::LiveComObjects(), 0);

    // Installed, but no camera to find: the unit opens with the flag clear.
    winsim::RegisterExtensionUnitServer(nullptr);
    ASSERT_EQ(CoCreateInstance(CLSID_ExtensionUnitControl, nullptr, kExtensionUnitClassContext,
                               IID_IExtensionUnitControl, reinterpret_cast<void**>(&unit)),
              S_OK);
    found = TRUE;
    EXPECT_EQ(unit->OpenUnit(&found), S_OK);
    EXPECT_FALSE(found);
    EXPECT_EQ(unit->Release(), 0u);
    CoUninitialize();
    EXPECT_EQ(winsim::CoInitializeDepth(), 0);
}

// No PPJoy driver can be installed under Wine, so these rules are shown here only. Windows
// documents that the byte count cannot be null without an OVERLAPPED; a driver checks its
// buffers and refuses what it does not know.
TEST_F(DevicesTest, ControlRequestsNeedTheirByteCountAndTheDriversSizes) {
    winsim::NamedDevice* ppjoy = winsim::AddPpjoyDevice();
    HANDLE h = CreateFileA("\\\\.\\PPJoyIOCTL1", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BYTE record[55] = {};
    DWORD returned = 0xdeadbeef;
    struct {
        DWORD code, size;
        LPDWORD returned;
        DWORD error;
    } refused[] = {
        {0x00220000, 54, nullptr, ERROR_INVALID_PARAMETER},
        {0x00220000, 53, &returned, ERROR_INVALID_PARAMETER},
        {0x00220000, 55, &returned, ERROR_INVALID_PARAMETER},
        {0x00220004, 54, &returned, ERROR_INVALID_FUNCTION},
    };
    for (const auto& r : refused) {
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(h, r.code, record, r.size, nullptr, 0, r.returned, nullptr));
        EXPECT_EQ(GetLastError(), r.error) << r.code << " " << r.size;
    }
    EXPECT_TRUE(ppjoy->ioctls.empty());
    EXPECT_TRUE(DeviceIoControl(h, 0x00220000, record, 54, nullptr, 0, &returned, nullptr));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(ppjoy->ioctls.size(), 1u);
    CloseHandle(h);
}

} // namespace
