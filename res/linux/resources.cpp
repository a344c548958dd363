#include "res/linux/resources.h"

#include <QtGlobal>

static void initResources() { Q_INIT_RESOURCE(resources); }

namespace kovracam {

QImage loadBanner() {
  initResources();
  return QImage(QStringLiteral(":/res/banner.bmp"));
}

QIcon appIcon() {
  initResources();
  return QIcon(QStringLiteral(":/res/kovracam.png"));
}

}  // namespace kovracam
