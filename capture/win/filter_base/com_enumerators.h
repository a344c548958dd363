#pragma once
// The pin and media-type enumerators a DirectShow filter hands out, shared by the filters we
// write ourselves (the virtual cameras and the file writer).

#include <dshow.h>

#include <vector>

#include "capture/device/capture_format.h"

namespace kovracam {

HRESULT createPinEnumerator(IPin* pin, IEnumPins** pins);
HRESULT createMediaTypeEnumerator(std::vector<CaptureFormat> formats, IEnumMediaTypes** types);

}  // namespace kovracam
