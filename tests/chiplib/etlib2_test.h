// The fixture of the etLib2 tests: a virtual camera offered on any of the four routes, and the
// library closed again at the end of every test.
#pragma once

#include "chiplib/chip_test.h"
#include "chiplib/etlib2.h"
#include "chiplib/etlib2_state.h"
#include "winsim/dshow.h"

#include <string>
#include <vector>

// The names other processes share with the library, spelled out rather than read from the
// program: a program that got them wrong would agree with its own constant.
const char kSharedLibraryMutex[] = "Empia VideoClass HidClass Library";
const DWORD kSharedLibraryWaitMs = 1000;

class EtLib2Fixture : public ChipTest {
  public:
    std::string HidPathOfCamera() const;
    // Each route reaches `camera`. The extension unit comes with a current registration record.
    void OfferHid();
    void OfferExtensionUnit();
    void OfferVideoInput();
    void OfferReceiver();
    void OfferAllRoutes();
    // A configuration EEPROM whose string 1 reads `text`, and the I2C engine on the sensor bus:
    // the camera answers the register source's query.
    void LoadSerialNumber(const char* text = "VX2-0042");

  protected:
    void TearDown() override;

    // The transfers of `cam` since the last call, as "set 4101", "get 4102 refused".
    static std::vector<std::string> Kinds(vcam::Camera& cam);
};
