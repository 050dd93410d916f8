#!/usr/bin/env python3
"""Fails when the configured build uses a Debian package that scripts/deps would not install.

A package installed by hand passes every test on the machine it was installed on and fails
at configure on a fresh one. This reads what the build found (CMake package directories and
pkg-config modules in CMakeCache.txt), asks dpkg which package owns each file, and checks
that every owner is listed in scripts/deps or pulled in by a listed package (Depends and
Pre-Depends, recursively, through alternatives and virtual packages).

    check_deps.py CMAKECACHE DEPS_SCRIPT [--drop PACKAGE]...

--drop leaves a package out of the list, so the check can show that it catches a missing one.
"""
import argparse
import glob
import os
import re
import subprocess
import sys


def cache_entries(path):
    entries = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^([A-Za-z0-9_.+-]+):([A-Z]+)=(.*)$", line.rstrip("\n"))
            if m:
                entries[m.group(1)] = m.group(3)
    return entries


def used_files(entries):
    """Files that stand for what the build found: package config files, .pc files, libraries."""
    files = []
    for key, value in entries.items():
        if key.endswith("_DIR") and value.startswith("/usr/"):
            base = os.path.basename(value.rstrip("/"))
            configs = [os.path.join(value, base + "Config.cmake"),
                       os.path.join(value, base.lower() + "-config.cmake")]
            configs = [c for c in configs if os.path.exists(c)] or \
                sorted(glob.glob(os.path.join(value, "*Config.cmake")))
            files.extend(configs[:1])
        elif key.endswith("_MODULE_NAME") and value:
            for module in value.split(";"):
                pcdir = subprocess.run(["pkg-config", "--variable=pcfiledir", module],
                                       capture_output=True, text=True).stdout.strip()
                if pcdir:
                    files.append(os.path.join(pcdir, module + ".pc"))
        elif key.startswith("pkgcfg_lib_") and value.startswith("/usr/"):
            files.append(value)
    return sorted(set(files))


def owner(path):
    out = subprocess.run(["dpkg", "-S", os.path.realpath(path)], capture_output=True, text=True)
    if out.returncode != 0:
        out = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if out.returncode != 0:
        return None
    return out.stdout.split(":", 1)[0].split(",")[0].strip()


def installed_packages():
    fmt = "${Package}\t${Status}\t${Depends}\t${Pre-Depends}\t${Provides}\n"
    out = subprocess.run(["dpkg-query", "-W", "-f=" + fmt], capture_output=True, text=True,
                         check=True).stdout
    depends, provides = {}, {}
    for line in out.splitlines():
        name, status, dep, predep, prov = (line.split("\t") + [""] * 5)[:5]
        if "install ok installed" not in status:
            continue
        depends[name] = [alt for alt in (dep + "," + predep).split(",") if alt.strip()]
        for p in prov.split(","):
            p = p.split("(")[0].strip()
            if p:
                provides.setdefault(p, []).append(name)
    return depends, provides


def strip_name(text):
    return text.split("(")[0].split("[")[0].strip().split(":")[0]


def closure(roots, depends, provides):
    seen, todo = set(), list(roots)
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for group in depends.get(name, []):
            for alternative in group.split("|"):
                target = strip_name(alternative)
                chosen = [target] if target in depends else provides.get(target, [])
                if chosen:
                    todo.extend(chosen)
                    break
    return seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cache")
    parser.add_argument("deps")
    parser.add_argument("--drop", action="append", default=[])
    args = parser.parse_args()

    listed = subprocess.run(["bash", args.deps, "--list"], capture_output=True, text=True,
                            check=True).stdout.split()
    listed = [p for p in listed if p not in args.drop]
    depends, provides = installed_packages()
    not_installed = [p for p in listed if p not in depends]
    if not_installed:
        print("listed in scripts/deps but not installed (run scripts/deps): " + " ".join(not_installed))
        return 1
    reach = closure(listed, depends, provides)

    files = used_files(cache_entries(args.cache))
    if not files:
        print("no CMake or pkg-config packages found in " + args.cache)
        return 1
    missing = {}
    for f in files:
        pkg = owner(f)
        if pkg is None:
            print("note: no Debian package owns " + f)
            continue
        if pkg not in reach:
            missing.setdefault(pkg, []).append(f)
    print(f"{len(files)} files the build uses, owned by packages scripts/deps installs: "
          f"{len(files) - sum(len(v) for v in missing.values())}")
    for pkg, fs in sorted(missing.items()):
        print(f"missing from scripts/deps: {pkg} (owns {fs[0]})")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
