#!/usr/bin/env python3
"""Lists the C++ source files longer than a limit and the functions longer than
another. A function counts from the first line of its signature to its closing
brace; lambdas and blocks inside a function count as part of it.

Usage: code-size.py [--file-lines N] [--function-lines N] [--exclude DIR]... PATH...
PATH is a file or a folder (searched for *.h and *.cpp). Defaults: 600 and 80.
Prints one line per offender ("path: N lines" or "path:LINE name: N lines")
and exits with 1 when there is any."""
import argparse
import os
import re
import sys

CONTAINER = re.compile(r"^(template\s*<.*>\s*)?(namespace|class|struct|union|enum|extern)\b", re.S)


def code_only(text):
    """The text with comments, string and character literals and preprocessor
    lines blanked out; line breaks stay where they were."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in " \t":
            out.append(c)
            i += 1
            continue
        if line_start and c == "#":
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append("\n")
                    i += 2
                    continue
                i += 1
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("\n" * text.count("\n", i, end))
            i = end
        elif c == "R" and i + 1 < n and text[i + 1] == '"' and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i + 2)
            delimiter = ")" + text[i + 2:open_paren] + '"'
            end = text.find(delimiter, open_paren)
            end = n if end < 0 else end + len(delimiter)
            out.append('""' + "\n" * text.count("\n", i, end))
            i = end
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():  # digit separator 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


FUNCTION_TAIL = re.compile(r"^(\s|const\b|noexcept\b|override\b|final\b|mutable\b|&)*(->.*)?$", re.S)
INIT_LIST = re.compile(r"\)\s*(noexcept\s*)?:(?!:)")


def block_kind(header):
    """What a "{" opened outside any function starts, from the text before it."""
    if CONTAINER.match(header):
        return "container"
    if "(" in header and not header.endswith("="):
        if re.search(r"\w$", header) and INIT_LIST.search(header):
            return "init"  # a member initialised with braces in a constructor's list
        if FUNCTION_TAIL.match(header[header.rfind(")") + 1:]):
            return "function"
    return "init" if re.search(r"\w$", header) else "block"


def long_functions(text, limit):
    """(line, name, length) of every function body longer than `limit` lines."""
    code = code_only(text)
    found = []
    stack = []  # [kind, first line, name] of the open blocks
    header_start = 0  # where the text before the next "{" began
    line = 1
    for at, c in enumerate(code):
        if c == "\n":
            line += 1
        if c not in ";{}":
            continue
        in_function = any(kind != "container" for kind, *_ in stack)
        if c == "{":
            lead = code[header_start:at]
            kind = "block" if in_function else block_kind(lead.strip())
            name = re.findall(r"(operator\W+|[~\w:]+)\s*\(", lead)
            stack.append([kind, line - lead.lstrip().count("\n"), name[0] if name else lead.strip()[:40]])
            if kind == "init":
                continue  # the header goes on after the initialiser
        elif c == "}" and stack:
            kind, first, name = stack.pop()
            if kind == "function" and line - first + 1 > limit:
                found.append((first, name, line - first + 1))
            if kind == "init":
                continue
        header_start = at + 1
    return found


def source_files(paths, excluded):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for folder, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if os.path.join(folder, d) not in excluded)
            for name in sorted(files):
                if name.endswith((".h", ".cpp")):
                    yield os.path.join(folder, name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--file-lines", type=int, default=600)
    parser.add_argument("--function-lines", type=int, default=80)
    parser.add_argument("--exclude", action="append", default=[], help="a folder to leave out")
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    excluded = {os.path.normpath(e) for e in args.exclude}
    problems = 0
    for path in source_files(args.paths, excluded):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        lines = text.count("\n") + (0 if text.endswith("\n") or not text else 1)
        if lines > args.file_lines:
            print(f"{path}: {lines} lines")
            problems += 1
        for line, name, length in long_functions(text, args.function_lines):
            print(f"{path}:{line} {name}: {length} lines")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
