#!/usr/bin/env bash
# Installs from Debian's archive what is needed, skipping the install when all is present.
#   install-deps.sh        everything the builds and tests need (run-tests, CI)
#   install-deps.sh guard  only what the guard's Linux build needs (scripts/run-guard.sh, the main job)
set -euo pipefail
packages=(cmake ninja-build g++ libssl-dev nlohmann-json3-dev)
if [ "${1:-all}" != guard ]; then
  packages+=(clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64 wine wine64 python3)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
