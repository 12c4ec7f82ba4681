#!/usr/bin/env bash
# Builds everything and runs every test: the native suite (core on the headless backend),
# the asset checks, and the end-to-end tests of the real lumatap.exe under Wine on a
# virtual display. Installs what is missing first (Debian, as root).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup-deps.sh

echo "== Windows build (mingw-w64) =="
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --install build/windows >/dev/null
# The Windows system services on Wine, in a Japanese and in a Western locale.
ctest --test-dir build/windows --output-on-failure

echo "== Measurement build (lumatap_measure.exe, for tests/e2e/test_measure.py; never installed) =="
cmake --preset windows -B build/measure -DLUMATAP_MEASURE=ON >/dev/null
cmake --build build/measure --target lumatap_measure -j2

echo "== Release package (tools/package.sh; tests/e2e/test_release.py runs it twice more) =="
tools/package.sh

echo "== Native build and tests =="
cmake --preset native -DLUMATAP_E2E=ON >/dev/null
cmake --build --preset native
ctest --preset native

echo "== Native tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake --preset sanitize -DLUMATAP_E2E=OFF -DLUMATAP_BENCHMARKS=OFF >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

echo "== Fuzz targets, a short fixed number of runs each =="
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz
