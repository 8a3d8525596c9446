// The fuzz targets' shared set-up and checks.
#include "fuzz/fuzz_support.h"

#include "support/program_state.h"
#include "winsim/control.h"
#include "winsim/devices.h"
#include "winsim/dshow.h"
#include "winsim/system.h"

#include <cstdio>
#include <cstdlib>
#include <string>

void OfferCamera(vcam::Camera* camera, int route) {
    switch (route & 3) {
    case 0:
        winsim::AddHidInterface(
            winsim::CameraHidInterface(winsim::HidPath(0xEB1A, 0x2860, 0), camera));
        break;
    case 1: {
        const char key[] = "Software\\Empia\\UVC Extension Control";
        const std::string file = "C:\\Windows\\System32\\emxunit.dll";
        winsim::RegPutDword(HKEY_CURRENT_USER, key, "Version Number", 0x1000);
        std::vector<BYTE> path(file.begin(), file.end());
        path.push_back(0);
        winsim::RegPut(HKEY_CURRENT_USER, key, "FileName Path", REG_SZ, path);
        winsim::AddFile(file);
        winsim::RegisterExtensionUnitServer(camera);
        winsim::AddVideoInputDevice(
            "USB 2800 Video", "\\\\?\\usb#unit",
            winsim::FilterFactory({camera, false, true, winsim::CameraNodes()}));
        break;
    }
    case 2:
        winsim::AddVideoInputDevice("USB 2800 Video", "\\\\?\\usb#video",
                                    winsim::FilterFactory({camera, false, false, {}}));
        break;
    default:
        winsim::AddReceiverComponent("USB 2800 Receiver", "\\\\?\\usb#receiver",
                                     winsim::FilterFactory({camera, true, false, {}}));
    }
}

void CheckNothingLeft(const char* target) {
    struct Count {
        const char* what;
        int left;
    } counts[] = {
        {"handles", winsim::OpenHandleCount() - HandlesKeptByDesign()},
        {"registry keys", winsim::OpenKeyCount()},
        {"COM objects", winsim::LiveComObjects()},
        {"heap blocks", winsim::HeapBlockCount()},
        {"preparsed data", winsim::PreparsedDataCount()},
        {"SetupAPI sets", winsim::DeviceInfoListCount()},
        {"strings", winsim::LiveBstrCount()},
    };
    for (const Count& c : counts)
        if (c.left != 0) {
            std::fprintf(stderr, "%s: %d %s left\n", target, c.left, c.what);
            std::abort();
        }
}
