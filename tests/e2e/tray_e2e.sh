#!/usr/bin/env bash
# End-to-end tests of the tray program on virtual X displays: the icon in a real XEmbed tray host
# (trayer), its tooltip and menu, the switches writing the settings file, the one alarm settings
# window, a second launch, Quit and SIGTERM; then, on a display with no tray host, the small
# label window that stands in for the icon. Screenshots are kept in $VD_ARTIFACTS.
# Prints one line per check and "N passed, N failed"; exits 77 (skipped) without the X tools.
set -uo pipefail
bin=${VD_BINARY:?set VD_BINARY to the variredu-divar binary}
artifacts=${VD_ARTIFACTS:?set VD_ARTIFACTS to the artifact directory}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

source "$here/../lib/harness.sh"

if tool=$(missing_tool Xvfb trayer xdotool xwininfo xprop import convert identify python3); then
    echo "SKIP: $tool is not installed (packages xvfb trayer xdotool x11-utils imagemagick python3)"
    exit 77
fi

mkdir -p "$artifacts"
for name in tray-icon tray-icon-zoom tray-tooltip tray-menu alarm-settings-window label-window \
    label-window-zoom label-menu; do
    rm -f "$artifacts/$name.png" # a picture left from an earlier run must not pass for this one
done

# Nothing run from here, not even a stray reading of the clock, sees the user's settings or clock.
mkdir -m 700 "$work/home-config" "$work/home-runtime"
export XDG_CONFIG_HOME="$work/home-config" XDG_RUNTIME_DIR="$work/home-runtime"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"

# The program in Japanese, with files of its own in DIR (see own_env), on the X display. Sets
# clock_pid.
start_clock() { # directory
    own_env "$1"
    clock_env+=(LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb)
    "${clock_env[@]}" "$bin" --speech-engine none >"$1/clock.log" 2>&1 &
    clock_pid=$!
    pids+=("$clock_pid")
}

# Waits up to 10 s for PID to end, which it should do by itself, with status 0.
ends_with_status_0() { # what ends it, pid
    if ! poll 10000 eval "! alive $2"; then
        fail "$1 within 10 s" "still running"
        return
    fi
    wait "$2"
    local status=$?
    forget "$2"
    check "$1 with status 0" 0 "$status"
}

label_now() {
    "${clock_env[@]}" "$bin" --once 2>/dev/null
}

# ---- reading the screen -----------------------------------------------------------------------

# The program's top-level windows, one a line: id, map state, override-redirect, width, height,
# x, y, title.
top_windows() {
    local line id name info
    while IFS= read -r line; do
        [[ $line =~ ^\ +(0x[0-9a-f]+)\ \"(.*)\":\ \(\"variredu-divar\"\ \"Variredu\ Divar\"\) ]] || continue
        id=${BASH_REMATCH[1]}
        name=${BASH_REMATCH[2]}
        info=$(xwininfo -id "$id" 2>/dev/null) || continue # gone meanwhile
        awk -v id="$id" -v name="$name" '
            /Absolute upper-left X:/ { x = $NF }
            /Absolute upper-left Y:/ { y = $NF }
            / Width:/ { w = $NF }
            / Height:/ { h = $NF }
            /Map State:/ { m = $NF }
            /Override Redirect State:/ { o = $NF }
            END { if (m != "") print id, m, o, w, h, x, y, name }' <<<"$info"
    done < <(xwininfo -root -children 2>/dev/null)
}

# The icon embedded in the tray: id, width, height, x, y of a viewable window of the program that
# is not top-level.
tray_icon() {
    local line
    while IFS= read -r line; do
        if [[ $line =~ ^\ {8,}(0x[0-9a-f]+)\ \"[^\"]*\":\ \(\"variredu-divar\"\ \"Variredu\ Divar\"\)\ +([0-9]+)x([0-9]+)[-+][0-9]+[-+][0-9]+\ +\+(-?[0-9]+)\+(-?[0-9]+) ]] &&
            xwininfo -id "${BASH_REMATCH[1]}" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]} ${BASH_REMATCH[4]} ${BASH_REMATCH[5]}"
            return 0
        fi
    done < <(xwininfo -root -tree 2>/dev/null)
    return 1
}

find_icon() {
    icon=$(tray_icon) || return 1
    read -r _ icon_w icon_h icon_x icon_y <<<"$icon"
}

# A menu popup of the program: viewable, override-redirect, taller than a tooltip.
find_menu() {
    local id m o w h x y name
    while read -r id m o w h x y name; do
        if [ "$m" = IsViewable ] && [ "$o" = yes ] && [ "$h" -ge 60 ]; then
            menu_w=$w menu_h=$h menu_x=$x menu_y=$y
            return 0
        fi
    done < <(top_windows)
    return 1
}

no_menu() { ! find_menu; }

# A small viewable popup of the program: the tooltip.
find_tooltip() {
    top_windows | awk '$2 == "IsViewable" && $3 == "yes" && $5 < 60 { found = 1; print } END { exit !found }'
}
no_tooltip() { ! find_tooltip >/dev/null; }

# The small label window: a viewable top-level window, managed (not override-redirect), small.
find_label_window() {
    local id m o w h x y name
    while read -r id m o w h x y name; do
        if [ "$m" = IsViewable ] && [ "$o" = no ] && [ "$w" -lt 200 ] && [ "$h" -lt 60 ] && [ "$w" -gt 20 ] &&
            [ "$h" -gt 10 ]; then
            label_id=$id label_w=$w label_h=$h label_x=$x label_y=$y
            return 0
        fi
    done < <(top_windows)
    return 1
}

settings_windows() { # all top-levels titled アラーム設定 (Qt adds the program's name), shown or not
    top_windows | awk '$8 == "アラーム設定" && $9 == "—" && $10 == "Variredu" && $11 == "Divar" && NF == 11'
}
shown_settings_window() {
    settings_windows | awk '$2 == "IsViewable" { print $1; found = 1 } END { exit !found }'
}
no_shown_settings_window() { ! shown_settings_window >/dev/null; }

shoot() { import -window root "$1"; }
crop() { convert "$1" -crop "$2" +repage "$3"; }
signature() { identify -format '%#' "$1"; }
half_signature() { # file, top|bottom
    local w h
    read -r w h < <(identify -format '%w %h' "$1")
    if [ "$2" = top ]; then
        convert "$1" -crop "${w}x$((h / 2))+0+0" +repage -format '%#' info:
    else
        convert "$1" -crop "${w}x$((h - h / 2))+0+$((h / 2))" +repage -format '%#' info:
    fi
}
light_pixels() { convert "$1" -colorspace gray -threshold 90% -format '%[fx:round(mean*w*h)]' info:; }
dark_pixels() { convert "$1" -colorspace gray -negate -threshold 75% -format '%[fx:round(mean*w*h)]' info:; }
ink_pixels() { convert "$1" -colorspace gray -negate -threshold 30% -format '%[fx:round(mean*w*h)]' info:; }

# Light digits with a dark outline: a drawn icon or label has plenty of both.
drawn() { # file
    local light dark
    light=$(light_pixels "$1")
    dark=$(dark_pixels "$1")
    drawn_counts="$light light and $dark dark pixels"
    [ "$light" -ge 10 ] && [ "$dark" -ge 10 ]
}

# Crops REGION of the screen until it shows something drawn (a window is mapped before painted).
crop_when_drawn() { # region, output
    local deadline=$(($(now_ms) + 5000))
    while :; do
        shoot "$work/screen.png" && crop "$work/screen.png" "$1" "$2" && drawn "$2" && return 0
        (($(now_ms) >= deadline)) && return 1
        sleep 0.1
    done
}

# Checks that REGION of the screen shows WHAT drawn; keeps the screen as NAME.png among the artifacts
# and the crop, zoomed by PERCENT, as NAME-zoom.png.
drawn_and_kept() { # what, region, name, percent
    if crop_when_drawn "$2" "$work/$3.png"; then
        pass "$1 is drawn: $drawn_counts ($(label_now) now; kept $3.png and $3-zoom.png)"
    else
        fail "$1 is drawn" "$drawn_counts"
    fi
    cp "$work/screen.png" "$artifacts/$3.png"
    convert "$work/$3.png" -filter point -resize "$4%" "$artifacts/$3-zoom.png"
}

# Valdrian time runs 144/7 times as fast as real time from the epoch: minute k starts at real
# millisecond k * 8750 / 3, a minute lasting about 2.9 s.
minute_at() { echo $(($1 * 3 / 8750)); }      # real ms -> index of the Valdrian minute
minute_start() { echo $((($1 * 8750 + 2) / 3)); } # index -> its first real ms
seconds() { echo "$(($1 / 1000)).$(printf '%03d' $(($1 % 1000)))"; }
label_at() { "${clock_env[@]}" "$bin" --once --at "$(seconds "$1")" 2>/dev/null; }

grab() { import -window root -crop "$1" +repage "$2"; } # region, file

# Crops REGION in two successive Valdrian minutes: twice in the first, starting 1.5 s into it
# (the clock wakes once a second, so it has caught up by then), and once 1.5 s into the next.
# A round whose crops ran past the end of their minute (a slow machine) is tried again later.
# Sets minute_a and minute_b (their labels) and the files $2-a.png, $2-a2.png and $2-b.png.
crops_over_minutes() { # region, file prefix
    local k a b c
    for _ in 1 2 3 4 5; do
        k=$(($(minute_at "$(now_ms)") + 1))
        ((k % 60 == 59)) && k=$((k + 1)) # both minutes in one hour, so the hour's digits stay
        a=$(minute_start "$k")
        b=$(minute_start $((k + 1)))
        c=$(minute_start $((k + 2)))
        sleep_until $((a + 1500))
        grab "$1" "$2-a.png" && grab "$1" "$2-a2.png" || return 1
        (($(now_ms) < b)) || continue
        sleep_until $((b + 1500))
        grab "$1" "$2-b.png" || return 1
        (($(now_ms) < c)) || continue
        minute_a=$(label_at "$a")
        minute_b=$(label_at "$b")
        # The program's own reading agrees that a new minute starts at a and at b.
        [ "$(label_at $((a - 1)))" != "$minute_a" ] && [ "$minute_a" != "$minute_b" ] &&
            [ "$(label_at $((b - 1)))" = "$minute_a" ] && [ "$(label_at $((c - 1)))" = "$minute_b" ]
        return
    done
    return 1
}

# Crops REGION over two minutes (see crops_over_minutes) and checks that WHAT stays the same within
# the first and changes with the second; fails when it can't take the crops.
follows_minute() { # what, region, file prefix
    if ! crops_over_minutes "$2" "$3"; then
        fail "$1 follows the minute" "no crops in two successive minutes (readings: '${minute_a:-}' '${minute_b:-}')"
        return 1
    fi
    check "$1 stays the same within the minute $minute_a" "$(signature "$3-a.png")" "$(signature "$3-a2.png")"
    ok_if "$1 changes with the minute: $minute_a -> $minute_b" \
        test "$(signature "$3-a.png")" != "$(signature "$3-b.png")"
}

# Finds the two separators in the menu on SCREENSHOT and from them the rows of the eight entries
# (one entry, separator, two entries, separator, three entries). Sets entry_y[1..8] to the
# absolute y of the entries' middles (0 for the separators) and menu_layout to a description.
read_menu_layout() { # screenshot
    local inner_w=$((menu_w - 16)) inner_h=$((menu_h - 2)) seps s1 s2 band1 band2 band3 i thick
    # Rows of one colour, other than the menu's background, across the whole inner width.
    seps=$(convert "$1" -crop "${inner_w}x${inner_h}+$((menu_x + 8))+$((menu_y + 1))" +repage -depth 8 txt:- |
        awk 'NR > 1 {
                split($1, c, /[,:]/); y = c[2] + 0; colour = $3
                count[colour]++
                if (!(y in first)) { first[y] = colour; uniform[y] = 1 } else if (first[y] != colour) uniform[y] = 0
                if (y > last) last = y
            }
            END {
                for (k in count) if (count[k] > best) { best = count[k]; background = k }
                for (y = 0; y <= last + 1; y++) {
                    line = (y <= last && uniform[y] && first[y] != background)
                    if (line && !open) { start = y; open = 1 }
                    if (!line && open) { if (start > 0 && y - 1 < last) print start, y - 1; open = 0 }
                }
            }')
    menu_layout="separator rows: $(echo "$seps" | tr '\n' ';')"
    [ "$(echo "$seps" | grep -c .)" -eq 2 ] || return 1
    # In popup coordinates; the popup has a one-pixel frame.
    s1=$(echo "$seps" | awk 'NR == 1 { print 1 + int(($1 + $2) / 2) }')
    s2=$(echo "$seps" | awk 'NR == 2 { print 1 + int(($1 + $2) / 2) }')
    thick=$(echo "$seps" | awk '{ if ($2 - $1 + 1 > t) t = $2 - $1 + 1 } END { print t }')
    band1=$((s1 - 1))
    band2=$((s2 - s1))
    band3=$((menu_h - 1 - s2))
    menu_layout="separators at y $s1 and $s2 of $menu_h (${thick} px), bands $band1/$band2/$band3"
    ((thick <= 4 && band1 >= 12)) || return 1
    # One, two and three rows of the same height, each band also holding a separator's room.
    ((band2 - 2 * band1 >= -8 && band2 - 2 * band1 <= 8)) || return 1
    ((band3 - 3 * band1 >= -8 && band3 - 3 * band1 <= 8)) || return 1
    entry_y=(0
        $((menu_y + (1 + s1) / 2)) 0
        $((menu_y + s1 + band2 / 4)) $((menu_y + s1 + 3 * band2 / 4)) 0
        $((menu_y + s2 + band3 / 6)) $((menu_y + s2 + band3 / 2)) $((menu_y + s2 + 5 * band3 / 6)))
    # Every entry row has text on it.
    for i in 1 3 4 6 7 8; do
        crop "$1" "${inner_w}x5+$((menu_x + 8))+$((entry_y[i] - 2))" "$work/entry-$i.png"
        if [ "$(ink_pixels "$work/entry-$i.png")" -lt 3 ]; then
            menu_layout+=", entry $i has no text"
            return 1
        fi
    done
}

shoot_menu() { shoot "$1" && read_menu_layout "$1"; }

# Clicks at X Y with BUTTON and waits for the menu; one more click if it does not come.
open_menu_at() { # x y button
    poll 3000 no_menu || return 1
    for _ in 1 2; do
        xdotool mousemove "$1" "$2" click "$3"
        poll 3000 find_menu && return 0
    done
    return 1
}

# Opens the menu at X Y with BUTTON and reads its entries from a screenshot kept as FILE, taken
# with the pointer off the menu so that no entry is highlighted.
menu_at() { # x y button file
    if ! open_menu_at "$1" "$2" "$3"; then
        menu_layout="no menu popup; windows: $(top_windows | tr '\n' ';')"
        return 1
    fi
    xdotool mousemove 400 500
    poll 3000 shoot_menu "$4"
}

tray_menu() { # file
    find_icon || { menu_layout="no icon"; return 1; }
    menu_at $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2)) 3 "$1"
}

# Chooses entry N of the open menu; waits for the menu to close.
choose() { # entry number
    xdotool mousemove $((menu_x + menu_w / 2)) "${entry_y[$1]}" click 1
    poll 3000 no_menu
    local closed=$?
    xdotool mousemove 400 500 # off the icon and the menu, so no tooltip or highlight gets in the way
    return "$closed"
}

setting() { # key
    [ -f "$conf" ] && sed -n "s/^$1=//p" "$conf"
}
setting_is() { [ "$(setting "$1")" = "$2" ]; }

# ===== The tray =================================================================================

start_display tray || require "Xvfb starts"
root_id=$(xwininfo -root | awk '/Window id:/ { print $4 }')
start_trayer || require "trayer starts"

start_clock "$work/tray"
tray_pid=$clock_pid
tray_env=("${clock_env[@]}")
tray_start=$(now_ms)

# 1. The icon.
if poll 10000 find_icon; then
    pass "icon embedded in the tray: ${icon_w}x${icon_h} at +$icon_x+$icon_y after $(($(now_ms) - tray_start)) ms"
else
    require "icon embedded in the tray within 10 s" "$(xwininfo -root -tree | grep -i -e variredu -e panel)"
fi
icon_region="${icon_w}x${icon_h}+$icon_x+$icon_y"

drawn_and_kept "the icon" "$icon_region" tray-icon 800

if follows_minute "the icon" "$icon_region" "$work/icon"; then
    # The hour is drawn over the minute: a new minute in the same hour redraws only the lower half.
    top_same=no
    [ "$(half_signature "$work/icon-a.png" top)" = "$(half_signature "$work/icon-b.png" top)" ] && top_same=yes
    bottom_same=no
    [ "$(half_signature "$work/icon-a.png" bottom)" = "$(half_signature "$work/icon-b.png" bottom)" ] && bottom_same=yes
    if [ "${minute_a:4:2}" = "${minute_b:4:2}" ]; then
        if [ "$top_same" = yes ] && [ "$bottom_same" = no ]; then
            pass "hour on top, minute below: only the lower half changed from $minute_a to $minute_b"
        else
            fail "hour on top, minute below ($minute_a -> $minute_b)" \
                "upper half unchanged: $top_same (want yes), lower half unchanged: $bottom_same (want no)"
        fi
    elif [ "$bottom_same" = no ]; then
        pass "hour on top, minute below: the lower half changed from $minute_a to $minute_b (new hour, upper half not compared)"
    else
        fail "hour on top, minute below ($minute_a -> $minute_b)" "the lower half did not change"
    fi
fi

# The tooltip: hovering the icon shows a small window of the program.
xdotool mousemove $((icon_x + icon_w / 2)) $((icon_y + icon_h / 2))
if poll 5000 find_tooltip >/dev/null; then
    read -r _ _ _ tip_w tip_h tip_x tip_y _ <<<"$(find_tooltip | head -n 1)"
    crop_when_drawn "${tip_w}x${tip_h}+$tip_x+$tip_y" "$work/tooltip.png"
    cp "$work/screen.png" "$artifacts/tray-tooltip.png"
    pass "hovering the icon shows a tooltip: ${tip_w}x${tip_h} ($(label_now) now; kept tray-tooltip.png)"
else
    fail "hovering the icon shows a tooltip within 5 s"
fi
xdotool mousemove 400 500
poll 12000 no_tooltip # it hides once the pointer has left; a lingering one would sit in the shots

# 2. The menu.
tray_menu "$work/menu-1.png"
menu_read=$?
if find_menu; then
    [ -f "$work/menu-1.png" ] && cp "$work/menu-1.png" "$artifacts/tray-menu.png"
    if ((menu_h >= 100 && menu_h <= 320 && menu_w >= 100 && menu_w <= 500)); then
        pass "a click on the icon opens a menu popup: ${menu_w}x${menu_h} at +$menu_x+$menu_y (kept tray-menu.png)"
    else
        fail "a click on the icon opens a menu popup of a plausible size" "${menu_w}x${menu_h}"
    fi
else
    require "a click on the icon opens the menu" "$menu_layout"
fi
if [ "$menu_read" -eq 0 ]; then
    pass "the menu has 1 + 2 + 3 entries between 2 separators, each with text ($menu_layout)"
else
    require "the menu has 1 + 2 + 3 entries between 2 separators, each with text" "$menu_layout"
fi
cp "$work/entry-1.png" "$work/timesignal-off.png"

# 3. 時報 flips the stored switch; the file is written at once.
before=$(setting enableTimeSignal)
if [ -z "$before" ] || [ "$before" = false ]; then
    pass "enableTimeSignal before: '${before:-absent}'"
else
    fail "enableTimeSignal before is absent or false" "it is '$before'"
fi
choose 1 || fail "the menu closes after choosing 時報"
poll 3000 setting_is enableTimeSignal true
check "choosing 時報 stores enableTimeSignal=true" true "$(setting enableTimeSignal)"
if tray_menu "$work/menu-2.png"; then
    ok_if "the 時報 row looks different once the switch is on (its checkmark)" \
        test "$(signature "$work/timesignal-off.png")" != "$(signature "$work/entry-1.png")"
    choose 1 || fail "the menu closes after choosing 時報 again"
    poll 3000 setting_is enableTimeSignal false
    check "choosing 時報 again stores enableTimeSignal=false" false "$(setting enableTimeSignal)"
else
    fail "the menu opens a second time" "$menu_layout"
fi

# 4. アラーム設定 twice: one window, raised and activated the second time.
focus_is() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(($1))" ]; }
if tray_menu "$work/menu-3.png" && choose 4 && poll 5000 shown_settings_window >/dev/null; then
    window=$(shown_settings_window | head -n 1)
    pass "choosing アラーム設定 shows the window $window"
    # Focus elsewhere first, so that activating the window again can be seen.
    xdotool windowfocus "$root_id"
    if ! focus_is "$root_id"; then
        fail "the focus can be moved off the window" "focus: $(xdotool getwindowfocus 2>&1)"
    elif tray_menu "$work/menu-4.png" && choose 4 && poll 3000 focus_is "$window"; then
        pass "choosing it again activates the window"
    else
        fail "choosing アラーム設定 again activates the window" "$menu_layout; focus: $(xdotool getwindowfocus 2>&1)"
    fi
    all=$(settings_windows)
    if [ "$(echo "$all" | grep -c .)" -eq 1 ] && [ "$(echo "$all" | awk '{ print $2 }')" = IsViewable ]; then
        pass "exactly one アラーム設定 window exists: $all"
    else
        fail "exactly one アラーム設定 window exists" "$all"
    fi
    read -r _ _ _ win_w win_h win_x win_y _ <<<"$all"
    if crop_when_drawn "${win_w}x${win_h}+$win_x+$win_y" "$work/settings.png"; then
        pass "the window is drawn: ${win_w}x${win_h}, $drawn_counts (kept alarm-settings-window.png)"
    else
        fail "the window is drawn" "$drawn_counts"
    fi
    cp "$work/screen.png" "$artifacts/alarm-settings-window.png"

    # 5. Closed, then a second launch opens it again in the first instance.
    python3 "$here/close_window.py" "$window"
    if poll 3000 no_shown_settings_window; then
        pass "the window closes like a window manager's close button asks"
        started=$(now_ms)
        timeout 20 "${tray_env[@]}" "$bin" --speech-engine none >"$work/second-launch.log" 2>&1
        status=$?
        took=$(($(now_ms) - started))
        if [ "$status" -eq 0 ] && ((took < 5000)); then
            pass "a second launch exits 0 after $took ms"
        else
            fail "a second launch exits 0 within 5 s" "status $status after $took ms: $(cat "$work/second-launch.log")"
        fi
        if poll 5000 shown_settings_window >/dev/null && [ "$(settings_windows | grep -c .)" -eq 1 ] &&
            alive "$tray_pid"; then
            pass "the first instance shows the one window again: $(settings_windows)"
        else
            fail "the first instance shows the one window again" "$(settings_windows)"
        fi
    else
        fail "the window closes when asked" "$(settings_windows)"
    fi
else
    fail "choosing アラーム設定 shows the window" "$menu_layout; $(top_windows)"
fi

# 6. Quit.
if tray_menu "$work/menu-5.png" && choose 8; then
    ends_with_status_0 "Quit ends the program" "$tray_pid"
else
    fail "the menu offers Quit" "$menu_layout"
fi

# 8. SIGTERM, on a fresh instance in the tray.
start_clock "$work/sigterm"
term_pid=$clock_pid
if poll 10000 find_icon; then
    kill -TERM "$term_pid"
    ends_with_status_0 "SIGTERM ends the tray program" "$term_pid"
else
    fail "a fresh instance shows its icon" "$(xwininfo -root -tree | grep -i variredu)"
fi

# ===== No tray host =============================================================================

start_display label || require "a second Xvfb starts"
start_clock "$work/label"
label_pid=$clock_pid
label_start=$(now_ms)

# 7. After about 30 s without a tray the small label window takes the icon's place.
if poll 45000 find_label_window; then
    took=$(($(now_ms) - label_start))
    if ((took >= 20000)); then
        pass "the label window appears after $took ms without a tray: ${label_w}x${label_h} at +$label_x+$label_y"
    else
        fail "the label window waits about 30 s for a tray" "it appeared after $took ms"
    fi
else
    require "the label window appears within 45 s without a tray" "$(top_windows)"
fi
label_region="${label_w}x${label_h}+$label_x+$label_y"
state=$(xprop -id "$label_id" _NET_WM_STATE 2>&1)
motif=$(xprop -id "$label_id" _MOTIF_WM_HINTS 2>&1)
# Motif hints: flags, functions, decorations, ...; decorations given (flag 2) and none wanted.
IFS=', ' read -r -a hints <<<"${motif#*= }"
if [[ $state == *_NET_WM_STATE_ABOVE* ]] && [ "${#hints[@]}" -ge 3 ] && (((hints[0] & 2) && hints[2] == 0)); then
    pass "the label window asks to stay on top and to have no frame"
else
    fail "the label window asks to stay on top and to have no frame" "$state" "$motif"
fi
drawn_and_kept "the label window" "$label_region" label-window 400
follows_minute "the label window" "$label_region" "$work/label"
if menu_at $((label_x + label_w / 2)) $((label_y + label_h / 2)) 1 "$work/label-menu.png"; then
    cp "$work/label-menu.png" "$artifacts/label-menu.png"
    pass "a click on the label window opens the menu: ${menu_w}x${menu_h} ($menu_layout; kept label-menu.png)"
    xdotool key Escape
    poll 3000 no_menu || fail "Escape closes the menu"
else
    [ -f "$work/label-menu.png" ] && cp "$work/label-menu.png" "$artifacts/label-menu.png"
    fail "a click on the label window opens the menu with its eight entries" "$menu_layout"
fi
kill -TERM "$label_pid"
ends_with_status_0 "SIGTERM ends the label-window program" "$label_pid"

finish
