#!/usr/bin/env bash
# Builds the fuzzers and runs each for SECONDS seconds under AddressSanitizer
# and UndefinedBehaviorSanitizer, one after the other, printing one line per
# target: executions, coverage, corpus and findings (fuzz/README.md).
#
#   bash tools/fuzz.sh [--no-build] [--runs N] SECONDS [TARGET...]   # every target, or the ones named
#
# --no-build runs the fuzzers build-fuzz/ holds as they are (long runs while
# the tree changes); --runs N ends a target after N executions if that comes
# before SECONDS.
#
# The build is a clang build of its own in build-fuzz/ whose code is all
# instrumented (-fsanitize=fuzzer-no-link,address,undefined). Each target
# starts from its seeds in fuzz/<name>/corpus/ and from what earlier runs
# found (build-fuzz/fuzz-corpus/<name>/, kept between runs); a finding is
# saved in build-fuzz/fuzz-findings/<name>/ and its log in
# build-fuzz/fuzz-logs/<name>.log. Exit code 1 when any target found
# something, 2 on bad usage.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: bash tools/fuzz.sh [--no-build] [--runs N] SECONDS [TARGET...]" >&2
  exit 2
}
build=1
max_runs=-1
while [[ ${1:-} == --* ]]; do
  case $1 in
    --no-build) build=0 ;;
    --runs) [[ ${2:-} =~ ^[0-9]+$ ]] || usage; max_runs=$2; shift ;;
    *) usage ;;
  esac
  shift
done
[[ $# -ge 1 && $1 =~ ^[0-9]+$ && $1 -ge 1 ]] || usage
seconds=$1
shift

if ((build)); then
  flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  if ! cmake --build build-fuzz -j2 --target fuzzers >build-fuzz/fuzz-build.log 2>&1; then
    tail -n 40 build-fuzz/fuzz-build.log >&2
    echo "tools/fuzz.sh: the fuzzers did not build (build-fuzz/fuzz-build.log)" >&2
    exit 1
  fi
fi

targets=("$@")
if ((${#targets[@]} == 0)); then
  for dir in fuzz/*/corpus; do
    name=${dir#fuzz/}
    targets+=("fuzz_${name%/corpus}")
  done
fi

# Leak checks stay on, except where a library keeps caches for the life of
# the process that LeakSanitizer reports at exit: fontconfig and Pango (the
# composing target) and JavaScriptCore's garbage-collected heap (the external
# calls, whose values live until a collection that may never come).
leaks_off=" fuzz_skin_compose fuzz_external_call "

logs=build-fuzz/fuzz-logs
mkdir -p "$logs"
# Targets that need files keep them in a private folder, on tmpfs where there is one.
scratch=$(mktemp -d "$( [[ -d /dev/shm && -w /dev/shm ]] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/torvane-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Crashes, leaks, time-outs and running out of memory; not the slow inputs
# libFuzzer also saves there (slow on a busy machine is no fault).
count_findings() {
  find "$1" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l
}

failed=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  seeds=fuzz/$name/corpus
  binary=build-fuzz/bin/$target
  if [[ ! -d $seeds || ! -x $binary ]]; then
    echo "tools/fuzz.sh: no fuzzer $target (fuzz/$name/corpus and $binary)" >&2
    exit 2
  fi
  corpus=build-fuzz/fuzz-corpus/$name
  findings=build-fuzz/fuzz-findings/$name
  mkdir -p "$corpus" "$findings"
  before=$(count_findings "$findings")
  detect_leaks=1
  [[ $leaks_off == *" $target "* ]] && detect_leaks=0
  log=$logs/$name.log
  start=$(date +%s)
  status=0
  TMPDIR=$scratch \
    ASAN_OPTIONS="detect_leaks=$detect_leaks:abort_on_error=0:symbolize=1" \
    UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$binary" -max_total_time="$seconds" -runs="$max_runs" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  units=$(find "$corpus" -type f | wc -l)
  found=$(($(count_findings "$findings") - before))
  if ((status != 0 && found == 0)); then found=1; fi  # a crash libFuzzer could not save
  printf '%-20s %10s runs %6s s %8s/s  cov %-6s ft %-7s corpus %-6s findings %s\n' \
    "$target" "${runs:-0}" "$elapsed" "${rate:-0}" "${cov:-?}" "${ft:-?}" "$units" "$found"
  if ((found > 0)); then
    failed=1
    echo "  see $log and $findings/"
  fi
done
exit $failed
