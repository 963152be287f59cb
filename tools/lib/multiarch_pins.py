#!/usr/bin/env python3
"""Versions to ask apt for when the i386 index is out of step with the amd64 one.

A Multi-Arch: same library must have one version on both architectures. When a mirror serves
an older i386 security index than the amd64 one, apt finds no i386 library matching the amd64
one (or no amd64 -dev package matching an installed i386 library) and gives up. This prints
install arguments, one a line, that name versions the archive has for both architectures:
- each such library the i386 targets need: the installed amd64 version where i386 has it,
  otherwise the newest version both have (which moves the amd64 library to it);
- each amd64 target, and each installed package such a move would otherwise remove, at the
  version its source package is held to.

Usage: multiarch_pins.py libpng-dev wine32:i386 ...
"""
import subprocess
import sys


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout


def versions(names):
    """{(name, arch): [version, ...]}, newest first, as apt-cache madison lists them."""
    found = {}
    if not names:
        return found
    for line in run("apt-cache", "madison", *names).splitlines():
        fields = [f.strip() for f in line.split("|")]
        if len(fields) < 3 or len(fields[2].split()) < 2:
            continue
        arch = fields[2].split()[-2]  # "... bookworm/main i386 Packages"
        found.setdefault((fields[0].split(":")[0], arch), []).append(fields[1])
    return found


def source_of(names):
    """{name: source package} of the candidates apt would install."""
    found, name = {}, None
    for line in run("apt-cache", "show", "--no-all-versions", *names).splitlines():
        if line.startswith("Package: "):
            name = line.split()[1]
            found[name] = name
        elif line.startswith("Source: ") and name:
            found[name] = line.split()[1]
    return found


def installed_packages():
    """[(name, arch, version, multi-arch, source)] from dpkg."""
    rows = []
    fmt = "${Package} ${Architecture} ${Version} ${Multi-Arch}x ${source:Package}\n"
    for line in run("dpkg-query", "-W", "-f=" + fmt).splitlines():
        fields = line.split()
        if len(fields) == 5:
            rows.append((fields[0], fields[1], fields[2], fields[3][:-1], fields[4]))
    return rows


def at_held_versions(names, held, source):
    """Each name, asked for at the version its source is held to where the archive has it."""
    known = versions(names)
    args = []
    for name in names:
        version = held.get(source.get(name))
        ok = version and version in known.get((name, "amd64"), [])
        args.append(f"{name}={version}" if ok else name)
    return args


def main(targets):
    rows = installed_packages()
    source = {name: src for name, arch, _, _, src in rows}
    # Sources held to one version: those of the i386 libraries already installed...
    held = {src: ver for _, arch, ver, ma, src in rows if arch == "i386" and ma == "same"}

    # ...and of the libraries the i386 targets need.
    closure = set()
    i386_targets = [t for t in targets if t.endswith(":i386")]
    if i386_targets:
        for line in run("apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
                        "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances",
                        *i386_targets).splitlines():
            if line[:1].isalnum():
                closure.add(line.split(":")[0])
    amd64 = {name: ver for name, arch, ver, ma, _ in rows
             if arch == "amd64" and ma == "same" and name in closure}
    known = versions(sorted(amd64) + [n + ":i386" for n in sorted(amd64)])
    args = []
    for name, ver in sorted(amd64.items()):
        i386 = known.get((name, "i386"), [])
        common = [v for v in i386 if v in known.get((name, "amd64"), [])]
        if ver in i386:
            args.append(f"{name}:i386={ver}")
        elif common:
            ver = common[0]
            args += [f"{name}={ver}", f"{name}:i386={ver}"]
        else:
            continue
        held[source[name]] = ver

    plain = [t for t in targets if ":" not in t]
    source.update(source_of(plain))
    args += at_held_versions(plain, held, source)
    args += i386_targets

    # A library that moves takes its exact-version dependents (its -dev package, say) along,
    # and apt would rather remove them: ask for each at the version its source moves to.
    for _ in range(5):
        plan = run("apt-get", "install", "-s", "--no-install-recommends", "--allow-downgrades",
                   *args)
        removed = []
        for line in plan.splitlines():
            fields = line.split()
            if fields[:1] == ["Inst"] and len(fields) >= 4 and fields[2].startswith("["):
                name = fields[1].split(":")[0]
                if name in source:
                    held.setdefault(source[name], fields[3].lstrip("("))
            elif fields[:1] == ["Remv"] and len(fields) >= 2:
                removed.append(fields[1].split(":")[0])
        if not removed:
            break
        args += at_held_versions(removed, held, source)
    for arg in args:
        print(arg)


if __name__ == "__main__":
    main(sys.argv[1:])
