#include "capture/win/provisional_avi_header.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "capture/win/com_ptr.h"
#include "capture/win/graph_pins.h"

namespace kovracam {
namespace {

// A size past any end: readers take the list to run to the end of the file, which is what a
// file still being written has.
constexpr std::uint32_t kOpenEnded = 0xFFFFFFFF;
constexpr std::uint32_t kTrustChunkType = 0x800;  // AVIF_TRUSTCKTYPE; no index is promised
// Multiplexers reserve tens of KiB for their headers; more is no header hole.
constexpr std::uint64_t kHeaderLimit = 1 << 20;

class ChunkWriter {
 public:
  void id(const char* fourcc) { m_bytes.insert(m_bytes.end(), fourcc, fourcc + 4); }
  void u16(std::uint16_t value) { put(value, 2); }
  void u32(std::uint32_t value) { put(value, 4); }
  void bytes(const void* data, std::size_t size) {
    const auto* first = static_cast<const BYTE*>(data);
    m_bytes.insert(m_bytes.end(), first, first + size);
  }
  void zeros(std::size_t count) { m_bytes.resize(m_bytes.size() + count); }
  // A chunk (or list, with `type`) whose size end() fills in; its data's position.
  std::size_t begin(const char* fourcc, const char* type = nullptr) {
    id(fourcc);
    u32(0);
    if (type) id(type);
    return m_bytes.size() - (type ? 4 : 0);
  }
  void end(std::size_t data) {
    const std::size_t size = m_bytes.size() - data;
    for (int i = 0; i < 4; ++i) m_bytes[data - 4 + i] = static_cast<BYTE>(size >> 8 * i);
  }
  std::size_t size() const { return m_bytes.size(); }
  std::vector<BYTE> take() { return std::move(m_bytes); }

 private:
  void put(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) m_bytes.push_back(static_cast<BYTE>(value >> 8 * i));
  }
  std::vector<BYTE> m_bytes;
};

void writeMainHeader(ChunkWriter& out, const VIDEOINFOHEADER& info) {
  const BITMAPINFOHEADER& bitmap = info.bmiHeader;
  const auto interval = static_cast<std::uint64_t>(info.AvgTimePerFrame);
  const std::size_t avih = out.begin("avih");
  out.u32(static_cast<std::uint32_t>(interval / 10));
  out.u32(static_cast<std::uint32_t>(bitmap.biSizeImage * 10'000'000ull / interval));
  out.u32(0);  // padding granularity
  out.u32(kTrustChunkType);
  out.u32(0);  // frames: unknown until the end
  out.u32(0);  // initial frames
  out.u32(1);  // streams
  out.u32(bitmap.biSizeImage);
  out.u32(static_cast<std::uint32_t>(bitmap.biWidth));
  out.u32(static_cast<std::uint32_t>(std::abs(bitmap.biHeight)));
  out.zeros(16);
  out.end(avih);
}

void writeStreamList(ChunkWriter& out, const VIDEOINFOHEADER& info, std::size_t bitmapSize) {
  const BITMAPINFOHEADER& bitmap = info.bmiHeader;
  const std::size_t strl = out.begin("LIST", "strl");
  const std::size_t strh = out.begin("strh");
  out.id("vids");
  out.u32(bitmap.biCompression);
  out.u32(0);                                                 // flags
  out.u16(0);                                                 // priority
  out.u16(0);                                                 // language
  out.u32(0);                                                 // initial frames
  out.u32(static_cast<std::uint32_t>(info.AvgTimePerFrame));  // scale / rate: seconds a frame
  out.u32(10'000'000);
  out.u32(0);  // start
  out.u32(0);  // length: unknown until the end
  out.u32(bitmap.biSizeImage);
  out.u32(kOpenEnded);  // quality: the default
  out.u32(0);           // sample size: a chunk a frame
  out.u16(0);
  out.u16(0);
  out.u16(static_cast<std::uint16_t>(bitmap.biWidth));
  out.u16(static_cast<std::uint16_t>(std::abs(bitmap.biHeight)));
  out.end(strh);
  const std::size_t strf = out.begin("strf");
  out.bytes(&bitmap, bitmapSize);
  out.end(strf);
  out.zeros(bitmapSize & 1);  // chunks start at even offsets
  out.end(strl);
}

// Fills [out.size(), until) with a JUNK chunk: false when the gap cannot hold one exactly.
bool pad(ChunkWriter& out, std::uint64_t until) {
  if (until < out.size()) return false;
  const std::uint64_t gap = until - out.size();
  if (gap == 0) return true;
  if (gap < 8 || gap % 2) return false;
  const std::size_t junk = out.begin("JUNK");
  out.zeros(static_cast<std::size_t>(gap - 8));
  out.end(junk);
  return true;
}

}  // namespace

std::vector<BYTE> provisionalAviHeader(const AM_MEDIA_TYPE& type, std::uint64_t firstChunk,
                                       bool chunkIsMoviList) {
  const VIDEOINFOHEADER* info = videoInfoOf(type);
  if (!info || !IsEqualGUID(type.majortype, MEDIATYPE_Video) ||
      !IsEqualGUID(type.formattype, FORMAT_VideoInfo) || info->AvgTimePerFrame <= 0 ||
      firstChunk > kHeaderLimit || firstChunk < 12) {
    return {};
  }
  // The bitmap header, as long as it says it is.
  const std::size_t bitmapAt = offsetof(VIDEOINFOHEADER, bmiHeader);
  const std::size_t bitmapSize = info->bmiHeader.biSize;
  if (bitmapSize < sizeof(BITMAPINFOHEADER) || bitmapSize > type.cbFormat - bitmapAt) return {};

  ChunkWriter out;
  out.id("RIFF");
  out.u32(kOpenEnded);
  out.id("AVI ");
  const std::size_t hdrl = out.begin("LIST", "hdrl");
  writeMainHeader(out, *info);
  writeStreamList(out, *info, bitmapSize);
  out.end(hdrl);
  if (!pad(out, chunkIsMoviList ? firstChunk : firstChunk - 12)) return {};
  if (!chunkIsMoviList) {
    out.id("LIST");
    out.u32(kOpenEnded);
    out.id("movi");
  }
  return out.take();
}

bool beginsChunk(const BYTE* data, ULONG size) {
  if (size < 8) return false;
  for (int i = 0; i < 4; ++i) {
    if (data[i] < 0x20 || data[i] > 0x7E) return false;
  }
  return true;
}

bool beginsMoviList(const BYTE* data, ULONG size) {
  return size >= 12 && std::memcmp(data, "LIST", 4) == 0 && std::memcmp(data + 8, "movi", 4) == 0;
}

bool fillHeaderHole(HANDLE file, const AM_MEDIA_TYPE& type, const BYTE* next, ULONG size) {
  LARGE_INTEGER zero{};
  LARGE_INTEGER at{};
  if (!SetFilePointerEx(file, zero, &at, FILE_CURRENT) || at.QuadPart <= 0 ||
      !beginsChunk(next, size)) {
    return true;
  }
  std::vector<BYTE> header;
  try {
    header = provisionalAviHeader(type, static_cast<std::uint64_t>(at.QuadPart),
                                  beginsMoviList(next, size));
  } catch (const std::bad_alloc&) {
    return true;  // the recording goes on as it would without
  }
  if (header.empty()) return true;
  // The headers end where the multiplexer's write begins: the file pointer is back there.
  DWORD done = 0;
  return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) &&
         WriteFile(file, header.data(), static_cast<DWORD>(header.size()), &done, nullptr) &&
         done == header.size();
}

MediaTypePtr videoTypeFeeding(IPin* output) {
  ComPtr<IBaseFilter> mux = filterOf(output);
  ComPtr<IEnumPins> pins;
  if (!mux || FAILED(mux->EnumPins(pins.put()))) return {};
  for (ComPtr<IPin> pin; pins->Next(1, pin.put(), nullptr) == S_OK;) {
    PIN_DIRECTION direction;
    AM_MEDIA_TYPE type{};
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_INPUT ||
        pin->ConnectionMediaType(&type) != S_OK) {
      continue;
    }
    MediaTypePtr copy;
    if (IsEqualGUID(type.majortype, MEDIATYPE_Video)) copy.reset(duplicateMediaType(type));
    freeMediaTypeContents(type);
    if (copy) return copy;
  }
  return {};
}

}  // namespace kovracam
