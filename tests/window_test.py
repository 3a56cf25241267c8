#!/usr/bin/env python3
"""The real demo in a real X window on a private Xvfb screen.

Usage: window_test.py DEMO WM_CLOSE classic|compat

DEMO is the program, WM_CLOSE the helper that sends a window manager's close
request. "classic" runs the program on the SDL 1.2 it was linked with;
"compat" puts sdl12-compat in front of it through LD_LIBRARY_PATH (its folder
from VASKILOIMU_SDL12_COMPAT_DIR, or else where Debian's libsdl1.2-compat
installs it). Needs Xvfb (xvfb), xdotool, xdpyinfo and xwininfo (x11-utils)
and xwd (x11-apps).

Two runs of the program, each checked for:
  - a window captioned "vaskiloimu" that covers the whole 640x480 screen,
  - in the first run, two screenshots taken before the image comes in that
    are the background pattern exactly as the program computes it, at phases
    that have moved apart at the pattern's speed,
  - an end with status 0, within 1.5 s, on the Esc key (first run) or on a
    window manager's close request (second run);
and at the end no window, no process and no X server left behind.
"""

import glob
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

W, H = 640, 480
CAPTION = "vaskiloimu"
# Esc and a close request should end the demo within about a second. The
# program reacts at its next frame (milliseconds); the rest is SDL's shutdown,
# about 0.25 s on sdl12-compat. 1.5 s leaves room for a busy machine.
EXIT_BOUND = 1.5
# The image starts to come in 10 s into the demo clock, which starts after
# start-up and a half-second pause: a screenshot taken earlier than 10 s
# after launch shows only the pattern.
IMAGE_IN_MS = 10000
SHOTS_AT = (3.0, 5.0)  # seconds after launch
# Until the speed-up at 40 s the pattern's phase is 1.5 times the demo clock
# in milliseconds.
PHASE_RATE = 1.5
WINDOW_DEADLINE = 15.0
EXIT_DEADLINE = 10.0


class Failure(Exception):
    pass


def log(msg):
    print(msg, flush=True)


# --- test image ---------------------------------------------------------

def write_bmp(path, w, h):
    """A small colourful 24-bit BMP; the demo loads images by content, so it
    may be called galleri.jpg."""
    row_size = (3 * w + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):  # BMP rows go bottom up
        row = bytearray()
        for x in range(w):
            row += bytes(((x * 4) & 0xFF, (y * 5) & 0xFF, ((x + y) * 3 + 40) & 0xFF))
        row += b"\0" * (row_size - 3 * w)
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


# --- the pattern --------------------------------------------------------

def shade(c):
    """(R, G, B) the pattern paints for the value c."""
    return (c >> 3, c >> 2, c >> 1)


def pattern(x, y, phase):
    # Only bits 16..23 are used, and those are the same in exact arithmetic
    # as in the program's wrapped 32-bit one.
    return shade(((x * (phase + 52000 * x) + 25000 * y) >> 16) & 0xFF)


def read_xwd(path):
    """Returns (width, height, rows) with rows[y][x] = (R, G, B)."""
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    (header_size, version, _fmt, _depth, width, height, _xoff, byte_order,
     _unit, _bit_order, _pad, bpp, bpl, _cls, rmask, gmask, bmask,
     _bits_rgb, _cmap_entries, ncolors) = fields[:20]
    if version != 7 or bpp != 32:
        raise Failure("screenshot: unexpected XWD (version %d, %d bits per pixel)" % (version, bpp))
    start = header_size + 12 * ncolors
    order = "<" if byte_order == 0 else ">"

    def channel(v, mask):
        shift = (mask & -mask).bit_length() - 1
        return ((v & mask) >> shift) * 255 // (mask >> shift)

    rows = []
    for y in range(height):
        line = struct.unpack_from(order + "%dI" % width, data, start + y * bpl)
        rows.append([(channel(v, rmask), channel(v, gmask), channel(v, bmask)) for v in line])
    return width, height, rows


def row_matches(row, y, phase):
    # The right end first: there the phase moves the pattern most, so wrong
    # phases fail at once.
    for x in range(W - 1, -1, -1):
        if row[x] != pattern(x, y, phase):
            return False
    return True


def check_pattern(rows, max_phase):
    """Each row must be the pattern at a phase in [0, max_phase]. Rows of one
    frame share a phase; a screenshot taken while a frame was being put on
    the screen may hold two frames, top and bottom, but no more."""
    for y in range(H):
        want = shade(((25000 * y) >> 16) & 0xFF)
        if rows[y][0] != want:
            raise Failure("column 0, row %d: RGB %s, the pattern has %s at every phase"
                          % (y, rows[y][0], want))

    bands = []  # [first row, last row, phases matching all of them]
    for y in range(H):
        row = rows[y]
        if bands:
            kept = [p for p in bands[-1][2] if row_matches(row, y, p)]
            if kept:
                bands[-1][1] = y
                bands[-1][2] = kept
                continue
        found = [p for p in range(max_phase + 1) if row_matches(row, y, p)]
        if not found:
            near = bands[-1][2][0] if bands else 0
            bad = [(x, row[x], pattern(x, y, near)) for x in range(W)
                   if row[x] != pattern(x, y, near)][:3]
            raise Failure("row %d matches the pattern at no phase from 0 to %d; at phase %d "
                          "(x, RGB, expected): %s" % (y, max_phase, near, bad))
        bands.append([y, y, found])
    if len(bands) > 2:
        raise Failure("the screenshot holds %d frames: %s"
                      % (len(bands), [(b[0], b[1], b[2][0]) for b in bands]))
    return [(b[0], b[1], b[2]) for b in bands]


# --- processes ----------------------------------------------------------

def run(cmd, env, timeout=10.0):
    return subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          stdin=subprocess.DEVNULL, timeout=timeout, text=True)


def start_xvfb(workdir):
    """A private 640x480x24 X server on a display number it picks itself."""
    rfd, wfd = os.pipe()
    errlog = open(os.path.join(workdir, "xvfb.log"), "wb")
    # -noreset: without it a start now and then fails to open the display.
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "%dx%dx24" % (W, H),
         "-noreset", "-nolisten", "tcp"],
        pass_fds=(wfd,), stdin=subprocess.DEVNULL, stdout=errlog, stderr=errlog)
    os.close(wfd)
    got = b""
    deadline = time.monotonic() + 15
    try:
        while not got.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([rfd], [], [], left)[0]:
                raise Failure("Xvfb gave no display number within 15 s")
            chunk = os.read(rfd, 16)
            if not chunk:
                raise Failure("Xvfb ended: %s" % open(errlog.name, errors="replace").read()[-500:])
            got += chunk
    finally:
        os.close(rfd)
        errlog.close()
    return xvfb, ":" + got.decode().strip()


def wait_display(display):
    env = dict(os.environ, DISPLAY=display)
    deadline = time.monotonic() + 15
    while True:
        if run(["xdpyinfo"], env).returncode == 0:
            return
        if time.monotonic() > deadline:
            raise Failure("xdpyinfo never answered on " + display)
        time.sleep(0.1)


def stop(proc, grace=5.0):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def sdl_libraries(pid):
    """The SDL libraries mapped into process pid, as real paths."""
    found = set()
    with open("/proc/%d/maps" % pid) as f:
        for line in f:
            parts = line.split(None, 5)
            if len(parts) == 6 and "libSDL" in parts[5]:
                found.add(os.path.realpath(parts[5].strip()))
    return found


def compat_dir():
    d = os.environ.get("VASKILOIMU_SDL12_COMPAT_DIR")
    if d:
        return d
    for d in sorted(glob.glob("/usr/lib/*/sdl12-compat")) + ["/usr/lib/sdl12-compat"]:
        if glob.glob(os.path.join(d, "libSDL-1.2.so*")):
            return d
    raise Failure("sdl12-compat not found: install libsdl1.2-compat "
                  "or set VASKILOIMU_SDL12_COMPAT_DIR")


class Demo:
    def __init__(self, binary, workdir, env, flavour, libdir):
        self.env = env
        self.flavour = flavour
        self.libdir = libdir
        self.out = open(os.path.join(workdir, "demo.log"), "wb")
        self.t0 = time.monotonic()
        self.proc = subprocess.Popen([binary], cwd=workdir, env=env, stdin=subprocess.DEVNULL,
                                     stdout=self.out, stderr=subprocess.STDOUT)

    def elapsed(self):
        return time.monotonic() - self.t0

    def output(self):
        self.out.flush()
        with open(self.out.name, errors="replace") as f:
            return f.read()[-2000:]

    def alive(self, what):
        if self.proc.poll() is not None:
            raise Failure("the demo ended (status %d) %s\n%s"
                          % (self.proc.returncode, what, self.output()))

    def windows(self):
        r = run(["xdotool", "search", "--name", "^%s$" % CAPTION], self.env)
        return r.stdout.split() if r.returncode == 0 else []

    def window(self, wid):
        """xwininfo's facts about window wid, by their names."""
        facts = {}
        for line in run(["xwininfo", "-id", wid], self.env).stdout.splitlines():
            key, _, value = line.strip().partition(": ")
            facts[key] = value.strip()
        return facts

    @staticmethod
    def covers(facts):
        return (facts.get("Map State") == "IsViewable"
                and facts.get("Absolute upper-left X") == "0"
                and facts.get("Absolute upper-left Y") == "0"
                and facts.get("Width") == str(W) and facts.get("Height") == str(H))

    @staticmethod
    def describe(wid, facts):
        return "window %s: %s,%s %sx%s %s, override-redirect %s" % (
            wid, facts.get("Absolute upper-left X"), facts.get("Absolute upper-left Y"),
            facts.get("Width"), facts.get("Height"), facts.get("Map State"),
            facts.get("Override Redirect State"))

    def bypasses_wm(self):
        """Classic SDL shows a full-screen mode in a window of its own that
        no window manager may move, decorate or cover (override-redirect);
        in a window it shows only the captioned one. This is how its full
        screen can be told from a 640x480 window here, where with no window
        manager both sit at 0,0."""
        listing = run(["xwininfo", "-root", "-children"], self.env).stdout
        for wid in re.findall(r"^\s+(0x[0-9a-f]+)", listing, re.M):
            facts = self.window(wid)
            if self.covers(facts) and facts.get("Override Redirect State") == "yes":
                return True
        return False

    def wait_screen(self):
        """Waits for a window captioned CAPTION, mapped over the whole screen.
        Returns the ids of the windows with that caption."""
        seen = "no window named " + CAPTION
        deadline = time.monotonic() + WINDOW_DEADLINE
        while time.monotonic() < deadline:
            self.alive("before its window covered the screen")
            ids = self.windows()
            for wid in ids:
                name = run(["xdotool", "getwindowname", wid], self.env).stdout.strip()
                facts = self.window(wid)
                seen = "%r %s" % (name, self.describe(wid, facts))
                if name != CAPTION or not self.covers(facts):
                    continue
                if self.flavour == "classic" and not self.bypasses_wm():
                    seen += "; no override-redirect window over the screen"
                    continue
                self.check_library()
                return ids
            time.sleep(0.05)
        raise Failure("no window covered the screen within %.0f s; last seen: %s"
                      % (WINDOW_DEADLINE, seen))

    def check_library(self):
        """Makes sure the SDL 1.2 asked for is the one running. (SDL 2 may be
        mapped on either: Debian's SDL_mixer pulls it in through a MIDI
        library.)"""
        sdl12 = sorted(p for p in sdl_libraries(self.proc.pid)
                       if os.path.basename(p).startswith("libSDL-1.2"))
        compat = os.path.realpath(self.libdir) if self.libdir else None
        from_compat = [p for p in sdl12 if compat and os.path.dirname(p) == compat]
        if len(sdl12) != 1 or (self.flavour == "compat") != bool(from_compat):
            raise Failure("not running on %s SDL 1.2: %s" % (self.flavour, sdl12))
        log("  SDL 1.2 in use: " + sdl12[0])

    def wait_exit(self, what, start):
        """Waits for the end after what was done at monotonic time start;
        returns the seconds since then."""
        while self.proc.poll() is None:
            if time.monotonic() - start > EXIT_DEADLINE:
                self.proc.kill()
                self.proc.wait()
                raise Failure("still running %.0f s after %s" % (EXIT_DEADLINE, what))
            time.sleep(0.005)
        took = time.monotonic() - start
        if self.proc.returncode != 0:
            raise Failure("status %d after %s\n%s" % (self.proc.returncode, what, self.output()))
        if took > EXIT_BOUND:
            raise Failure("ended %.3f s after %s, more than %.1f s" % (took, what, EXIT_BOUND))
        return took

    def wait_windows_gone(self):
        deadline = time.monotonic() + 5
        while self.windows():
            if time.monotonic() > deadline:
                raise Failure("a window named %s is left after the demo ended" % CAPTION)
            time.sleep(0.05)

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.out.close()


# --- scenarios ----------------------------------------------------------

def screenshot(demo, workdir):
    """Takes a screenshot and checks it is the bare pattern. Returns the
    moment it was taken (seconds after launch) and the phase it shows."""
    demo.alive("before the screenshot")
    shot = os.path.join(workdir, "screen.xwd")
    before = demo.elapsed()
    with open(shot, "wb") as f:
        r = subprocess.run(["xwd", "-root", "-silent"], env=demo.env, stdout=f,
                           stderr=subprocess.PIPE, timeout=30)
    taken = demo.elapsed()
    if r.returncode != 0:
        raise Failure("xwd failed: %s" % r.stderr.decode(errors="replace"))
    if taken * 1000 >= IMAGE_IN_MS:
        raise Failure("screenshot only %.1f s after launch, too late to show the bare pattern"
                      % taken)
    width, height, rows = read_xwd(shot)
    if (width, height) != (W, H):
        raise Failure("screenshot is %dx%d" % (width, height))
    # The demo clock started after launch, so it is behind the wall clock.
    max_phase = int(PHASE_RATE * taken * 1000)
    bands = check_pattern(rows, max_phase)
    log("  screenshot %.2f s after launch is the pattern: %s" % (taken, "; ".join(
        "rows %d-%d at phase %s" % (a, b, p[0] if len(p) == 1 else "%d..%d" % (p[0], p[-1]))
        for a, b, p in bands)))
    phases = bands[0][2]
    return (before + taken) / 2, (phases[0] + phases[-1]) / 2


def scenario_escape(demo, workdir):
    log("run 1: pattern, then Esc")
    demo.wait_screen()
    log("  window covers the screen %.2f s after launch" % demo.elapsed())
    shots = []
    for shot_at in SHOTS_AT:
        time.sleep(max(0.0, shot_at - demo.elapsed()))
        shots.append(screenshot(demo, workdir))
    (t1, p1), (t2, p2) = shots
    # The frame on the screen may have been drawn a frame or a busy
    # scheduler's slice before the screenshot: over two seconds, a quarter
    # either way leaves room for that and still tells a wrong speed.
    rate = (p2 - p1) / ((t2 - t1) * 1000)
    if not PHASE_RATE * 0.75 <= rate <= PHASE_RATE * 1.25:
        raise Failure("the pattern moved %.0f phase steps in %.3f s: %.2f a millisecond, not %.1f"
                      % (p2 - p1, t2 - t1, rate, PHASE_RATE))
    log("  the pattern moves %.2f phase steps a millisecond" % rate)

    demo.alive("before Esc")
    start = time.monotonic()
    r = run(["xdotool", "key", "Escape"], demo.env)
    if r.returncode != 0:
        raise Failure("xdotool key failed: " + r.stderr)
    took = demo.wait_exit("Esc", start)
    log("  ended with status 0, %.3f s after Esc" % took)
    demo.wait_windows_gone()


def scenario_close(demo, wm_close):
    log("run 2: window close request")
    ids = demo.wait_screen()
    log("  window covers the screen %.2f s after launch" % demo.elapsed())
    # Past start-up and the opening pause, into the frame loop.
    time.sleep(1.5)
    demo.alive("before the close request")
    start = time.monotonic()
    r = run([wm_close] + ids, demo.env)
    if r.returncode != 0:
        raise Failure("close request not sent (%d): %s" % (r.returncode, r.stderr))
    took = demo.wait_exit("the close request to window " + r.stdout.strip(), start)
    log("  ended with status 0, %.3f s after the close request to window %s"
        % (took, r.stdout.strip()))
    demo.wait_windows_gone()


def leftovers(workdir, mark):
    """Processes other than this one still in workdir or carrying mark in
    their environment (everything started from the test inherits it; a
    display number alone could be another test's by now)."""
    found = []
    me = os.getpid()
    for d in glob.glob("/proc/[0-9]*"):
        pid = int(os.path.basename(d))
        if pid == me:
            continue
        try:
            cwd = os.readlink(d + "/cwd")
            with open(d + "/environ", "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if (cwd == workdir or cwd.startswith(workdir + "/")
                or mark.encode() in environ):
            found.append(pid)
    return found


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ("classic", "compat"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    binary, wm_close, flavour = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    # A timeout of the test runner ends this script with SIGTERM: clean up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))

    missing = [t for t in ("Xvfb", "xdpyinfo", "xwininfo", "xdotool", "xwd") if not shutil.which(t)]
    if missing:
        log("FAIL: missing %s (packages xvfb, x11-utils, xdotool, x11-apps)" % ", ".join(missing))
        return 1

    workdir = os.path.realpath(tempfile.mkdtemp(prefix="window_test."))
    xvfb = demo = None
    started = time.monotonic()
    try:
        libdir = compat_dir() if flavour == "compat" else None
        write_bmp(os.path.join(workdir, "galleri.jpg"), 64, 48)
        xvfb, display = start_xvfb(workdir)
        wait_display(display)
        log("SDL %s on Xvfb %s (%dx%dx24)" % (flavour, display, W, H))

        mark = "VASKILOIMU_WINDOW_TEST=%d.%s" % (os.getpid(), os.path.basename(workdir))
        env = dict(os.environ, DISPLAY=display, SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy")
        env.update([mark.split("=", 1)])
        if libdir:
            env["LD_LIBRARY_PATH"] = libdir + (":" + env["LD_LIBRARY_PATH"]
                                               if env.get("LD_LIBRARY_PATH") else "")

        demo = Demo(binary, workdir, env, flavour, libdir)
        scenario_escape(demo, workdir)
        demo.close()
        demo = Demo(binary, workdir, env, flavour, libdir)
        scenario_close(demo, wm_close)
        demo.close()
        demo = None

        stop(xvfb)
        if xvfb.returncode is None:
            raise Failure("Xvfb did not end")
        xvfb = None
        stray = leftovers(workdir, mark)
        if stray:
            for pid in stray:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass
            raise Failure("processes left running (now killed): %s" % stray)
        log("nothing left running; %.1f s in all" % (time.monotonic() - started))
        log("PASS")
        return 0
    except (Failure, subprocess.TimeoutExpired) as e:
        log("FAIL: %s" % e)
        return 1
    finally:
        if demo is not None:
            demo.close()
        stop(xvfb)
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
