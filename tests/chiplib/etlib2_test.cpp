// The register library's interface: which transport opens, what each open and close holds and
// releases, and register requests under the library mutex that other processes share.
#include "chiplib/etlib2_test.h"

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
    EXPECT_FALSE(winsim::MutexExists(kLibraryMutexName));
}

TEST_F(EtLib2Test, HidWinsOverEveryOtherRouteWithoutAProbe) {
    OfferAllRoutes();
    ASSERT_EQ(etLib2_Init(), 1);
    EXPECT_EQ(gEtLib2.link.transport, TransportHid);
    EXPECT_TRUE(camera.Transfers().empty()); // nothing sent to prove the device answers
    EXPECT_TRUE(winsim::MutexExists(kLibraryMutexName));
    EXPECT_EQ(winsim::CallCount("ICreateDevEnum::CreateClassEnumerator"), 0u);
    EXPECT_EQ(winsim::OpenHandleCount(), 2); // the HID device and the mutex

    etLib2_Close();
    EXPECT_EQ(gEtLib2.open, 0);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_FALSE(winsim::MutexExists(kLibraryMutexName));
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
    EXPECT_EQ(Kinds(silent), (std::vector<std::string>{"set 4101 refused"}));
    EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"set 4101", "get 4102"}));
    EXPECT_EQ(winsim::LiveComObjects(), 1); // the answering filter's IKsControl only
    EXPECT_EQ(gEtLib2.workingFilter, nullptr);
    // One mutex wait per probe, each released again.
    EXPECT_EQ(winsim::MutexWaits().size(), 2u);
    EXPECT_EQ(winsim::MutexOwnedByProgram(kLibraryMutexName), 0);
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
    EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"get 4150"}));
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    etLib2_Close();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);

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
    ASSERT_EQ(winsim::MutexWaits().size(), 2u);
    for (const winsim::MutexWait& w : winsim::MutexWaits()) {
        EXPECT_EQ(w.name, kLibraryMutexName);
        EXPECT_EQ(w.timeout, kLibraryMutexWaitMs);
        EXPECT_EQ(w.result, DWORD(WAIT_OBJECT_0));
    }
    EXPECT_EQ(winsim::MutexOwnedByProgram(kLibraryMutexName), 0);

    // A failed transfer leaves the result untouched.
    camera.FailTransfer(2);
    value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(value, kCanary);
    EXPECT_EQ(winsim::MutexOwnedByProgram(kLibraryMutexName), 0);
}

TEST_F(EtLib2Test, AnotherProcessHoldingTheMutexFailsAfterOneSecond) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    camera.ClearTransfers();
    winsim::OtherProcessTakesMutex(kLibraryMutexName);
    DWORD value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(winsim::Now(), 1000u);
    EXPECT_EQ(value, kCanary);
    DWORD one = 1;
    EXPECT_EQ(etLib2_RegWrite(5, 1, &one), E_FAIL);
    EXPECT_EQ(winsim::Now(), 2000u);
    EXPECT_TRUE(camera.Transfers().empty());

    // Released after 400 ms: the request goes ahead then.
    winsim::After(400, [] { winsim::OtherProcessReleasesMutex(kLibraryMutexName); });
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), S_OK);
    EXPECT_EQ(winsim::Now(), 2400u);
    EXPECT_EQ(camera.Transfers().size(), 2u);
    etLib2_Close();
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_TRUE(winsim::MutexExists(kLibraryMutexName)); // the other process's handle
}

TEST_F(EtLib2Test, AbandonedMutexIsReleasedAndTheRequestFails) {
    OfferHid();
    ASSERT_EQ(etLib2_Init(), 1);
    camera.ClearTransfers();
    winsim::OtherProcessTakesMutex(kLibraryMutexName);
    winsim::After(100, [] { winsim::OtherProcessAbandonsMutex(kLibraryMutexName); });
    DWORD value = kCanary;
    EXPECT_EQ(etLib2_RegRead(5, 1, &value), E_FAIL);
    EXPECT_EQ(winsim::MutexWaits().back().result, DWORD(WAIT_ABANDONED));
    EXPECT_EQ(winsim::MutexOwnedByProgram(kLibraryMutexName), 0); // not kept
    EXPECT_TRUE(camera.Transfers().empty());
    EXPECT_EQ(value, kCanary);
    // The next request proceeds normally.
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

TEST_F(EtLib2Test, ProbeWaitsForThePeerAndSkipsTheDeviceWhenItCannot) {
    OfferVideoInput();
    winsim::OtherProcessTakesMutex(kLibraryMutexName);
    EXPECT_EQ(etLib2_Init(), 0);
    EXPECT_EQ(winsim::Now(), 1000u);
    EXPECT_TRUE(camera.Transfers().empty()); // no register select between the peer's requests
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_EQ(winsim::LiveComObjects(), 0);
}

} // namespace
