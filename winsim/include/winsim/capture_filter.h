// winsim: the camera's video capture filter with its driver's private property interface, for
// AddVideoInputDevice.
#pragma once

#include "winsim/dshow.h"

namespace winsim {

// Binds to a capture filter over `camera`; without `privateInterface` the filter answers only
// IBaseFilter, like a camera whose driver lacks the interface.
BindFunction CaptureFilterOf(vcam::Camera* camera, bool privateInterface = true);

} // namespace winsim
