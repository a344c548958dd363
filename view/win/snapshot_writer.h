#pragma once
// Writes a 24-bit picture (a DIB's header and bits) as a JPEG or BMP file through GDI+'s own
// encoders. The file is complete or absent: the picture goes to a temporary file in the same
// folder, which is renamed over the chosen name only once it is written.

#include <windows.h>

#include <string>

#include "view/snapshot_file.h"

namespace kovracam {

// false when no file was written; `reason` then says why, in a few words.
bool WriteSnapshotFile(const BITMAPINFO& info, void* bits, const std::wstring& path,
                       PictureFormat format, std::wstring* reason);

}  // namespace kovracam
