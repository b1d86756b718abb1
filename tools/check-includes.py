#!/usr/bin/env python3
"""Checks the #include lines of the program's own code against the plan of the folders.

- app/ is shared by every tool: it includes nothing but app/.
- A tool (splitter, vdrive, browser, startup, update, offer) includes app/ and itself, never
  another tool: what two tools share lives in app/.
- Logic (a file outside a win/ folder) never includes a win/ header: the logic builds and is
  tested natively.
- program/ is the composition root: it may include every folder.
Tests and benchmarks (tests/, bench/ folders) drive whole windows and may include what they
test. The include paths of the libraries already refuse most wrong-way includes; this check
covers what include paths cannot say (the win/ rule, and includes spelled from the root).

Usage: tools/check-includes.py [ROOT]   exit status 1 and one line per fault when any
"""
import os
import re
import sys

TOOLS = {"splitter", "vdrive", "browser", "startup", "update", "offer"}
SOURCES = (".cpp", ".h", ".c", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def faults_of(rel, text):
    parts = rel.split("/")
    top = parts[0]
    if top not in TOOLS and top != "app":
        return []
    if "tests" in parts or "bench" in parts:
        return []
    logic = "win" not in parts[:-1]
    out = []
    for number, line in enumerate(text.splitlines(), 1):
        m = INCLUDE.match(line)
        if not m:
            continue
        target = m.group(1)
        tparts = target.split("/")
        if len(tparts) < 2:
            continue  # a generated or same-folder header (version.h, xxhash.h)
        ttop = tparts[0]
        where = f"{rel}:{number}: "
        if ttop not in TOOLS and ttop != "app":
            if ttop in ("program", "tests", "tools"):
                out.append(where + f'includes "{target}" (only the program and tests may)')
            continue
        if top == "app" and ttop != "app":
            out.append(where + f'includes "{target}": app/ is shared and includes no tool')
        elif top in TOOLS and ttop in TOOLS and ttop != top:
            out.append(where + f'includes "{target}": a tool never includes another tool '
                       "(move what both need into app/)")
        if logic and "win" in tparts[:-1]:
            out.append(where + f'includes "{target}": logic never includes a win/ header')
    return out


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    faults = []
    for top in sorted(TOOLS | {"app"}):
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                path = os.path.join(folder, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                with open(path, encoding="utf-8", errors="replace") as f:
                    faults += faults_of(rel, f.read())
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-includes: {len(faults)} include(s) against the plan", file=sys.stderr)
        return 1
    print("check-includes: every include follows the plan")
    return 0


if __name__ == "__main__":
    sys.exit(main())
