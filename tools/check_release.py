#!/usr/bin/env python3
"""Checks a release archive: exactly the expected files, a stripped Orlimo.exe under 2 MB that
finds its debug file, programs that import the system's known DLLs only, and checksums that
match. The test programs it expects are those the build lists (one file name a line) in
release/test-programs.txt.
Usage: tools/check_release.py dist/Orlimo-<version>-win64.zip build/windows/release/test-programs.txt"""
import hashlib
import pathlib
import re
import subprocess
import sys
import tempfile
import zipfile

OBJDUMP = "x86_64-w64-mingw32-objdump"
MAX_PROGRAM_BYTES = 2 * 1024 * 1024
# Holds every program of the archive to the system's known DLLs, the only ones Windows never
# looks for in a program's own folder (where a file dropped beside a download would be found).
KNOWN_DLLS_CHECK = pathlib.Path(__file__).resolve().parent.parent / "tests" / "orlimo_imports.cmake"


def fail(message):
    print(f"check_release: {message}", file=sys.stderr)
    sys.exit(1)


def objdump(*args):
    return subprocess.run([OBJDUMP, *args], check=True, capture_output=True, text=True).stdout


def section_bytes(path, section):
    data = bytearray()
    for line in objdump("-s", "-j", section, str(path)).splitlines():
        # " <address> <up to four groups of hex bytes>  <the same as text>"
        fields = line.split("  ")[0].split()
        if len(fields) >= 2 and all(re.fullmatch(r"[0-9a-f]+", f) for f in fields):
            data += bytes.fromhex("".join(fields[1:]))
    return bytes(data)


def check_executable(path, name):
    headers = objdump("-h", str(path))
    if ".debug_" in headers:
        fail(f"{name} still has debug sections")
    known_dlls = subprocess.run(
        ["cmake", f"-DOBJDUMP={OBJDUMP}", f"-DEXECUTABLE={path}", "-P", str(KNOWN_DLLS_CHECK)],
        capture_output=True, text=True)
    if known_dlls.returncode != 0:
        fail(f"{name} imports more than known DLLs:\n{known_dlls.stderr}")
    return headers


def main():
    if len(sys.argv) != 3:
        fail(__doc__.splitlines()[-1])
    archive = pathlib.Path(sys.argv[1])
    test_programs = pathlib.Path(sys.argv[2]).read_text().split()
    if not test_programs:
        fail(f"{sys.argv[2]} lists no test programs")
    expected = sorted(["Orlimo.exe", "Orlimo.debug", "README.txt", "SHA256SUMS",
                       "tests/Orlimo.exe", "tests/run-tests.cmd"]
                      + [f"tests/{name}" for name in test_programs])
    top = archive.name.removesuffix(".zip")
    with zipfile.ZipFile(archive) as zf:
        names = sorted(n.removeprefix(top + "/") for n in zf.namelist()
                       if n.startswith(top + "/") and not n.endswith("/"))
        strays = [n for n in zf.namelist() if not n.startswith(top + "/")]
        if strays or names != expected:
            fail(f"unexpected contents: missing {sorted(set(expected) - set(names))}, "
                 f"extra {sorted(set(names) - set(expected)) + strays}")
        with tempfile.TemporaryDirectory() as temp:
            zf.extractall(temp)
            root = pathlib.Path(temp) / top

            program = root / "Orlimo.exe"
            size = program.stat().st_size
            if size >= MAX_PROGRAM_BYTES:
                fail(f"Orlimo.exe is {size} bytes, not under {MAX_PROGRAM_BYTES}")
            if ".gnu_debuglink" not in check_executable(program, "Orlimo.exe"):
                fail("Orlimo.exe does not name its debug file")
            if not section_bytes(program, ".gnu_debuglink").startswith(b"Orlimo.debug\0"):
                fail("Orlimo.exe's debug link does not name Orlimo.debug")
            if ".debug_info" not in objdump("-h", str(root / "Orlimo.debug")):
                fail("Orlimo.debug holds no debug information")
            if (root / "tests" / "Orlimo.exe").read_bytes() != program.read_bytes():
                fail("tests/Orlimo.exe differs from Orlimo.exe")
            for name in test_programs:
                check_executable(root / "tests" / name, f"tests/{name}")

            listed = {}
            for line in (root / "SHA256SUMS").read_text().splitlines():
                digest, _, name = line.partition("  ")
                listed[name] = digest
            if sorted(listed) != [n for n in expected if n != "SHA256SUMS"]:
                fail("SHA256SUMS does not list every other file")
            for name, digest in listed.items():
                if hashlib.sha256((root / name).read_bytes()).hexdigest() != digest:
                    fail(f"SHA256SUMS does not match {name}")
    print(f"check_release: {archive} is complete; Orlimo.exe {size} bytes")


if __name__ == "__main__":
    main()
