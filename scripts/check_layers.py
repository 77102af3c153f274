#!/usr/bin/env python3
"""Checks that every project include points down or sideways in the layers, and that the
folders include each other in no cycle. Prints each arrow that runs up and each cycle; exits
1 when there is one.

    scripts/check_layers.py [SOURCE_DIR]

The layers, lowest first. A folder's sub-folder listed here (the bus side of the OPC
servers, the Linux and D-Bus implementations of the platform, the server program) sits just
above its folder: the folder itself never includes it. tests/, bench/ and fuzz/ stand above
everything and are not checked.
"""
import os
import re
import sys

LAYERS = [
    ["platform"],
    ["platform/linux", "platform/dbus"],
    ["core"],
    ["model"],
    ["modbus", "exchange"],
    ["opc"],
    ["opc/bus"],
    ["opcda", "opcae", "opcua", "sparkplug"],
    ["opcda/bus", "opcae/bus"],
    ["redundancy"],
    ["app"],
    ["app/server"],
    ["gui"],
    ["tools"],
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def layer_of(path):
    """The most specific layer folder a path lies in, or None outside the layers."""
    parts = path.split("/")[:-1]
    for n in range(len(parts), 0, -1):
        folder = "/".join(parts[:n])
        if folder in RANK:
            return folder
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    root = os.path.abspath(root)
    up = []
    edges = {}
    for top in sorted({folders.split("/")[0] for layer in LAYERS for folders in layer}):
        for directory, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root)
                source = layer_of(path)
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = layer_of(match.group(1))
                        if target is None or source is None or target == source:
                            continue
                        if RANK[target] > RANK[source]:
                            up.append(f"{path}:{number}: {source} -> {target} ({match.group(1)})")
                        edges.setdefault(source, set()).add(target)

    # Sideways arrows may not close a circle.
    cycles = []
    state = {}

    def visit(folder, trail):
        state[folder] = "open"
        for target in sorted(edges.get(folder, ())):
            if state.get(target) == "open":
                cycles.append(" -> ".join(trail[trail.index(target):] + [target]))
            elif target not in state:
                visit(target, trail + [target])
        state[folder] = "done"

    for folder in sorted(edges):
        if folder not in state:
            visit(folder, [folder])

    for line in up:
        print("include points up:", line)
    for cycle in cycles:
        print("folders include each other in a cycle:", cycle)
    if up or cycles:
        return 1
    print(f"layers: {sum(len(t) for t in edges.values())} folder arrows, none up, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
