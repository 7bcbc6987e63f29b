#!/usr/bin/env bash
# The main job: the road a USB device takes through the guard, on a simulated machine.
#   bash scripts/run-guard.sh [--tray ask|allow|block] [--answer-wait SECONDS]
# Builds the guard (Linux, simulated Windows host, no tests), boots a fresh simulated machine with
# the default desktop (two controllers, keyboard, mouse, hub), starts the suite's monitor and tray
# stand-ins, runs `vostrelusb /start`, plugs three devices and shows each verdict with the guard's
# diagnostic lines and the files it wrote, then stops the guard with `vostrelusb /stop`.
#   - a printer: allowed by the built-in printer rules;
#   - a memory stick: no rule decides, so the tray asks the user;
#   - a USB hard disk: blocked by a rule of the configuration, reported, and the tray is told.
# --tray: how the tray stand-in answers; "ask" (the default at a terminal) asks you here, y or n;
# otherwise (the default without a terminal) it answers "allow". Without an answer within
# --answer-wait seconds (default 20) the tray stand-in is closed, which counts as no answer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

tray=allow
[ -t 0 ] && [ -t 1 ] && tray=ask
answer_wait=20
while [ $# -gt 0 ]; do
  case $1 in
    --tray) tray=$2; shift 2 ;;
    --answer-wait) answer_wait=$2; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
case $tray in ask|allow|block) ;; *) echo "--tray takes ask, allow or block" >&2; exit 2 ;; esac

bash scripts/install-deps.sh guard
build=build/main-job
echo "== building the guard and the simulated machine ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOSTUSB_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target vostrelusb vostusb-sim vostusb-machine kavenormon kavenormenu \
  vostusb_installation >/dev/null
bin=$root/$build/bin
installed=$root/$build/install/bin

export VOSTUSB_SIM_ROOT=$root/$build/sim
rm -rf "$VOSTUSB_SIM_ROOT"
mkdir -p "$VOSTUSB_SIM_ROOT"
export VOSTUSB_DEBUG_STDERR=1
work=$VOSTUSB_SIM_ROOT/job
mkdir -p "$work"
guard_log=$work/guard.log
fixtures=$root/sim/fixtures
sim() { "$bin/vostusb-sim" "$@"; }

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sim shutdown >/dev/null 2>&1 || true
}
trap cleanup EXIT

# The guard's diagnostic lines written since the last call, without the function enter/leave lines.
shown=0
new_guard_lines() {
  local total
  total=$(wc -l <"$guard_log")
  sed -n "$((shown + 1)),${total}p" "$guard_log" | grep -v -e '-> > Enter' -e '-> < Leave' | sed 's/^/  | /' || true
  shown=$total
}
wait_for_guard_line() {
  for _ in $(seq 1 300); do
    grep -q -- "$1" "$guard_log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the guard did not write \"$1\"" >&2
  return 1
}

echo "== the simulated machine: $VOSTUSB_SIM_ROOT"
sim boot --uptime 3600000 >/dev/null   # up for an hour: no drives are ejected at the start
sim machine load "$fixtures/machines/desktop.json" >/dev/null
sim reg set 'HKLM\Software\kavenor' RootPath sz "Z:$root/$build/install" >/dev/null
sim machine show

echo
echo "== the suite's monitor (configuration: ask the user, built-in lists on, Westline disks blocked)"
cat >"$work/monitor.json" <<'JSON'
{"usb":{"active":1,"action":2,"allow_io":1,"allow_printers":1,"allow_network":1,"report_on_allow":0,
 "allow_initial":1,"rules":[[{"producent":"=Westline"},0]]}}
JSON
"$installed/kavenormon.exe" "Z:$work/monitor.json" >"$work/monitor.log" 2>&1 &
pids+=($!)
echo "== the suite's tray program (policy: $tray)"
if [ "$tray" = ask ]; then
  "$installed/kavenormenu.exe" --log "$work/tray.log" ask &
else
  "$installed/kavenormenu.exe" --log "$work/tray.log" "$tray" >/dev/null 2>&1 </dev/null &
fi
tray_pid=$!
pids+=("$tray_pid")
sleep 0.5

echo
echo "== vostrelusb /start"
"$bin/vostrelusb" /start 2>"$guard_log" >/dev/null &
guard_pid=$!
pids+=("$guard_pid")
wait_for_guard_line "User mode enable done."
new_guard_lines

plug() {
  local port=$1 fixture=$2 what=$3 wait=${4:-30}
  echo
  echo "== plugging $what into $port"
  if ! timeout "$wait" "$bin/vostusb-sim" plug --wait "$port" "$fixtures/devices/$fixture"; then
    echo "   (no answer within ${wait}s: the tray program is closed, which the guard takes as no answer)"
    kill "$tray_pid" 2>/dev/null || true
    sleep 1
  fi
  sleep 0.3
  new_guard_lines
}
plug 1-3 printer.json "a printer (the built-in rules allow it)"
plug 1-4 usb_stick.json "a memory stick (no rule decides: the user is asked)" "$answer_wait"
plug 1-5 usb_hard_disk.json "a USB hard disk (the configuration blocks it)"

echo
echo "== the machine now"
sim machine show

echo
echo "== vostrelusb /stop"
"$bin/vostrelusb" /stop 2>/dev/null >/dev/null || true
wait "$guard_pid" || true
new_guard_lines

data=$VOSTUSB_SIM_ROOT/drive_c/ProgramData/kavenor
echo
echo "== files the guard wrote under C:\\ProgramData\\kavenor"
if [ -d "$data" ]; then
  (cd "$data" && find . -type f | sort | sed 's/^\.\//  /')
else
  echo "  (none)"
fi
echo
echo "== what the tray program was told"
sed 's/^/  /' "$work/tray.log" 2>/dev/null || true
echo
echo "== the monitor's configuration now (the user's answer arrived as a rule)"
sed 's/^/  /' "$work/monitor.json"
echo
