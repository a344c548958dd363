#pragma once
// A file writer filter whose input takes a multiplexer's byte stream through IStream (seek and
// write), as multiplexers that finish their file at the end expect, and also as samples stamped
// with byte offsets. A failed write is told to the graph as EC_ERRORABORT with its cause.
// While the multiplexer leaves its headers for the end, the file stays readable: provisional
// headers fill the hole it reserves (provisional_avi_header.h), and the file goes to the disk
// once a second (file_flusher.h).

#include "capture/win/dshow_missing.h"

namespace kovracam {

HRESULT CreateStreamFileWriter(IBaseFilter** filter);

}  // namespace kovracam
