"""A private Xvfb server for one test session: a display number nobody else listens on, a
server that does not reset between clients, and that dies with the test that started it."""

import ctypes
import os
import random
import select
import signal
import subprocess


class XServerError(RuntimeError):
    pass


def die_with_parent():
    """Runs in the child before exec: a test killed on time-out must not leave it behind."""
    pr_set_pdeathsig = 1
    ctypes.CDLL(None).prctl(pr_set_pdeathsig, signal.SIGTERM)


def listening_x_sockets(number):
    """Inodes of the listening sockets, abstract or in /tmp/.X11-unix, of X display `number`."""
    names = ("/tmp/.X11-unix/X%d" % number, "@/tmp/.X11-unix/X%d" % number)
    with open("/proc/net/unix") as f:
        rows = [line.split() for line in f.readlines()[1:]]
    # Columns: address, references, protocol, flags (0x10000 when listening), type, state,
    # inode, name.
    return {row[6] for row in rows if len(row) >= 8 and row[7] in names and
            int(row[3], 16) & 0x10000}


def socket_inodes(pid):
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            inodes.add(target[len("socket:["):-1])
    return inodes


def launch_xvfb(number, size, timeout=20):
    """An Xvfb on display `number` once it accepts connections, or None."""
    read_fd, write_fd = os.pipe()
    # Without -noreset the server resets whenever its last client leaves, and a client that
    # connects meanwhile (the app starting while xdotool polls) is turned away.
    server = subprocess.Popen(
        ["Xvfb", ":%d" % number, "-displayfd", str(write_fd), "-screen", "0", size,
         "-nolisten", "tcp", "-noreset"], pass_fds=[write_fd], stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        ready = select.select([f], [], [], timeout)[0]
        reported = f.readline().strip() if ready else ""
    # A server left behind by a killed run may still listen on this display (servers started
    # with -displayfd leave no lock file); clients would reach it instead, so the display is
    # ours only if every socket listening on it is.
    listeners = listening_x_sockets(number)
    if reported == str(number) and listeners and listeners <= socket_inodes(server.pid):
        return server
    server.terminate()
    try:
        server.wait(timeout=10)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait()
    return None


def start_xvfb(size, attempts=20):
    """(server, ":N") for a private X server on a display no one else listens on."""
    first = random.randrange(100, 900)
    for number in range(first, first + attempts):
        if os.path.exists("/tmp/.X%d-lock" % number) or listening_x_sockets(number):
            continue
        server = launch_xvfb(number, size)
        if server is not None:
            return server, ":%d" % number
    raise XServerError("no X display free for Xvfb")
