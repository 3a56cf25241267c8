"""Checks what test.sh captured from the Windows build running under wine.

  check.py pattern SHOT.ppm
      A screenshot from the first seconds: exactly the background pattern
      of one or two frames (a torn screenshot) of a phase the first seconds
      can have.
  check.py picture SHOT.ppm PICTURE.ppm
      A screenshot from the quiet seconds between the picture's fade-in and
      the first fire: the picture drawn opaque near the top centre.
  check.py music CAPTURE.raw REFERENCE.raw
      The sound output (S16LE, 48 kHz, stereo) against the music decoded
      elsewhere: it must play in order, sample for sample but for a few.
  check.py sound CAPTURE.raw REFERENCE.raw
      A looser check for output that may stutter: loud, and made of pieces
      of the music.

Exits non-zero with a message when a check fails.
"""
import sys

import numpy as np

RATE = 48000


def fail(msg):
    print("FAILED: " + msg)
    sys.exit(1)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, i = [], 2
    if data[:2] != b"P6":
        fail(path + " is not a binary PPM")
    while len(fields) < 3:
        while data[i:i + 1].isspace() or data[i:i + 1] == b"#":
            if data[i:i + 1] == b"#":
                i = data.index(b"\n", i)
            i += 1
        j = i
        while data[j:j + 1].isdigit():
            j += 1
        fields.append(int(data[i:j]))
        i = j
    w, h, maxval = fields
    if maxval != 255:
        fail(path + ": not 8 bits a channel")
    px = np.frombuffer(data, np.uint8, w * h * 3, i + 1)
    return px.reshape(h, w, 3).astype(np.int64)


def pattern_blue(phases, ys):
    """The blue channel of the background as the demo paints it, for each
    phase and row: shape (len(phases), len(ys), 640). Red and green follow
    from blue (B = c/2, G = c/4, R = c/8)."""
    x = np.arange(640, dtype=np.uint32)[None, None, :]
    p = np.asarray(phases, dtype=np.uint32)[:, None, None]
    y = np.asarray(ys, dtype=np.uint32)[None, :, None]
    # uint32 arrays wrap as the demo's arithmetic does.
    v = x * (p + np.uint32(52000) * x) + np.uint32(25000) * y
    return ((v >> np.uint32(16)) & np.uint32(0xFF)).astype(np.int64) >> 1


def check_pattern(shot_path):
    shot = read_ppm(shot_path)
    if shot.shape != (480, 640, 3):
        fail("the screen is %dx%d, not 640x480" % (shot.shape[1], shot.shape[0]))
    r, g, b = shot[..., 0], shot[..., 1], shot[..., 2]
    if (shot[0, 0] != 0).any():
        fail("pixel (0,0) is %s, not black" % shot[0, 0].tolist())
    # Column 0 does not depend on the phase.
    c = ((25000 * np.arange(480)) >> 16) & 0xFF
    want = np.stack([c >> 3, c >> 2, c >> 1], axis=-1)
    bad = np.flatnonzero((shot[:, 0] != want).any(axis=1))
    if bad.size:
        y = int(bad[0])
        fail("column 0, row %d is %s, not %s" % (y, shot[y, 0].tolist(), want[y].tolist()))
    if not ((g == b >> 1) & (r == b >> 2)).all():
        fail("some pixels are not of the pattern's colours (G = B/2, R = B/4)")
    if r.max() > 31 or b.max() < 100:
        fail("the colours are out of the pattern's range (R max %d, B max %d)" % (r.max(), b.max()))
    # The phase is 1.5 a millisecond of the demo clock: the first 12 s at most.
    phases = np.arange(0, 18001)
    found = set()
    for y in (0, 479):
        rows = pattern_blue(phases, [y])[:, 0]
        found.update(np.flatnonzero((rows == b[y]).all(axis=1)).tolist())
    if not found:
        fail("the first and last rows are the pattern of no phase of the first 12 s")
    found = sorted(found)
    frames = pattern_blue(found, range(480))
    rows_ok = (frames == b[None]).all(axis=2).any(axis=0)
    if not rows_ok.all():
        fail("row %d is the pattern of none of the phases %s" %
             (int(np.flatnonzero(~rows_ok)[0]), found))
    print("pattern: exact, phase %s (%.1f s into the demo)" % (found, found[0] / 1500))


def check_picture(shot_path, picture_path):
    shot = read_ppm(shot_path)
    pic = read_ppm(picture_path)
    ph, pw = pic.shape[:2]
    # The demo keys black out; fire may already rise into the lowest rows.
    rows = min(ph, 380)
    pic = pic[:rows]
    opaque = (pic != 0).any(axis=2)
    half = (640 - pw) // 2
    best = (0.0, None)
    for dy in range(-3, 4):
        for dx in range(-3, 4):
            x0, y0 = half + dx, 20 + dy
            if x0 < 0 or y0 < 0 or x0 + pw > 640 or y0 + rows > 480:
                continue
            region = shot[y0:y0 + rows, x0:x0 + pw]
            same = ((region == pic).all(axis=2) & opaque).sum() / opaque.sum()
            if same > best[0]:
                best = (same, (x0, y0))
    share, at = best
    # The picture wobbles by a pixel from frame to frame: a torn screenshot
    # shows parts of it at two places.
    if share < 0.6:
        fail("the picture is not on the screen (at best %.1f %% of its pixels match)" % (100 * share))
    print("picture: %.1f %% of its pixels exactly in place at %s" % (100 * share, at))


def read_raw(path):
    a = np.fromfile(path, dtype="<i2")
    return a[: len(a) // 2 * 2].reshape(-1, 2).astype(np.int64)


def onset(a):
    nz = np.flatnonzero((a != 0).any(axis=1))
    return int(nz[0]) if nz.size else None


def check_loud(cap, start):
    rms = float(np.sqrt(np.mean(cap[start:].astype(np.float64) ** 2)))
    if rms < 300:
        fail("the music is too quiet: RMS %.0f" % rms)
    return rms


def check_music(cap_path, ref_path):
    cap, ref = read_raw(cap_path), read_raw(ref_path)
    c0, r0 = onset(cap), onset(ref)
    if c0 is None:
        fail("the sound output is silent")
    n = min(len(cap) - c0, len(ref) - r0)
    if n < 3 * RATE:
        fail("only %.1f s of music were played" % (n / RATE))
    rms = check_loud(cap, c0)
    x = cap[c0:c0 + n].astype(np.float64)
    y = ref[r0:r0 + n].astype(np.float64)
    corr = float((x * y).sum() / np.sqrt((x * x).sum() * (y * y).sum()))
    exact = float((cap[c0:c0 + n] == ref[r0:r0 + n]).all(axis=1).mean())
    if corr < 0.95:
        fail("the sound is not the music as decoded elsewhere (correlation %.3f)" % corr)
    print("music: %.1f s from %.2f s, RMS %.0f, correlation %.4f, %.1f %% of frames exact"
          % (n / RATE, c0 / RATE, rms, corr, 100 * exact))


def check_sound(cap_path, ref_path, block=256, samples=300):
    cap, ref = read_raw(cap_path), read_raw(ref_path)
    c0 = onset(cap)
    if c0 is None:
        fail("the sound output is silent")
    if len(cap) - c0 < 3 * RATE:
        fail("only %.1f s of sound were played" % ((len(cap) - c0) / RATE))
    rms = check_loud(cap, c0)
    # Every pair of successive frames of the music, as one number, to find
    # where a piece of the output came from.
    def keys(a):
        a = a & 0xFFFF
        return (a[:-1, 0] << 48) | (a[:-1, 1] << 32) | (a[1:, 0] << 16) | a[1:, 1]
    rk = keys(ref)
    order = np.argsort(rk, kind="stable")
    sorted_keys = rk[order]
    starts = np.linspace(c0, len(cap) - block, samples).astype(int)
    loud = found = 0
    for s in starts:
        piece = cap[s:s + block]
        if np.abs(piece).max() < 64:
            continue
        loud += 1
        k = keys(piece[:2])[0]
        lo = np.searchsorted(sorted_keys, k, "left")
        hi = np.searchsorted(sorted_keys, k, "right")
        for i in order[lo:min(hi, lo + 64)]:
            if i + block <= len(ref) and (ref[i:i + block] == piece).all():
                found += 1
                break
    if loud < samples // 2:
        fail("the sound is mostly quiet (%d of %d pieces loud)" % (loud, samples))
    if found < loud // 2:
        fail("the sound is not made of the music (%d of %d pieces found in it)" % (found, loud))
    print("sound: %.1f s from %.2f s, RMS %.0f, %d of %d pieces found in the music"
          % ((len(cap) - c0) / RATE, c0 / RATE, rms, found, loud))


def main():
    cmds = {"pattern": (check_pattern, 1), "picture": (check_picture, 2),
            "music": (check_music, 2), "sound": (check_sound, 2)}
    if len(sys.argv) < 2 or sys.argv[1] not in cmds or len(sys.argv) != 2 + cmds[sys.argv[1]][1]:
        print(__doc__)
        sys.exit(2)
    fn, _ = cmds[sys.argv[1]]
    fn(*sys.argv[2:])


if __name__ == "__main__":
    main()
