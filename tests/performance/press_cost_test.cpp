// What a press costs on the register source over HID as the system's HID interfaces grow: the
// library's reopen reads each interface once through a query-only open and opens the camera's
// read/write once, the camera sees the same transfers whatever the count, and the search leaves
// nothing behind.
#include "app/shell.h"
#include "chiplib/etlib2_test.h"
#include "sources/button_source.h"

#include <string>
#include <vector>

namespace {

// The status read (command report, data report) and the acknowledgement (command report, data
// report); finding the interface again reads descriptors, not the camera.
const size_t kPressTransfers = 4;

class PressCostTest : public EtLib2Fixture, public ::testing::WithParamInterface<int> {
  protected:
    // GetParam() HID interfaces, keyboards first and the camera last so that the search passes
    // every other one; the register source attached and one steady tick made. Their paths in
    // the system's order.
    std::vector<std::string> AttachAmongInterfaces() {
        std::vector<std::string> interfaces;
        for (int i = 0; i + 1 < GetParam(); ++i) {
            interfaces.push_back(winsim::HidPath(0x046D, 0xC31C, i));
            winsim::AddHidInterface(winsim::KeyboardHidInterface(interfaces.back()));
        }
        interfaces.push_back(HidPathOfCamera());
        OfferHid();
        LoadSerialNumber();
        AttachButtonSource();
        EXPECT_TRUE(gButtonSource.registerSource);
        Sleep(200);
        PollOnce();
        EXPECT_EQ(Keys(), "");
        return interfaces;
    }
    void Press() {
        camera.PressButton();
        Sleep(200);
        PollOnce();
    }
};

TEST_P(PressCostTest, EveryInterfaceIsQueriedOnceAndOnlyTheCameraOpenedReadWrite) {
    const std::vector<std::string> interfaces = AttachAmongInterfaces();
    ASSERT_TRUE(gButtonSource.registerSource);
    const size_t opensBefore = winsim::DeviceOpens().size();
    const size_t transfersBefore = camera.TransferCount();
    const int handlesBefore = winsim::OpenHandleCount(); // the library's mutex and camera handle

    Press();

    EXPECT_EQ(Keys(), "Space+ Space-");
    EXPECT_EQ(camera.Register(vcam::kStatusRegister) & vcam::kButtonLatch, 0)
        << "the press was acknowledged";
    const std::vector<winsim::DeviceOpen>& opens = winsim::DeviceOpens();
    std::vector<std::string> queried, readWrite;
    for (size_t i = opensBefore; i < opens.size(); ++i) {
        if (opens[i].access == 0)
            queried.push_back(opens[i].path);
        else if (opens[i].access == (GENERIC_READ | GENERIC_WRITE))
            readWrite.push_back(opens[i].path);
        else
            ADD_FAILURE() << opens[i].path << " opened with access " << opens[i].access;
    }
    EXPECT_EQ(queried, interfaces) << "each interface once, in the system's order";
    EXPECT_EQ(readWrite, std::vector<std::string>{HidPathOfCamera()});
    EXPECT_EQ(camera.TransferCount() - transfersBefore, kPressTransfers);
    EXPECT_EQ(winsim::OpenHandleCount(), handlesBefore);
    EXPECT_EQ(winsim::PreparsedDataCount(), 0);
    EXPECT_EQ(winsim::DeviceInfoListCount(), 0);
    EXPECT_EQ(winsim::HeapBlockCount(), 0);

    // The tick after the press releases the latch without searching again.
    const size_t opensAfterPress = opens.size();
    Sleep(200);
    PollOnce();
    EXPECT_EQ(winsim::DeviceOpens().size(), opensAfterPress);
    EXPECT_FALSE(gButtonSource.pressLatch);
    DetachButtonSource();
}

// The benchmarks' way: with the records off, the counts alone show the same press.
TEST_P(PressCostTest, WithTheRecordsOffTheOpensAreCountedAlike) {
    AttachAmongInterfaces();
    ASSERT_TRUE(gButtonSource.registerSource);
    camera.SetRecording(false);
    winsim::RecordCallLog(false);
    const size_t recorded = winsim::DeviceOpens().size();
    const winsim::OpenCounts before = winsim::DeviceOpenCounts();
    const size_t transfersBefore = camera.TransferCount();

    Press();

    const winsim::OpenCounts after = winsim::DeviceOpenCounts();
    EXPECT_EQ(after.queryOnly - before.queryOnly, uint64_t(GetParam()));
    EXPECT_EQ(after.readWrite - before.readWrite, 1u);
    EXPECT_EQ(after.other, before.other);
    EXPECT_EQ(winsim::DeviceOpens().size(), recorded) << "nothing recorded";
    EXPECT_EQ(camera.TransferCount() - transfersBefore, kPressTransfers);
    EXPECT_EQ(Keys(), "Space+ Space-");
    DetachButtonSource();
}

INSTANTIATE_TEST_SUITE_P(HidInterfaces, PressCostTest, ::testing::Values(1, 10, 100, 1000),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Interfaces";
                         });

} // namespace
