#!/usr/bin/env bash
# End-to-end tests of the real binary: --once, --next, bad values, --help/--version, and the
# terminal clock speaking to stdout from a temporary settings directory.
set -u
bin=${VD_BINARY:?set VD_BINARY to the variredu-divar binary}
source "$(dirname "${BASH_SOURCE[0]}")/../lib/harness.sh"

# --once --at: the reference readings, by number and by ISO 8601 date-time.
while read -r at expected; do
    check "--once --at $at" "VT: $expected" "$("$bin" --once --at "$at" 2>&1)"
done <<'TABLE'
0 00:00
3 00:01
174.9 00:59
175 01:00
4199 23:59
4200 00:00
-1 23:59
-0.5 23:59
1704067200 06:51
1704067224.9 06:59
1704067225 07:00
+1704067225.000 07:00
2024-01-01T00:00:24.9Z 06:59
2024-01-01T00:00:25Z 07:00
2024-01-01T09:00:25+09:00 07:00
2023-12-31T19:00:25-05:00 07:00
448000000000000000 16:17
TABLE

# Local time zone does not change the reading.
check "--once TZ independent" "VT: 07:00" "$(TZ=Pacific/Kiritimati "$bin" --once --at 1704067225)"

# --once without --at reads the clock now: a well-formed label.
if [[ $("$bin" --once) =~ ^VT:\ ([01][0-9]|2[0-3]):[0-5][0-9]$ ]]; then pass "--once now"; else fail "--once now"; fi

# --next: local times with milliseconds and offset; each starts HH:MM.
check "--next UTC" "2024-01-01T00:00:25.000+00:00" "$(TZ=UTC "$bin" --next 07:00 --at 1704067200)"
check "--next Tokyo count 3" $'2024-01-01T09:00:25.000+09:00\n2024-01-01T10:10:25.000+09:00\n2024-01-01T11:20:25.000+09:00' \
    "$(TZ=Asia/Tokyo "$bin" --next 7:00 --count 3 --at 2024-01-01T00:00:00Z)"
check "--next strictly after" "1970-01-01T01:10:00.000+00:00" "$(TZ=UTC "$bin" --next 00:00 --at 0)"
check "--next before epoch" "1970-01-01T00:00:00.000+00:00" "$(TZ=UTC "$bin" --next 00:00 --at -0.001)"
check "--next count 1000" 1000 "$("$bin" --next 12:34 --count 1000 | wc -l)"
# Every printed instant reads HH:MM, and the millisecond before it does not.
while read -r instant; do
    ms=$(date -u -d "$instant" +%s%3N)
    sec=$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))
    before=$(printf '%d.%03d' $(((ms - 1) / 1000)) $(((ms - 1) % 1000)))
    check "--next $instant reads 23:59" "VT: 23:59" "$("$bin" --once --at "$sec")"
    ok_if "--next $instant before" test "$("$bin" --once --at "$before")" != "VT: 23:59"
done < <(TZ=UTC "$bin" --next 23:59 --count 4 --at 1800000000.5)

# Bad values: one line on stderr naming the value, status 2, nothing on stdout.
while IFS='|' read -r args named; do
    read -r -a argv <<<"$args"
    out=$("$bin" "${argv[@]}" 2>"$work/err")
    status=$?
    check "$args: status" 2 "$status"
    check "$args: stdout" "" "$out"
    check "$args: one line" 1 "$(wc -l <"$work/err")"
    ok_if "$args: names it ($(cat "$work/err"))" grep -q -- "$named" "$work/err"
done <<'TABLE'
--once --at abc|"abc"
--once --at nan|"nan"
--once --at inf|"inf"
--once --at 1e5|"1e5"
--once --at 449000000000000000|"449000000000000000"
--once --at -449000000000000000|"-449000000000000000"
--once --at 2024-01-01T00:00:00|"2024-01-01T00:00:00"
--once --at 2024-13-01T00:00:00Z|"2024-13-01T00:00:00Z"
--next 24:00|"24:00"
--next 12:60|"12:60"
--next 1200|"1200"
--next 12:00 --count 0|"0"
--next 12:00 --count 1001|"1001"
--next 12:00 --count ten|"ten"
--next 12:00 --at 1e20|"1e20"
--next 12:00 --at 300000000000|"300000000000"
--count 3|--count
--at 0|--at
--once --next 12:00|--once
--terminal --speech-engine loud|"loud"
--terminal --speech-engine qt:|"qt:"
--bogus|bogus
--once extra|"extra"
TABLE

# --help and --version.
help=$("$bin" --help)
check "--help status" 0 $?
for option in --once --at --next --count --terminal --speech-engine; do
    ok_if "--help lists $option" grep -q -- "$option" <<<"$help"
done
check "--version" "variredu-divar 0.1.0" "$("$bin" --version)"

# The terminal clock, started just before Valdrian 07:00 with the time signal and one alarm on.
# Ticks come a real second apart, about 20.6 Valdrian seconds: 06:59:50, 07:00:11, 07:00:31, ...
terminal_run() { # LANG, output file
    local config="$work/config-$1"
    mkdir -p "$config/variredu-divar"
    cat >"$config/variredu-divar/variredu-divar.conf" <<'CONF'
[General]
enableTimeSignal=true
alarms="[{\"id\":\"5F0C2A9E-3B71-4D8C-A6E2-91B04F7D3C58\",\"hour\":\"07\",\"minutes\":\"00\",\"title\":\"\",\"enabled\":true},{\"id\":\"C1D4E7A0-8B25-4F63-9E1A-2D7B5C0F8A46\",\"hour\":\"07\",\"minutes\":\"00\",\"title\":\"off\",\"enabled\":false},{\"id\":\"0C1D4E7A-8B25-4F63-9E1A-2D7B5C0F8A46\",\"hour\":\"7\",\"minutes\":\"0\",\"title\":\"釣り\\nへ\",\"enabled\":true}]"
CONF
    mkdir -p -m 700 "$work/runtime-$1"
    LANG=$1 LANGUAGE= LC_ALL= XDG_CONFIG_HOME="$config" XDG_RUNTIME_DIR="$work/runtime-$1" \
        timeout --preserve-status -s TERM 4.5 "$bin" --terminal --at "$before_seven" --speech-engine stdout >"$2" 2>"$work/terminal-err"
    echo $?
}
check "terminal en: status" 0 "$(terminal_run en_US.UTF-8 "$work/en.out")"
check "terminal en: output" $'VT: 06:59\nen-US\t7 V.T. o\'clock.\nen-US\t7 hours 0 minutes.\nen-US\t釣り\\nへ\nVT: 07:00' \
    "$(head -n 5 "$work/en.out")"
check "terminal en: each once" 1 "$(grep -c "o'clock" "$work/en.out")"
check "terminal en: no stderr" "" "$(cat "$work/terminal-err")"
check "terminal ja: status" 0 "$(terminal_run ja_JP.UTF-8 "$work/ja.out")"
check "terminal ja: output" $'VT: 06:59\nja-JP\t7 ヴァルドリア時間\nja-JP\t7 時 0 分\nja-JP\t釣り\\nへ\nVT: 07:00' \
    "$(head -n 5 "$work/ja.out")"
check "terminal ja: each once" 1 "$(grep -c "時 0 分" "$work/ja.out")"

# With another clock holding the lock, the terminal clock prints its labels but does not speak.
mkdir -p -m 700 "$work/runtime-shared"
XDG_CONFIG_HOME="$work/config-first" XDG_RUNTIME_DIR="$work/runtime-shared" \
    "$bin" --terminal --speech-engine none >/dev/null 2>&1 &
first=$!
pids+=("$first")
poll 5000 test -e "$work/runtime-shared/variredu-divar.lock"
XDG_CONFIG_HOME="$work/config-en_US.UTF-8" XDG_RUNTIME_DIR="$work/runtime-shared" LANG=en_US.UTF-8 \
    timeout --preserve-status -s TERM 3.5 "$bin" --terminal --at "$before_seven" --speech-engine stdout \
    >"$work/second.out" 2>"$work/second.err"
check "second terminal: status" 0 $?
check "second terminal: labels, no speech" $'VT: 06:59\nVT: 07:00' "$(head -n 2 "$work/second.out")"
check "second terminal: nothing spoken" 0 "$(grep -c $'\t' "$work/second.out")"
ok_if "second terminal: says so ($(cat "$work/second.err"))" grep -q "will not speak" "$work/second.err"
stop "$first"
check "first terminal: SIGTERM status" 0 "$ended_status"

# SIGINT ends it cleanly too.
mkdir -p -m 700 "$work/runtime-int"
XDG_CONFIG_HOME="$work/config-int" XDG_RUNTIME_DIR="$work/runtime-int" timeout --preserve-status -s INT 1.5 "$bin" --terminal --speech-engine none >/dev/null 2>&1
check "terminal SIGINT status" 0 $?
finish
