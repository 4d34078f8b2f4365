#!/usr/bin/env python3
"""Checks that the includes of the source tree follow its layers.

The core (include/, src/) uses the standard library only. Around it the
reusable layer: io (file formats), then params (the parameter schema),
prepare (GIS layers onto the grid), report, store and optimise (beside each
other, none including another), then jobs; the hosts cli and python stand
on top, and nothing outside cli/ (and its tests) includes cli's headers. A
folder may include its own headers and those of the folders below it, never
those of a folder beside or above it. The reusable layer names the core
headers it uses: none of its files includes the umbrella header
<towngrow/towngrow.h>, which is for the hosts and the library's users.

    python3 cmake/check_layers.py [TOP]    # exit 1 and one line per offence
"""
import os
import re
import sys

RANK = {"include": 0, "src": 0, "io": 1, "params": 2, "prepare": 2, "report": 2, "store": 2,
        "optimise": 2, "jobs": 3, "cli": 4, "python": 4}
UMBRELLA = "towngrow/towngrow.h"
# Headers the core may include besides its own: the C++ standard library
# (and the C headers it wraps), and the compiler's intrinsics (*intrin.h).
STANDARD = set("""algorithm any array atomic bitset cassert cctype cerrno cfloat charconv
chrono cinttypes climits clocale cmath condition_variable csetjmp csignal cstdarg cstddef
cstdint cstdio cstdlib cstring ctime cwchar cwctype deque exception execution filesystem
forward_list fstream functional future initializer_list iomanip ios iosfwd iostream istream
iterator limits list locale map memory memory_resource mutex new numeric optional ostream
queue random ratio regex scoped_allocator set shared_mutex sstream stack stdexcept streambuf
string string_view system_error thread tuple type_traits typeindex typeinfo unordered_map
unordered_set utility valarray variant vector""".split())
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def offences(top):
    for folder, rank in RANK.items():
        for root, _, files in os.walk(os.path.join(top, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".hpp", ".cpp")):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, top)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, header = m.groups()
                        first = header.split("/")[0]
                        where = f"{rel}:{number}: {header}"
                        if rank == 0:
                            intrinsics = header.endswith("intrin.h")  # the compiler's own
                            if kind == "<" and first != "towngrow" and header not in STANDARD \
                                    and not intrinsics:
                                yield f"{where}: the core uses the standard library only"
                            elif kind == '"' and first in RANK and RANK[first] > 0:
                                yield f"{where}: the core includes the layer above it"
                        elif 1 <= rank <= 3 and header == UMBRELLA:
                            yield f"{where}: the layer includes the core headers it uses, not the umbrella"
                        elif kind == '"' and first in RANK and first != folder:
                            if RANK[first] >= rank:
                                yield f"{where}: {folder}/ may not include {first}/"


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = list(offences(os.path.abspath(top)))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} includes against the direction of the layers")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
