#!/usr/bin/python3
"""The layer check on small made-up trees: it must fail on each way a folder can reach where
it may not, and pass on a tree that keeps to its layers."""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "check_layers.py")

GOOD = {
    "settings/text_file.h": "#pragma once\n",
    "forms/form.h": '#include "settings/text_file.h"\n',
    "winutil/twips.h": "#pragma once\n",
    "addins/addins_window.cpp": '#include "forms/form.h"\n#include "winutil/twips.h"\n',
    "app/countdown_window.cpp": '#include "forms/form.h"\n',
    "app/application.cpp": '#include "addins/addins_window.h"\n#include "app/countdown_window.h"\n',
    "addins/addins_window.h": "#pragma once\n",
    "app/countdown_window.h": "#pragma once\n",
    "addins/CMakeLists.txt": "add_library(dalvenor_addins STATIC a.cpp)\n"
                             "target_link_libraries(dalvenor_addins PUBLIC dalvenor_forms)\n",
    "forms/CMakeLists.txt": "add_library(dalvenor_forms STATIC f.cpp)\n",
    "app/CMakeLists.txt": "add_library(dalvenor_app STATIC a.cpp)\n"
                          "target_link_libraries(dalvenor_app PUBLIC dalvenor_addins)\n",
}

# Each case: the files changed from GOOD, and a word the failure must name.
BAD = [
    ("window folder includes another", {"addins/addins_window.cpp": '#include "app/countdown_window.h"\n'},
     "addins may not use app"),
    ("countdown includes a window folder", {"app/countdown_window.cpp": '#include "addins/addins_window.h"\n'},
     "app may not use addins"),
    ("bottom includes a window folder", {"forms/form.h": '#include "addins/addins_window.h"\n'},
     "forms may not use addins"),
    ("settings includes forms", {"settings/text_file.h": '#include "forms/form.h"\n'},
     "settings may not use forms"),
    ("include without its folder", {"addins/addins_window.cpp": '#include "form.h"\n'},
     "without its folder"),
    ("link to another window folder", {"addins/CMakeLists.txt":
                                       "add_library(dalvenor_addins STATIC a.cpp)\n"
                                       "target_link_libraries(dalvenor_addins PUBLIC\n"
                                       "    dalvenor_forms dalvenor_app)\n"},
     "links dalvenor_addins to dalvenor_app"),
    ("a folder in no layer", {"extras/x.h": "#pragma once\n"}, "in no layer"),
]


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = os.path.join(root, "src", name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
        return done.returncode, done.stdout


def main():
    failures = 0
    status, out = run(GOOD)
    if status != 0:
        print("FAIL: a tree that keeps to its layers is refused:\n" + out)
        failures += 1
    for name, change, word in BAD:
        status, out = run(dict(GOOD, **change))
        if status != 1 or word not in out:
            print("FAIL: %s: status %d, output %r" % (name, status, out))
            failures += 1
    print("%d passed, %d failed" % (len(BAD) + 1 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
