#pragma once
// The pin and media-type enumerators a DirectShow filter hands out, shared by the filters we
// write ourselves (the virtual cameras and the file writer).

#include <dshow.h>

#include <vector>

#include "capture/device/capture_format.h"

namespace kovracam {

HRESULT createPinEnumerator(IPin* pin, IEnumPins** pins);
// The pins in their order, each with a reference held by the enumerator.
HRESULT createPinEnumerator(const std::vector<IPin*>& pins, IEnumPins** enumerator);
HRESULT createMediaTypeEnumerator(std::vector<CaptureFormat> formats, IEnumMediaTypes** types);

}  // namespace kovracam
