#!/usr/bin/env bash
# The main job: build the guard (Linux, simulated Windows host) and run it on a simulated machine,
# showing its diagnostic lines. Arguments are passed to the guard (for example /start).
# The machine is VOSTUSB_SIM_ROOT (default: a fresh one under build/run-sim, reset on every run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build build/linux -j"$(nproc)" --target vostrelusb vostrelusb-tool vostusb-sim kavenormon kavenormenu vostusb_installation
if [ -z "${VOSTUSB_SIM_ROOT:-}" ]; then
  export VOSTUSB_SIM_ROOT="$PWD/build/run-sim"
  rm -rf "$VOSTUSB_SIM_ROOT"
fi
export VOSTUSB_DEBUG_STDERR=1
echo "simulated machine: $VOSTUSB_SIM_ROOT"
# The suite's installation folder is the one the build laid out (built-in rule files, cfg.json, and
# in bin the stand-ins kavenormon.exe and kavenormenu.exe, the only suite programs the guard believes).
build/linux/bin/vostusb-sim reg set 'HKLM\Software\kavenor' RootPath sz "Z:$PWD/build/linux/install"
status=0
build/linux/bin/vostrelusb "$@" || status=$?
echo "vostrelusb exited with status $status"
exit "$status"
