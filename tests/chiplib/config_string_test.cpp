// Configuration strings from the camera's EEPROM and serial flash: the block's layout, the
// selector fields, the EEPROM's address order and bus select, the flash's 32-byte pieces, and
// strings that do not fit.
#include "chiplib/etlib2_test.h"

#include "winsim/system.h"

#include <cstring>
#include <string>

namespace {

using Bytes = std::vector<BYTE>;

const BYTE kSelectors = (2 << 2) | 1 | (3 << 4); // selector 0: string 2, 1: 1, 2: 3
const BYTE kCanary = 0xCC;

// A configuration block at `base` with string v at offset 0x20 * v.
void PutBlock(Bytes* memory, DWORD base, BYTE selectors, const std::vector<std::string>& strings,
              int lengthOverride = -1) {
    (*memory)[base + 18] = selectors;
    for (size_t i = 0; i < strings.size(); ++i) {
        DWORD v = DWORD(i + 1), offset = 0x20 * v;
        (*memory)[base + 10 + 2 * v] = BYTE(offset);
        (*memory)[base + offset] =
            lengthOverride >= 0 ? BYTE(lengthOverride) : BYTE(strings[i].size() + 2);
        (*memory)[base + offset + 1] = 3; // a string descriptor
        std::memcpy(&(*memory)[base + offset + 2], strings[i].data(), strings[i].size());
    }
}

class ConfigStringTest : public EtLib2Fixture {
  protected:
    // An EEPROM whose header puts the block at 0x12 * 256 + 84.
    void LoadEeprom(const std::vector<std::string>& strings, BYTE selectors = kSelectors,
                    int lengthOverride = -1) {
        Bytes image(0x8000, 0xFF);
        image[0] = 0x1A;
        image[1] = 0x12;
        PutBlock(&image, kEepromBase, selectors, strings, lengthOverride);
        camera.LoadEeprom(image);
        camera.SetRegister(vcam::kBusRegister, 0x05); // the I2C engine on the sensor's bus
    }
    void LoadFlash(BYTE headerByte, const std::vector<std::string>& strings) {
        Bytes image(0x4000, 0);
        image[1] = headerByte;
        PutBlock(&image, headerByte == 'P' ? 0x1000 : 0x2000, kSelectors, strings);
        camera.LoadFlash(image);
        camera.SetRegister(5, vcam::kConfigInFlash);
    }
    void Open(void (EtLib2Fixture::*offer)()) {
        (this->*offer)();
        ASSERT_EQ(etLib2_Init(), 1);
        camera.ClearTransfers();
    }
    // The string in a canary-filled buffer; `written` is how many bytes changed.
    HRESULT Read(DWORD selector, std::string* text, size_t* written = nullptr) {
        std::memset(buffer_, kCanary, sizeof buffer_);
        HRESULT hr = etLib2_GetDeviceString(selector, reinterpret_cast<char*>(buffer_));
        size_t n = sizeof buffer_;
        while (n > 0 && buffer_[n - 1] == kCanary)
            --n;
        text->assign(reinterpret_cast<char*>(buffer_), n);
        if (written)
            *written = n;
        return hr;
    }
    // HID traffic as the EEPROM saw it: the addresses written (as sent, high byte first) and
    // the lengths read.
    std::vector<std::string> EepromRequests() {
        std::vector<std::string> out;
        for (const vcam::Transfer& t : camera.Transfers()) {
            if (t.direction != vcam::Direction::Set || t.route != vcam::Route::Hid)
                continue;
            if (t.id == 0x93 && t.sent.at(1) == 0xA0)
                out.push_back("at " + Hex(t.sent.at(4)) + Hex(t.sent.at(5)));
            if (t.id == 0x87 && t.sent.at(1) == 2)
                out.push_back("read " + std::to_string(t.sent.at(3)));
        }
        return out;
    }
    // HID flash reads as "address:length".
    std::vector<std::string> FlashReads() {
        std::vector<std::string> out;
        DWORD address = 0;
        for (const vcam::Transfer& t : camera.Transfers()) {
            if (t.direction != vcam::Direction::Set || t.route != vcam::Route::Hid)
                continue;
            if (t.id == 0x93 && t.sent.at(2) == 4 && t.sent.at(4) == 0x03)
                address = DWORD(t.sent.at(5)) << 16 | DWORD(t.sent.at(6)) << 8 | t.sent.at(7);
            if (t.id == 0x87 && t.sent.at(1) == 10)
                out.push_back(std::to_string(address) + ":" + std::to_string(t.sent.at(3)));
        }
        return out;
    }
    static std::string Hex(BYTE b) {
        char s[3];
        std::snprintf(s, sizeof s, "%02X", b);
        return s;
    }

    static const DWORD kEepromBase = 0x12 * 256 + 84;
    BYTE buffer_[kDeviceStringBytes + 12];
};

TEST_F(ConfigStringTest, EepromStringsBySelectorField) {
    LoadEeprom({"SN12345", "USB 2800 Video", "Quillbay"});
    Open(&EtLib2Fixture::OfferHid);
    std::string text;
    size_t written = 0;
    EXPECT_EQ(Read(1, &text, &written), S_OK);
    EXPECT_EQ(text, "SN12345");
    EXPECT_EQ(written, 7u); // no terminator added
    // Addresses go out high byte first: header, selector byte, offset of string 1, its length,
    // its text.
    EXPECT_EQ(EepromRequests(),
              (std::vector<std::string>{"at 0000", "read 4", "at 1266", "read 1", "at 1260",
                                        "read 1", "at 1274", "read 1", "at 1276", "read 7"}));
    EXPECT_EQ(camera.Register(vcam::kBusRegister), 0x01); // bus select cleared bit 2 only

    EXPECT_EQ(Read(0, &text), S_OK);
    EXPECT_EQ(text, "USB 2800 Video");
    EXPECT_EQ(Read(2, &text), S_OK);
    EXPECT_EQ(text, "Quillbay");
    EXPECT_EQ(winsim::MutexOwnedByProgram(kSharedLibraryMutex), 0);
}

TEST_F(ConfigStringTest, EmptyFieldsShortAndUnreadableStrings) {
    LoadEeprom({"SN12345"}, 0x00);
    Open(&EtLib2Fixture::OfferHid);
    std::string text;
    EXPECT_EQ(Read(1, &text), S_OK);
    EXPECT_EQ(text, std::string(4, '\0'));

    // A length byte below 2 has no text.
    LoadEeprom({"SN12345"}, kSelectors, 1);
    EXPECT_EQ(Read(1, &text), S_OK);
    EXPECT_EQ(text, "");

    // The EEPROM does not answer: E_FAIL at the first read, nothing written.
    camera.LoadEeprom({});
    camera.ClearTransfers();
    EXPECT_EQ(Read(1, &text), E_FAIL);
    EXPECT_EQ(text, "");
    EXPECT_EQ(EepromRequests(), (std::vector<std::string>{"at 0000"})); // not acknowledged
}

TEST_F(ConfigStringTest, OtherSelectorsAreRefusedWithoutTraffic) {
    LoadEeprom({"SN12345"});
    Open(&EtLib2Fixture::OfferHid);
    std::string text;
    for (DWORD selector : {3u, 0x101u, 0xFFFFFFFFu})
        EXPECT_EQ(Read(selector, &text), E_INVALIDARG) << selector;
    EXPECT_TRUE(camera.Transfers().empty());
    EXPECT_TRUE(winsim::MutexWaits().empty());
}

TEST_F(ConfigStringTest, LongStringsAreReadInPiecesAndCutToTheBuffer) {
    std::string serial(200, 'x');
    for (size_t i = 0; i < serial.size(); ++i)
        serial[i] = char('A' + i % 26);
    LoadEeprom({serial});
    Open(&EtLib2Fixture::OfferHid);
    std::string text;
    size_t written = 0;
    EXPECT_EQ(Read(1, &text, &written), S_OK); // a long string is no reason to refuse a camera
    EXPECT_EQ(written, size_t(kDeviceStringBytes));
    EXPECT_EQ(text, serial.substr(0, kDeviceStringBytes));
    // The HID data report carries 40 bytes of one read.
    auto requests = EepromRequests();
    std::vector<std::string> tail(requests.end() - 8, requests.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"at 1276", "read 40", "at 129E", "read 40", "at 12C6",
                                              "read 40", "at 12EE", "read 8"}));
}

TEST_F(ConfigStringTest, LongStringOverKernelStreamingUsesFullRequests) {
    std::string serial(100, 'q');
    LoadEeprom({serial});
    Open(&EtLib2Fixture::OfferVideoInput);
    std::string text;
    EXPECT_EQ(Read(1, &text), S_OK);
    EXPECT_EQ(text, serial);
    // Header, selector, offset, length, then two pieces of text (64 and 36).
    int transfers = 0;
    for (const std::string& kind : Kinds(camera))
        transfers += kind == "set 4137";
    EXPECT_EQ(transfers, 6);
}

TEST_F(ConfigStringTest, FlashBlockPlaceAndPieces) {
    std::string name(70, 'f');
    LoadFlash('P', {"SN-FLASH", name});
    Open(&EtLib2Fixture::OfferHid);
    std::string text;
    EXPECT_EQ(Read(1, &text), 1);
    EXPECT_EQ(text, "SN-FLASH");
    camera.ClearTransfers();
    EXPECT_EQ(Read(0, &text), 1);
    EXPECT_EQ(text, name);
    // Header, selector byte, offset of string 2, its length, then 70 bytes as 32, 32 and 6.
    DWORD at = 0x1000 + 0x40 + 2;
    EXPECT_EQ(FlashReads(), (std::vector<std::string>{
                                "0:4", "4114:1", "4110:1", "4160:1", std::to_string(at) + ":32",
                                std::to_string(at + 32) + ":32", std::to_string(at + 64) + ":6"}));

    // Any other header byte puts the block at 0x2000.
    LoadFlash('Q', {"SN-2000"});
    EXPECT_EQ(Read(1, &text), 1);
    EXPECT_EQ(text, "SN-2000");
}

TEST_F(ConfigStringTest, FlashFailuresAreReportedAsSuccess) {
    // The receiver route carries no flash transfers: every read fails and leaves zeros.
    LoadFlash('P', {"SN-FLASH"});
    Open(&EtLib2Fixture::OfferReceiver);
    std::string text;
    EXPECT_EQ(Read(1, &text), 1);
    EXPECT_EQ(text, std::string(4, '\0'));
    EXPECT_EQ(Kinds(camera), (std::vector<std::string>{"get 4150"})); // register 5 only

    // The status register itself cannot be read: that is a failure.
    camera.FailTransfer(1);
    EXPECT_EQ(Read(1, &text), E_FAIL);
}

TEST_F(ConfigStringTest, EepromTransactSwapsTheAddressAndHoldsTheMutexThroughTheBusSelect) {
    LoadEeprom({"SN12345"});
    Open(&EtLib2Fixture::OfferHid);
    BYTE address[2] = {0x34, 0x12}, read[2] = {};
    EXPECT_EQ(I2cTransact(0xA0, 2, address, 2, read), S_OK);
    EXPECT_EQ(address[0], 0x12); // the caller's bytes are swapped
    EXPECT_EQ(address[1], 0x34);
    EXPECT_EQ(read[0], 0xFF); // what the image holds there
    ASSERT_EQ(winsim::MutexWaits().size(), 1u);

    // A peer holds the mutex: neither the bus select nor the transfer happens.
    camera.ClearTransfers();
    camera.SetRegister(vcam::kBusRegister, 0x05);
    winsim::OtherProcessTakesMutex(kSharedLibraryMutex);
    EXPECT_EQ(I2cTransact(0xA0, 2, address, 2, read), E_FAIL);
    EXPECT_TRUE(camera.Transfers().empty());
    EXPECT_EQ(camera.Register(vcam::kBusRegister), 0x05);
    EXPECT_EQ(winsim::Now(), 1000u);
}

} // namespace
