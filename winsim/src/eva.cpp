// winsim: a stand-in for the vendor's UExProc.dll, answered by the virtual camera's button, with
// scripted answers and request durations for the trace's thresholds.
#include "devices_state.h"

#include <deque>

using namespace winsim::detail;

namespace {

struct EvaState {
    vcam::Camera* camera = nullptr;
    bool connected = true;
    std::deque<winsim::EvaAnswer> script;
    winsim::EvaCalls calls;
};

EvaState& Eva() {
    DeviceState& d = Devices();
    if (!d.eva)
        d.eva = std::make_shared<EvaState>();
    return *std::static_pointer_cast<EvaState>(d.eva);
}

int IsConnectedEva() {
    Eva().calls.isConnected++;
    return Eva().connected ? 1 : 0;
}

int32_t SendExtensionUnitCommand(int32_t command, int32_t a, int32_t b, int32_t c) {
    EvaState& eva = Eva();
    eva.calls.commands++;
    if (!eva.script.empty()) {
        winsim::EvaAnswer next = eva.script.front();
        eva.script.pop_front();
        Sleep(DWORD(next.durationMs));
        return next.answer;
    }
    if (!eva.connected || !eva.camera)
        return -1;
    return eva.camera->EvaCommand(command, a, b, c);
}

void ReleaseEva() {
    Eva().calls.releases++;
}

} // namespace

namespace winsim {

void InstallEvaLibrary(vcam::Camera* camera) {
    Eva().camera = camera;
    AddModule(
        Module{"UExProc.dll",
               {{"isConnectedEVA", reinterpret_cast<void*>(&IsConnectedEva)},
                {"sendExtensionUnitCommand", reinterpret_cast<void*>(&SendExtensionUnitCommand)},
                {"releaseEVA", reinterpret_cast<void*>(&ReleaseEva)}}});
}

void SetEvaConnected(bool connected) {
    Eva().connected = connected;
}

void ScriptEvaAnswers(const std::vector<EvaAnswer>& answers) {
    Eva().script.insert(Eva().script.end(), answers.begin(), answers.end());
}

EvaCalls EvaCallCounts() {
    return Eva().calls;
}

} // namespace winsim
