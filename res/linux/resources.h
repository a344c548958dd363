#pragma once
// Pictures the program carries.

#include <QIcon>
#include <QImage>

namespace kovracam {

// The 640 x 50, 24-bit banner painted across the top of the view.
QImage loadBanner();
QIcon appIcon();

}  // namespace kovracam
