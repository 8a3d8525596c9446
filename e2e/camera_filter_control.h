// The end-to-end suite's switches and counters for the stand-in camera filter, in named shared
// memory, and the names under which the filter registers itself.
#pragma once

#include <windows.h>

const char kCameraFilterControlName[] = "Local\\Vexor2CameraFilterControl";

// Up to two cameras, each a class of its own; its Instance entry under each category it is listed
// in has the class's name.
const int kCameraFilters = 2;
const char* const kCameraFilterClsids[kCameraFilters] = {"{064B49C9-2408-4253-87D3-22F2FC24E1D8}",
                                                         "{064B49C9-2408-4253-87D3-22F2FC24E1D9}"};
const char kCameraFilterClsid[] = "{064B49C9-2408-4253-87D3-22F2FC24E1D8}";
const char kVideoInputCategory[] = "{860BB310-5D01-11D0-BD3B-00A0C911CE86}";
const char kReceiverCategory[] = "{FD0A5AF4-B41D-11D2-9C95-00C04F7971E0}";
const char kCameraFilterName[] = "USB 2820 Video";

// Which of the capture driver's interfaces the filter answers.
enum : LONG {
    kOfferCaptureProperty = 1, // the driver's private ICaptureDeviceProperty
    kOfferKsControl = 2,       // IKsControl with the video register property set
    kOfferReceiverBus = 4,     // IKsControl with the receiver bus property set
    kOfferTopology = 8,        // IKsTopologyInfo with the extension-unit node
};

// Where regsvr32 lists the filter; none of the bits (no suite) means a video input device.
enum : LONG {
    kListAsVideoInput = 1,
    kListAsReceiver = 2,   // a BDA receiver component
    kListSecondCamera = 4, // a second camera beside the first, in the same categories
};

struct CameraFilterControl {
    volatile LONG offers; // kOffer... bits, read when a filter object is asked for an interface
    volatile LONG buttonDown;
    volatile LONG captureCalls;    // ICaptureDeviceProperty calls answered
    volatile LONG ksCalls;         // IKsControl::KsProperty calls answered, in either set
    volatile LONG busCommands;     // I2C and flash requests among them (configuration reads)
    volatile LONG liveObjects;     // filter objects not yet released
    volatile LONG objectsMade;     // filter objects made: one or more at every attachment
    volatile LONG listedAs;        // kListAs... bits, read by DllRegisterServer
    volatile LONG receiverCalls;   // KsProperty calls in the receiver bus set
    volatile LONG topologyQueries; // IKsTopologyInfo handed out
    volatile LONG liveNodes;       // extension-unit node instances not yet released
    volatile LONG refuseKsOf;      // bit i: camera i refuses every KsProperty call
    volatile LONG camerasKsCalls[kCameraFilters]; // KsProperty calls per camera
    volatile LONG firstAsked; // 1 + the camera that got the first KsProperty call; 0 before
};
