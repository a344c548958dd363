#include "capture/linux/frame_mailbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/test_env.h"

namespace kovracam {
namespace {

// A streaming thread posts numbered frames into the single slot while the GUI thread takes them.
TEST(FrameMailboxThreads, NewestFrameWinsAndWakeUpsDoNotPileUp) {
  FrameMailbox mailbox;
  int wakeUps = 0;
  guint64 lastTaken = 0;
  bool inOrder = true;
  QObject::connect(&mailbox, &FrameMailbox::frameReady, [&] {
    ++wakeUps;
    if (GstSample* sample = mailbox.take()) {
      const guint64 n = GST_BUFFER_OFFSET(gst_sample_get_buffer(sample));
      inOrder = inOrder && n > lastTaken;
      lastTaken = n;
      gst_sample_unref(sample);
    }
  });
  constexpr guint64 kFrames = 5000;
  std::atomic<bool> done{false};
  std::thread streaming([&] {
    for (guint64 n = 1; n <= kFrames; ++n) {
      GstBuffer* buffer = gst_buffer_new();
      GST_BUFFER_OFFSET(buffer) = n;
      GstSample* sample = gst_sample_new(buffer, nullptr, nullptr, nullptr);
      // The sample holds the buffer from here on; drop ours before the frame leaves this thread.
      gst_buffer_unref(buffer);
      mailbox.post(sample);
    }
    done = true;
  });
  testing::processEventsUntil([&] { return done && lastTaken == kFrames; },
                              std::chrono::seconds(20));
  streaming.join();
  // The newest frame always arrives, and never an older frame after a newer one.
  EXPECT_TRUE(lastTaken == kFrames && inOrder) << lastTaken;
  EXPECT_TRUE(wakeUps <= static_cast<int>(kFrames) && !mailbox.take()) << wakeUps;
  // Only the first error of a failing stream is reported.
  QStringList reported;
  QObject::connect(&mailbox, &FrameMailbox::streamFailed, [&](const QString& m) { reported << m; });
  mailbox.postError("camera unplugged");
  mailbox.postError("internal data stream error");
  QCoreApplication::processEvents();
  EXPECT_EQ(reported, QStringList({"camera unplugged"}));
}

}  // namespace
}  // namespace kovracam
