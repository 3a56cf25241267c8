#!/usr/bin/env python3
# onefile.py SITE OUT FILE...: the page the build made in SITE as one HTML
# file, which plays from disk (file://) with no server, as the served page
# does: its script inline, and in `bundled` the worker as text, the program
# before it with its WebAssembly as wasmBinary, and the FILEs (the media,
# by the names the program opens them by) for the page to read instead of
# fetching them; the licences of the program and its libraries at its end.
import base64, json, os, sys

site, out, files = sys.argv[1], sys.argv[2], sys.argv[3:]


def read(name):
    with open(os.path.join(site, name), "rb") as f:
        return f.read()


def b64(data):
    return base64.b64encode(data).decode("ascii")


def inline(text):
    # Nothing in a script may read as the end of it.
    return text.replace("</", "<\\/")


worker = ("self.wasmBinary = Uint8Array.from(atob('%s'), c => c.charCodeAt(0));\n" % b64(read("vaskiloimu.wasm"))
          + read("vaskiloimu.js").decode() + "\n" + read("worker.js").decode())
bundled = {"worker": worker, "files": {name: b64(read(name)) for name in files}}
page = read("index.html").decode()
script = '<script src="page.js"></script>'
if page.count(script) != 1:
    sys.exit("onefile.py: index.html loads no page.js")
page = page.replace(script, "<script>\nvar bundled = %s;\n</script>\n<script>\n%s</script>"
                    % (inline(json.dumps(bundled)), inline(read("page.js").decode())))
licences = "".join("\n%s\n\n%s" % (name, read(os.path.join("licenses", name)).decode(errors="replace"))
                   for name in sorted(os.listdir(os.path.join(site, "licenses"))))
page += "<!-- The licences of the program and the libraries in it.\n%s-->\n" % licences.replace("--", "- -")
with open(out + ".part", "w", encoding="utf-8") as f:
    f.write(page)
os.replace(out + ".part", out)
