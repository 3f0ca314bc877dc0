#!/usr/bin/env python3
"""Lists the C++ files over 600 lines and the functions over 80 lines below the
given folders (default: src/). A function counts from the line its signature
starts on to the line of its closing brace; bodies are found by matching
braces in the text with comments and string literals blanked out, and a brace
that follows a parenthesis at namespace or class level opens a function.
Usage: check-sizes.py [DIR...]; exit status 1 lists the offenders."""
import os
import re
import sys

MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80


def blank(text):
    """The text with comments and string and character literals replaced by spaces (newlines kept)."""
    out, i, n = [], 0, len(text)
    while i < n:
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
        elif re.match(r'R"([^(\s]*)\(', text[i:i + 20]):
            delimiter = re.match(r'R"([^(\s]*)\(', text[i:]).group(1)
            end = text.find(")" + delimiter + '"', i) + len(delimiter) + 2
        elif text[i] in "\"'" and not (text[i] == "'" and i > 0 and text[i - 1].isalnum()):
            end = i + 1
            while end < n and text[end] != text[i]:
                end += 2 if text[end] == "\\" else 1
            end += 1
        else:
            out.append(text[i])
            i += 1
            continue
        out.append(re.sub(r"[^\n]", " ", text[i:end]))
        i = end
    return "".join(out)


def functions(text):
    """(first line, line count) of every function body at namespace or class level."""
    stack, found, start, line = [], [], 0, 1
    for i, c in enumerate(text):
        if c == "\n":
            line += 1
        elif c == "{":
            head = text[start:i]
            leading = head[:len(head) - len(head.lstrip())]
            first = line - head.count("\n") + leading.count("\n")
            is_function = ("f" not in (kind for kind, _ in stack) and ")" in head
                           and not re.search(r"\b(namespace|class|struct|enum|union)\b[^()]*$", head)
                           and "=" not in head.rsplit(")", 1)[-1])
            stack.append(("f" if is_function else "o", first))
            start = i + 1
        elif c == "}":
            if stack:
                kind, first = stack.pop()
                if kind == "f":
                    found.append((first, line - first + 1))
            start = i + 1
        elif c == ";":
            start = i + 1
    return found


def main(roots):
    problems = []
    for root in roots:
        for folder, _, names in os.walk(root):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as source:
                    text = source.read()
                if text.count("\n") > MAX_FILE_LINES:
                    problems.append(f"{path}: {text.count(chr(10))} lines")
                for first, length in functions(blank(text)):
                    if length > MAX_FUNCTION_LINES:
                        problems.append(f"{path}:{first}: a function of {length} lines")
    print("\n".join(problems) if problems else "no file over 600 lines, no function over 80 lines")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or [os.path.join(os.path.dirname(__file__), "..", "src")]))
