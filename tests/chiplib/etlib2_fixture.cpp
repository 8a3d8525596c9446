// The etLib2 fixture: the camera's four routes as the system would show them.
#include "chiplib/etlib2_test.h"

#include "support/camera_routes.h"

void EtLib2Fixture::TearDown() {
    etLib2_Close();
    ChipTest::TearDown();
}

std::string EtLib2Fixture::HidPathOfCamera() const {
    return CameraHidPath();
}

void EtLib2Fixture::OfferHid() {
    OfferCameraHid(camera);
}

void EtLib2Fixture::OfferExtensionUnit() {
    OfferCameraExtensionUnit(camera);
}

void EtLib2Fixture::OfferVideoInput() {
    OfferCameraVideoInput(camera);
}

void EtLib2Fixture::OfferReceiver() {
    OfferCameraReceiver(camera);
}

void EtLib2Fixture::OfferAllRoutes() {
    OfferHid();
    OfferExtensionUnit();
    OfferVideoInput();
    OfferReceiver();
}

void EtLib2Fixture::LoadSerialNumber(const char* text) {
    LoadCameraSerialNumber(camera, text);
}

std::vector<std::string> EtLib2Fixture::Kinds(vcam::Camera& cam) {
    std::vector<std::string> out;
    for (const vcam::Transfer& t : cam.Transfers())
        out.push_back(std::string(t.direction == vcam::Direction::Set ? "set " : "get ") +
                      std::to_string(t.id) + (t.ok ? "" : " refused"));
    cam.ClearTransfers();
    return out;
}
