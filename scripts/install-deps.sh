#!/usr/bin/env bash
# Installs from Debian's archive what the builds and tests need, skipping the install when all is
# present. Used by run-tests (all tests, CI) and scripts/run-guard.sh (the main job).
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev libssl-dev
          nlohmann-json3-dev g++-mingw-w64-x86-64 wine wine64 python3)
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
