#pragma once
// Finding pins in a graph under construction.

#include "capture/win/com_ptr.h"
#include "capture/win/dshow_missing.h"

namespace kovracam {

// The first pin of `filter` in `direction` that is not connected yet.
ComPtr<IPin> freePin(IBaseFilter* filter, PIN_DIRECTION direction);
// The output pin of `category`, found through its category property.
ComPtr<IPin> pinOfCategory(IBaseFilter* filter, const GUID& category);
// The filter `pin` belongs to.
ComPtr<IBaseFilter> filterOf(IPin* pin);
bool isFilterOfClass(IBaseFilter* filter, const CLSID& clsid);
// Sets `format` on the capture pin and on a preview pin of its own (each pin has its own stream
// configuration): preview and recording then have the same frames. A pin that refuses keeps its
// own format.
void setFormatOfVideoPins(IBaseFilter* source, AM_MEDIA_TYPE& format);

}  // namespace kovracam
