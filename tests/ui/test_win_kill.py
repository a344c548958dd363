"""The Windows build under Wine killed while it records: the file keeps the frames written up to
the last second, readable by ffprobe without the headers and index a stop would have written."""

import os, signal, time

import uitest
from test_recording import probe
from uitest import WinePrefix, WineSession, check

PREFIX = None  # the run's Wine prefix


def test_a_killed_recording_keeps_its_frames(args):
    with WineSession(args.app, PREFIX) as s:
        frame = s.start("id=k; name=K; formats=YUY2 320x240@30; pattern=ball\n")
        path = os.path.join(s.workdir, "killed.avi")
        frame.save("alt+c", "s", s.native_path(path[:-4]))
        # From the first frame's bytes in the file (the headers take less).
        first = uitest.wait_until(lambda: os.path.exists(path) and os.path.getsize(path) >
                                  128 << 10 and time.time(), 20, "no frame in killed.avi", 0.005)
        time.sleep(4)
        s.proc.send_signal(signal.SIGKILL)  # as Task Manager's End task, or a crash
        delivered = (time.time() - first) * 30
        s.proc.wait(10)
        got = probe(path)  # codec, size, pixel format, frames in the header, frames read
        print("  %s, %.0f frames delivered" % (",".join(got), delivered))
        check(got[:4] == ["rawvideo", "320", "240", "yuyv422"] and got[5].isdigit() and
              int(got[5]) >= delivered - 30, "killed.avi: %s" % got)


if __name__ == "__main__":
    with WinePrefix() as PREFIX:
        uitest.run(test_a_killed_recording_keeps_its_frames)
