# The Debian package, end to end: built with CPack from a build directory, checked by lintian,
# installed with apt-get as a user would, run from PATH, its desktop file and metainfo validated
# where they landed, and purged without a file of it left behind.
#
# package_rows(build_dir) gives (name, ok, detail) rows; ok is None for a row that cannot run here
# (not root, or the package is installed already: this check never touches someone's install).
# As a program: PASS/FAIL/SKIP lines, exit 0, 1, or 77 when nothing could run.

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

PACKAGE = "variredu-divar"
APP_ID = "io.github.variredu_divar.VarireduDivar"
DESKTOP = f"/usr/share/applications/{APP_ID}.desktop"
METAINFO = f"/usr/share/metainfo/{APP_ID}.metainfo.xml"
# Where a person, a desktop and Debian's tools look for them.
EXPECTED = [f"/usr/bin/{PACKAGE}", DESKTOP, METAINFO, f"/usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
            f"/usr/share/icons/hicolor/48x48/apps/{APP_ID}.png",
            f"/usr/share/{PACKAGE}/translations/{PACKAGE}_en.qm", f"/usr/share/man/man1/{PACKAGE}.1.gz",
            f"/usr/share/doc/{PACKAGE}/copyright", f"/usr/share/doc/{PACKAGE}/changelog.gz"]
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
# Another apt on the machine may hold the lock for a while: wait for it rather than fail.
APT_GET = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y"]


def run(command, **kwargs):
    # (exit status, stdout and stderr together)
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=600, **kwargs)
    return done.returncode, done.stdout.strip()


def installed():
    status, out = run(["dpkg-query", "-W", "-f=${Status}", PACKAGE])
    return status == 0 and out.endswith(" installed")


def package_rows(build_dir):
    if os.geteuid() != 0:
        return [("install and remove the package", None, "apt-get and dpkg need root; run as root")]
    if installed():
        return [("install and remove the package", None, f"{PACKAGE} is installed here already; not touching it")]
    out_dir = tempfile.mkdtemp(prefix="vd-package.")
    try:
        os.chmod(out_dir, 0o755)  # apt's download user reads the .deb
        status, out = run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), "-B", out_dir])
        debs = glob.glob(os.path.join(out_dir, "*.deb"))
        rows = [("cpack builds one .deb", status == 0 and len(debs) == 1, out[-2000:])]
        if not rows[0][1]:
            return rows
        status, out = run(["lintian", "--fail-on", "error", debs[0]]) if shutil.which("lintian") else (1, "no lintian")
        rows.append(("lintian reports no errors", status == 0, out))
        status, out = run(APT_GET + ["install", debs[0]], env=APT_ENV)
        rows.append(("apt-get install ./" + os.path.basename(debs[0]), status == 0 and installed(), out[-2000:]))
        if not installed():
            return rows
        listing = run(["dpkg", "-L", PACKAGE])[1].splitlines()
        missing = [p for p in EXPECTED if p not in listing or not os.path.isfile(p)]
        rows.append(("the files are in their places under /usr", not missing, "missing: " + " ".join(missing)))
        status, out = run([PACKAGE, "--once"]) if shutil.which(PACKAGE) else (None, "not on PATH")
        rows.append((f"{PACKAGE} --once from PATH", shutil.which(PACKAGE) == f"/usr/bin/{PACKAGE}" and status == 0
                     and re.fullmatch(r"VT: \d\d:\d\d", out) is not None, out))
        status, out = run(["desktop-file-validate", DESKTOP])
        rows.append(("desktop-file-validate on the installed desktop file", status == 0 and not out, out))
        status, out = run(["appstreamcli", "validate", "--no-net", METAINFO])
        rows.append(("appstreamcli validate --no-net on the installed metainfo", status == 0, out))
        # Its own files, and the folders that only it has.
        owned = [p for p in listing if os.path.isfile(p) or os.path.islink(p) or PACKAGE in os.path.basename(p)]
        status, out = run(APT_GET + ["purge", PACKAGE], env=APT_ENV)
        rows.append(("apt-get purge", status == 0 and not installed(), out[-2000:]))
        left = [p for p in owned if os.path.lexists(p)]
        rows.append((f"no file of the package left ({len(owned)} checked)", not left, "\n".join(left)))
        return rows
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)
        if installed():
            run(APT_GET + ["purge", PACKAGE], env=APT_ENV)


def main():
    rows = package_rows(sys.argv[1] if len(sys.argv) > 1 else "build")
    for name, ok, detail in rows:
        print(("SKIP" if ok is None else "PASS" if ok else "FAIL") + ": " + name)
        if not ok and detail:
            print("    " + detail.replace("\n", "\n    "))
    if all(ok is None for _, ok, _ in rows):
        return 77
    return 0 if all(ok for _, ok, _ in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
