#!/usr/bin/env python3
"""Fails naming every #include in src/ that points up the layers.

Core layers, lowest first: base < decode < display < record < link < app. A core file
includes files of its own layer or lower ones, never widget code. Widget code lives in
<layer>/gui/ folders; it sits over the whole core and keeps the same order among itself:
base/gui < display/gui < record/gui < link/gui < app/gui (the window). cli/ sits over the
core and never includes widget code.
    check_layers.py SRC_DIR
    check_layers.py --self-test     (a small tree with one include of each wrong kind)
"""
import re
import sys
import tempfile
from pathlib import Path

CORE = ["base", "decode", "display", "record", "link", "app"]
TOP = "cli"
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"]+)"', re.M)


def place(rel):
    """(layer rank, is widget code) of a path relative to src/, or None when unknown."""
    parts = rel.split("/")
    if parts[0] == TOP:
        return len(CORE), False
    if parts[0] not in CORE:
        return None
    return CORE.index(parts[0]), "gui" in parts[1:-1]


def allowed(src, dst):
    (src_rank, src_gui), (dst_rank, dst_gui) = src, dst
    if dst_gui:
        return src_gui and dst_rank <= src_rank
    return src_gui or dst_rank <= src_rank


def check(root):
    problems = []
    files = sorted(p for p in root.rglob("*") if p.suffix in (".h", ".cpp"))
    for path in files:
        rel = path.relative_to(root).as_posix()
        src = place(rel)
        if src is None:
            problems.append(f"{rel}: not in a known layer ({', '.join(CORE + [TOP])})")
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for m in INCLUDE.finditer(text):
            target = m.group(1)
            line = text.count("\n", 0, m.start()) + 1
            if "/" not in target:
                problems.append(f"{rel}:{line}: includes \"{target}\" without its layer folder")
                continue
            dst = place(target)
            if dst is None:
                problems.append(f"{rel}:{line}: includes \"{target}\", which is in no known layer")
            elif not allowed(src, dst):
                problems.append(f"{rel}:{line}: upward include of \"{target}\"")
    return files, problems


# Each wrong include, and what the check must say about it; the rest must pass.
SELF_TEST = {
    "base/profile.h": ('#include "decode/decodedframe.h"', 'upward include of "decode/decodedframe.h"'),
    "link/bridgelink.cpp": ('#include "app/metersession.h"', 'upward include of "app/metersession.h"'),
    "app/metersession.cpp": ('#include "app/gui/tfcomm.h"', 'upward include of "app/gui/tfcomm.h"'),
    "record/gui/chart.cpp": ('#include "link/gui/linkcontrols.h"', 'upward include of "link/gui/linkcontrols.h"'),
    "cli/log.cpp": ('#include "record/gui/trendchartview.h"', 'upward include of "record/gui/trendchartview.h"'),
    "display/limitjudge.h": ('#include "limitjudge.h"', 'without its layer folder'),
    "misc/thing.cpp": ("", "not in a known layer"),
    "display/gui/limitpanel.cpp": ('#include "app/metersession.h"\n#include "base/gui/font.h"', None),
    "app/gui/tfcomm.cpp": ('#include "link/gui/linkcontrols.h"\n#include "record/readingtable.h"', None),
    "cli/decode.cpp": ('#include "app/metersession.h"\n#include "cli/arguments.h"', None),
}


def self_test():
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        for rel, (text, _) in SELF_TEST.items():
            (root / rel).parent.mkdir(parents=True, exist_ok=True)
            (root / rel).write_text("#pragma once\n" + text + "\n")
        _, problems = check(root)
    failed = False
    for rel, (_, expected) in SELF_TEST.items():
        named = [p for p in problems if p.startswith(rel + ":")]
        if expected is None and named:
            print(f"self-test: {rel} should pass, got: {named}")
            failed = True
        elif expected is not None and not any(expected in p for p in named):
            print(f"self-test: {rel} should report '{expected}', got: {named}")
            failed = True
    print("self-test failed" if failed else f"self-test: all {len(SELF_TEST)} cases as expected")
    return 1 if failed else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    files, problems = check(Path(sys.argv[1]))
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) against the layer order")
        return 1
    print(f"{len(files)} files, every include points down or sideways")
    return 0


if __name__ == "__main__":
    sys.exit(main())
