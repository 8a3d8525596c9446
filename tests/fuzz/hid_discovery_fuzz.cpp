// Fuzz target: HID discovery and register access over any system of HID interfaces: capability
// arrays of any shape, report sizes, replies of any content, failing calls, and the camera
// somewhere among them.
#include "chiplib/hid_transport.h"
#include "chiplib/register_protocol.h"
#include "fuzz/fuzz_support.h"
#include "support/program_state.h"
#include "winsim/control.h"
#include "winsim/devices.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    ResetProgramState();
    vcam::Camera camera;
    int interfaces = in.Byte() % 6;
    for (int i = 0; i < interfaces; ++i) {
        uint8_t kind = in.Byte();
        std::string path = winsim::HidPath(in.Word(), in.Word(), i);
        winsim::HidInterface h = (kind & 3) == 0   ? winsim::CameraHidInterface(path, &camera)
                                 : (kind & 3) == 1 ? winsim::KeyboardHidInterface(path)
                                                   : winsim::MouseHidInterface(path);
        if (kind & 4) { // capabilities of the fuzzer's making
            for (auto& list : h.valueCaps)
                list.clear();
            for (auto& list : h.buttonCaps)
                list.clear();
            int items = in.Byte() % 12;
            for (int j = 0; j < items; ++j) {
                uint8_t type = in.Byte() % 3, report = in.Byte();
                if (in.Byte() & 1)
                    h.valueCaps[type].push_back(
                        winsim::ValueCap(report, in.Word(), in.Word(), USHORT(in.Byte())));
                else
                    h.buttonCaps[type].push_back(winsim::ButtonCap(report));
            }
        }
        if (kind & 128) { // a device that answers anything at all
            std::vector<uint8_t> reply(64);
            for (uint8_t& b : reply)
                b = in.Byte();
            h.getFeature = [reply](BYTE* report, ULONG length) {
                for (ULONG i = 1; i < length; ++i)
                    report[i] = reply[i % reply.size()];
                return reply[0] != 0xFF;
            };
        }
        if (kind & 8)
            h.openError = ERROR_ACCESS_DENIED;
        h.preparsedFails = kind & 16;
        h.attributesFails = kind & 32;
        h.capsFails = kind & 64;
        winsim::AddHidInterface(h);
    }
    // Calls that can fail on a real system (releases cannot, for a handle that is one).
    const char* const fallible[] = {"SetupDiGetClassDevsA",
                                    "SetupDiEnumDeviceInterfaces",
                                    "SetupDiGetDeviceInterfaceDetailA",
                                    "CreateFileA",
                                    "HidD_GetPreparsedData",
                                    "HidD_GetAttributes",
                                    "HidP_GetCaps",
                                    "HidP_GetSpecificButtonCaps",
                                    "HidP_GetSpecificValueCaps",
                                    "HeapAlloc",
                                    "HidD_SetFeature",
                                    "HidD_GetFeature"};
    int failures = in.Byte() % 4;
    for (int i = 0; i < failures; ++i)
        winsim::FailCall(fallible[in.Byte() % 12], 1 + in.Byte() % 8);

    USHORT featureReportLength = 0;
    HANDLE device = FindHidDevice(&featureReportLength);
    if (device) {
        TransportLink link{TransportHid, device, featureReportLength};
        RegisterPacket packet = {in.Byte(), BYTE(in.Byte() % 6), {}};
        RegisterRead(link, &packet);
        RegisterWrite(link, &packet);
        I2cRequest i2c = {};
        i2c.deviceAddress = 0xA0;
        i2c.writeLength = BYTE(in.Byte() % 70);
        i2c.readLength = BYTE(in.Byte() % 70);
        i2c.flags = i2c.writeLength ? kI2cWritePhase : 0;
        I2cTransfer(link, &i2c);
        CloseHandle(device);
    }
    CheckNothingLeft("hid_discovery");
    return 0;
}
