#!/usr/bin/env python3
# zip.py [--crlf] FOLDER ZIP: packs a folder the build made, under the zip's
# own name (vaskiloimu-web.zip holds vaskiloimu-web/...), with sorted names, one date and fixed attributes, so that the same
# files always give the same zip; with --crlf text files get carriage
# returns, for Notepad. The date is SOURCE_DATE_EPOCH's, or the last commit's.
import os, subprocess, sys, time, zipfile

crlf = sys.argv[1] == "--crlf"
folder, dest = sys.argv[1 + crlf:3 + crlf]
date = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
    ["git", "-C", os.path.dirname(os.path.abspath(__file__)), "log", "-1", "--format=%ct"],
    capture_output=True, text=True).stdout.strip() or "0"
# Zip dates start in 1980.
when = time.gmtime(max(int(date), 315532800))[:6]
root = os.path.basename(dest)[:-len(".zip")]
names = sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder) for f in fs)
with zipfile.ZipFile(dest + ".part", "w") as z:
    for name in names:
        info = zipfile.ZipInfo(root + "/" + name.replace(os.sep, "/"), when)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        if crlf and name.endswith(".txt"):
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        z.writestr(info, data, compresslevel=9)
os.replace(dest + ".part", dest)
