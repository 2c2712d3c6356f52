#!/usr/bin/python3
"""Fails when a source file or a CMake target of src/ reaches a folder it may not use.

    check_layers.py SOURCE_DIR

The folders form two layers. At the bottom, settings and winutil use nothing of ours, and
forms uses those two. Above them, the window folders (app, tray, about, display, skins,
addins) use the bottom layer only, never one another: they meet through the registry of
windows. Only the program's assembly (src/app/application.* and src/app/main.cpp) puts them
all together.

Checked are the #include lines of every .h and .cpp file under src/, which name headers by
folder from the one include root ("settings/text_file.h"), and the link lists of the CMake
files, whose dalvenor_* targets are mapped to the folder that defines them. An include
without a folder that names a header of src/ is a failure too: it would hide where the
header lives.
"""

import os
import re
import sys

BOTTOM = {"settings": set(), "winutil": set(), "forms": {"settings", "winutil"}}
WINDOWS = ("app", "tray", "about", "display", "skins", "addins")
ALLOWED = dict(BOTTOM)
for folder in WINDOWS:
    ALLOWED[folder] = {"forms", "settings", "winutil"}
ASSEMBLY = {"app/application.h", "app/application.cpp", "app/main.cpp"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
ADD_TARGET = re.compile(r'add_(?:library|executable)\(\s*(dalvenor_\w+)')
LINK = re.compile(r'target_link_libraries\(\s*(\S+)([^)]*)\)', re.S)


def folders_of(src):
    return sorted(f for f in os.listdir(src) if os.path.isdir(os.path.join(src, f)))


def allowed_for(folder, relative):
    if relative in ASSEMBLY:
        return set(ALLOWED) - {folder}
    return ALLOWED.get(folder, set())


def check_includes(src, problems):
    headers = {}
    for folder in folders_of(src):
        for name in os.listdir(os.path.join(src, folder)):
            if name.endswith(".h"):
                headers.setdefault(name, folder)
    for folder in folders_of(src):
        for name in sorted(os.listdir(os.path.join(src, folder))):
            if not name.endswith((".h", ".cpp")):
                continue
            relative = folder + "/" + name
            with open(os.path.join(src, folder, name), encoding="utf-8") as f:
                text = f.read()
            for included in INCLUDE.findall(text):
                if "/" not in included:
                    if included in headers:
                        problems.append("%s includes \"%s\" without its folder (%s/)"
                                        % (relative, included, headers[included]))
                    continue
                target = included.split("/", 1)[0]
                if target == folder or target not in ALLOWED:
                    continue
                if target not in allowed_for(folder, relative):
                    problems.append("%s includes %s: %s may not use %s"
                                    % (relative, included, folder, target))


def check_links(src, problems):
    defined = {}
    texts = {}
    for folder in folders_of(src):
        path = os.path.join(src, folder, "CMakeLists.txt")
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8") as f:
            texts[folder] = f.read()
        for target in ADD_TARGET.findall(texts[folder]):
            defined[target] = folder
    for folder, text in texts.items():
        for target, libraries in LINK.findall(text):
            relative = folder + "/CMakeLists.txt"
            # The executable is the assembly: it links the whole program.
            if target in ("dalvenor", "dalvenor_app"):
                continue
            for library in re.findall(r'dalvenor_\w+', libraries):
                used = defined.get(library)
                if used is None or used == folder:
                    continue
                if used not in ALLOWED.get(folder, set()):
                    problems.append("%s links %s to %s: %s may not use %s"
                                    % (relative, target, library, folder, used))


def main(argv):
    if len(argv) != 2:
        print("usage: check_layers.py SOURCE_DIR", file=sys.stderr)
        return 2
    src = os.path.join(argv[1], "src")
    unknown = [f for f in folders_of(src) if f not in ALLOWED]
    problems = ["src/%s is in no layer" % f for f in unknown]
    check_includes(src, problems)
    check_links(src, problems)
    for problem in problems:
        print("FAIL: " + problem)
    if problems:
        return 1
    print("PASS: every folder of src/ uses only the layers below it")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
