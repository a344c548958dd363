// Capture > Snapshot: the next frame as a JPEG or BMP picture.

#include <cstdint>
#include <string>

#include "app/win/main_frame.h"
#include "base/win/gdi_handles.h"
#include "base/win/wide_text.h"
#include "capture/pixel/pixel_conversion.h"
#include "view/snapshot_file.h"
#include "view/win/save_dialog.h"
#include "view/win/snapshot_writer.h"

namespace kovracam {
namespace {

// The header of a 24-bit bottom-up section, followed by its one colour entry (zero).
BITMAPINFO snapshotHeader(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // positive: the rows run bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  // Rows padded to 4 bytes as the section lays them out: width * 3 for widths divisible by 4.
  info.bmiHeader.biSizeImage =
      static_cast<DWORD>(rgb24Stride(width) * static_cast<std::size_t>(height));
  return info;
}

// The section, made on a client device context of `window`; null when it cannot be made.
HBITMAP createSection(HWND window, const BITMAPINFO& info, void** bits) {
  const HDC dc = GetDC(window);
  if (!dc) return nullptr;
  const HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  const DWORD error = GetLastError();
  ReleaseDC(window, dc);
  SetLastError(error);
  return section;
}

}  // namespace

void CMainFrame::OnCaptureSnapshot() {
  const auto chosen = askSavePath(m_hWnd, kSnapshotExtension, kSnapshotFilter);
  if (!chosen) return;
  // A snapshot that is not taken is told, never passed over in silence.
  const auto fail = [this](const std::wstring& text) { showFailureBox(text); };
  const std::string utf8 = narrowToUtf8(chosen->path);
  if (utf8.empty()) {
    fail(L"Can't save the picture \"" + chosen->path + L"\": the name is not valid text.");
    return;
  }
  const SnapshotTarget target = snapshotTarget(utf8, "\\/");
  const std::wstring path = widenUtf8(target.path);

  CVideoCap& engine = m_wndView.m_videoCap;
  const int width = engine.m_nWidth;
  const int height = engine.m_nHeight;
  if (width <= 0 || height <= 0 || !engine.isRunning()) {
    fail(L"No picture was taken for \"" + path + L"\": the camera is not running.");
    return;
  }
  const BITMAPINFO info = snapshotHeader(width, height);
  void* bits = nullptr;
  const ScopedGdiObject<HBITMAP> section(createSection(m_hWnd, info, &bits));
  if (!section.get() || !bits) {
    fail(L"No picture was taken for \"" + path + L"\": there is no memory for a picture of " +
         std::to_wstring(width) + L" x " + std::to_wstring(height) + L".");
    return;
  }
  if (!engine.GetSnapshot(static_cast<std::uint8_t*>(bits), info.bmiHeader.biSizeImage)) {
    fail(L"No picture was taken for \"" + path + L"\": the camera sent no frame in time.");
    return;
  }
  std::wstring reason;
  if (!WriteSnapshotFile(info, bits, path, target.format, &reason)) {
    fail(L"Can't save the picture \"" + path + L"\": " + reason + L".");
  }
}

}  // namespace kovracam
