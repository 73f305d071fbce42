#!/usr/bin/env python3
"""Checks that the tree keeps its layers.

    check-layers.py [ROOT]

Every room (a folder of the product) may include itself and the rooms listed for it below,
nothing else: an include that points upward or sideways into a room it must not meet fails
the check. Tests and benchmarks may include anything. A quoted include that names no file of
the tree fails too, and so does a build entry (add_subdirectory) naming a folder that does not
exist. Prints each fault with its file and line and exits 1 when there is one.

The layer order, lowest first (docs/ARCHITECTURE.md explains it):
platform < framework < media < venc/dsp < venc/common < venc/mbenc, venc/me, venc/gpu
< venc/core < venc/component; mux, aenc, vscaler beside the video encoder on the first three;
engine, plugin and host above.
"""
import os
import re
import sys

BASE = ["platform", "framework", "media"]
VENC_LOW = BASE + ["venc/dsp", "venc/common"]
ENGINE = ["engine/text", "engine/catalogue", "engine/graph", "engine/multivenc", "engine/transcode"]
PLUGIN_BASE = BASE + ENGINE

# Room -> the rooms it may include besides itself. A file belongs to the longest room that is a
# prefix of its path.
ALLOWED = {
    "platform": [],
    "platform/gcx-soft": ["platform"],
    "framework": ["platform"],
    "media": ["platform", "framework"],
    "venc/dsp": BASE,
    "venc/common": BASE + ["venc/dsp"],
    "venc/mbenc": VENC_LOW,
    "venc/me": VENC_LOW + ["venc/mbenc"],
    "venc/gpu": VENC_LOW,
    "venc/core": VENC_LOW + ["venc/mbenc", "venc/me", "venc/gpu", "vscaler/convert"],
    "venc/component": VENC_LOW + ["venc/mbenc", "venc/me", "venc/gpu", "venc/core",
                                  "vscaler/convert"],
    "mux": BASE,
    "aenc": BASE,
    "vscaler": BASE + ["vscaler/convert"],
    "vscaler/convert": BASE,
    "engine/text": BASE,
    "engine/catalogue": BASE + ["engine/text"],
    "engine/graph": BASE + ["engine/text", "engine/catalogue"],
    "engine/multivenc": BASE + ["engine/text", "engine/catalogue", "vscaler/convert"],
    "engine/transcode": BASE + ["engine/text", "engine/catalogue", "engine/graph",
                                "engine/multivenc", "vscaler/convert"],
    "plugin/settings": PLUGIN_BASE,
    "plugin/params": PLUGIN_BASE + ["plugin/settings"],
    "plugin/startup": PLUGIN_BASE + ["plugin/settings", "plugin/params"],
    "plugin/properties": PLUGIN_BASE + ["plugin/settings", "plugin/params", "plugin/startup"],
    "plugin/export": PLUGIN_BASE + ["plugin/settings", "plugin/params", "plugin/startup",
                                    "plugin/properties"],
    "plugin": PLUGIN_BASE + ["plugin/settings", "plugin/params", "plugin/startup",
                             "plugin/properties", "plugin/export"],
    "support": ["platform"],
    "host": ["platform", "support"],
    "tests": None,  # anything
    "bench": None,
}

SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp|inc)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SUBDIR = re.compile(r"add_subdirectory\(\s*([^\s)]+)")


def room_of(path):
    best = None
    for room in ALLOWED:
        if path == room or path.startswith(room + "/"):
            if best is None or len(room) > len(best):
                best = room
    return best


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    faults = []
    for folder, dirs, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        if rel_folder == ".":
            dirs[:] = [d for d in dirs if d in {r.split("/")[0] for r in ALLOWED}]
        if rel_folder == "tests":
            dirs[:] = [d for d in dirs if d != "data"]  # fixtures, some of them faulty on purpose
        dirs.sort()
        for name in sorted(files):
            rel = os.path.normpath(os.path.join(rel_folder, name))
            path = os.path.join(folder, name)
            if name == "CMakeLists.txt":
                for number, line in enumerate(open(path, encoding="utf-8"), 1):
                    for sub in SUBDIR.findall(line):
                        if "$" not in sub and not os.path.isdir(os.path.join(folder, sub)):
                            faults.append(f"{rel}:{number}: builds {sub}/, which does not exist")
                continue
            if not SOURCE.search(name):
                continue
            room = room_of(rel)
            if room is None:
                continue
            allowed = ALLOWED[room]
            for number, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                beside = os.path.normpath(os.path.join(rel_folder, target))
                if not os.path.exists(os.path.join(root, target)):
                    if os.path.exists(os.path.join(root, beside)):
                        target = beside  # a file beside the includer
                    elif "/" in target:
                        faults.append(f"{rel}:{number}: includes {target}, which is not in the tree")
                        continue
                    else:
                        continue  # a generated header in the build folder
                if allowed is None:
                    continue
                target_room = room_of(target)
                if target_room is None or target_room == room or target_room in allowed:
                    continue
                faults.append(f"{rel}:{number}: {room}/ may not include {target} ({target_room}/)")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} layer fault(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
