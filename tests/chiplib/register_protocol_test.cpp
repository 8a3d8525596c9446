// Register, I2C and flash requests on each of the four transports, byte for byte on the wire of
// the virtual camera, with the framing, status checks and refusals around them.
#include "chiplib/chip_test.h"
#include "chiplib/extension_unit.h"
#include "chiplib/hid_transport.h"

#include <cstring>

namespace {

using Bytes = std::vector<BYTE>;

class RegisterProtocolTest : public ChipTest {
  protected:
    void TearDown() override {
        CloseLink();
        ChipTest::TearDown();
    }

    // Opens `transport` on the camera the way the library does, and clears the camera's record.
    TransportLink Open(BYTE transport) {
        CloseLink();
        link_ = TransportLink{transport, nullptr};
        switch (transport) {
        case TransportExtensionUnit: {
            winsim::RegisterExtensionUnitServer(&camera);
            CoInitialize(nullptr);
            IExtensionUnitControl* unit = nullptr;
            EXPECT_EQ(CoCreateInstance(CLSID_ExtensionUnitControl, nullptr,
                                       kExtensionUnitClassContext, IID_IExtensionUnitControl,
                                       reinterpret_cast<void**>(&unit)),
                      S_OK);
            BOOL found = FALSE;
            EXPECT_EQ(unit->OpenUnit(&found), S_OK);
            EXPECT_TRUE(found);
            link_.object = unit;
            break;
        }
        case TransportHid:
            winsim::AddHidInterface(
                winsim::CameraHidInterface(winsim::HidPath(0xEB1A, 0x2860, 0), &camera));
            link_.object = FindHidDevice(&link_.featureReportLength);
            break;
        case TransportVideoInput:
        case TransportReceiver:
            CoInitialize(nullptr); // the filters' interfaces live in the thread's apartment
            link_.object = winsim::NewCameraKsControl(&camera, transport == TransportReceiver);
            break;
        }
        EXPECT_NE(link_.object, nullptr);
        camera.ClearTransfers();
        return link_;
    }

    void CloseLink() {
        if (!link_.object)
            return;
        if (link_.transport == TransportExtensionUnit) {
            auto* unit = static_cast<IExtensionUnitControl*>(link_.object);
            unit->CloseUnit();
            EXPECT_EQ(unit->Release(), 0u);
            CoUninitialize();
        } else if (link_.transport == TransportHid) {
            EXPECT_TRUE(CloseHandle(link_.object));
        } else {
            EXPECT_EQ(static_cast<IKsControl*>(link_.object)->Release(), 0u);
            CoUninitialize();
        }
        link_ = TransportLink{TransportNone, nullptr};
    }

    // An EEPROM whose byte i holds i * 7, with the I2C engine on the EEPROM's bus.
    void EepromReady() {
        Bytes image(0x8000);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = BYTE(i * 7);
        camera.LoadEeprom(image);
        camera.SetRegister(vcam::kBusRegister, 0);
    }

    static I2cRequest EepromRead(BYTE high, BYTE low, BYTE readLength) {
        I2cRequest r = {};
        r.flags = kI2cWritePhase;
        r.deviceAddress = 0xA0;
        r.writeBytes[0] = high;
        r.writeBytes[1] = low;
        r.writeLength = 2;
        r.readLength = readLength;
        return r;
    }

    static FlashRequest FlashRead(DWORD address, BYTE readLength) {
        FlashRequest r = {};
        r.mode = 1;
        r.writeBytes[0] = 0x03;
        r.writeBytes[1] = BYTE(address >> 16);
        r.writeBytes[2] = BYTE(address >> 8);
        r.writeBytes[3] = BYTE(address);
        r.writeLength = 4;
        r.readLength = readLength;
        return r;
    }

    TransportLink link_ = {TransportNone, nullptr};
};

const BYTE kAllTransports[] = {TransportExtensionUnit, TransportHid, TransportVideoInput,
                               TransportReceiver};

TEST_F(RegisterProtocolTest, ARegisterReadOnEachTransport) {
    camera.SetRegister(5, 0x40);

    RegisterPacket p = {5, 1, {}};
    ASSERT_TRUE(RegisterRead(Open(TransportExtensionUnit), &p));
    EXPECT_EQ(Wire(), (std::vector<std::string>{"set 1 [02]", "set 2 [05 01]", "get 2 (1) -> [40]",
                                                "set 1 [01]"}));
    EXPECT_EQ(p.data[0], 0x40);

    p = {5, 1, {}};
    ASSERT_TRUE(RegisterRead(Open(TransportHid), &p));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Report(0x87, {0, 5, 1, 0}, 4));
    EXPECT_EQ(Sent(1), Report(0x93, {}, 40));
    EXPECT_EQ(camera.Transfers()[1].returned, Report(0x93, {0x40}, 40));
    EXPECT_EQ(p.data[0], 0x40);

    p = {5, 1, {}};
    ASSERT_TRUE(RegisterRead(Open(TransportVideoInput), &p));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Property(vcam::kVideoRegisterSet, 4101, 2, 32, {{24, Le32(0x0501)}}));
    EXPECT_EQ(Sent(1), Property(vcam::kVideoRegisterSet, 4102, 1, 32, {}));
    EXPECT_EQ(camera.Transfers()[1].length, 32u);
    EXPECT_EQ(p.data[0], 0x40);

    p = {5, 1, {}};
    ASSERT_TRUE(RegisterRead(Open(TransportReceiver), &p));
    ASSERT_EQ(camera.Transfers().size(), 1u);
    EXPECT_EQ(Sent(0), Property(vcam::kReceiverBusSet, 4150, 1, 104,
                                {{24, Le32(0xFF)}, {28, Le32(1)}, {32, Le32(1)}, {36, {5}}}));
    EXPECT_EQ(camera.Transfers()[0].length, 104u);
    EXPECT_EQ(p.data[0], 0x40);
}

// Which bytes of the value a read fills differs by transport; a canary shows which.
TEST_F(RegisterProtocolTest, ReadWidthsAndTheBytesEachTransportFills) {
    for (int r = 0; r < 8; ++r)
        camera.SetRegister(BYTE(0x20 + r), BYTE(0xB0 + r));
    struct Case {
        BYTE transport, count;
        Bytes data;
    } cases[] = {
        {TransportExtensionUnit, 1, {0xB0, 0xAA, 0xAA, 0xAA}},
        {TransportExtensionUnit, 2, {0xB0, 0xB1, 0xAA, 0xAA}},
        {TransportHid, 1, {0xB0, 0, 0, 0}}, // the report's first four bytes, whatever the count
        {TransportHid, 4, {0xB0, 0xB1, 0xB2, 0xB3}},
        {TransportVideoInput, 1, {0xB0, 0, 0, 0}}, // the whole 32-bit property value
        {TransportVideoInput, 3, {0xB0, 0, 0, 0}}, // a count of 3 goes out as width 1
        {TransportVideoInput, 2, {0xB0, 0xB1, 0, 0}},
        {TransportReceiver, 1, {0xB0, 0xAA, 0xAA, 0xAA}},
        {TransportReceiver, 3, {0xB0, 0xB1, 0xB2, 0xAA}},
    };
    for (const Case& c : cases) {
        RegisterPacket p = {0x20, c.count, {0xAA, 0xAA, 0xAA, 0xAA}};
        ASSERT_TRUE(RegisterRead(Open(c.transport), &p)) << int(c.transport) << "/" << int(c.count);
        EXPECT_EQ(Bytes(p.data, p.data + 4), c.data) << int(c.transport) << "/" << int(c.count);
    }
    for (BYTE count : {1, 2, 3, 4}) {
        RegisterPacket p = {0x20, count, {}};
        ASSERT_TRUE(RegisterRead(Open(TransportVideoInput), &p));
        DWORD width = count == 3 ? 1 : count;
        EXPECT_EQ(Sent(0),
                  Property(vcam::kVideoRegisterSet, 4101, 2, 32, {{24, Le32(0x2000 + width)}}));
    }
}

TEST_F(RegisterProtocolTest, ARegisterWriteOnEachTransport) {
    RegisterPacket p = {12, 2, {0x11, 0x22, 0x33, 0x44}};

    ASSERT_TRUE(RegisterWrite(Open(TransportExtensionUnit), &p));
    EXPECT_EQ(Wire(),
              (std::vector<std::string>{"set 1 [04]", "set 3 [0C 02 11 22]", "set 1 [01]"}));

    ASSERT_TRUE(RegisterWrite(Open(TransportHid), &p));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Report(0x87, {1, 0, 0, 0}, 4));
    EXPECT_EQ(Sent(1), Report(0x93, {12, 2, 0x11, 0x22}, 40));

    ASSERT_TRUE(RegisterWrite(Open(TransportVideoInput), &p));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Property(vcam::kVideoRegisterSet, 4101, 2, 32, {{24, Le32(0x0C02)}}));
    EXPECT_EQ(Sent(1),
              Property(vcam::kVideoRegisterSet, 4102, 2, 32, {{24, {0x11, 0x22, 0x33, 0x44}}}));

    camera.SetRegister(12, 0);
    camera.SetRegister(13, 0);
    ASSERT_TRUE(RegisterWrite(Open(TransportReceiver), &p));
    ASSERT_EQ(camera.Transfers().size(), 1u);
    EXPECT_EQ(Sent(0),
              Property(vcam::kReceiverBusSet, 4150, 2, 104,
                       {{24, Le32(0xFF)}, {28, Le32(3)}, {32, Le32(0)}, {36, {12, 0x11, 0x22}}}));
    EXPECT_EQ(camera.Register(12), 0x11);
    EXPECT_EQ(camera.Register(13), 0x22);
    EXPECT_EQ(camera.Register(14), 0x00);
}

TEST_F(RegisterProtocolTest, OneRegisterReadCostsFourTwoTwoAndOneTransfers) {
    const size_t expected[] = {4, 2, 2, 1};
    for (int i = 0; i < 4; ++i) {
        RegisterPacket p = {5, 1, {}};
        ASSERT_TRUE(RegisterRead(Open(kAllTransports[i]), &p));
        EXPECT_EQ(camera.Transfers().size(), expected[i]) << int(kAllTransports[i]);
    }
}

TEST_F(RegisterProtocolTest, AnI2cTransferOnTheExtensionUnitIsFramedAndChecked) {
    EepromReady();
    I2cRequest r = EepromRead(0x01, 0x10, 4);
    ASSERT_TRUE(I2cTransfer(Open(TransportExtensionUnit), &r));
    const std::vector<std::string> status = {"set 1 [02]", "set 2 [05 01]", "get 2 (1) -> [00]",
                                             "set 1 [01]"};
    std::vector<std::string> expected = {"set 1 [05]", "set 5 [A0 02 00 01 10]", "set 1 [01]"};
    expected.insert(expected.end(), status.begin(), status.end());
    for (const char* s :
         {"set 1 [03]", "set 4 [A0 04 01]", "get 4 (4) -> [70 77 7E 85]", "set 1 [01]"})
        expected.push_back(s);
    expected.insert(expected.end(), status.begin(), status.end());
    EXPECT_EQ(Wire(), expected);
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 4), (Bytes{0x70, 0x77, 0x7E, 0x85}));
}

TEST_F(RegisterProtocolTest, AnI2cTransferOverHid) {
    EepromReady();
    I2cRequest r = EepromRead(0x01, 0x10, 4);
    std::memset(r.readBytes, 0xEE, sizeof r.readBytes);
    ASSERT_TRUE(I2cTransfer(Open(TransportHid), &r));
    ASSERT_EQ(camera.Transfers().size(), 8u);
    EXPECT_EQ(Sent(0), Report(0x87, {3, 0, 0, 0}, 4));
    EXPECT_EQ(Sent(1), Report(0x93, {0xA0, 2, 0, 0x01, 0x10}, 40));
    EXPECT_EQ(Sent(2), Report(0x87, {0, 5, 1, 0}, 4)); // status
    EXPECT_EQ(Sent(4), Report(0x87, {2, 0xA0, 4, 1}, 4));
    EXPECT_EQ(Sent(5), Report(0x93, {}, 40));
    EXPECT_EQ(Sent(6), Report(0x87, {0, 5, 1, 0}, 4)); // status
    // The read area is zeroed first and gets the data report's 40 bytes.
    Bytes expected(64, 0);
    expected[0] = 0x70, expected[1] = 0x77, expected[2] = 0x7E, expected[3] = 0x85;
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 64), expected);
}

TEST_F(RegisterProtocolTest, AnI2cTransferOverKernelStreaming) {
    EepromReady();
    I2cRequest r = EepromRead(0x01, 0x10, 4);
    ASSERT_TRUE(I2cTransfer(Open(TransportVideoInput), &r));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0), Property(vcam::kVideoRegisterSet, 4137, 2, 104,
                                {{24, Le32(0xA0)}, {28, Le32(2)}, {32, Le32(4)}, {36, {1, 0x10}}}));
    EXPECT_EQ(Sent(1), Property(vcam::kVideoRegisterSet, 4138, 1, 104, {}));
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 4), (Bytes{0x70, 0x77, 0x7E, 0x85}));

    r = EepromRead(0x01, 0x10, 4);
    ASSERT_TRUE(I2cTransfer(Open(TransportReceiver), &r));
    ASSERT_EQ(camera.Transfers().size(), 1u);
    EXPECT_EQ(Sent(0), Property(vcam::kReceiverBusSet, 4150, 1, 104,
                                {{24, Le32(0xA0)}, {28, Le32(2)}, {32, Le32(4)}, {36, {1, 0x10}}}));
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 4), (Bytes{0x70, 0x77, 0x7E, 0x85}));
}

TEST_F(RegisterProtocolTest, AReadWithoutWritePhase) {
    EepromReady();
    // Transports 1 and 2 send no write phase; transport 3 still sends its one set.
    const size_t expected[] = {8, 4, 2, 1};
    for (int i = 0; i < 4; ++i) {
        I2cRequest r = {};
        r.deviceAddress = 0xA0;
        r.readLength = 2;
        ASSERT_TRUE(I2cTransfer(Open(kAllTransports[i]), &r)) << i;
        EXPECT_EQ(camera.Transfers().size(), expected[i]) << i;
    }
    EXPECT_EQ(Sent(0), Property(vcam::kReceiverBusSet, 4150, 1, 104,
                                {{24, Le32(0xA0)}, {28, Le32(0)}, {32, Le32(2)}}));
}

TEST_F(RegisterProtocolTest, TheStatusCheckFailsUnacknowledgedAndUnreadablePhases) {
    // The sensor bus is selected: the EEPROM never answers, though every transfer succeeds.
    camera.LoadEeprom(Bytes(256, 0x5A));
    for (BYTE t : {TransportExtensionUnit, TransportHid}) {
        I2cRequest r = EepromRead(0, 0, 1);
        EXPECT_FALSE(I2cTransfer(Open(t), &r)) << int(t);
        EXPECT_EQ(Wire().size(), t == TransportExtensionUnit ? 7u : 4u) << int(t);
    }

    // On the EEPROM's bus: a readable, clear status passes; an unreadable one is no proof and
    // fails the check, and with it a transfer whose own calls all succeeded.
    camera.SetRegister(vcam::kBusRegister, 0);
    camera.SetRegister(vcam::kStatusRegister, 0);
    for (BYTE t : {TransportExtensionUnit, TransportHid}) {
        TransportLink link = Open(t);
        EXPECT_TRUE(I2cStatusCheck(link)) << int(t);
        camera.FailTransfer(t == TransportExtensionUnit ? 3 : 2); // the status get
        EXPECT_FALSE(I2cStatusCheck(link)) << int(t);
        camera.FailTransfer(t == TransportExtensionUnit ? 6 : 4); // the write phase's status get
        I2cRequest r = EepromRead(0, 0, 1);
        EXPECT_FALSE(I2cTransfer(link, &r)) << int(t);
    }
}

TEST_F(RegisterProtocolTest, AFlashReadOnEachTransport) {
    Bytes image(0x4000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = BYTE(i >> 4);
    camera.LoadFlash(image);

    FlashRequest r = FlashRead(0x1230, 3);
    ASSERT_TRUE(FlashTransfer(Open(TransportExtensionUnit), &r));
    EXPECT_EQ(Wire(), (std::vector<std::string>{"set 1 [07]", "set 9 [00 04 00 03 00 12 30]",
                                                "set 1 [01]", "set 1 [03]", "set 8 [00 03 01]",
                                                "get 8 (3) -> [23 23 23]", "set 1 [01]"}));

    r = FlashRead(0x1230, 3);
    ASSERT_TRUE(FlashTransfer(Open(TransportHid), &r));
    ASSERT_EQ(camera.Transfers().size(), 4u);
    EXPECT_EQ(Sent(0), Report(0x87, {11, 0, 0, 0}, 4));
    EXPECT_EQ(Sent(1), Report(0x93, {0, 4, 0, 0x03, 0x00, 0x12, 0x30}, 40));
    EXPECT_EQ(Sent(2), Report(0x87, {10, 0, 3, 1}, 4));
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 4), (Bytes{0x23, 0x23, 0x23, 0}));

    r = FlashRead(0x1230, 3);
    ASSERT_TRUE(FlashTransfer(Open(TransportVideoInput), &r));
    ASSERT_EQ(camera.Transfers().size(), 2u);
    EXPECT_EQ(Sent(0),
              Property(vcam::kVideoRegisterSet, 4139, 2, 104,
                       {{24, Le32(0)}, {28, Le32(5)}, {32, Le32(3)}, {36, {1, 3, 0, 0x12, 0x30}}}));
    EXPECT_EQ(Sent(1), Property(vcam::kVideoRegisterSet, 4140, 1, 104, {}));
    EXPECT_EQ(Bytes(r.readBytes, r.readBytes + 3), (Bytes{0x23, 0x23, 0x23}));

    // The receiver's bus carries no flash: it fails without any traffic.
    r = FlashRead(0x1230, 3);
    EXPECT_FALSE(FlashTransfer(Open(TransportReceiver), &r));
    EXPECT_TRUE(camera.Transfers().empty());
}

TEST_F(RegisterProtocolTest, FramesCloseAfterAFailedTransferButNotAfterAFailedOpening) {
    RegisterPacket p = {5, 1, {}};
    TransportLink link = Open(TransportExtensionUnit);
    camera.FailTransfer(1);
    EXPECT_FALSE(RegisterRead(link, &p));
    EXPECT_EQ(Wire(), std::vector<std::string>{"set 1 [02] refused"});

    camera.FailTransfer(2);
    EXPECT_FALSE(RegisterRead(link, &p));
    EXPECT_EQ(Wire(),
              (std::vector<std::string>{"set 1 [02]", "set 2 [05 01] refused", "set 1 [01]"}));

    camera.FailTransfer(3);
    EXPECT_FALSE(RegisterRead(link, &p));
    EXPECT_EQ(Wire(), (std::vector<std::string>{"set 1 [02]", "set 2 [05 01]",
                                                "get 2 (1) -> [] refused", "set 1 [01]"}));

    // The closing frame's own failure does not matter.
    camera.FailTransfer(4);
    EXPECT_TRUE(RegisterRead(link, &p));
}

TEST_F(RegisterProtocolTest, AFailingFirstStepEndsTheRequest) {
    for (BYTE t : {TransportHid, TransportVideoInput}) {
        TransportLink link = Open(t);
        RegisterPacket p = {5, 1, {0xAA, 0xAA, 0xAA, 0xAA}};
        camera.FailTransfer(1);
        EXPECT_FALSE(RegisterRead(link, &p)) << int(t);
        EXPECT_EQ(Wire().size(), 1u) << int(t);
        EXPECT_EQ(p.data[0], 0xAA) << int(t);
        camera.FailTransfer(1);
        EXPECT_FALSE(RegisterWrite(link, &p)) << int(t);
        EXPECT_EQ(Wire().size(), 1u) << int(t);
    }
}

// Lengths that do not fit the records or the transport's reports never reach the device.
TEST_F(RegisterProtocolTest, OversizedRequestsAreRefusedUnsent) {
    EepromReady();
    for (BYTE t : kAllTransports) {
        TransportLink link = Open(t);
        RegisterPacket p = {5, 5, {0xAA, 0xAA, 0xAA, 0xAA}};
        EXPECT_FALSE(RegisterRead(link, &p)) << int(t);
        EXPECT_FALSE(RegisterWrite(link, &p)) << int(t);
        EXPECT_EQ(p.data[0], 0xAA);
        I2cRequest longWrite = EepromRead(0, 0, 1);
        longWrite.writeLength = 65;
        I2cRequest longRead = EepromRead(0, 0, 65);
        EXPECT_FALSE(I2cTransfer(link, &longWrite)) << int(t);
        EXPECT_FALSE(I2cTransfer(link, &longRead)) << int(t);
        FlashRequest longFlash = FlashRead(0, 65);
        EXPECT_FALSE(FlashTransfer(link, &longFlash)) << int(t);
        EXPECT_TRUE(camera.Transfers().empty()) << int(t);
    }

    // HID: 37 write bytes fill the data report after its 3 header bytes; 40 bytes come back.
    TransportLink hid = Open(TransportHid);
    I2cRequest fits = EepromRead(0, 0x20, 40);
    fits.writeLength = 37;
    fits.writeBytes[36] = 0x5C;
    EXPECT_TRUE(I2cTransfer(hid, &fits));
    EXPECT_EQ(Sent(1).back(), 0x5C);
    camera.ClearTransfers();
    I2cRequest tooLong = fits;
    tooLong.writeLength = 38;
    I2cRequest tooMuch = EepromRead(0, 0, 41);
    FlashRequest flashTooLong = FlashRead(0, 1);
    flashTooLong.writeLength = 38;
    EXPECT_FALSE(I2cTransfer(hid, &tooLong));
    EXPECT_FALSE(I2cTransfer(hid, &tooMuch));
    EXPECT_FALSE(FlashTransfer(hid, &flashTooLong));
    EXPECT_TRUE(camera.Transfers().empty());

    // Nothing open: nothing to send on.
    RegisterPacket p = {5, 1, {}};
    EXPECT_FALSE(RegisterRead(TransportLink{TransportNone, nullptr}, &p));
    EXPECT_FALSE(RegisterRead(TransportLink{TransportHid, nullptr}, &p));
}

} // namespace
