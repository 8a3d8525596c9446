// The register library's interface: which transport opens, what each open and close holds and
// releases, and register requests under the library mutex that other processes share.
#include "chiplib/etlib2_test.h"

#include "support/program_state.h"
#include "winsim/system.h"

namespace {

const DWORD kCanary = 0xDEADBEEF;

class EtLib2Test : public EtLib2Fixture {};

TEST_F(EtLib2Test, NothingOpenMeansFailureAndNoWrites) {
    DWORD value = kCanary, zero = 0;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(etLib2_RegWrite(5, 1, &zero), E_FAIL);
    char text[kDeviceStringBytes] = {};
    EXPECT_EQ(etLib2_GetDeviceString(1, text), E_FAIL);

    // No camera: 0, COM left initialised, and a close that touches nothing.
    EXPECT_EQ(etLib2_Init(), 0);
    EXPECT_EQ(gEtLib2.link.transport, TransportNone);
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(value, kCanary);
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);
    etLib2_Close();
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);
    EXPECT_EQ(winsim::CallCount("CoUninitialize"), 0u);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_FALSE(winsim::MutexExists(kSharedLibraryMutex));
}

TEST_F(EtLib2Test, HidWinsOverEveryOtherRouteWithoutAProbe) {
    OfferAllRoutes();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportHid);
    EXPECT_TRUE(camera.Transfers().empty()); // nothing sent to prove the device answers
    EXPECT_TRUE(winsim::MutexExists(kSharedLibraryMutex));
    EXPECT_EQ(winsim::CallCount("ICreateDevEnum::CreateClassEnumerator"), 0u);
    EXPECT_EQ(winsim::OpenHandleCount(), 2); // the HID device and the mutex

    etLib2_Close();
    EXPECT_EQ(gEtLib2.open, 0);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_FALSE(winsim::MutexExists(kSharedLibraryMutex));
    EXPECT_EQ(winsim::CoInitializeDepth(), 0);
}

TEST_F(EtLib2Test, ExtensionUnitHoldsUnitAndFilterUntilClose) {
    OfferExtensionUnit();
    OfferVideoInput(); // a second video device that would also answer on transport 3
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportExtensionUnit);
    EXPECT_NE(gEtLib2.unitFilter, nullptr);
    EXPECT_EQ(winsim::LiveComObjects(), 2); // the unit and its filter, nothing else
    EXPECT_TRUE(camera.Transfers().empty());
    EXPECT_EQ(winsim::OpenHandleCount(), 1);

    etLib2_Close();
    EXPECT_EQ(winsim::CallCount("IExtensionUnitControl::CloseUnit"), 1u);
    EXPECT_EQ(winsim::LiveComObjects(), 0);
    EXPECT_EQ(gEtLib2.unitFilter, nullptr);
    EXPECT_EQ(winsim::CoInitializeDepth(), 0);
}

TEST_F(EtLib2Test, KsTransportsProbeEachDeviceUnderTheMutex) {
    // The first video device does not answer its probe, the second cannot be bound, the third
    // answers.
    vcam::Camera silent;
    winsim::AddVideoInputDevice("USB 2800 Video", "video#silent",
                                winsim::FilterFactory({&silent, false, false, {}}));
    winsim::AddVideoInputDevice("USB 2800 Video", "video#unbound", nullptr);
    OfferVideoInput();
    silent.FailTransfer(1);
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportVideoInput);
    // The probe reads register 0x0A, one byte.
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Property(vcam::kVideoRegisterSet, 4101, 2, 32, {{24, Le32(0x0A01)}}));
    EXPECT_EQ(Kinds(silent), (std::vector<std::string>{"set 4101 refused"}));
    EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"set 4101", "get 4102"}));
    EXPECT_EQ(winsim::LiveComObjects(), 1); // the answering filter's IKsControl only
    EXPECT_EQ(gEtLib2.workingFilter, nullptr);
    // One mutex wait per probe, each released again.
    EXPECT_EQ(winsim::MutexWaits().size(), 2u);
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0);
    etLib2_Close();
    EXPECT_EQ(winsim::LiveComObjects(), 0);
}

TEST_F(EtLib2Test, ReceiverFollowsWhenNoVideoDeviceAnswers) {
    vcam::Camera silent;
    winsim::AddVideoInputDevice("USB 2800 Video", "video#silent",
                                winsim::FilterFactory({&silent, false, false, {}}));
    silent.FailTransfer(1);
    OfferReceiver();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportReceiver);
    ASSERT_EQ(camera.Transfers().size(), 1u);
    EXPECT_EQ(Sent(0), Property(vcam::kReceiverBusSet, 4150, 1, 104,
                                {{24, Le32(0xFF)}, {28, Le32(1)}, {32, Le32(1)}, {36, {0x0A}}}));
    EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"get 4150"}));
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    etLib2_Close();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);

    // A camera answering on both: the video input device comes first.
    OfferVideoInput();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportVideoInput);
    etLib2_Close();

    // Nothing answers at all: closed, nothing held, the mutex gone again.
    winsim::RemoveSystemDevices();
    winsim::AddReceiverComponent("Receiver", "receiver#silent",
                                 winsim::FilterFactory({&silent, true, false, {}}));
    silent.FailTransfer(1);
    EXPECT_EQ(etLib2_Init(), 0);
    EXPECT_EQ(gEtLib2.link.transport, TransportNone);
    EXPECT_EQ(winsim::LiveComObjects(), 0);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
}

TEST_F(EtLib2Test, InitWhileOpenClosesFirstAndBalancesCom) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    HANDLE firstMutex = gEtLib2.libraryMutex;
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(WaitForSingleObject(firstMutex, 0), WAIT_FAILED); // the first one is closed
    EXPECT_EQ(winsim::OpenHandleCount(), 2);
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);

    // Re-initialised onto another route once the HID interface is gone.
    winsim::RemoveHidInterface(HidPathOfCamera());
    OfferReceiver();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportReceiver);
    EXPECT_EQ(winsim::CoInitializeDepth(), 1);
    etLib2_Close();
    EXPECT_EQ(winsim::CoInitializeDepth(), 0);
}

TEST_F(EtLib2Test, RegistersAreReadAndWrittenUnderTheMutex) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    camera.SetRegister(5, 0x40);
    DWORD value = kCanary;
    ASSERT_EQ(etLib2_RegRead(0x105, 0x101, &value), S_OK); // low 8 bits of each
    EXPECT_EQ(value & 0xFF, 0x40u);
    DWORD zero = 0;
    ASSERT_EQ(etLib2_RegWrite(5, 1, &zero), S_OK);
    EXPECT_EQ(camera.Register(5), 0);
    // A wider value goes out little-endian, and comes back so above the low byte.
    DWORD word = 0xA55A;
    ASSERT_EQ(etLib2_RegWrite(0x20, 2, &word), S_OK);
    EXPECT_EQ(camera.Register(0x20), 0x5A);
    EXPECT_EQ(camera.Register(0x21), 0xA5);
    value = kCanary;
    ASSERT_EQ(etLib2_RegRead(0x20, 2, &value), S_OK);
    EXPECT_EQ(value, 0xA55Au);
    ASSERT_EQ(winsim::MutexWaits().size(), 4u);
    for (const winsim::MutexWait& w : winsim::MutexWaits()) {
        EXPECT_EQ(w.name, kSharedLibraryMutex);
        EXPECT_EQ(w.timeout, kSharedLibraryWaitMs);
        EXPECT_EQ(w.result, DWORD(WAIT_OBJECT_0));
    }
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0);

    // A failed transfer leaves the result untouched.
    camera.FailTransfer(2);
    value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(value, kCanary);
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0);
}

// A device that answers a whole data word (HID and the video filter may) fills the bytes past
// the count with the following registers: a count-1 read of register 5 is register 5 alone.
TEST_F(EtLib2Test, ReadsKeepTheBytesAskedForOnEveryTransport) {
    const std::pair<const char*, void (EtLib2Fixture::*)()> routes[] = {
        {"hid", &EtLib2Fixture::OfferHid},
        {"extension unit", &EtLib2Fixture::OfferExtensionUnit},
        {"video input", &EtLib2Fixture::OfferVideoInput},
        {"receiver", &EtLib2Fixture::OfferReceiver}};
    for (const auto& route : routes) {
        ResetProgramState();
        camera.SetWideRegisterReads(true);
        (this->*route.second)();
        ASSERT_EQ(etLib2_Init(), 1) << route.first;
        const BYTE registers[4] = {0x40, 0x04, 0x77, 0x88};
        for (BYTE i = 0; i < 4; ++i)
            camera.SetRegister(BYTE(5 + i), registers[i]);
        const std::pair<DWORD, DWORD> reads[] = {{1, 0x40}, {2, 0x0440}, {4, 0x88770440}};
        for (const auto& read : reads) {
            DWORD value = kCanary;
            EXPECT_EQ(etLib2_RegRead(5, read.first, &value), S_OK) << route.first;
            EXPECT_EQ(value, read.second) << route.first << " count " << read.first;
        }
        etLib2_Close();
    }
}

// Windows takes a feature report only in a buffer as long as the collection's longest feature
// report; a camera that declares one longer than the data report is still reached.
TEST_F(EtLib2Test, HidReportsGoOutInTheCollectionsLongestReportLength) {
    winsim::HidInterface hid = winsim::CameraHidInterface(HidPathOfCamera(), &camera);
    hid.valueCaps[HidP_Feature].push_back(winsim::ValueCap(0x95, 0xFF00, 3, 60));
    hid.featureReports.push_back({0x95, 60});
    winsim::AddHidInterface(hid);
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.featureReportLength, 61);
    camera.SetRegister(5, 0x40);
    DWORD value = kCanary, zero = 0;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(value, 0x40u);
    EXPECT_EQ(etLib2_RegWrite(5, 1, &zero), S_OK);
    EXPECT_EQ(camera.Register(5), 0);
    // The device still sees each report in its own length.
    for (const vcam::Transfer& t : camera.Transfers())
        EXPECT_EQ(t.length, t.id == 0x87 ? 5u : 41u) << vcam::Describe(t);
    etLib2_Close();

    // A collection whose longest report does not fit the 65-byte buffer is opened, but every
    // request is refused before it reaches the device.
    ResetProgramState();
    hid = winsim::CameraHidInterface(HidPathOfCamera(), &camera);
    hid.valueCaps[HidP_Feature].push_back(winsim::ValueCap(0x95, 0xFF00, 3, 65));
    hid.featureReports.push_back({0x95, 65});
    winsim::AddHidInterface(hid);
    camera.ClearTransfers();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(winsim::CallCount("HidD_SetFeature") + winsim::CallCount("HidD_GetFeature"), 0u);
    EXPECT_TRUE(camera.Transfers().empty());
}

TEST_F(EtLib2Test, AnotherProcessHoldingTheMutexFailsAfterOneSecond) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    camera.ClearTransfers();
    winsim::OtherProcessTakesMutex(kSharedLibraryMutex);
    DWORD value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(winsim::Now(), 1000u);
    EXPECT_EQ(value, kCanary);
    DWORD one = 1;
    EXPECT_EQ(etLib2_RegWrite(5, 1, &one), E_FAIL);
    EXPECT_EQ(winsim::Now(), 2000u);
    EXPECT_TRUE(camera.Transfers().empty());

    // Released after 400 ms: the request goes ahead then.
    winsim::After(400, [] { winsim::OtherProcessReleasesMutex(kSharedLibraryMutex); });
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(winsim::Now(), 2400u);
    EXPECT_EQ(camera.Transfers().size(), 2u);
    etLib2_Close();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_TRUE(winsim::MutexExists(kSharedLibraryMutex)); // the other process's handle
}

TEST_F(EtLib2Test, AbandonedMutexIsTakenOverForTheRequestAndReleased) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    camera.ClearTransfers();
    camera.SetRegister(5, 0x40);
    winsim::OtherProcessTakesMutex(kSharedLibraryMutex);
    winsim::After(100, [] { winsim::OtherProcessAbandonsMutex(kSharedLibraryMutex); });
    // The dead process handed the lock over: the read goes ahead under it, which a failure
    // here would not (an attachment would then lose a working camera).
    DWORD value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(value, 0x40u);
    EXPECT_EQ(winsim::MutexWaits().back().result, DWORD(WAIT_ABANDONED));
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0); // not kept past the request
    EXPECT_EQ(camera.Transfers().size(), 2u);
    // The next request waits normally.
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(winsim::MutexWaits().back().result, DWORD(WAIT_OBJECT_0));
}

TEST_F(EtLib2Test, MutexThatCannotBeCreatedFailsEveryRequest) {
    OfferHid();
    winsim::FailCall("CreateMutexA");
    ASSERT_EQ(etLib2_Init(), 1); // stored unchecked
    DWORD value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(value, kCanary);
    EXPECT_TRUE(camera.Transfers().empty());
}

// A peer that keeps the lock past the wait, or dies holding it, must not cost a working camera:
// the one-read probe goes ahead without the lock, or under the lock it inherited.
TEST_F(EtLib2Test, ProbeThatCannotHaveTheLockStillFindsTheCamera) {
    for (bool abandoned : {false, true}) {
        winsim::Reset();
        camera.ClearTransfers();
        OfferVideoInput();
        winsim::OtherProcessTakesMutex(kSharedLibraryMutex);
        if (abandoned)
            winsim::After(300, [] { winsim::OtherProcessAbandonsMutex(kSharedLibraryMutex); });
        EXPECT_EQ(etLib2_Init(), 1) << abandoned;
        EXPECT_EQ(gEtLib2.link.transport, TransportVideoInput) << abandoned;
        EXPECT_EQ(winsim::Now(), abandoned ? 300u : 1000u);
        EXPECT_EQ(winsim::MutexWaits().back().result,
                  DWORD(abandoned ? WAIT_ABANDONED : WAIT_TIMEOUT));
        EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"set 4101", "get 4102"})) << abandoned;
        EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0) << abandoned;
        etLib2_Close();
        EXPECT_EQ(winsim::OpenHandleCount(), 0) << abandoned;
        EXPECT_EQ(winsim::LiveComObjects(), 0) << abandoned;
    }
}

} // namespace
