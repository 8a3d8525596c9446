// The fuzz targets' shared set-up and checks.
#include "fuzz/fuzz_support.h"

#include "support/camera_routes.h"
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
        OfferCameraHid(*camera);
        break;
    case 1:
        OfferCameraExtensionUnit(*camera);
        break;
    case 2:
        OfferCameraVideoInput(*camera);
        break;
    default:
        OfferCameraReceiver(*camera);
    }
}

void CheckNothingLeft(const char* target) {
    std::string left = WhatIsLeftOpen();
    if (!left.empty()) {
        std::fprintf(stderr, "%s: %s\n", target, left.c_str());
        std::abort();
    }
}
