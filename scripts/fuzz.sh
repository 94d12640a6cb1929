#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, and runs each for a while. Inputs that crash, hang
# or run out of memory are kept in the crash folder, one sub-folder per target; replay one with
# `build-fuzz/tests/fuzz/fuzz_<name> FILE`. What each run learns grows build-fuzz/corpus/<name>;
# the seed corpora in tests/fuzz/corpus are only read.
#
#   scripts/fuzz.sh [-t SECONDS] [-o CRASH_FOLDER] [TARGET...]
#     -t  seconds per target (default 60)
#     -o  where crashes are kept (default build-fuzz/crashes)
#     TARGET  e.g. regfile or fuzz_regfile; all targets when none is named
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=60
crashes="$root/build-fuzz/crashes"
while getopts "t:o:h" option; do
  case $option in
    t) seconds=$OPTARG ;;
    o) crashes=$(realpath -m "$OPTARG") ;;
    *) sed -n '2,13p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

# clang and its runtime libraries (libFuzzer, the sanitizers).
scripts/install-deps.sh clang libclang-rt-14-dev >/dev/null

flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${launcher[@]}" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTALVENCE_FUZZ_LIBFUZZER=ON -DTALVENCE_BUILD_BENCH=OFF >/dev/null

# fuzz-targets.txt: one line per target, its name and its seed folders.
declare -A seeds
while read -r name dirs; do seeds[$name]=$dirs; done < build-fuzz/fuzz-targets.txt
targets=()
if [ $# -eq 0 ]; then
  while read -r name _; do targets+=("$name"); done < build-fuzz/fuzz-targets.txt
else
  for t in "$@"; do
    t=fuzz_${t#fuzz_}
    [ -n "${seeds[$t]+set}" ] || { echo "fuzz: no target $t" >&2; exit 2; }
    targets+=("$t")
  done
fi
cmake --build build-fuzz --target "${targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
summary=()
for t in "${targets[@]}"; do
  work="$root/build-fuzz/corpus/$t"
  kept="$crashes/$t"
  mkdir -p "$work" "$kept"
  echo "== $t: ${seconds} s"
  # libFuzzer stops at the first crash; it starts again with the time left, so one run collects
  # every fault it meets. (Its fork mode would do that too, but runs many times slower here.)
  : >"$kept/log.txt"
  end=$((SECONDS + seconds))
  while left=$((end - SECONDS)) && [ $left -gt 0 ]; do
    # shellcheck disable=SC2086
    (cd "$work" && "$root/build-fuzz/tests/fuzz/$t" -max_total_time=$left \
      -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$kept/" -print_final_stats=1 \
      "$work" ${seeds[$t]}) >>"$kept/log.txt" 2>&1 && break
  done
  found=$(find "$kept" -maxdepth 1 -type f ! -name log.txt | wc -l)
  summary+=("$t: $found kept in $kept ($(grep -c . <(ls "$work")) inputs in its corpus)")
done

printf '%s\n' "${summary[@]}"
