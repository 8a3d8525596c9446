// The virtual camera on its own: the chip's register rules, the I2C bus and the flash, and the
// requests each route refuses, as a real device would.
#include "vcam/camera.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A complete set of the extension unit: the frame announcing its length, then the control.
int32_t FramedSet(vcam::Camera& c, uint32_t selector, Bytes bytes) {
    uint8_t n = uint8_t(bytes.size());
    c.SetUnitControl(1, 1, &n);
    int32_t hr = c.SetUnitControl(selector, uint32_t(bytes.size()), bytes.data());
    uint8_t one = 1;
    c.SetUnitControl(1, 1, &one);
    return hr;
}

Bytes UnitGet(vcam::Camera& c, uint32_t selector, uint32_t length, int32_t* hr) {
    Bytes out(length, 0xEE);
    *hr = c.GetUnitControl(selector, length, out.data());
    return out;
}

TEST(CameraTest, APressLatchesAndWritesClearOnlyTheLatches) {
    vcam::Camera c;
    c.SetRegister(5, vcam::kConfigInFlash | vcam::kI2cError);
    c.PressButton();
    EXPECT_EQ(c.Register(5), 0xD0);
    EXPECT_EQ(c.Register(12), 0x20);
    // The I2C status and the configuration strap are the chip's: a write of 0 keeps them.
    EXPECT_EQ(FramedSet(c, 3, {5, 1, 0}), vcam::kOk);
    EXPECT_EQ(c.Register(5), 0x90);
    EXPECT_EQ(FramedSet(c, 3, {12, 1, 0}), vcam::kOk);
    EXPECT_EQ(c.Register(12), 0);
}

TEST(CameraTest, TheExtensionUnitWantsFramesAndAPendingRead) {
    vcam::Camera c;
    Bytes read = {5, 1};
    // Without the frame the control's length does not match the announced one.
    EXPECT_LT(c.SetUnitControl(2, 2, read.data()), 0);
    int32_t hr;
    UnitGet(c, 2, 1, &hr);
    EXPECT_LT(hr, 0);
    EXPECT_EQ(FramedSet(c, 2, read), vcam::kOk);
    UnitGet(c, 2, 2, &hr); // not the length asked for
    EXPECT_LT(hr, 0);
    EXPECT_EQ(FramedSet(c, 2, read), vcam::kOk);
    EXPECT_EQ(UnitGet(c, 2, 1, &hr), Bytes{0});
    EXPECT_EQ(hr, vcam::kOk);
    UnitGet(c, 2, 1, &hr); // collected already
    EXPECT_LT(hr, 0);
    EXPECT_EQ(FramedSet(c, 7, {1, 2, 3}), vcam::kFail); // no such selector
}

TEST(CameraTest, HidDataReportsBelongToACommand) {
    vcam::Camera c;
    uint8_t data[41] = {vcam::kDataReport, 12, 1, 0x33};
    EXPECT_FALSE(c.HidSetFeature(data, sizeof data));
    uint8_t write[5] = {vcam::kCommandReport, 1, 0, 0, 0};
    EXPECT_TRUE(c.HidSetFeature(write, sizeof write));
    EXPECT_TRUE(c.HidSetFeature(data, sizeof data));
    EXPECT_EQ(c.Register(12), 0x33);
    EXPECT_FALSE(c.HidSetFeature(data, sizeof data)); // the command was used up
    uint8_t unknown[5] = {vcam::kCommandReport, 7, 0, 0, 0};
    EXPECT_FALSE(c.HidSetFeature(unknown, sizeof unknown));
    uint8_t shortCommand[4] = {vcam::kCommandReport, 0, 5, 1};
    EXPECT_FALSE(c.HidSetFeature(shortCommand, sizeof shortCommand));
    ASSERT_EQ(c.Transfers().size(), 6u);
    EXPECT_FALSE(c.Transfers()[0].ok);
    EXPECT_TRUE(c.Transfers()[2].ok);
    EXPECT_FALSE(c.Transfers()[5].ok);
}

TEST(CameraTest, TheEepromAnswersOnItsOwnBusHighAddressByteFirst) {
    vcam::Camera c;
    Bytes image(0x1000, 0);
    image[0x0123] = 0x77;
    c.LoadEeprom(image);
    // The sensor bus is selected at power-up: nobody acknowledges 0xA0.
    EXPECT_EQ(FramedSet(c, 5, {0xA0, 2, 0, 0x01, 0x23}), vcam::kOk);
    EXPECT_TRUE(c.Register(5) & vcam::kI2cError);
    c.SetRegister(6, 0);
    EXPECT_EQ(FramedSet(c, 5, {0xA0, 2, 0, 0x01, 0x23}), vcam::kOk);
    EXPECT_FALSE(c.Register(5) & vcam::kI2cError);
    EXPECT_EQ(FramedSet(c, 4, {0xA0, 2, 1}), vcam::kOk);
    int32_t hr;
    EXPECT_EQ(UnitGet(c, 4, 2, &hr), (Bytes{0x77, 0x00}));
    // A write phase stores what follows the address.
    EXPECT_EQ(FramedSet(c, 5, {0xA0, 4, 0, 0x00, 0x10, 0xAB, 0xCD}), vcam::kOk);
    EXPECT_EQ(c.Eeprom()[0x10], 0xAB);
    EXPECT_EQ(c.Eeprom()[0x11], 0xCD);
    // Another address on the bus: not acknowledged.
    EXPECT_EQ(FramedSet(c, 4, {0x50, 1, 1}), vcam::kOk);
    EXPECT_TRUE(c.Register(5) & vcam::kI2cError);
}

TEST(CameraTest, TheFlashUnderstandsOnlyItsReadCommand) {
    vcam::Camera c;
    Bytes image(0x3000, 0);
    image[0x2001] = 0x42;
    c.LoadFlash(image);
    EXPECT_EQ(FramedSet(c, 9, {0, 4, 0, 0x03, 0x00, 0x20, 0x01}), vcam::kOk);
    EXPECT_EQ(FramedSet(c, 8, {0, 1, 2}), vcam::kFail); // mode 2
    EXPECT_EQ(FramedSet(c, 9, {0, 4, 0, 0x03, 0x00, 0x20, 0x01}), vcam::kOk);
    EXPECT_EQ(FramedSet(c, 8, {0, 1, 1}), vcam::kOk);
    int32_t hr;
    EXPECT_EQ(UnitGet(c, 8, 1, &hr), Bytes{0x42});
    EXPECT_EQ(FramedSet(c, 9, {0, 1, 0, 0x9F}), vcam::kFail); // an identification command
    EXPECT_EQ(FramedSet(c, 8, {0, 1, 1}), vcam::kFail);       // nothing armed
}

TEST(CameraTest, PropertiesOutsideTheSetsOrTooShortAreRefused) {
    vcam::Camera c;
    uint8_t buffer[104] = {};
    std::memcpy(buffer, vcam::kVideoRegisterSet, 16);
    buffer[16] = 4102 & 0xFF, buffer[17] = 4102 >> 8, buffer[20] = vcam::kPropertyGet;
    uint32_t returned;
    // Nothing selected yet.
    EXPECT_EQ(c.VideoProperty(buffer, 32, buffer, 32, &returned), vcam::kNotReady);
    // The video set on the receiver filter, a short buffer, an unknown id.
    EXPECT_EQ(c.ReceiverProperty(buffer, 104, buffer, 104, &returned),
              vcam::kPropertySetUnsupported);
    buffer[16] = 4101 & 0xFF, buffer[17] = 4101 >> 8, buffer[20] = vcam::kPropertySet;
    buffer[24] = 1, buffer[25] = 5;
    EXPECT_EQ(c.VideoProperty(buffer, 28, buffer, 28, &returned), vcam::kBufferTooSmall);
    EXPECT_EQ(c.VideoProperty(buffer, 32, buffer, 32, &returned), vcam::kOk);
    buffer[24] = 3; // width 3 is no register width
    EXPECT_EQ(c.VideoProperty(buffer, 32, buffer, 32, &returned), vcam::kInvalidArgument);
    buffer[16] = 0x99;
    EXPECT_EQ(c.VideoProperty(buffer, 104, buffer, 104, &returned), vcam::kPropertyIdUnsupported);
    EXPECT_EQ(c.Transfers().size(), 6u);
}

} // namespace
