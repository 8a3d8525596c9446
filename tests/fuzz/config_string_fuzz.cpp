// Fuzz target: the configuration-string query over the virtual camera with any EEPROM and flash
// image, any value in register 5 and any route. The caller's buffer is exactly 128 bytes, so a
// write past it is caught.
#include "chiplib/etlib2.h"
#include "fuzz/fuzz_support.h"
#include "support/program_state.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    ResetProgramState();
    vcam::Camera camera;
    int route = in.Byte();
    camera.SetRegister(vcam::kStatusRegister, in.Byte());
    camera.SetRegister(vcam::kBusRegister, in.Byte());
    DWORD selector = in.Byte() % 4; // 3 is not a string
    size_t eepromSize = in.Word() % 0x9000;
    std::vector<uint8_t> eeprom(std::min(eepromSize, in.Left()));
    for (uint8_t& b : eeprom)
        b = in.Byte();
    std::vector<uint8_t> flash(in.Left());
    for (uint8_t& b : flash)
        b = in.Byte();
    camera.LoadEeprom(eeprom);
    camera.LoadFlash(flash);
    OfferCamera(&camera, route);

    etLib2_Init();
    std::unique_ptr<char[]> text(new char[kDeviceStringBytes]);
    std::memset(text.get(), 0, kDeviceStringBytes);
    etLib2_GetDeviceString(selector, text.get());
    etLib2_Close();
    CheckNothingLeft("config_string");
    return 0;
}
