#!/usr/bin/env python3
"""Finds include loops among the product's files, a header and its source taken as one,
and includes that run against the house's layers (app -> ui -> report -> {inspect, image}
-> disk -> platform; inspect and image never include each other).

Usage: include_loops.py [ROOT]. Prints each loop and each include across the layers, and
exits 1 where there is one. The framework's window, application and control classes
include each other by design (a window knows its application, a control its window) and
are left out of the loops.
"""
import os
import re
import sys

PRODUCT = ["app", "disk", "framework", "image", "inspect", "json", "platform", "report",
           "sim", "trace", "ui"]
EXEMPT = {"framework/wnd", "framework/app", "framework/controls"}
# What each folder may include besides itself.
BELOW = {
    "app": {"ui", "report", "inspect", "image", "disk", "trace", "json", "platform",
            "framework", "res"},
    "ui": {"report", "inspect", "image", "disk", "json", "platform", "framework", "res"},
    "report": {"inspect", "image", "disk", "json", "platform", "res"},
    "inspect": {"disk", "platform"},
    "image": {"disk", "platform"},
    "disk": {"platform"},
    "trace": {"json", "platform", "res"},
    "sim": {"disk", "platform"},
    "framework": {"platform"},
    "json": set(),
    "platform": set(),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def units(root):
    """Each unit (a path without its extension) and the units its files include."""
    edges = {}
    for folder in PRODUCT:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            stem, ext = os.path.splitext(name)
            if ext not in (".h", ".cpp"):
                continue
            unit = f"{folder}/{stem}"
            with open(os.path.join(base, name), encoding="utf-8") as f:
                targets = {os.path.splitext(t)[0] for t in INCLUDE.findall(f.read())}
            edges.setdefault(unit, set()).update(t for t in targets if t != unit)
    return {u: {t for t in ts if t in edges and t not in EXEMPT}
            for u, ts in edges.items() if u not in EXEMPT}


def across_layers(root):
    """Each include of a folder the folder may not include: (file, included)."""
    found = []
    for folder, allowed in sorted(BELOW.items()):
        base = os.path.join(root, folder)
        for name in sorted(os.listdir(base)) if os.path.isdir(base) else []:
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(base, name), encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    other = target.split("/")[0]
                    if "/" in target and other != folder and other not in allowed:
                        found.append((f"{folder}/{name}", target))
    return found


def loops(edges):
    """The strongly connected groups of more than one unit (Tarjan's algorithm)."""
    index, low, stack, on, found = {}, {}, [], set(), []

    def visit(u):
        index[u] = low[u] = len(index)
        stack.append(u)
        on.add(u)
        for v in sorted(edges[u]):
            if v not in index:
                visit(v)
                low[u] = min(low[u], low[v])
            elif v in on:
                low[u] = min(low[u], index[v])
        if low[u] == index[u]:
            group = []
            while True:
                v = stack.pop()
                on.discard(v)
                group.append(v)
                if v == u:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    sys.setrecursionlimit(10000)
    for u in sorted(edges):
        if u not in index:
            visit(u)
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(__file__))
    found = loops(units(root))
    for group in found:
        print("include loop: " + " <-> ".join(group))
    crossing = across_layers(root)
    for where, target in crossing:
        print(f"include across the layers: {where} includes {target}")
    return 1 if found or crossing else 0


if __name__ == "__main__":
    sys.exit(main())
