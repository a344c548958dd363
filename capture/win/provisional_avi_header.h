#pragma once
// A stand-in for the headers an AVI multiplexer writes only when its stream ends. Until then
// the file's first bytes are a hole the multiplexer reserved, and a file cut off by the end of
// the process would hold frames no player can find. The stand-in describes the one video stream
// and opens a movi list that runs to the end of the file, so that a cut file reads as the frames
// written so far; the multiplexer's own headers overwrite it when it finishes the file.

#include <cstdint>
#include <vector>

#include "capture/win/dshow_missing.h"
#include "capture/win/media_type.h"

namespace kovracam {

// The bytes [0, firstChunk) of a file whose multiplexer writes its first chunk at `firstChunk`:
// RIFF AVI, the stream's headers, padding, then the movi list's start, which ends right at
// `firstChunk` unless `chunkIsMoviList` (the first chunk is the multiplexer's own movi list).
// Empty when `type` is no video-info video type or the headers do not fit exactly.
std::vector<BYTE> provisionalAviHeader(const AM_MEDIA_TYPE& type, std::uint64_t firstChunk,
                                       bool chunkIsMoviList);

// Whether `data` begins with a chunk id (four printable characters), as a multiplexer's writes
// into the movi list do; and whether that chunk is a movi list.
bool beginsChunk(const BYTE* data, ULONG size);
bool beginsMoviList(const BYTE* data, ULONG size);

// Before a multiplexer's first write to `file`, which it opened empty: when that write (`next`)
// lands past the start of the file and begins a chunk, writes the stand-in headers into the
// hole before it, leaving the file pointer where it was. False when writing them failed.
bool fillHeaderHole(HANDLE file, const AM_MEDIA_TYPE& type, const BYTE* next, ULONG size);

// The media type of the first connected video input of the filter that `output` (a
// multiplexer's output pin) belongs to; null when there is none.
MediaTypePtr videoTypeFeeding(IPin* output);

}  // namespace kovracam
