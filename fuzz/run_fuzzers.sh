#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, each on a copy of its seed corpus
# in a temporary directory (the repository is never written to). Builds nothing.
#
#   fuzz/run_fuzzers.sh BUILD_DIR        e.g. fuzz/run_fuzzers.sh build-fuzz
#
# FUZZ_SECONDS sets the time per target (default 15). Any crash, hang (one input over 5 s), memory
# blow-up or sanitizer report fails the target; the script exits non-zero when any target failed
# and then keeps the temporary directory, with the failing input and the full log, for a look.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build="$1"
seconds="${FUZZ_SECONDS:-15}"
targets=(fuzz_alarm_list fuzz_base10 fuzz_sanitize fuzz_instant)

work="$(mktemp -d "${TMPDIR:-/tmp}/vd-fuzz.XXXXXX")"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

passed=0
failed=0
for t in "${targets[@]}"; do
  bin="$build/fuzz/$t"
  log="$work/$t.log"
  if [ ! -x "$bin" ]; then
    echo "$t: FAILED (no binary at $bin; configure with -DVD_FUZZ=ON and build the fuzzers target)"
    failed=$((failed + 1))
    continue
  fi
  mkdir -p "$work/corpus/$t" "$work/artifacts/$t"
  cp -R "$here/corpus/$t/." "$work/corpus/$t/"
  args=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$work/artifacts/$t/")
  if [ -f "$here/$t.dict" ]; then args+=(-dict="$here/$t.dict"); fi

  "$bin" "${args[@]}" "$work/corpus/$t" >"$log" 2>&1
  status=$?

  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  cov="$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*/[^ ]*' "$log" | tail -n 1)"
  # A report that did not stop the run is still a failure.
  report="$(grep -m 1 -E 'ERROR: (Address|Leak|Undefined)Sanitizer|runtime error:|WARNING: .*Sanitizer' "$log")"
  artifacts="$(find "$work/artifacts/$t" -type f | tr '\n' ' ')"

  if [ "$status" -eq 0 ] && [ -z "$report" ] && [ -z "$artifacts" ]; then
    echo "$t: passed (${runs:-?} runs in ${seconds} s; ${cov:-no coverage line})"
    passed=$((passed + 1))
  else
    echo "$t: FAILED (exit $status; ${runs:-?} runs; ${report:-no sanitizer line})"
    [ -n "$artifacts" ] && echo "  input: $artifacts"
    echo "  log: $log"
    grep -E -A 30 'ERROR: |runtime error:|check failed:|deadly signal|Timeout|out-of-memory' "$log" \
      | head -n 60 | sed 's/^/  | /'
    failed=$((failed + 1))
  fi
done

echo "$passed passed, $failed failed"
if [ "$failed" -gt 0 ]; then
  if [ -n "$(ls -A "$work")" ]; then echo "kept for inspection: $work"; else rm -rf "$work"; fi
  exit 1
fi
rm -rf "$work"
