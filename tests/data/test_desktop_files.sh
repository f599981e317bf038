#!/bin/bash
# Checks the desktop integration files with the desktop's own validators and installs the build
# into a scratch prefix to see that everything lands where desktops look for it.
# Environment: VD_SOURCE_DIR, VD_BUILD_DIR, VD_INSTALL_AUTOSTART (1 or 0).
set -u

app_id=io.github.variredu_divar.VarireduDivar
data="$VD_SOURCE_DIR/data"
failures=0
checked=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if command -v desktop-file-validate >/dev/null; then
    for file in "$data/$app_id.desktop" "$VD_BUILD_DIR/data/autostart/$app_id.desktop"; do
        if output=$(desktop-file-validate "$file" 2>&1) && [ -z "$output" ]; then
            echo "ok: desktop-file-validate $file"
        else
            fail "desktop-file-validate $file: $output"
        fi
    done
    checked=$((checked + 1))
else
    echo "SKIP: desktop-file-validate not installed (package desktop-file-utils)"
fi

if command -v appstreamcli >/dev/null; then
    if output=$(appstreamcli validate --no-net "$data/$app_id.metainfo.xml" 2>&1); then
        echo "ok: appstreamcli validate"
    else
        fail "appstreamcli validate: $output"
    fi
    checked=$((checked + 1))
else
    echo "SKIP: appstreamcli not installed (package appstream)"
fi

if command -v cmake >/dev/null; then
    prefix=$(mktemp -d)
    trap 'rm -rf "$prefix"' EXIT
    if ! output=$(cmake --install "$VD_BUILD_DIR" --prefix "$prefix" 2>&1); then
        fail "cmake --install: $output"
    fi
    for path in \
        bin/variredu-divar \
        share/applications/$app_id.desktop \
        share/metainfo/$app_id.metainfo.xml \
        share/icons/hicolor/scalable/apps/$app_id.svg \
        share/icons/hicolor/48x48/apps/$app_id.png; do
        [ -f "$prefix/$path" ] || fail "not installed: $path"
    done
    [ -x "$prefix/bin/variredu-divar" ] || fail "bin/variredu-divar is not executable"
    if [ -d "$prefix/share/variredu-divar/translations" ]; then
        ls "$prefix"/share/variredu-divar/translations/*.qm >/dev/null 2>&1 ||
            fail "share/variredu-divar/translations holds no .qm file"
    fi
    autostart=$(find "$prefix" -path '*/xdg/autostart/*')
    if [ "$VD_INSTALL_AUTOSTART" = 1 ]; then
        [ -n "$autostart" ] || fail "VD_INSTALL_AUTOSTART is on but no autostart entry was installed"
    else
        [ -z "$autostart" ] || fail "autostart entry installed though VD_INSTALL_AUTOSTART is off: $autostart"
    fi
    # The whole installed tree as a software centre would read it: metainfo, desktop file, icon.
    if command -v appstreamcli >/dev/null; then
        output=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) || fail "appstreamcli validate-tree: $output"
    fi
    echo "ok: installed tree checked in $prefix"
    checked=$((checked + 1))
else
    echo "SKIP: cmake not found for the install check"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
[ "$checked" -gt 0 ] || exit 77
echo "all checks passed"
