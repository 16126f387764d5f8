#!/usr/bin/env bash
# The main job on a bundled sample. Until the command-line host exists this
# lists and extracts the Tarc test archive through the host library's tests.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target framework_exports_test >/dev/null
build/native/bin/framework_exports_test --gtest_filter='ExtractTest.*:TarcTest.Reserved*'
