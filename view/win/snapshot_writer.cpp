#include "view/win/snapshot_writer.h"

#include <objidl.h>  // the COM types GDI+ names, which a lean windows.h leaves out

#include <gdiplus.h>

#include <cstdint>
#include <vector>

#include "base/win/win_handle.h"

namespace kovracam {
namespace {

namespace gdip = Gdiplus::DllExports;
using Gdiplus::GpStatus;

// GDI+ for the length of one snapshot, as the image class of the framework used it. A snapshot
// is rare and already waits for a frame; keeping GDI+ up would need its shutdown ordered before
// the process ends, which a per-snapshot session avoids.
class GdiplusSession {
 public:
  GdiplusSession() {
    const Gdiplus::GdiplusStartupInput input;
    m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession() {
    if (m_status == Gdiplus::Ok) Gdiplus::GdiplusShutdown(m_token);
  }
  GpStatus status() const { return m_status; }

 private:
  ULONG_PTR m_token = 0;
  GpStatus m_status = Gdiplus::GenericError;
};

class GdipBitmap {
 public:
  GdipBitmap() = default;
  GdipBitmap(const GdipBitmap&) = delete;
  GdipBitmap& operator=(const GdipBitmap&) = delete;
  ~GdipBitmap() {
    if (m_bitmap) gdip::GdipDisposeImage(m_bitmap);
  }
  Gdiplus::GpBitmap** put() { return &m_bitmap; }
  Gdiplus::GpBitmap* get() const { return m_bitmap; }

 private:
  Gdiplus::GpBitmap* m_bitmap = nullptr;
};

std::wstring systemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  return message.empty() ? L"system error " + std::to_wstring(error) : message;
}

std::wstring gdiplusMessage(GpStatus status, DWORD lastError) {
  switch (status) {
    case Gdiplus::OutOfMemory:
      return L"not enough memory for the picture";
    case Gdiplus::Win32Error:
      return systemMessage(lastError);
    case Gdiplus::FileNotFound:
      return L"the folder was not found";
    case Gdiplus::AccessDenied:
      return L"access is denied";
    case Gdiplus::UnsupportedGdiplusVersion:
    case Gdiplus::GdiplusNotInitialized:
      return L"GDI+ is not available";
    default:
      return L"GDI+ failed (status " + std::to_wstring(static_cast<int>(status)) + L")";
  }
}

// The installed encoder whose MIME type is `mime`.
bool findEncoder(const wchar_t* mime, CLSID* clsid) {
  UINT count = 0;
  UINT bytes = 0;
  if (gdip::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0) return false;
  std::vector<std::uint8_t> block(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(block.data());
  if (gdip::GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && lstrcmpiW(codecs[i].MimeType, mime) == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// A new, empty file beside `path`, named after it, so the rename stays on one volume.
bool reserveTemporaryFile(const std::wstring& path, std::wstring* temporary, std::wstring* reason) {
  DWORD error = ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
    *temporary = path + L".~" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(attempt) + L".tmp";
    WinHandle file(CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return true;
    error = GetLastError();
  }
  *reason = systemMessage(error);
  return false;
}

// The encoder's data on the medium before the rename makes it the picture.
bool flushToDisk(const std::wstring& file, std::wstring* reason) {
  WinHandle handle(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!handle || !GetFileSizeEx(handle.get(), &size) || !FlushFileBuffers(handle.get()) ||
      !handle.reset()) {
    *reason = systemMessage(GetLastError());
    return false;
  }
  if (size.QuadPart == 0) {
    *reason = L"the encoder wrote nothing";
    return false;
  }
  return true;
}

bool encode(const BITMAPINFO& info, void* bits, const std::wstring& file, PictureFormat format,
            std::wstring* reason) {
  const GdiplusSession session;
  if (session.status() != Gdiplus::Ok) {
    *reason = gdiplusMessage(session.status(), GetLastError());
    return false;
  }
  CLSID encoder{};
  const wchar_t* mime = format == PictureFormat::Bmp ? L"image/bmp" : L"image/jpeg";
  if (!findEncoder(mime, &encoder)) {
    *reason = std::wstring(L"GDI+ has no encoder for ") + mime;
    return false;
  }
  // The bitmap reads the section's bottom-up rows in place; it goes before the section does.
  GdipBitmap bitmap;
  GpStatus status = gdip::GdipCreateBitmapFromGdiDib(&info, bits, bitmap.put());
  if (status == Gdiplus::Ok) {
    status = gdip::GdipSaveImageToFile(bitmap.get(), file.c_str(), &encoder, nullptr);
  }
  if (status != Gdiplus::Ok) {
    *reason = gdiplusMessage(status, GetLastError());
    return false;
  }
  return true;
}

}  // namespace

bool WriteSnapshotFile(const BITMAPINFO& info, void* bits, const std::wstring& path,
                       PictureFormat format, std::wstring* reason) {
  std::wstring temporary;
  if (!reserveTemporaryFile(path, &temporary, reason)) return false;
  bool written = encode(info, bits, temporary, format, reason) && flushToDisk(temporary, reason);
  if (written && !MoveFileExW(temporary.c_str(), path.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *reason = systemMessage(GetLastError());
    written = false;
  }
  if (!written) DeleteFileW(temporary.c_str());
  return written;
}

}  // namespace kovracam
