"""The Debian package, end to end: built with CPack from a build directory, checked by lintian,
installed with apt-get as a user would, run from PATH, its desktop file and metainfo validated where
they landed, and purged without a file of it left behind.

package_rows(build_dir) gives (name, ok, detail) rows; ok is None for a row that could not run here
(not root, or the package already installed by someone: this check never touches that one).
Run as a program: PASS/FAIL/SKIP lines, exit 0, 1, or 77 when nothing could run.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

PACKAGE = "variredu-divar"
APP_ID = "io.github.variredu_divar.VarireduDivar"
# Where a person and a desktop look for them.
EXPECTED = [
    "/usr/bin/variredu-divar",
    f"/usr/share/applications/{APP_ID}.desktop",
    f"/usr/share/metainfo/{APP_ID}.metainfo.xml",
    f"/usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    f"/usr/share/icons/hicolor/48x48/apps/{APP_ID}.png",
    "/usr/share/variredu-divar/translations/variredu-divar_en.qm",
    "/usr/share/man/man1/variredu-divar.1.gz",
    "/usr/share/doc/variredu-divar/copyright",
    "/usr/share/doc/variredu-divar/changelog.gz",
]
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
# Another apt on the machine holds the lock for a while; wait for it rather than fail.
APT_GET = ["apt-get", "-o", "DPkg::Lock::Timeout=300", "-y"]


def run(command, **kwargs):
    """Runs a command; gives (exit status, stdout and stderr together)."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=600, **kwargs)
    return done.returncode, done.stdout.strip()


def installed():
    status, out = run(["dpkg-query", "-W", "-f=${Status}", PACKAGE])
    return status == 0 and out.endswith(" installed")


def build(build_dir, out_dir):
    """cpack from the build directory's own configuration; gives the .deb's path or an error."""
    status, out = run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"),
                       "-G", "DEB", "-B", out_dir])
    debs = glob.glob(os.path.join(out_dir, "*.deb"))
    if status != 0 or len(debs) != 1:
        return None, out[-2000:]
    return debs[0], os.path.basename(debs[0])


def package_rows(build_dir):
    rows = []
    if os.geteuid() != 0:
        return [("install and remove the package", None,
                 "needs root to run apt-get and dpkg; run as root to check the package")]
    if installed():
        return [("install and remove the package", None,
                 f"{PACKAGE} is installed on this machine already; not touching it")]

    out_dir = tempfile.mkdtemp(prefix="vd-package.")
    try:
        # apt's download user must be able to read the file.
        os.chmod(out_dir, 0o755)
        deb, detail = build(build_dir, out_dir)
        rows.append(("cpack builds one .deb", deb is not None, detail))
        if deb is None:
            return rows
        if shutil.which("lintian"):
            status, out = run(["lintian", "--fail-on", "error", deb])
            errors = [line for line in out.splitlines() if line.startswith("E:")]
            rows.append(("lintian reports no errors", status == 0 and not errors, out))
        else:
            rows.append(("lintian reports no errors", False, "lintian is not installed (scripts/setup)"))

        status, out = run(APT_GET + ["install", deb], env=APT_ENV)
        rows.append(("apt-get install ./" + os.path.basename(deb), status == 0 and installed(), out[-2000:]))
        if not installed():
            return rows
        rows += installed_rows()

        _, listing = run(["dpkg", "-L", PACKAGE])
        # Its own files, and the folders only it has.
        owned = [p for p in listing.splitlines()
                 if os.path.isfile(p) or os.path.islink(p) or PACKAGE in os.path.basename(p)]
        status, out = run(APT_GET + ["purge", PACKAGE], env=APT_ENV)
        rows.append(("apt-get purge", status == 0 and not installed(), out[-2000:]))
        left = [p for p in owned if os.path.lexists(p)]
        rows.append((f"no file of the package left ({len(owned)} checked)", not left, "\n".join(left)))
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)
        if installed():
            run(APT_GET + ["purge", PACKAGE], env=APT_ENV)
    return rows


def installed_rows():
    rows = []
    _, listing = run(["dpkg", "-L", PACKAGE])
    missing = [p for p in EXPECTED if p not in listing.splitlines() or not os.path.isfile(p)]
    rows.append(("the files are in their places under /usr", not missing, "missing: " + " ".join(missing)))

    binary = shutil.which(PACKAGE)
    status, out = run([PACKAGE, "--once"]) if binary else (None, "not found on PATH")
    rows.append((f"{PACKAGE} --once from PATH ({binary})",
                 bool(binary == "/usr/bin/variredu-divar" and status == 0 and re.fullmatch(r"VT: \d\d:\d\d", out)),
                 out))

    desktop = f"/usr/share/applications/{APP_ID}.desktop"
    status, out = run(["desktop-file-validate", desktop])
    rows.append(("desktop-file-validate on the installed desktop file", status == 0 and not out, out))
    status, out = run(["appstreamcli", "validate", "--no-net", f"/usr/share/metainfo/{APP_ID}.metainfo.xml"])
    rows.append(("appstreamcli validate --no-net on the installed metainfo", status == 0, out))
    return rows


def main():
    build_dir = sys.argv[1] if len(sys.argv) > 1 else "build"
    rows = package_rows(build_dir)
    for name, ok, detail in rows:
        print(("SKIP" if ok is None else "PASS" if ok else "FAIL") + ": " + name)
        if not ok and detail:
            print("    " + detail.replace("\n", "\n    "))
    if all(ok is None for _, ok, _ in rows):
        return 77
    return 0 if all(ok for _, ok, _ in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
