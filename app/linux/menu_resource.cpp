#include "app/linux/menu_resource.h"

#include <QMenu>
#include <QMenuBar>

#include "res/command_ids.h"

namespace kovracam {
namespace {

QAction* addItem(QMenu* menu, const char* text, std::uint32_t id) {
  QAction* action = menu->addAction(QString::fromLatin1(text));
  action->setData(id);
  return action;
}

}  // namespace

void buildMainMenu(QMenuBar* bar) {
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  addItem(file, "E&xit", ID_APP_EXIT);

  QMenu* device = bar->addMenu(QStringLiteral("&Device"));
  addItem(device, "Device0", ID_DEVICE_FIRST);

  QMenu* option = bar->addMenu(QStringLiteral("&Option"));
  addItem(option, "&Preview", ID_OPTION_PREVIEW)->setCheckable(true);
  option->addSeparator();
  addItem(option, "Video Capture filter", ID_OPTION_FILTER_PROPERTIES);
  addItem(option, "Video Capture Pin", ID_OPTION_PIN_PROPERTIES);
  QMenu* frequency = option->addMenu(QStringLiteral("Frequency"));
  addItem(frequency, "50Hz", ID_FREQUENCY_50HZ)->setCheckable(true);
  addItem(frequency, "60Hz", ID_FREQUENCY_60HZ)->setCheckable(true);

  QMenu* capture = bar->addMenu(QStringLiteral("&Capture"));
  addItem(capture, "&Start Capture", ID_CAPTURE_START);
  addItem(capture, "Sto&p Capture", ID_CAPTURE_STOP);
  addItem(capture, "S&napShot", ID_CAPTURE_SNAPSHOT);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  addItem(help, "&About KOVRACAM...", ID_APP_ABOUT);
}

}  // namespace kovracam
