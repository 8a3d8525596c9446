// Finding the camera's HID interface among the system's, releasing everything the search took on
// every path, and the feature-report primitives.
#include "chiplib/chip_test.h"
#include "chiplib/hid_transport.h"

#include <cstring>

namespace {

class HidTransportTest : public ChipTest {
  protected:
    std::string CameraPath(int n = 0) { return winsim::HidPath(0xEB1A, 0x2860, n); }
    void AddCamera(int n = 0) {
        winsim::AddHidInterface(winsim::CameraHidInterface(CameraPath(n), &camera));
    }
    static void AddKeyboard(int n) {
        winsim::AddHidInterface(winsim::KeyboardHidInterface(winsim::HidPath(0x046D, 0xC31C, n)));
    }
    // An interface declaring the two report ids in the given places only.
    static winsim::HidInterface Declaring(int n, HIDP_REPORT_TYPE type, bool asButtons) {
        winsim::HidInterface h;
        h.path = winsim::HidPath(0x1234, 0x5678, n);
        for (BYTE id : {kCommandReportId, kDataReportId}) {
            if (asButtons)
                h.buttonCaps[type].push_back(winsim::ButtonCap(id));
            else
                h.valueCaps[type].push_back(winsim::ValueCap(id));
        }
        return h;
    }
    // The read/write opens, by path.
    static std::vector<std::string> ReadWriteOpens() {
        std::vector<std::string> paths;
        for (const auto& o : winsim::DeviceOpens())
            if (o.access == (GENERIC_READ | GENERIC_WRITE))
                paths.push_back(o.path);
        return paths;
    }
    static void CloseDevice(HANDLE h) {
        ASSERT_NE(h, nullptr);
        EXPECT_TRUE(CloseHandle(h));
    }
};

TEST_F(HidTransportTest, ASystemWithoutHidFindsNothingAndLeavesNothing) {
    HidDeviceInfo* records = nullptr;
    DWORD count = 99;
    ASSERT_TRUE(EnumerateHidDevices(&records, &count));
    EXPECT_EQ(count, 0u);
    ReleaseHidDevices(records, count);
    EXPECT_EQ(FindHidDevice(), nullptr);
    EXPECT_TRUE(winsim::DeviceOpens().empty());
}

TEST_F(HidTransportTest, TheFirstCameraInterfaceIsOpenedReadWriteAndShared) {
    AddKeyboard(0);
    winsim::AddHidInterface(winsim::MouseHidInterface(winsim::HidPath(0x046D, 0xC077, 1)));
    AddCamera(2);
    vcam::Camera second;
    winsim::AddHidInterface(winsim::CameraHidInterface(CameraPath(3), &second));

    HANDLE h = FindHidDevice();
    ASSERT_NE(h, nullptr);
    // Every interface is read through a query-only, shared open; only the camera is reopened.
    const auto& opens = winsim::DeviceOpens();
    ASSERT_EQ(opens.size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(opens[i].access, 0u) << i;
        EXPECT_EQ(opens[i].share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE)) << i;
        EXPECT_EQ(opens[i].creation, DWORD(OPEN_EXISTING)) << i;
        EXPECT_EQ(opens[i].flags, 0u) << i;
    }
    EXPECT_EQ(opens[4].path, CameraPath(2));
    EXPECT_EQ(opens[4].share, DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(opens[4].creation, DWORD(OPEN_EXISTING));
    EXPECT_EQ(opens[4].flags, 0u);
    EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{CameraPath(2)});
    // Only the returned handle survives the search, and it reaches the first camera.
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    BYTE command[4] = {0, 5, 1, 0};
    EXPECT_TRUE(SetFeatureReport(h, 41, kCommandReportId, command, 4));
    EXPECT_EQ(camera.Transfers().size(), 1u);
    EXPECT_TRUE(second.Transfers().empty());
    CloseDevice(h);
}

// Only present interfaces are asked for: an unplugged camera that SetupAPI still knows is never
// opened, not even for a query.
TEST_F(HidTransportTest, TheSearchAsksSetupApiForPresentInterfacesOnly) {
    AddCamera(0);
    winsim::RemoveHidInterface(CameraPath(0));
    AddKeyboard(1);
    AddCamera(2);
    HANDLE h = FindHidDevice();
    EXPECT_EQ(winsim::DeviceSetFlags(), std::vector<DWORD>{DIGCF_PRESENT | DIGCF_DEVICEINTERFACE});
    for (const winsim::DeviceOpen& o : winsim::DeviceOpens())
        EXPECT_NE(o.path, CameraPath(0));
    EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{CameraPath(2)});
    CloseDevice(h);
}

TEST_F(HidTransportTest, ReportsMustBeFeatureValuesOfOneInterface) {
    // Split over two interfaces, or declared as input, output or feature button items: no camera.
    winsim::HidInterface onlyCommand = Declaring(0, HidP_Feature, false);
    onlyCommand.valueCaps[HidP_Feature].pop_back();
    winsim::HidInterface onlyData = Declaring(1, HidP_Feature, false);
    onlyData.valueCaps[HidP_Feature].erase(onlyData.valueCaps[HidP_Feature].begin());
    winsim::AddHidInterface(onlyCommand);
    winsim::AddHidInterface(onlyData);
    winsim::AddHidInterface(Declaring(2, HidP_Input, false));
    winsim::AddHidInterface(Declaring(3, HidP_Output, false));
    winsim::AddHidInterface(Declaring(4, HidP_Feature, true));
    EXPECT_EQ(FindHidDevice(), nullptr);
    EXPECT_TRUE(ReadWriteOpens().empty());

    // Both as feature values, among other items, after all of them: found.
    winsim::HidInterface both = Declaring(5, HidP_Feature, false);
    both.valueCaps[HidP_Feature].insert(both.valueCaps[HidP_Feature].begin(),
                                        winsim::ValueCap(0x01));
    both.buttonCaps[HidP_Input].push_back(winsim::ButtonCap(0x02));
    winsim::AddHidInterface(both);
    HANDLE h = FindHidDevice();
    EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{both.path});
    CloseDevice(h);
}

TEST_F(HidTransportTest, TheRecordArrayDoublesFromEight) {
    struct Case {
        int interfaces;
        uint64_t growths;
    } cases[] = {{7, 0}, {8, 1}, {16, 2}, {17, 2}, {33, 3}};
    for (const Case& c : cases) {
        winsim::Reset();
        for (int i = 0; i + 1 < c.interfaces; ++i)
            AddKeyboard(i);
        AddCamera(c.interfaces);
        HANDLE h = FindHidDevice();
        EXPECT_EQ(winsim::CallCount("HeapReAlloc"), c.growths) << c.interfaces;
        EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{CameraPath(c.interfaces)});
        CloseDevice(h);
        EXPECT_EQ(winsim::HeapBlockCount(), 0) << c.interfaces;
        EXPECT_EQ(winsim::PreparsedDataCount(), 0) << c.interfaces;
        EXPECT_EQ(winsim::OpenHandleCount(), 0) << c.interfaces;
    }
}

// An interface that cannot be read (typically one being unplugged) must not hide the camera.
TEST_F(HidTransportTest, UnreadableInterfacesAreSkipped) {
    winsim::HidInterface gone = winsim::KeyboardHidInterface(winsim::HidPath(1, 1, 0));
    gone.openError = ERROR_FILE_NOT_FOUND;
    winsim::HidInterface noPreparsed = Declaring(1, HidP_Feature, false);
    noPreparsed.preparsedFails = true;
    winsim::HidInterface noAttributes = Declaring(2, HidP_Feature, false);
    noAttributes.attributesFails = true;
    winsim::HidInterface noCaps = Declaring(3, HidP_Feature, false);
    noCaps.capsFails = true;
    for (auto& h : {gone, noPreparsed, noAttributes, noCaps})
        winsim::AddHidInterface(h);
    AddKeyboard(4); // its detail cannot be fetched
    AddCamera(5);
    winsim::FailCall("SetupDiGetDeviceInterfaceDetailA", 10, ERROR_NO_SUCH_DEVICE);

    HANDLE h = FindHidDevice();
    EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{CameraPath(5)});
    // Handles are closed exactly where they were opened: three of the broken interfaces had
    // one, and so had the camera's query.
    EXPECT_EQ(winsim::CallCount("CloseHandle"), 4u);
    CloseDevice(h);
}

TEST_F(HidTransportTest, EveryAllocationFailureEndsTheSearchAndReleasesEverything) {
    for (int i = 0; i < 9; ++i)
        AddKeyboard(i); // nine: the array grows once
    AddCamera(9);
    HANDLE h = FindHidDevice();
    CloseDevice(h);
    const uint64_t allocations = winsim::CallCount("HeapAlloc");
    ASSERT_GT(allocations, 30u);
    for (const char* call : {"HeapAlloc", "HeapReAlloc"}) {
        uint64_t calls = call == std::string("HeapAlloc") ? allocations : 1;
        for (uint64_t n = 1; n <= calls; ++n) {
            winsim::FailCall(call, int(n), ERROR_NOT_ENOUGH_MEMORY);
            uint64_t opensBefore = winsim::DeviceOpens().size();
            EXPECT_EQ(FindHidDevice(), nullptr) << call << " " << n;
            EXPECT_EQ(winsim::HeapBlockCount(), 0) << call << " " << n;
            EXPECT_EQ(winsim::PreparsedDataCount(), 0) << call << " " << n;
            EXPECT_EQ(winsim::DeviceInfoListCount(), 0) << call << " " << n;
            EXPECT_EQ(winsim::OpenHandleCount(), 0) << call << " " << n;
            // The camera is never opened for reading and writing after a failed allocation.
            for (size_t o = opensBefore; o < winsim::DeviceOpens().size(); ++o)
                EXPECT_EQ(winsim::DeviceOpens()[o].access, 0u) << call << " " << n;
        }
    }
}

TEST_F(HidTransportTest, FailingEnumerationIsSkippedAndCannotRunForEver) {
    AddKeyboard(0);
    AddCamera(1);
    // A member that cannot be listed is skipped and the walk goes on...
    winsim::FailCall("SetupDiEnumDeviceInterfaces", 1, ERROR_GEN_FAILURE);
    HANDLE h = FindHidDevice();
    EXPECT_EQ(ReadWriteOpens(), std::vector<std::string>{CameraPath(1)});
    CloseDevice(h);

    // ...but a SetupAPI that never stops failing ends the walk after sixteen.
    winsim::FailAlways("SetupDiEnumDeviceInterfaces", ERROR_GEN_FAILURE);
    uint64_t before = winsim::CallCount("SetupDiEnumDeviceInterfaces");
    HidDeviceInfo* records;
    DWORD count;
    ASSERT_TRUE(EnumerateHidDevices(&records, &count));
    EXPECT_EQ(winsim::CallCount("SetupDiEnumDeviceInterfaces") - before, 16u);
    EXPECT_EQ(count, 15u);
    EXPECT_EQ(winsim::CallCount("HeapReAlloc"), 1u); // 8 to 16 records, no further
    for (DWORD i = 0; i < count; ++i)
        EXPECT_EQ(records[i].handle, nullptr) << i; // empty records, never closed
    uint64_t closes = winsim::CallCount("CloseHandle");
    ReleaseHidDevices(records, count);
    EXPECT_EQ(winsim::CallCount("CloseHandle"), closes);
}

TEST_F(HidTransportTest, NoDeviceSetOrNoReadWriteOpenMeansNothing) {
    AddCamera();
    winsim::FailCall("SetupDiGetClassDevsA");
    EXPECT_EQ(FindHidDevice(), nullptr);
    winsim::FailCall("CreateFileA", 2, ERROR_SHARING_VIOLATION); // the read/write open
    EXPECT_EQ(FindHidDevice(), nullptr);
    EXPECT_EQ(winsim::DeviceOpens().size(), 2u);
    // The first camera interface decides: a second camera is not opened in its place.
    AddCamera(1);
    size_t before = winsim::DeviceOpens().size();
    winsim::FailCall("CreateFileA", 3, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(FindHidDevice(), nullptr);
    EXPECT_EQ(winsim::DeviceOpens().size() - before, 3u); // two queries, one read/write open
    EXPECT_EQ(ReadWriteOpens(), (std::vector<std::string>{CameraPath(), CameraPath()}));
}

TEST_F(HidTransportTest, FeatureReportsTravelInTheCollectionsReportLength) {
    AddCamera();
    USHORT length = 0;
    HANDLE h = FindHidDevice(&length);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(length, 41); // report 0x93, the longest: its id and 40 data bytes

    // hidclass refuses a buffer shorter than the collection's longest report, also for the
    // 4-byte command report: its own n + 1 bytes do not get through.
    BYTE five[5] = {kCommandReportId, 0, 5, 2, 0};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(HidD_SetFeature(h, five, sizeof five));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(camera.Transfers().empty());

    camera.SetRegister(5, 0x40);
    camera.SetRegister(6, 0x04);
    BYTE command[4] = {0, 5, 2, 0};
    ASSERT_TRUE(SetFeatureReport(h, length, kCommandReportId, command, 4));
    // The device sees the addressed report alone.
    EXPECT_EQ(camera.Transfers()[0].sent, Report(0x87, {0, 5, 2, 0}, 4));

    // 40 data bytes: exactly the 40 bytes after the id come back.
    BYTE data[64];
    std::memset(data, 0xEE, sizeof data);
    ASSERT_TRUE(GetFeatureReport(h, length, kDataReportId, data, 40));
    EXPECT_EQ(camera.Transfers()[1].length, 41u);
    EXPECT_EQ(data[0], 0x40);
    EXPECT_EQ(data[1], 0x04);
    EXPECT_EQ(data[2], 0x00);
    EXPECT_EQ(data[39], 0x00);
    EXPECT_EQ(data[40], 0xEE);

    // A failed get leaves the destination alone.
    camera.FailTransfer(1);
    std::memset(data, 0xEE, sizeof data);
    EXPECT_FALSE(GetFeatureReport(h, length, kDataReportId, data, 40));
    EXPECT_EQ(data[0], 0xEE);

    // More than 64 data bytes, or a collection whose reports do not fit the 65-byte buffer, are
    // refused without a call.
    BYTE big[65] = {};
    uint64_t calls = winsim::CallCount("HidD_SetFeature") + winsim::CallCount("HidD_GetFeature");
    EXPECT_FALSE(SetFeatureReport(h, length, kDataReportId, big, 65));
    EXPECT_FALSE(GetFeatureReport(h, length, kDataReportId, big, 65));
    EXPECT_FALSE(SetFeatureReport(h, 66, kCommandReportId, command, 4));
    EXPECT_FALSE(GetFeatureReport(h, 66, kDataReportId, data, 40));
    EXPECT_EQ(winsim::CallCount("HidD_SetFeature") + winsim::CallCount("HidD_GetFeature"), calls);
    // The largest collection that fits is used whole.
    EXPECT_TRUE(SetFeatureReport(h, 65, kCommandReportId, command, 4));
    CloseDevice(h);
}

} // namespace
