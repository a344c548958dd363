#pragma once
// The virtual camera filter's two objects. The pin lives inside the filter and shares its
// reference count, so a pin reference keeps the whole filter alive.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/win/win_handle.h"
#include "capture/pixel/picture_balance.h"
#include "capture/win/com_ptr.h"
#include "capture/win/filter_base/com_enumerators.h"
#include "capture/win/filter_base/ref_count.h"
#include "capture/win/media_type.h"
#include "capture/win/virtual/camera_controls.h"
#include "capture/win/virtual/virtual_camera_filter.h"

namespace kovracam {

class VirtualCameraFilter;

// The kinds of output pin a camera's filter has: every one a capture pin; capture cards and
// some cameras a preview pin of their own; UVC cameras a still pin, which sends a picture only
// when triggered (this camera never is).
enum class PinRole { Capture, Preview, Still };

// A failing camera's faults, in stream time (100 ns units from the start of its stream).
struct StreamFaults {
  std::optional<REFERENCE_TIME> lostAt;  // the device goes away
  std::optional<REFERENCE_TIME> endAt;   // the stream ends, the device stays
  REFERENCE_TIME stallFrom = 0;          // no frame in [stallFrom, stallUntil)
  REFERENCE_TIME stallUntil = 0;

  static StreamFaults of(const VirtualCamera& camera);
};

// What the streaming thread needs to know, under FrameStreamer::m_lock.
struct StreamClock {
  bool running = false;
  REFERENCE_TIME start = 0;  // tStart of Run
  ComPtr<IReferenceClock> clock;
};

// Delivers frames from a thread of its own, paced at the format's rate on the graph's clock.
class FrameStreamer {
 public:
  FrameStreamer(VirtualCameraFilter& filter, const StreamFaults& faults)
      : m_filter(filter), m_faults(faults) {}
  ~FrameStreamer() { stop(); }

  HRESULT start(const ComPtr<IMemInputPin>& input, const ComPtr<IPin>& peer,
                const ComPtr<IMemAllocator>& allocator, const CaptureFormat& format);
  void run(REFERENCE_TIME tStart, const ComPtr<IReferenceClock>& clock);
  void pause();
  // Ends the thread within a bound (the caller decommits the allocator first, so no wait for a
  // buffer holds it up). false when it did not end: it keeps its own filter reference then.
  bool stop();
  // Stops delivery as a removed device does. false when not streaming.
  bool unplug();

 private:
  static DWORD WINAPI threadMain(void* self);
  void loop();
  // Waits for the next frame's moment; false when woken for a state change instead.
  bool waitForFrame(std::int64_t* frameNumber, REFERENCE_TIME* streamTime);
  bool streamNow(REFERENCE_TIME* now);
  HRESULT deliver(std::int64_t frameNumber, REFERENCE_TIME streamTime);
  // The camera's picture controls on a painted frame (frame_streamer_balance.cpp).
  void balance(std::uint8_t* frame, std::size_t size);
  void endStream(long eventCode, HRESULT hr);
  // What the camera's faults do to the frame due at `streamTime`; it is sent only with None.
  enum class Fault { None, Lost, Ends, Stalled };
  Fault faultAt(REFERENCE_TIME streamTime) const;

  VirtualCameraFilter& m_filter;
  const StreamFaults m_faults;
  ComPtr<IMemInputPin> m_input;
  ComPtr<IPin> m_peer;
  ComPtr<IMemAllocator> m_allocator;
  CaptureFormat m_format;
  WinHandle m_thread;
  DWORD m_threadId = 0;
  REFERENCE_TIME m_interval = 0;
  std::optional<BalanceTables> m_balanceTables;  // streaming thread only

  std::mutex m_lock;
  std::condition_variable m_wake;
  StreamClock m_clock;            // guarded by m_lock
  bool m_bStop = false;           // guarded by m_lock
  bool m_bUnplugged = false;      // guarded by m_lock
  std::uint64_t m_nRunEpoch = 0;  // guarded by m_lock; changes with every Run and Pause
};

class VirtualOutputPin final : public IPin,
                               public IAMStreamConfig,
                               public IKsPropertySet,
                               public ISpecifyPropertyPages {
 public:
  VirtualOutputPin(VirtualCameraFilter& filter, const VirtualCamera& camera, PinRole role);
  ~VirtualOutputPin();

  // IUnknown, shared with the filter.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: answers the pin category, by which graph builders find the pin.
  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override {
    return E_PROP_ID_UNSUPPORTED;
  }
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceBytes, void* data,
                   DWORD dataBytes, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // ISpecifyPropertyPages: the page listing the formats to choose from.
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // Filter state changes, called with the filter's lock held.
  HRESULT active();
  void run(REFERENCE_TIME tStart, const ComPtr<IReferenceClock>& clock);
  void pause();
  void inactive();
  bool unplug() { return m_streamer.unplug(); }
  const wchar_t* name() const;

 private:
  // The offered format matching `type`, or null.
  const CaptureFormat* offeredFormat(const AM_MEDIA_TYPE& type) const;
  HRESULT tryConnection(IPin* receivePin, const CaptureFormat& format);
  HRESULT negotiateAllocator(IMemInputPin* input, const AM_MEDIA_TYPE& type);
  std::vector<CaptureFormat> offeredFormats() const;

  VirtualCameraFilter& m_filter;
  const VirtualCamera m_camera;
  const PinRole m_role;
  CaptureFormat m_current;
  bool m_bFormatSet = false;  // SetFormat narrows the offer to the format set

  // Guarded by the filter's lock.
  ComPtr<IPin> m_connected;
  ComPtr<IMemInputPin> m_input;
  ComPtr<IMemAllocator> m_allocator;
  MediaTypePtr m_connectionType;
  FrameStreamer m_streamer;
};

// The filter's processing amplifier as a camera's driver offers it: IAMVideoProcAmp, the same
// controls through IKsPropertySet's video-processing set, and a property page that shows them.
// Shares the filter's reference count.
class VirtualFilterControls final : public IAMVideoProcAmp,
                                    public IKsPropertySet,
                                    public ISpecifyPropertyPages {
 public:
  VirtualFilterControls(IBaseFilter& filter, std::shared_ptr<VirtualCameraControls> values)
      : m_filter(filter), m_values(std::move(values)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return m_filter.QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_filter.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_filter.Release(); }

  // IAMVideoProcAmp
  STDMETHODIMP GetRange(LONG property, LONG* minimum, LONG* maximum, LONG* step, LONG* defaultValue,
                        LONG* capsFlags) override;
  STDMETHODIMP Set(LONG property, LONG value, LONG flags) override;
  STDMETHODIMP Get(LONG property, LONG* value, LONG* flags) override;
  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceBytes, void* data,
                   DWORD dataBytes) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceBytes, void* data,
                   DWORD dataBytes, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  const VirtualCameraControls& values() const { return *m_values; }

 private:
  IBaseFilter& m_filter;
  const std::shared_ptr<VirtualCameraControls> m_values;
};

class VirtualCameraFilter final : public IBaseFilter, public IAMFilterMiscFlags {
 public:
  explicit VirtualCameraFilter(const VirtualCamera& camera);
  ~VirtualCameraFilter();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME tStart) override;
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }
  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  std::recursive_mutex& lock() { return m_lock; }
  const std::string& pattern() const { return m_pattern; }
  const VirtualCameraControls& controls() const { return m_controls.values(); }
  FILTER_STATE state() const { return m_state; }
  // Streaming thread: tells the graph about a failure (EC_ERRORABORT, EC_DEVICE_LOST...).
  void notifyGraph(long eventCode, LONG_PTR param1, LONG_PTR param2);
  bool unplug();
  // Streaming thread: the camera went away by itself (its unplug time came); it stays away
  // while the program runs, as a camera pulled out does.
  void markLost();

 private:
  RefCount m_refs;
  const std::string m_pattern;
  std::recursive_mutex m_lock;
  FILTER_STATE m_state = State_Stopped;
  ComPtr<IReferenceClock> m_clock;
  // Guarded by m_graphLock apart from the state lock, so the streaming thread can report
  // while a state change waits for it.
  std::mutex m_graphLock;
  IFilterGraph* m_graph = nullptr;  // not counted: the graph holds us
  WCHAR m_name[MAX_FILTER_NAME] = {};
  VirtualFilterControls m_controls;
  const std::string m_id;
  const bool m_bBusy;
  VirtualOutputPin m_pin;  // "Capture"
  std::unique_ptr<VirtualOutputPin> m_previewPin;
  std::unique_ptr<VirtualOutputPin> m_stillPin;
  std::vector<VirtualOutputPin*> m_pins;  // in the order EnumPins gives them
};

}  // namespace kovracam
