// vcam: a model of the camera's video chip (256 registers, an I2C bus with the configuration
// EEPROM, a serial flash, the capture button) and of the routes over which the host reaches it.
// Portable C++ with no Windows types: results are HRESULT values held as int32_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vcam {

// Results the routes give back, with the values Windows uses for them.
constexpr int32_t kOk = 0;
constexpr int32_t kFail = int32_t(0x80004005);            // E_FAIL
constexpr int32_t kInvalidArgument = int32_t(0x80070057); // E_INVALIDARG
constexpr int32_t kNotReady = int32_t(0x80070015);        // HRESULT_FROM_WIN32(ERROR_NOT_READY)
constexpr int32_t kBufferTooSmall = int32_t(0x8007007A);  // HRESULT_FROM_WIN32(122)
constexpr int32_t kPropertyIdUnsupported = int32_t(0x80070490);  // ERROR_NOT_FOUND
constexpr int32_t kPropertySetUnsupported = int32_t(0x80070492); // ERROR_SET_NOT_FOUND

// Chip registers with a meaning of their own.
constexpr uint8_t kStatusRegister = 5;   // button latch, I2C status, configuration strap
constexpr uint8_t kButtonLatch = 0x40;   // in register 5
constexpr uint8_t kI2cError = 0x10;      // in register 5: the last I2C phase was not acknowledged
constexpr uint8_t kConfigInFlash = 0x80; // in register 5: configuration in the serial flash
constexpr uint8_t kBusRegister = 6;
constexpr uint8_t kSensorBus = 0x04;     // in register 6: the I2C engine drives the sensor bus
constexpr uint8_t kProbeRegister = 0x0A; // read when a kernel-streaming route is opened
constexpr uint8_t kCaptureRegister = 12;
constexpr uint8_t kCaptureLatch = 0x20; // in register 12
constexpr uint8_t kEepromAddress = 0xA0;

// HID feature reports.
constexpr uint8_t kCommandReport = 0x87;
constexpr size_t kCommandReportSize = 4;
constexpr uint8_t kDataReport = 0x93;
constexpr size_t kDataReportSize = 40;

// Kernel-streaming property sets, as their 16 bytes lie in memory.
extern const uint8_t kVideoRegisterSet[16]; // {85548EFB-86C8-4E57-B2FA-802B1B86C2AA}
extern const uint8_t kReceiverBusSet[16];   // {846A4C4E-76D8-42EC-A333-121F365A4DA8}
constexpr uint32_t kRegisterSelect = 4101;
constexpr uint32_t kRegisterData = 4102;
constexpr uint32_t kI2cCommand = 4137;
constexpr uint32_t kI2cResult = 4138;
constexpr uint32_t kFlashCommand = 4139;
constexpr uint32_t kFlashResult = 4140;
constexpr uint32_t kBusTransfer = 4150;
constexpr uint32_t kChipRegisters = 0xFF; // BusTransfer's device address for the chip itself
constexpr uint32_t kPropertyGet = 1;
constexpr uint32_t kPropertySet = 2;

enum class Route : uint8_t {
    Hid,
    ExtensionUnit,
    VideoProperty,
    ReceiverProperty,
    Eva,
    CaptureProperty
};
enum class Direction : uint8_t { Set, Get };

// One transfer as the camera saw it.
struct Transfer {
    Route route;
    Direction direction;
    uint32_t id;                   // report id, control selector or property id
    uint32_t length;               // the length the host gave (report buffer, control, data)
    std::vector<uint8_t> sent;     // the bytes that arrived (a get's request buffer too)
    std::vector<uint8_t> returned; // what a get gave back
    bool ok;
};
std::string Describe(const Transfer& t); // "set 1 [02]", "get 2 (1) -> [40]"

class Camera {
  public:
    Camera();

    // ---- chip state ----
    uint8_t Register(uint8_t address) const { return registers_[address]; }
    void SetRegister(uint8_t address, uint8_t value) { registers_[address] = value; }
    // The button latches in registers 5 and 12, as the chip does on a press.
    void PressButton();
    // The button held down or let go; going down latches like PressButton.
    void SetButtonDown(bool down);
    bool ButtonDown() const { return buttonDown_; }
    // Memories: the EEPROM at 0xA0 (none when the image is empty) and the serial flash. Reads
    // wrap at the image's size; unwritten images read as 0xFF.
    void LoadEeprom(std::vector<uint8_t> image) { eeprom_ = std::move(image); }
    void LoadFlash(std::vector<uint8_t> image) { flash_ = std::move(image); }
    const std::vector<uint8_t>& Eeprom() const { return eeprom_; }
    const std::vector<uint8_t>& Flash() const { return flash_; }

    // Off (default): a register read on the HID route or the video filter leaves the bytes past
    // the count asked for zero. On: they carry the following registers' contents, as a chip
    // that always answers a whole data word may; the host must keep only what it asked for.
    void SetWideRegisterReads(bool on) { wideReads_ = on; }

    // ---- traffic ----
    const std::vector<Transfer>& Transfers() const { return transfers_; }
    void ClearTransfers() { transfers_.clear(); }
    // Transfers made since construction, recorded or not.
    size_t TransferCount() const { return transferNumber_; }
    // Off: transfers are counted but not kept, so a measurement sees only the program's own
    // allocations.
    void SetRecording(bool on) { recording_ = on; }
    // The `occurrence`-th transfer from now (1 = the next) is refused, as a stalled one.
    void FailTransfer(size_t occurrence);

    // ---- HID: report[0] is the report id, the report's data follow ----
    bool HidSetFeature(const uint8_t* report, size_t length);
    bool HidGetFeature(uint8_t* report, size_t length);

    // ---- the EVA library's command: (13, 0, 0, 4) answers the button state in its low four
    // bits (1 while held down); any other command is not understood and answers -1 ----
    int32_t EvaCommand(int32_t command, int32_t a, int32_t b, int32_t c);

    // ---- the capture driver's private property interface: 4101 selects (register << 8 |
    // count, 0 resets), 4102 reads or writes the selected register in the value's low bytes
    // (a read leaves the other bytes as they were), 4135 and 4136 answer fixed values ----
    int32_t CaptureProperty(bool set, uint32_t id, uint32_t* value);

    // ---- extension-unit controls ----
    int32_t SetUnitControl(uint32_t selector, uint32_t length, const uint8_t* data);
    int32_t GetUnitControl(uint32_t selector, uint32_t length, uint8_t* data);

    // ---- kernel-streaming properties of the video filter and of the receiver filter ----
    // `property` starts with the 24-byte property header; request fields are read from it,
    // values of a set from `data`, and a get's result is written into `data`, both laid out
    // like the property (payload from offset 24).
    int32_t VideoProperty(const uint8_t* property, uint32_t propertyLength, uint8_t* data,
                          uint32_t dataLength, uint32_t* bytesReturned);
    int32_t ReceiverProperty(const uint8_t* property, uint32_t propertyLength, uint8_t* data,
                             uint32_t dataLength, uint32_t* bytesReturned);

  private:
    // Chip operations behind every route.
    bool ReadRegisters(uint8_t address, size_t count, uint8_t* out) const;
    // The rest of a read's `room` bytes past `count`: the following registers when reads are
    // wide (zero past the last register), else left as they are.
    void FillPastCount(uint8_t address, size_t count, uint8_t* out, size_t room) const;
    bool WriteRegisters(uint8_t address, size_t count, const uint8_t* in);
    bool I2cWrite(uint8_t device, const uint8_t* bytes, size_t length);
    bool I2cRead(uint8_t device, uint8_t* out, size_t length);
    bool FlashWrite(uint8_t device, const uint8_t* bytes, size_t length);
    bool FlashRead(uint8_t device, uint8_t mode, uint8_t* out, size_t length);
    void SetI2cStatus(bool acknowledged);

    // Records a transfer and answers whether a scripted refusal hits it.
    Transfer& Record(Route route, Direction direction, uint32_t id, uint32_t length,
                     const uint8_t* sent, size_t sentLength);
    bool Refused();

    int32_t KsProperty(bool receiver, const uint8_t* property, uint32_t propertyLength,
                       uint8_t* data, uint32_t dataLength, uint32_t* bytesReturned);
    int32_t VideoRequest(uint32_t id, uint32_t flags, const uint8_t* property, uint8_t* data,
                         uint32_t length, uint32_t* bytesReturned);
    int32_t ReceiverRequest(uint32_t id, uint32_t flags, const uint8_t* property, uint8_t* data,
                            uint32_t length, uint32_t* bytesReturned);

    uint8_t registers_[256];
    bool wideReads_ = false;
    bool buttonDown_ = false;
    std::vector<uint8_t> eeprom_;
    std::vector<uint8_t> flash_;
    uint32_t eepromPointer_ = 0;
    uint32_t flashPointer_ = 0;
    bool flashReadArmed_ = false;

    // HID: the command that the next data report belongs to, and the data report to give.
    int hidPendingCommand_ = -1;
    uint8_t hidDataReport_[kDataReportSize] = {};

    // Extension unit: the length the last frame announced, and the read a get collects.
    uint32_t framedLength_ = 1;
    int unitPendingSelector_ = -1;
    std::vector<uint8_t> unitPendingData_;

    // Video filter: the selected register and width, and the last I2C or flash result.
    uint32_t selection_ = 0;
    std::vector<uint8_t> i2cResult_;
    std::vector<uint8_t> flashResult_;

    std::vector<Transfer> transfers_;
    bool recording_ = true;
    Transfer unrecorded_{};     // the transfer in hand while recording is off; keeps its capacity
    size_t transferNumber_ = 0; // transfers since construction, cleared records included
    std::vector<size_t> refusals_; // transfer numbers to refuse
};

} // namespace vcam
