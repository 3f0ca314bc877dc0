#!/usr/bin/env python3
"""Checks that every #include in src/ points down the layers: a file may include
headers of its own folder and of the layers its layer is built on, nothing else.
The table mirrors the target_link_libraries of src/CMakeLists.txt and of the Qt
edges. Usage: check-layers.py [SOURCE_ROOT]; exit status 1 lists the offenders."""
import os
import re
import sys

# layer: the layers it is built on directly (the rest follows from these)
BUILT_ON = {
    "value": [],
    "files": ["value"],
    "formula": ["value"],
    "log": ["files"],
    "sheet": ["value"],
    "ooxml": ["files"],
    "xlsbridge": ["log"],
    "engine": ["sheet", "ooxml", "xlsbridge", "formula"],
    "session": ["sheet"],
    "fillcommon": ["session", "log"],
    "templatefill": ["fillcommon", "log"],
    "plainbom": ["fillcommon", "log"],
    "summary": ["fillcommon", "log"],
    "copyexport": ["session"],
    "dialog": ["session", "log"],
    "automation": ["templatefill", "plainbom", "summary", "copyexport", "dialog"],
    "desktop": ["session"],
    "dialog/qt": ["dialog"],
    "bus": ["automation", "desktop", "dialog/qt", "engine"],
    "cli": ["automation", "engine", "bus"],
}
GENERATED = {"kest_db_bom_excel_adaptor.h"}


def below(layer, seen=None):
    seen = set() if seen is None else seen
    for lower in BUILT_ON[layer]:
        if lower not in seen:
            seen.add(lower)
            below(lower, seen)
    return seen


def layer_of(path):
    """The layer of a path relative to src/ ("dialog/qt/x.h" -> "dialog/qt")."""
    parts = path.split("/")
    nested = "/".join(parts[:2])
    return nested if nested in BUILT_ON else parts[0]


def main(root):
    src = os.path.join(root, "src")
    problems = []
    for folder, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), src)
            layer = layer_of(path)
            if layer not in BUILT_ON:
                problems.append(f"{path}: folder is in no layer")
                continue
            allowed = below(layer) | {layer}
            with open(os.path.join(folder, name), encoding="utf-8") as text:
                for number, line in enumerate(text, 1):
                    m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
                    if not m or m.group(1) in GENERATED or m.group(1).endswith(".moc"):
                        continue
                    target = layer_of(m.group(1))
                    if target not in allowed:
                        problems.append(f"{path}:{number}: {layer} includes {m.group(1)} ({target} is not below it)")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
