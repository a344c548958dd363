#pragma once
// The virtual cameras' property pages: one for the processing amplifier (shown for the filter),
// one listing the capture pin's formats (shown for its stream configuration).
//
// A property frame creates pages from their class ids with CoCreateInstance. These classes are
// in no registry: COM knows them in this apartment while a VirtualCameraPageClasses lives.

#include "capture/win/dshow_missing.h"

namespace kovracam {

extern const CLSID kClsidProcAmpPage;
extern const CLSID kClsidStreamFormatPage;

HRESULT CreateProcAmpPage(IPropertyPage** page);
HRESULT CreateStreamFormatPage(IPropertyPage** page);

// A page list of the one class `clsid`, allocated as ISpecifyPropertyPages::GetPages hands it out.
HRESULT ListOnePage(const CLSID& clsid, CAUUID* pages);

class VirtualCameraPageClasses {
 public:
  VirtualCameraPageClasses();
  ~VirtualCameraPageClasses();
  VirtualCameraPageClasses(const VirtualCameraPageClasses&) = delete;
  VirtualCameraPageClasses& operator=(const VirtualCameraPageClasses&) = delete;

 private:
  DWORD m_cookies[2] = {};
};

}  // namespace kovracam
