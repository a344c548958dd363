#pragma once
// A failure status in words, for the messages that tell the user why something stopped.

#include <windows.h>

#include <string>

namespace kovracam {

// The system's text for `hr` (a Win32 or DirectShow error), without its closing full stop and
// line end; the code in hexadecimal when the system has none.
std::wstring describeStatus(HRESULT hr);

}  // namespace kovracam
