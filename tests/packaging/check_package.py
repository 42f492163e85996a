#!/usr/bin/env python3
"""Installs the build under two unrelated prefixes and starts the database tool through each
launcher (also through a symbolic link to it), then makes the Debian package and checks its
name, its dependencies and that it carries the launchers, the program, the desktop entry and
the icons.

Usage: check_package.py BUILD_DIR VERSION
"""
import gzip
import os
import pathlib
import re
import subprocess
import sys
import tempfile

build, version = pathlib.Path(sys.argv[1]), sys.argv[2]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(*command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result.stdout


with tempfile.TemporaryDirectory() as work:
    work = pathlib.Path(work)
    env = dict(os.environ, ORVANDEL_SYSTEM_DIR=str(work / "system"))
    for prefix in (work / "usr", work / "opt" / "elsewhere"):
        run("cmake", "--install", str(build), "--prefix", str(prefix))
        link = work / "links" / prefix.name / "orvandel-db"
        link.parent.mkdir(parents=True)
        link.symlink_to(prefix / "bin" / "orvandel-db")
        for launcher in (prefix / "bin" / "orvandel-db", link):
            result = subprocess.run([str(launcher), "where"], env=env, capture_output=True,
                                    text=True)
            check(result.returncode == 0 and result.stdout.strip() ==
                  str(work / "system" / "shipall.bcd"),
                  f"{launcher} where: {result.returncode} {result.stdout!r} {result.stderr!r}")
        check(str(prefix) not in (prefix / "bin" / "orvandel").read_text(),
              f"the launcher names its install prefix {prefix}")

    # The tool's manual page has an entry for every command that its --help lists.
    prefix = work / "usr"
    usage = subprocess.run([str(prefix / "bin" / "orvandel-db"), "--help"], env=env,
                           capture_output=True, text=True).stdout
    commands = set(re.findall(r"^  ([a-z][a-z-]+)", usage.split("commands:", 1)[-1], re.M))
    page = gzip.decompress((prefix / "share/man/man1/orvandel-db.1.gz").read_bytes()).decode()
    entries = set(re.findall(r"^\.TP\n\.B[IR]? \"?([a-z][a-z\\-]*)", page, re.M))
    entries = {entry.replace("\\-", "-") for entry in entries}
    check(len(commands) > 10 and commands <= entries,
          f"the manual page lacks {sorted(commands - entries)} of {sorted(commands)}")

    out = work / "package"
    run("cpack", "-G", "DEB", "--config", str(build / "CPackConfig.cmake"), "-B", str(out),
        cwd=build)
    deb = out / f"orvandel_{version}_amd64.deb"
    check(deb.is_file(), f"no {deb.name} in {sorted(p.name for p in out.iterdir())}")
    if deb.is_file():
        depends = run("dpkg-deb", "-f", str(deb), "Depends")
        for needed in ("libqt6widgets6", "libsqlcipher0", "libc6", "fonts-arphic-uming",
                       "fonts-arphic-ukai", "qt6-translations-l10n"):
            check(needed in depends, f"Depends lacks {needed}: {depends}")
        listing = run("dpkg-deb", "-c", str(deb))
        for path in ("./usr/bin/orvandel", "./usr/bin/orvandel-db", "./usr/lib/orvandel/orvandel",
                     "./usr/lib/orvandel/orvandel-db", "./usr/lib/orvandel/first-start",
                     "./usr/share/orvandel/images/splash.gif",
                     "./usr/share/orvandel/images/splash@2x.gif",
                     "./usr/share/doc/orvandel/copyright",
                     "./usr/share/doc/orvandel/changelog.gz",
                     "./usr/share/man/man1/orvandel.1.gz",
                     "./usr/share/man/man1/orvandel-db.1.gz",
                     "./usr/share/applications/orvandel.desktop",
                     "./usr/share/icons/hicolor/16x16/apps/orvandel.png",
                     "./usr/share/icons/hicolor/32x32/apps/orvandel.png",
                     "./usr/share/icons/hicolor/256x256/apps/orvandel.png"):
            check(f" {path}\n" in listing, f"the package lacks {path}")
        check(" ./usr/lib/orvandel/images -> ../../share/orvandel/images\n" in listing,
              "the pictures are not linked beside the program")
        # What a Debian administrator's check says of the package: no error and no warning.
        lintian = subprocess.run(["lintian", "--pedantic", "--display-info", str(deb)],
                                 capture_output=True, text=True)
        tags = [line for line in lintian.stdout.splitlines() if line[:2] in ("E:", "W:")]
        check(lintian.returncode == 0 and not tags,
              f"lintian: {lintian.returncode} {lintian.stdout}{lintian.stderr}")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
