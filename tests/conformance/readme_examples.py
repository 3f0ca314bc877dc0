#!/usr/bin/env python3
"""Runs the README examples marked for testing (README.md, "Quick start", says how
they are marked) against the built programs: readme_examples.py SOURCE_DIR PROGRAM_DIR...
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

BUS = """<busconfig><type>session</type><listen>unix:tmpdir={0}</listen>
<servicedir>{0}/share/dbus-1/services</servicedir><policy context="default">
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>"""


def blocks(text):
    """(file name or None, lines) of every block marked for testing."""
    found, lines, i = [], text.splitlines(), 0
    while i < len(lines):
        if lines[i].startswith("```"):
            end = lines.index("```", i + 1)
            if re.search(r"\btest\b", lines[i]):
                name = re.search(r"\btest=(\S+)", lines[i])
                found.append((name and name.group(1), lines[i + 1:end]))
            i = end
        i += 1
    return found


def commands(lines):
    """(command, expected output lines or None); a command ends where bash reads it whole."""
    found, i = [], 0
    while i < len(lines):
        if lines[i].strip() and not lines[i].startswith("#"):
            command = [lines[i]]
            while command[-1].endswith("\\") or subprocess.run(
                    ["bash", "-n", "-c", "\n".join(command)], capture_output=True).returncode != 0:
                i += 1
                command.append(lines[i])
            expected = []
            while i + 1 < len(lines) and lines[i + 1].startswith("# "):
                i += 1
                expected.append(lines[i][2:])
            found.append(("\n".join(command), expected or None))
        i += 1
    return found


def run_readme(source, readme):
    failures = 0
    with tempfile.TemporaryDirectory(prefix="kbx-readme-") as scratch:
        os.symlink(os.path.join(source, "examples"), os.path.join(scratch, "examples"))
        with open(os.path.join(source, readme), encoding="utf-8") as f:
            examples = blocks(f.read())
        for name, lines in examples:
            if name:
                with open(os.path.join(scratch, name), "w", encoding="utf-8") as out:
                    out.write("\n".join(lines) + "\n")
                continue
            for command, expected in commands(lines):
                done = subprocess.run(["bash", "-euo", "pipefail", "-c", command], cwd=scratch,
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
                if done.returncode != 0 or expected not in (None, done.stdout.splitlines()):
                    failures += 1
                    print(f"FAILED in {readme} (exit status {done.returncode}):\n{command}\n"
                          f"expected: {expected}\nprinted:  {done.stdout.splitlines()}\n{done.stderr}")
    print(f"{readme}: {len(examples)} examples, {failures} failed")
    return failures


def main(source, programs):
    if "KBX_README_HOME" not in os.environ:  # start again on a private session bus
        home = tempfile.mkdtemp(prefix="kbx-readme-home-")
        os.makedirs(os.path.join(home, "share", "dbus-1", "services"))
        with open(os.path.join(home, "bus.conf"), "w") as conf:
            conf.write(BUS.format(home))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "TMPDIR")}
        env.update(PATH=os.pathsep.join([os.path.abspath(p) for p in programs] + [env.get("PATH", "")]),
                   HOME=home, TEMP=home, XDG_DATA_HOME=os.path.join(home, "share"), KBX_README_HOME=home,
                   QT_QPA_PLATFORM="offscreen", KESTBOMEX_VIEWER="/bin/false")
        os.execvpe("dbus-run-session", ["dbus-run-session", "--config-file", os.path.join(home, "bus.conf"), "--",
                                        sys.executable] + sys.argv, env)
    try:
        readmes = ["README.md"] + sorted(os.path.relpath(p, source) for p in glob.glob(source + "/examples/*/README.md"))
        return 1 if sum(run_readme(source, readme) for readme in readmes) else 0
    finally:
        shutil.rmtree(os.environ["KBX_README_HOME"], ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
