#!/bin/bash
# Checks the desktop integration files with the desktop's own validators and installs the build
# into a scratch prefix to see that everything lands where desktops look for it.
# Environment: VD_SOURCE_DIR, VD_BUILD_DIR, VD_INSTALL_AUTOSTART (1 or 0). Exits 77 (skipped) when
# none of the tools is there.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../lib/harness.sh"

app_id=io.github.variredu_divar.VarireduDivar
data="$VD_SOURCE_DIR/data"
checked=0 # of the three tools, those found

# A command that must succeed ("quiet": and say nothing either); what it said shows when it fails.
succeeds() { # name, quiet|any, command...
    local name=$1 quiet=$2 output
    shift 2
    if output=$("$@" 2>&1) && { [ "$quiet" = any ] || [ -z "$output" ]; }; then
        pass "$name"
    else
        fail "$name" "$output"
    fi
}

if command -v desktop-file-validate >/dev/null; then
    for file in "$data/$app_id.desktop" "$VD_BUILD_DIR/data/autostart/$app_id.desktop"; do
        succeeds "desktop-file-validate $file" quiet desktop-file-validate "$file"
    done
    checked=$((checked + 1))
else
    echo "SKIP: desktop-file-validate not installed (package desktop-file-utils)"
fi

if command -v appstreamcli >/dev/null; then
    succeeds "appstreamcli validate" any appstreamcli validate --no-net "$data/$app_id.metainfo.xml"
    checked=$((checked + 1))
else
    echo "SKIP: appstreamcli not installed (package appstream)"
fi

if command -v cmake >/dev/null; then
    prefix=$work/prefix
    succeeds "cmake --install" any cmake --install "$VD_BUILD_DIR" --prefix "$prefix"
    for path in \
        bin/variredu-divar \
        share/applications/$app_id.desktop \
        share/metainfo/$app_id.metainfo.xml \
        share/icons/hicolor/scalable/apps/$app_id.svg \
        share/icons/hicolor/48x48/apps/$app_id.png; do
        ok_if "installed: $path" test -f "$prefix/$path"
    done
    ok_if "bin/variredu-divar is executable" test -x "$prefix/bin/variredu-divar"
    if [ -d "$prefix/share/variredu-divar/translations" ]; then
        qm=$(compgen -G "$prefix/share/variredu-divar/translations/*.qm")
        ok_if "share/variredu-divar/translations holds a .qm file" test -n "$qm"
    fi
    autostart=$(find "$prefix" -path '*/xdg/autostart/*')
    if [ "$VD_INSTALL_AUTOSTART" = 1 ]; then
        ok_if "VD_INSTALL_AUTOSTART is on: an autostart entry is installed" test -n "$autostart"
    else
        check "VD_INSTALL_AUTOSTART is off: no autostart entry is installed" "" "$autostart"
    fi
    # The whole installed tree as a software centre would read it: metainfo, desktop file, icon.
    if command -v appstreamcli >/dev/null; then
        succeeds "appstreamcli validate-tree" any appstreamcli validate-tree --no-net "$prefix"
    fi
    checked=$((checked + 1))
else
    echo "SKIP: cmake not found for the install check"
fi

[ "$checked" -gt 0 ] || [ "$failed" -gt 0 ] || exit 77
finish
