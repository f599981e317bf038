#!/usr/bin/env bash
# Opens the alarm settings window on a virtual X display with a few alarms (one Japanese title,
# one switched off), keeps a screenshot as a test artifact and checks that it is not blank.
# Exits 77 (skipped) when the X tools are not installed.
set -uo pipefail
preview=${VD_PREVIEW:?set VD_PREVIEW to the alarm settings preview program}
artifacts=${VD_ARTIFACTS:?set VD_ARTIFACTS to the artifact directory}

for tool in Xvfb import convert xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (packages xvfb, imagemagick, xdotool)"
        exit 77
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for log in "$work"/*.log; do
        echo "--- $log"
        cat "$log"
    done
    exit 1
}

# Xvfb chooses a free display and writes its number once it accepts connections.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
read -r display <"$work/display" || fail "Xvfb did not start"
export DISPLAY=":$display"

cat >"$work/settings.conf" <<'INI'
[General]
alarms="[{\"id\":\"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58\",\"hour\":\"07\",\"minutes\":\"30\",\"title\":\"釣り大会\",\"enabled\":true},{\"id\":\"C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46\",\"hour\":\"23\",\"minutes\":\"05\",\"title\":\"\",\"enabled\":false},{\"id\":\"0B9F3C2D-6A41-4E58-8D7C-3F2A1B0E9D64\",\"hour\":\"12\",\"minutes\":\"00\",\"title\":\"Guild raid\",\"enabled\":true}]"
INI

QT_QPA_PLATFORM=xcb "$preview" "$work/settings.conf" >"$work/preview.log" 2>&1 &
preview_pid=$!
pids=("$preview_pid" "${pids[@]}")

window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$preview_pid" | head -n 1)
[ -n "$window" ] || fail "the preview window did not appear"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')
[ "$geometry" = "480x360" ] || fail "window is $geometry, expected 480x360"

# The window is mapped before it is first painted: take shots until one shows it drawn.
mkdir -p "$artifacts"
shot="$artifacts/alarm-settings.png"
colours=0
for _ in $(seq 1 50); do
    import -window root "$shot" || fail "import could not grab the screen"
    colours=$(convert "$shot" -format '%k' info:)
    [ "$colours" -ge 64 ] && break
done
deviation=$(convert "$shot" -format '%[fx:standard_deviation]' info:)
echo "screenshot: $shot ($colours colours, standard deviation $deviation, window $geometry)"
[ "$colours" -ge 64 ] || fail "the screenshot is blank or nearly so ($colours colours)"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.05) }' || fail "the screenshot is nearly uniform (deviation $deviation)"
kill -0 "$preview_pid" 2>/dev/null || fail "the preview exited early"
echo "PASS"
