// A started application that takes its texts from a language module, and its About box.

#include "lang/about_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <filesystem>

#include "app/kovracam_app.h"
#include "app/main_frame.h"
#include "app/menu_resource.h"
#include "res/command_ids.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"

namespace kovracam {
namespace {

namespace fs = std::filesystem;

// A German user with a module that lacks string 5019, in a scratch working directory.
class GermanModuleApp : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "LANG"}) {
      if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
      ::unsetenv(name);
    }
    ::setenv("LANG", "de_DE.UTF-8", 1);
    fs::create_directory(cwd.path() / "Language");
    fs::permissions(cwd.path() / "Language", fs::perms(0755));
    fs::copy_file(fs::path(KOVRACAM_TEST_MODULES) / "module_no_5019.so",
                  cwd.path() / "Language" / "de.dll");
    app = std::make_unique<CKOVRACAMApp>(io);
    ASSERT_TRUE(app->InitInstance());
  }
  void TearDown() override {
    app.reset();
    ::unsetenv("LANG");
    for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
  }
  testing::ScratchDirectory cwd;
  testing::VirtualCameraEnv cams{"id=red; name=Red Camera; formats=YUY2 320x240@30\n"};
  FakeV4l2Io io;
  std::unique_ptr<CKOVRACAMApp> app;

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

// The menu takes the module's texts (its missing 5019 leaves position 3 empty); Help > About is
// enabled and opens the modal box over the frame with the module's caption.
TEST_F(GermanModuleApp, MenuAndAboutBoxTakeTheModuleTexts) {
  CMainFrame* frame = app->mainFrame();
  const QList<QAction*> bar = frame->menuBar()->actions();
  ASSERT_EQ(bar.size(), 5);
  EXPECT_EQ(bar[0]->text(), "M 5017");
  EXPECT_EQ(bar[3]->text(), "");
  EXPECT_EQ(frame->popup(kCaptureMenu)->actions().at(2)->text(), "M 5012");
  QMenu* help = frame->popup(kHelpMenu);
  frame->OnInitMenuPopup(help, kHelpMenu);
  EXPECT_TRUE(help->actions().at(0)->isEnabled());
  QString caption;
  QWidget* owner = nullptr;
  // Runs inside the box's own event loop, and closes it.
  QTimer::singleShot(0, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      caption = box->windowTitle();
      owner = box->parentWidget();
      box->close();
    }
  });
  frame->OnCommand(ID_APP_ABOUT);
  EXPECT_EQ(caption, "M 5004");
  EXPECT_EQ(owner, frame);
}

}  // namespace
}  // namespace kovracam
