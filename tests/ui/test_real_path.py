"""The real device path on a simulated V4L2 camera: the simulator preloaded into
v4l2-compliance, GStreamer and the app, whose SystemV4l2Io and v4l2src then drive it."""

import os
import shutil
import subprocess
import sys
import time

import test_window
import uitest
from uitest import Session, check, is_blue, luminance

CAMERA = ("node=0; name=KOVRA Sim Camera; bus=usb-0000:00:14.0-1; "
          "id=usb-KOVRA_Sim_Camera_SIM0001-video-index0; "
          "path=pci-0000:00:14.0-usb-0:1:1.0-video-index0; "
          "formats=YUY2 640x480@30/15 320x240@30, RGB24 160x120-640x480/16x8@30/15; "
          "controls=brightness int -64..64 =0, contrast int 0..95 =32, "
          "auto_exposure menu 1..3 =3 {1:Manual Mode|3:Aperture Priority Mode}; "
          "powerline=50; pattern=ball\n")
PREVIEW = ("node=0; name=KOVRA Sim Camera; id=usb-KOVRA_Sim_Camera_SIM0001-video-index0; "
           "formats=YUY2 640x480@30, YUY2 320x240@15; "
           "controls=brightness int -64..64/4 =0; powerline=50; pattern=blue")


def simulated(args, session_dir, camera):
    path = os.path.join(session_dir, "sim.conf")
    with open(path, "w") as f:
        f.write(camera)
    library = os.path.join(os.path.dirname(os.path.abspath(args.app)), "libkovracam_v4l2sim.so")
    check(os.path.exists(library), "no simulator at %s" % library)
    return {"LD_PRELOAD": library, "KOVRACAM_V4L2SIM": path}


def run_tool(env, *command, timeout=120):
    return subprocess.run(command, env=dict(os.environ, **env), capture_output=True, text=True,
                          timeout=timeout)


def test_compliance_listings_and_gstreamer(args):
    scratch = Session.__new__(Session)  # no X server: only a folder for the camera file
    scratch.workdir = __import__("tempfile").mkdtemp(prefix="kovracam-sim-")
    try:
        env = simulated(args, scratch.workdir, CAMERA)
        out = run_tool(env, "v4l2-compliance", "-d", "/dev/video0", "-s").stdout
        total = [line for line in out.splitlines() if line.startswith("Total for")]
        check(total and ", Failed: 0," in total[0], "compliance: %s" % (total or out[-2000:]))
        devices = run_tool(env, "v4l2-ctl", "--list-devices").stdout
        check("KOVRA Sim Camera (usb-0000:00:14.0-1)" in devices, devices)
        formats = run_tool(env, "v4l2-ctl", "--list-formats-ext").stdout
        check("Stepwise 160x120 - 640x480 with step 16/8" in formats and
              "(15.000 fps)" in formats, formats)
        controls = run_tool(env, "v4l2-ctl", "--list-ctrls-menus").stdout
        check("brightness 0x00980900 (int)    : min=-64 max=64" in controls and
              "3: Aperture Priority Mode" in controls and "1: 50 Hz" in controls, controls)
        started = time.time()
        gst = run_tool(env, "gst-launch-1.0", "v4l2src", "device=/dev/video0",
                       "num-buffers=90", "!", "fakesink", timeout=30)
        took = time.time() - started
        check(gst.returncode == 0 and "Got EOS" in gst.stdout, gst.stdout + gst.stderr)
        check(2.5 < took < 10, "90 frames at 30 fps took %.1f s" % took)
    finally:
        shutil.rmtree(scratch.workdir, ignore_errors=True)


def test_preview_controls_and_identity(args):
    s = Session(args.app)
    try:
        frame = s.start_frame(None, simulated(args, s.workdir, PREVIEW))
        test_window.expect_video(s, frame, (0, 50, 640, 480))
        popup, submenu, rows, marks = test_window.frequency_marks(s, frame)
        check(marks == [True, False], "the camera's 50 Hz reads back as %s" % marks)
        s.key("Escape")
        s.key("Escape")
        s.wait_unmapped(popup.wid)

        region = (frame.x + 100, frame.view_top + 150, frame.x + 500, frame.view_top + 450)
        before = s.screenshot().share(region, luminance, 4)
        dialog, fill_end, middle = test_window.filter_dialog_slider(s, frame)
        s.click(fill_end + 4, middle)
        s.key("Page_Up", "Page_Up", "Page_Up")
        uitest.wait_until(lambda: s.screenshot().share(region, luminance, 4) > before + 20, 5,
                          "Brightness on the camera did not brighten its frames")
        s.key("Return")
        s.wait_unmapped(dialog.wid)

    finally:
        s.close()


def test_unplugged_and_busy_cameras(args):
    for fault, expected in (("unplug=stream+1.5", "the camera stopped"),
                            ("busy=stream", "the camera cannot")):
        s = Session(args.app)
        try:
            s.start(None, simulated(args, s.workdir, PREVIEW + "; " + fault))
            uitest.wait_until(lambda: expected in s.stderr_text(), 15,
                              lambda: "%s: stderr %r" % (fault, s.stderr_text()))
            if fault.startswith("unplug"):
                time.sleep(1)
                check(s.proc.poll() is None, "the app ended when the camera was unplugged")
        finally:
            s.close()


if __name__ == "__main__":
    if shutil.which("v4l2-compliance") is None:
        print("SKIP: v4l2-compliance is not installed (scripts/deps installs v4l-utils)")
        sys.exit(0)
    uitest.run([test_compliance_listings_and_gstreamer,
                test_preview_controls_and_identity,
                test_unplugged_and_busy_cameras])
