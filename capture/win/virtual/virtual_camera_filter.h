#pragma once
// A virtual camera as an in-process DirectShow source filter: no registration, created directly
// by the engine when a virtual camera is selected.

#include "capture/virtual/virtual_camera_config.h"
#include "capture/win/dshow_missing.h"

namespace kovracam {

// The filter for `camera`, with one reference for the caller. Its single output pin "Capture"
// is of the capture category and offers the camera's formats (the first current) through
// IAMStreamConfig.
HRESULT CreateVirtualCameraFilter(const VirtualCamera& camera, IBaseFilter** filter);

// Makes a running virtual camera fail as an unplugged one does: its stream ends and the graph
// is told the device was lost. For exercising the engine's recovery; S_FALSE when not running.
HRESULT UnplugVirtualCamera(IBaseFilter* filter);

}  // namespace kovracam
