#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer (gcc) in
# build-asan/ and runs it; the first finding stops the test that made it. Prints how long the
# build and the run took.
#
#   scripts/sanitize.sh [ctest arguments...]     e.g. scripts/sanitize.sh -R fuzz
set -euo pipefail
cd "$(dirname "$0")/.."

flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

start=$(date +%s)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTALVENCE_BUILD_BENCH=OFF
# The build runs the test binaries to list their cases; leaks at that point are not findings.
ASAN_OPTIONS=detect_leaks=0 cmake --build build-asan
built=$(date +%s)

# Leaks are reported too (detect_leaks), each as a failure of the test that leaked.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$(pwd)/scripts/lsan.supp"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
status=0
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" --timeout 1200 "$@" || status=$?
finished=$(date +%s)

echo "sanitize: build $((built - start)) s, tests $((finished - built)) s"
exit $status
