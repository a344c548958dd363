#include "view/win/child_view.h"

#include <algorithm>
#include <cstdio>

#include "base/win/wide_text.h"
#include "lang/ui_text_table.h"
#include "res/command_ids.h"
#include "res/win/resource_ids.h"
#include "view/device_choice_bytes.h"
#include "view/win/device_choice_file.h"

namespace kovracam {
namespace {

constexpr const wchar_t* kViewClass = L"KovracamView";

HBITMAP loadBanner() {
  return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BANNER),
                                         IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

std::wstring currentDirectory() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return {};
  std::wstring directory(needed, L'\0');
  const DWORD length = GetCurrentDirectoryW(needed, directory.data());
  directory.resize(length < needed ? length : 0);
  return directory;
}

}  // namespace

CChildView::CChildView() : m_bmpBanner(loadBanner()) {
  m_videoCap.Prepare();
  BITMAP info{};
  if (m_bmpBanner.get() && GetObjectW(m_bmpBanner.get(), sizeof info, &info)) {
    m_nBannerWidth = info.bmWidth;
    m_nBannerHeight = info.bmHeight;
  }
}

CChildView::~CChildView() {
  // The engine's video window is our child: let the engine remove it while we still exist.
  m_videoCap.TearDown();
}

bool CChildView::Create(HWND parent, DWORD style, UINT id) {
  CREATESTRUCTW cs{};
  cs.style = style;
  cs.lpszClass = kViewClass;
  return PreCreateWindow(cs) &&
         CreateEx(cs.dwExStyle, cs.lpszClass, L"", cs.style, RECT{0, 0, 0, 0}, parent,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)));
}

bool CChildView::PreCreateWindow(CREATESTRUCTW& cs) {
  cs.dwExStyle |= WS_EX_CLIENTEDGE;
  cs.style &= ~WS_BORDER;
  // The window background brush is the system colour index plus one.
  return RegisterWndClass(
      cs.lpszClass, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, LoadCursorW(nullptr, IDC_ARROW),
      reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)), nullptr);
}

LRESULT CChildView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    OnPaint();
    return 0;
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

void CChildView::OnPaint() {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(m_hWnd, &paint);
  if (dc && m_bmpBanner.get()) {
    const ScopedMemoryDC memory(dc, m_bmpBanner.get());
    RECT client{};
    GetClientRect(m_hWnd, &client);
    // Squeezed or widened to the client's width, always 50 high, without smoothing.
    SetStretchBltMode(dc, COLORONCOLOR);
    if (memory.get()) {
      StretchBlt(dc, 0, 0, client.right, BANNER_STRIP_HEIGHT, memory.get(), 0, 0, m_nBannerWidth,
                 m_nBannerHeight, SRCCOPY);
    }
  }
  EndPaint(m_hWnd, &paint);
}

void CChildView::ShowNoCameraBox() {
  const std::wstring text = m_pUiTexts ? toWide((*m_pUiTexts)[IDS_NO_CAMERA]) : L"";
  const std::wstring caption = m_pUiTexts ? toWide((*m_pUiTexts)[IDS_ERROR_CAPTION]) : L"";
  MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK);
}

Status CChildView::FillDeviceMenu(HMENU deviceMenu) {
  CVideoCap enumerator;  // enumeration never touches the running engine
  m_devices.clear();
  m_strCurDir = currentDirectory();
  const Status status = enumerator.EnumDevices(&m_devices);
  if (status != kOk || m_devices.pRecords.empty()) {
    ShowNoCameraBox();
    return status != kOk ? status : kNoDevice;
  }
  // Only the ids the frame dispatches to its device command are given out.
  if (m_devices.pRecords.size() > kMaxListedDevices) m_devices.pRecords.resize(kMaxListedDevices);
  const std::wstring first = widenUtf8(m_devices.pRecords[0].szFriendlyName);
  ModifyMenuW(deviceMenu, ID_DEVICE_FIRST, MF_BYCOMMAND | MF_STRING, ID_DEVICE_FIRST,
              first.c_str());
  for (std::uint32_t i = 1; i < m_devices.nCount(); ++i) {
    const std::wstring name = widenUtf8(m_devices.pRecords[i].szFriendlyName);
    AppendMenuW(deviceMenu, MF_STRING, ID_DEVICE_FIRST + i, name.c_str());
  }
  LoadDeviceChoice();
  return kOk;
}

void CChildView::LoadDeviceChoice() {
  m_nCurDevice = ID_DEVICE_FIRST;
  const auto stored = readDeviceChoiceFile(m_strCurDir);
  if (!stored) return;
  if (const auto index = findDeviceChoice(m_devices, *stored)) {
    m_nCurDevice = ID_DEVICE_FIRST + static_cast<std::uint32_t>(*index);
  }
}

void CChildView::SaveDeviceChoice(std::uint32_t id) {
  m_nCurDevice = id;  // in force for this run whatever becomes of the file
  const DeviceRecord* record = recordAt(static_cast<int>(id - ID_DEVICE_FIRST));
  if (record && !writeDeviceChoiceFile(m_strCurDir, record->szDisplayName)) {
    std::fprintf(stderr,
                 "kovracam: the camera choice cannot be saved in %s; the preview keeps it, the "
                 "Device menu shows the saved one again\n",
                 narrowToUtf8(m_strCurDir).c_str());
  }
}

bool CChildView::HasDevice(std::uint32_t id) const {
  return recordAt(static_cast<int>(id - ID_DEVICE_FIRST)) != nullptr;
}

const DeviceRecord* CChildView::recordAt(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= m_devices.nCount()) return nullptr;
  return &m_devices.pRecords[static_cast<std::size_t>(index)];
}

Status CChildView::StartPreview(int index, int* width, int* heightWithBanner) {
  const DeviceRecord* record = recordAt(index);
  if (!record) return kDeviceNotFound;
  m_videoCap.TearDown();  // nothing a failed start left behind is kept
  int w = 0;
  int h = 0;
  m_videoCap.SelectDevice(record->szDisplayName);  // a name it cannot bind fails the build
  Status status = m_videoCap.BuildGraph(&w, &h);
  if (status == kOk) status = m_videoCap.RenderPreview();
  if (status == kNoPreviewPin) status = kOk;  // the capture output is rendered instead
  if (status == kOk) {
    m_videoCap.PlaceVideoWindow(m_hWnd, w, h);
    // S_FALSE: the graph is still on its way to running.
    if (const Status run = m_videoCap.Run(); !succeeded(run)) status = run;
  }
  if (status != kOk) {
    m_videoCap.TearDown();
    return status;
  }
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  m_bRunning = true;
  return kOk;
}

// Stops and releases the running graph and builds the current camera's again, unconnected.
// A build that fails leaves no graph.
Status CChildView::RebuildCurrentDevice(int* width, int* height) {
  m_videoCap.Stop();  // completes a recording in progress; harmless without a graph
  m_videoCap.TearDown();
  const DeviceRecord* record = recordAt(static_cast<int>(m_nCurDevice - ID_DEVICE_FIRST));
  if (!record) return kDeviceNotFound;
  m_videoCap.SelectDevice(record->szDisplayName);
  const Status status = m_videoCap.BuildGraph(width, height);
  if (status != kOk) m_videoCap.TearDown();
  return status;
}

Status CChildView::RestartWithPinProperties(int* width, int* heightWithBanner) {
  if (!width || !heightWithBanner) return kPointer;
  int w = 0;
  int h = 0;
  Status status = RebuildCurrentDevice(&w, &h);
  if (status != kOk) return status;
  m_videoCap.ShowPinProperties(m_hWnd, &w, &h);
  status = m_videoCap.RenderPreview();
  if (status == kNoPreviewPin) status = kOk;
  if (status != kOk) {
    m_videoCap.TearDown();  // nothing half-built is kept around
    return status;
  }
  m_videoCap.PlaceVideoWindow(m_hWnd, w, h);
  // A camera that lists a format it cannot deliver, or one gone meanwhile: nothing runs, and
  // no picture of the old graph is left standing.
  if (const Status run = m_videoCap.Run(); !succeeded(run)) {
    m_videoCap.TearDown();
    m_bRunning = false;
    return run;
  }
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  return kOk;
}

Status CChildView::StartRecording(const std::wstring& path, int* width, int* heightWithBanner) {
  int w = 0;
  int h = 0;
  Status status = RebuildCurrentDevice(&w, &h);
  if (status == kOk) status = m_videoCap.StartFileCapture(path, m_hWnd, w, h);
  if (!succeeded(status) || status == kFalse) {
    // Nothing half-built stays: its file writer would keep the file open.
    m_videoCap.TearDown();
    return status;
  }
  *width = w;
  *heightWithBanner = h + BANNER_STRIP_HEIGHT;
  m_bRunning = true;
  return kOk;
}

void CChildView::StopPreview() {
  if (!m_bRunning) return;
  m_videoCap.Stop();
  m_videoCap.TearDown();
  m_bRunning = false;
}

}  // namespace kovracam
