// The camera's picture controls on each painted frame, as its sensor pipeline would apply them.

#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {

void FrameStreamer::balance(std::uint8_t* frame, std::size_t size) {
  const PictureBalance wanted = m_filter.controls().balance();
  if (wanted.isNeutral()) return;  // the pattern as painted
  if (!m_balanceTables || !(m_balanceTables->balance() == wanted)) m_balanceTables.emplace(wanted);
  applyBalance(*m_balanceTables, m_format, frame, size);
}

}  // namespace kovracam
