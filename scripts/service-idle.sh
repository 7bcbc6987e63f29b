#!/usr/bin/env bash
# Service mode at rest: starts `vostrelusb /start` on a fresh simulated machine, lets it bring the
# driver up, then watches it idle and prints its resident memory and the CPU time it used (from
# /proc), and the same for the machine's kernel process; stops the guard with /stop at the end.
#
#   scripts/service-idle.sh [SECONDS] [BUILD_DIR]     (defaults: 60, build/linux; built already)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bin="${2:-build/linux}/bin"
install_dir="$(cd "$bin/.." && pwd)/install"
for program in vostrelusb vostusb-sim; do
  [ -x "$bin/$program" ] || { echo "no $bin/$program: build the linux preset first" >&2; exit 2; }
done

export VOSTUSB_SIM_ROOT="$(mktemp -d /tmp/vostusb-idle-XXXXXX)"
guard=""
cleanup() {
  [ -n "$guard" ] && kill "$guard" 2>/dev/null || true
  "$bin/vostusb-sim" shutdown >/dev/null 2>&1 || true
  rm -rf "$VOSTUSB_SIM_ROOT"
}
trap cleanup EXIT

"$bin/vostusb-sim" boot >/dev/null
"$bin/vostusb-sim" reg set 'HKLM\Software\kavenor' RootPath sz "Z:$install_dir" >/dev/null
"$bin/vostrelusb" /start >/dev/null 2>&1 &
guard=$!

# Clock ticks of user and kernel time of a process (fields 14 and 15 of /proc/PID/stat).
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }
tick=$(getconf CLK_TCK)

# Bring-up: until the driver's user test is on (or 30 s).
for _ in $(seq 300); do
  "$bin/vostusb-sim" driver 2>/dev/null | grep -q "user test: on" && break
  kill -0 "$guard" 2>/dev/null || { echo "vostrelusb /start ended during bring-up" >&2; exit 1; }
  sleep 0.1
done
driver_state="$("$bin/vostusb-sim" driver 2>/dev/null | head -3 | tr '\n' ' ')"
# This machine's kernel: the vostusb-machine process with this sim root.
kernel=""
for pid in $(pgrep -x vostusb-machine || true); do
  { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "VOSTUSB_SIM_ROOT=$VOSTUSB_SIM_ROOT" && kernel=$pid
done

guard_before=$(cpu_ticks "$guard")
kernel_before=$([ -n "$kernel" ] && cpu_ticks "$kernel" || echo 0)
rss_before=$(kib "$guard" VmRSS)
sleep "$seconds"
kill -0 "$guard" 2>/dev/null || { echo "vostrelusb ended while idling" >&2; exit 1; }
guard_after=$(cpu_ticks "$guard")
kernel_after=$([ -n "$kernel" ] && cpu_ticks "$kernel" || echo 0)

echo "$driver_state"
echo "vostrelusb /start, ${seconds} s idle:"
echo "  resident memory: $rss_before KiB after bring-up, $(kib "$guard" VmRSS) KiB at the end, peak $(kib "$guard" VmHWM) KiB"
echo "  CPU time while idle: $(( (guard_after - guard_before) * 1000 / tick )) ms (user + kernel), threads $(kib "$guard" Threads)"
if [ -n "$kernel" ]; then
  echo "machine kernel (vostusb-machine, the simulated host's, not the guard's):"
  echo "  resident memory: $(kib "$kernel" VmRSS) KiB; CPU time while idle: $(( (kernel_after - kernel_before) * 1000 / tick )) ms"
fi

"$bin/vostrelusb" /stop >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 "$guard" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$guard" 2>/dev/null; then echo "vostrelusb did not stop on /stop" >&2; else guard=""; fi
