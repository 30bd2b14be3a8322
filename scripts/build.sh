#!/usr/bin/env bash
# Installs what Quillet needs and builds an optimised binary at build/release/src/quillet.
# Extra arguments go to CMake, e.g. -DQUILLET_FEED_URL=https://feed.example.org/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release "$@"
cmake --build --preset release --parallel "$(nproc)"
echo "Built build/release/src/quillet"
