#!/usr/bin/env python3
"""The include graph of src/ between folders, and the rules it keeps.

Prints one line per folder with the folders it includes from, then checks:
the graph has no cycle; a portable layer includes only the ones below it;
the portable layers (lib, comm, discovery, modes,
app and the platform interfaces in src/platform/*.h) include neither a
platform back-end nor a program, nor a system header of one platform
(except where the library's lowest files pick their platform); no
platform back-end includes a program; the terminal dialog and the command
line do not include each other. Exit status 1 names each broken rule.

usage: include-graph.py [SRC_DIR]
"""
import os
import re
import sys

# The portable layers, lowest first: a layer includes only lower ones (the
# class library and the platform interfaces are both at the bottom).
LAYER = {"lib": 0, "platform": 0, "comm": 1, "discovery": 1, "modes": 2, "app": 3}
PORTABLE = set(LAYER)
# Headers that belong to one platform: portable code reaches the machine
# through the platform interfaces instead.
SYSTEM_HEADERS = re.compile(
    r"^#include <(windows\.h|winioctl\.h|setupapi\.h|unistd\.h|fcntl\.h|termios\.h|poll\.h|"
    r"dirent\.h|sys/[^>]+|scsi/[^>]+|linux/[^>]+|asm/[^>]+)>", re.M)
INCLUDE = re.compile(r'^#include "([^"]+)"', re.M)


def folder(rel):
    """'platform/linux/x.h' -> 'platform/linux'; 'platform/x.h' -> 'platform'."""
    parts = rel.split("/")
    if parts[0] in ("platform", "ui") and len(parts) > 2:
        return parts[0] + "/" + parts[1]
    return parts[0]


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else "src"
    edges = {}
    problems = []
    for dirpath, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, src)
            here = folder(rel)
            text = open(path, encoding="utf-8").read()
            edges.setdefault(here, set())
            # The library's lowest files pick their platform inside, and the
            # Windows types come from the system on Windows.
            picks_platform = (here == "lib" and name.endswith(".cpp")) or \
                rel == "platform/win_types.h"
            if here in PORTABLE and not picks_platform:
                for m in SYSTEM_HEADERS.finditer(text):
                    problems.append(f"{rel}: portable code includes <{m.group(1)}>")
            for m in INCLUDE.finditer(text):
                target = m.group(1)
                if not os.path.exists(os.path.join(src, target)):
                    continue  # generated in the build tree (tolvane_texts.h)
                there = folder(target)
                if there == here:
                    continue
                edges[here].add(there)
                if here in PORTABLE and there not in PORTABLE:
                    problems.append(f"{rel}: portable code includes {target}")
                elif here in PORTABLE and 0 < LAYER[here] <= LAYER[there]:
                    problems.append(f"{rel}: the layer {here} includes {target} from above")
                if here.startswith("platform/") and there.startswith("ui"):
                    problems.append(f"{rel}: a platform back-end includes the program file {target}")
                if {here, there} == {"ui/terminal", "ui/cli"}:
                    problems.append(f"{rel}: the terminal dialog and the command line include "
                                    f"each other ({target})")

    for here in sorted(edges):
        print(f"{here:16} -> {' '.join(sorted(edges[here])) or '(nothing)'}")

    # A cycle between folders: depth-first search with the path on a stack.
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                cycle = path[path.index(nxt):] + [nxt]
                problems.append("include cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                visit(nxt, path + [nxt])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [node])

    for problem in problems:
        print("include-graph: " + problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
