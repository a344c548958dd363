// The engine's side of the camera's own controls: the controls dialog, the format dialog and the
// power-line frequency.

#include <linux/videodev2.h>

#include <QMessageBox>

#include "capture/linux/dialogs/filter_properties_dialog.h"
#include "capture/linux/dialogs/pin_properties_dialog.h"
#include "capture/linux/video_cap.h"

namespace kovracam {

void CVideoCap::ShowFilterProperties(QWidget* owner) {
  if (!m_pSource || !m_pMoniker) return;
  auto controls = m_pMoniker->openControls(m_pSource);
  // A camera with no controls has no pages to show: the command does nothing visible.
  if (!controls || controls->list().empty()) return;
  FilterPropertiesDialog dialog(*controls, owner);
  dialog.exec();
}

// Lets the user pick one of the formats the device offers. Called between building and rendering
// the graph, so a new format is put into the source before anything is linked.
void CVideoCap::ShowPinProperties(QWidget* owner, int* width, int* height) {
  if (!m_pSource || !m_pMoniker) return;
  // A camera that lists no format has no pages to show; the format in force is read all the
  // same.
  if (const auto offered = m_pMoniker->offeredFormats(); !offered.empty()) {
    PinPropertiesDialog dialog(offered, m_graphFormat, owner);
    dialog.exec();
    if (const auto chosen = dialog.selectedFormat(); chosen && m_pMoniker->applyFormat(*chosen)) {
      m_pFormat = *chosen;
    }
  }
  // Read the format again, whichever button closed the dialog.
  const auto format = m_pFormat ? m_pFormat : m_pMoniker->currentFormat();
  if (!format) return;
  const PixelFormat pixel = pixelFormatOf(format->subtype);
  if (pixel == kPixelNone) {
    showUnsupportedTypeBox();
    return;
  }
  if (*format != m_graphFormat) replaceSource(*format);
  m_nPixelFormat = pixel;
  *width = m_nWidth = format->width;
  *height = m_nHeight = format->height;
}

// Swaps the unlinked source for one that delivers `format`.
void CVideoCap::replaceSource(const CaptureFormat& format) {
  GstPad* pad = gst_element_get_static_pad(m_pSource, "src");
  const bool linked = pad && gst_pad_is_linked(pad);
  if (pad) gst_object_unref(pad);
  if (linked) return;
  GstElement* source = m_pMoniker->createSource(format);
  if (!source) return;
  gst_element_set_state(m_pSource, GST_STATE_NULL);
  gst_bin_remove(GST_BIN(m_pGraph), m_pSource);
  gst_object_unref(m_pSource);
  gst_bin_add(GST_BIN(m_pGraph), source);
  m_pSource = GST_ELEMENT(gst_object_ref(source));
  m_graphFormat = format;
}

int CVideoCap::GetPowerLineFrequency() {
  if (!m_pSource || !m_pMoniker) return -1;
  auto controls = m_pMoniker->openControls(m_pSource);
  if (!controls) return -1;
  const auto value = controls->get(V4L2_CID_POWER_LINE_FREQUENCY);
  return value ? static_cast<int>(*value) : -1;
}

void CVideoCap::SetPowerLineFrequency(int value) {
  if (!m_pSource || !m_pMoniker) return;
  if (auto controls = m_pMoniker->openControls(m_pSource)) {
    controls->set(V4L2_CID_POWER_LINE_FREQUENCY, value);  // a refusal shows in the next reading
  }
}

}  // namespace kovracam
