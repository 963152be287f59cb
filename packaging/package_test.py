#!/usr/bin/env python3
"""The user's package: packed twice it is the same bytes; it holds what a user needs and no more;
SHA256SUMS and the winget and scoop manifests read back with the zip's own hash.
  package_test.py package-args.txt"""
import hashlib
import json
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def pack(args_file, out):
    subprocess.run([sys.executable, os.path.join(HERE, "package.py"), "zip", "@" + args_file,
                    "--out", out], check=True, stdout=subprocess.DEVNULL)
    (name,) = [n for n in os.listdir(out) if n.endswith(".zip")]
    return os.path.join(out, name)


def sections(pe_bytes):
    pe = struct.unpack_from("<I", pe_bytes, 0x3C)[0]
    count = struct.unpack_from("<H", pe_bytes, pe + 6)[0]
    optional = struct.unpack_from("<H", pe_bytes, pe + 20)[0]
    first = pe + 24 + optional
    symbols, nsymbols = struct.unpack_from("<II", pe_bytes, pe + 12)
    strings = symbols + 18 * nsymbols  # long section names ("/4") point into this table
    names = []
    for i in range(count):
        name = pe_bytes[first + 40 * i:first + 40 * i + 8].rstrip(b"\0")
        if name.startswith(b"/") and symbols:
            at = strings + int(name[1:])
            name = pe_bytes[at:pe_bytes.index(b"\0", at)]
        names.append(name)
    return names, struct.unpack_from("<I", pe_bytes, pe + 8)[0]


def main(args_file):
    with open(args_file) as f:
        args = f.read().split("\n")
    version = args[args.index("--version") + 1]
    arch = args[args.index("--arch") + 1]
    programs = {a.split("=")[0] for a in args if a.endswith(".exe") or ".exe=" in a}
    with tempfile.TemporaryDirectory() as one, tempfile.TemporaryDirectory() as two:
        first, second = pack(args_file, one), pack(args_file, two)
        check(os.path.basename(first) == f"Corvale-{version}-{arch}.zip", "zip name")
        with open(first, "rb") as a, open(second, "rb") as b:
            check(a.read() == b.read(), "two packings differ")

        with zipfile.ZipFile(first) as z:
            names = z.namelist()
            expected = {"Corvale.exe", "zlib1.dll", "README.txt", "LICENSE.txt",
                        "THIRD-PARTY-zlib.txt"} | programs
            check(set(names) == expected, f"entries {names}")
            check(names == sorted(names), "entries not sorted")
            check(not any("Designer" in n for n in names), "the designer is in the package")
            for info in z.infolist():
                check(info.date_time == (2000, 1, 1, 0, 0, 0), f"{info.filename} time")
            for exe in [n for n in names if n.endswith((".exe", ".dll"))]:
                found, stamp = sections(z.read(exe))
                check(not any(s.startswith((b".debug", b"/")) for s in found),
                      f"{exe} keeps debug sections {found}")
                check(stamp == 0, f"{exe} keeps its link time")
            readme = z.read("README.txt")
            check(f"Corvale {version}".encode() in readme and b"@VERSION@" not in readme,
                  "README.txt version")
            check(b"\r\n" in readme and b"\n" not in readme.replace(b"\r\n", b""),
                  "README.txt line ends")
            check(b"MIT License" in z.read("LICENSE.txt"), "LICENSE.txt")
            check(b"Jean-loup Gailly" in z.read("THIRD-PARTY-zlib.txt"), "zlib licence")

        subprocess.run([sys.executable, os.path.join(HERE, "package.py"), "release",
                        "--version", version, "--dist", one], check=True,
                       stdout=subprocess.DEVNULL)
        with open(first, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(os.path.join(one, "SHA256SUMS")) as f:
            check(f.read() == f"{digest}  {os.path.basename(first)}\n", "SHA256SUMS")
        with open(os.path.join(one, "scoop", "corvale.json")) as f:
            scoop = json.load(f)
        bits = "64bit" if arch == "win64" else "32bit"
        check(scoop["version"] == version, "scoop version")
        check(scoop["architecture"][bits]["hash"] == digest, "scoop hash")
        check(scoop["architecture"][bits]["url"].endswith("/" + os.path.basename(first)),
              "scoop url")
        check("Corvale.exe" in scoop["bin"], "scoop bin")
        wdir = os.path.join(one, "winget", "Varnholt.Corvale", version)
        fields = {}
        for name in sorted(os.listdir(wdir)):
            with open(os.path.join(wdir, name)) as f:
                for line in f:
                    key, sep, value = line.strip().lstrip("- ").partition(": ")
                    if sep:
                        fields.setdefault(key, []).append(value)
        check(set(fields["PackageVersion"]) == {version}, "winget version")
        check(fields["InstallerSha256"] == [digest.upper()], "winget hash")
        check(fields["Architecture"] == ["x64" if arch == "win64" else "x86"], "winget arch")
        check(sorted(fields["ManifestType"]) == ["defaultLocale", "installer", "version"],
              "winget manifest types")
    print("package: %d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
