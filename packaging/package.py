#!/usr/bin/env python3
"""Corvale's user packages: reproducible zips, SHA256SUMS, winget and scoop manifests.

  package.py zip --arch win64 --version 1.0.0 --out dist --strip x86_64-w64-mingw32-strip \
      --file Corvale.exe=path ... --text README.txt=path ...
  package.py release --version 1.0.0 --dist dist

A zip holds its entries sorted by name, every one with the same fixed time and attributes, the
programs stripped of debug information and their link time zeroed, the texts with Windows line
ends: the same build gives the same bytes. `release` writes SHA256SUMS for the version's zips
and the winget and scoop manifests over them; their download addresses are placeholders
(RELEASE_URL) that the release step replaces.
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

FIXED_TIME = (2000, 1, 1, 0, 0, 0)
ARCHES = {"win32": ("x86", "32bit"), "win64": ("x64", "64bit")}
RELEASE_URL = "https://RELEASE_URL/Corvale/{version}/{zip}"
PACKAGE_ID = "Varnholt.Corvale"


def zero_pe_timestamp(data: bytearray) -> None:
    """The link time in the COFF header (and the optional header's checksum) set to 0."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise ValueError("not a PE file")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if pe + 24 + 68 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    struct.pack_into("<I", data, pe + 8, 0)
    struct.pack_into("<I", data, pe + 24 + 64, 0)


def prepared(name: str, path: str, strip: str, text: bool) -> bytes:
    with open(path, "rb") as f:
        data = f.read()
    if text:
        return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    with tempfile.TemporaryDirectory() as tmp:
        copy = os.path.join(tmp, name)
        with open(copy, "wb") as f:
            f.write(data)
        if strip:
            subprocess.run([strip, "--strip-debug", copy], check=True)
        with open(copy, "rb") as f:
            data = bytearray(f.read())
    zero_pe_timestamp(data)
    return bytes(data)


def write_zip(target: str, entries: dict) -> None:
    tmp = target + ".part"
    with zipfile.ZipFile(tmp, "w") as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits
            info.external_attr = 0x20  # archive
            z.writestr(info, entries[name], compresslevel=9)
    os.replace(tmp, target)


def pairs(values):
    out = {}
    for v in values or []:
        name, sep, path = v.partition("=")
        if not sep or not name or not path:
            raise SystemExit(f"package.py: NAME=PATH expected, got {v!r}")
        out[name] = path
    return out


def cmd_zip(a) -> None:
    entries = {}
    for name, path in pairs(a.file).items():
        entries[name] = prepared(name, path, a.strip, text=False)
    for name, path in pairs(a.text).items():
        with open(path, "rb") as f:
            raw = f.read().replace(b"@VERSION@", a.version.encode())
        with tempfile.NamedTemporaryFile(delete=False) as t:
            t.write(raw)
        try:
            entries[name] = prepared(name, t.name, "", text=True)
        finally:
            os.unlink(t.name)
    os.makedirs(a.out, exist_ok=True)
    target = os.path.join(a.out, f"Corvale-{a.version}-{a.arch}.zip")
    write_zip(target, entries)
    print(target)


def sha256(path: str) -> str:
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            h.update(block)
    return h.hexdigest()


def cmd_release(a) -> None:
    zips = {}
    for arch in ARCHES:
        name = f"Corvale-{a.version}-{arch}.zip"
        if os.path.exists(os.path.join(a.dist, name)):
            zips[arch] = (name, sha256(os.path.join(a.dist, name)))
    if not zips:
        raise SystemExit(f"package.py: no Corvale-{a.version}-*.zip in {a.dist}")
    with open(os.path.join(a.dist, "SHA256SUMS"), "w", newline="\n") as f:
        for arch in sorted(zips):
            f.write(f"{zips[arch][1]}  {zips[arch][0]}\n")
    with zipfile.ZipFile(os.path.join(a.dist, zips[sorted(zips)[0]][0])) as z:
        has_report = "CorvaleReport.exe" in z.namelist()

    v = a.version
    wdir = os.path.join(a.dist, "winget", PACKAGE_ID, v)
    os.makedirs(wdir, exist_ok=True)
    head = f"PackageIdentifier: {PACKAGE_ID}\nPackageVersion: {v}\n"
    with open(os.path.join(wdir, f"{PACKAGE_ID}.yaml"), "w", newline="\n") as f:
        f.write(head + "DefaultLocale: en-US\nManifestType: version\nManifestVersion: 1.6.0\n")
    with open(os.path.join(wdir, f"{PACKAGE_ID}.locale.en-US.yaml"), "w", newline="\n") as f:
        f.write(head + "PackageLocale: en-US\nPublisher: Varnholt\nPackageName: Corvale\n"
                "License: MIT\nShortDescription: Shows which services run inside each svchost "
                "host process and how much memory the hosts use.\n"
                "ManifestType: defaultLocale\nManifestVersion: 1.6.0\n")
    lines = [head.rstrip("\n"), "InstallerType: zip", "NestedInstallerType: portable",
             "NestedInstallerFiles:", "  - RelativeFilePath: Corvale.exe",
             "    PortableCommandAlias: corvale"]
    if has_report:
        lines += ["  - RelativeFilePath: CorvaleReport.exe",
                  "    PortableCommandAlias: corvale-report"]
    lines.append("Installers:")
    for arch in sorted(zips):
        name, digest = zips[arch]
        lines += [f"  - Architecture: {ARCHES[arch][0]}",
                  f"    InstallerUrl: {RELEASE_URL.format(version=v, zip=name)}",
                  f"    InstallerSha256: {digest.upper()}"]
    lines += ["ManifestType: installer", "ManifestVersion: 1.6.0"]
    with open(os.path.join(wdir, f"{PACKAGE_ID}.installer.yaml"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")

    import json
    scoop = {
        "version": v,
        "description": "Shows which services run inside each svchost host process and how much "
                       "memory the hosts use.",
        "homepage": "https://RELEASE_URL/Corvale",
        "license": "MIT",
        "architecture": {ARCHES[arch][1]: {"url": RELEASE_URL.format(version=v, zip=zips[arch][0]),
                                           "hash": zips[arch][1]} for arch in sorted(zips)},
        "bin": ["Corvale.exe"] + (["CorvaleReport.exe"] if has_report else []),
        "shortcuts": [["Corvale.exe", "Corvale"]],
    }
    os.makedirs(os.path.join(a.dist, "scoop"), exist_ok=True)
    with open(os.path.join(a.dist, "scoop", "corvale.json"), "w", newline="\n") as f:
        json.dump(scoop, f, indent=4, sort_keys=True)
        f.write("\n")
    print(os.path.join(a.dist, "SHA256SUMS"))


def main(argv) -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0], fromfile_prefix_chars="@")
    sub = p.add_subparsers(dest="cmd", required=True)
    z = sub.add_parser("zip")
    z.add_argument("--arch", choices=sorted(ARCHES), required=True)
    z.add_argument("--version", required=True)
    z.add_argument("--out", required=True)
    z.add_argument("--strip", default="")
    z.add_argument("--file", action="append")
    z.add_argument("--text", action="append")
    r = sub.add_parser("release")
    r.add_argument("--version", required=True)
    r.add_argument("--dist", required=True)
    a = p.parse_args(argv)
    cmd_zip(a) if a.cmd == "zip" else cmd_release(a)


if __name__ == "__main__":
    main(sys.argv[1:])
