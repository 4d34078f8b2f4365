#!/usr/bin/env python3
"""Checks the README's Layout section against the tree: every folder and
file at the top of the repository is named there, and every path it names
under one of them exists.

    python3 cmake/check_readme_layout.py [TOP]    # exit 1 and one line per difference
"""
import os
import re
import subprocess
import sys


def top_entries(top):
    """The tracked top-level names (the work tree's, less build folders, outside git)."""
    try:
        files = subprocess.run(["git", "-C", top, "ls-files"], capture_output=True, text=True,
                               check=True).stdout.split()
        return {f.split("/")[0] for f in files}
    except (OSError, subprocess.CalledProcessError):
        return {n for n in os.listdir(top) if n != ".git" and not n.startswith("build")}


def differences(top):
    with open(os.path.join(top, "README.md"), encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^## Layout\n(.*?)(?=^## |\Z)", text, re.S | re.M)
    if not section:
        yield "README.md has no Layout section"
        return
    named = set(re.findall(r"`([^`\s]+)`", section.group(1)))
    tops = top_entries(top)
    for entry in sorted(tops):
        if not any(p == entry or p.startswith(entry + "/") for p in named):
            yield f"{entry}: at the top of the tree but not in the Layout section"
    for path in sorted(named):
        if path.split("/")[0] in tops and not os.path.exists(os.path.join(top, path)):
            yield f"{path}: named in the Layout section but not in the tree"


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = list(differences(os.path.abspath(top)))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
