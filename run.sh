#!/usr/bin/env bash
# Installs what is missing, builds what it runs, and starts the Kestova Firmware Downloader.
#   ./run.sh             talk to a real Tetherix cable (FTDI's libftd2xx.so or a serial port)
#   ./run.sh --simulate  a simulated cable, kx410 unit and firmware web service
#                        (KX_SIM_WEB_LINES=N: the service answers with an image of N data lines;
#                        KX_SIM_WEB_SLOW_MS=N: it pauses N ms before each 1024 bytes of it)
# Builds into build/ with warnings as errors, like ./test.sh, which then reuses that build.
set -euo pipefail
cd "$(dirname "$0")"

SIMULATE=0
for arg in "$@"; do
  case "$arg" in
    --simulate) SIMULATE=1 ;;
    -h|--help) sed -n '2,7p' "$0"; exit 0 ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

TARGETS="kestova-downloader"
[ "$SIMULATE" -eq 1 ] && TARGETS="$TARGETS kx410-websim kx_sim_ftd2xx"
KX_TARGETS="$TARGETS" scripts/setup.sh build -DKX_WERROR=ON
APP=build/src/app/kestova-downloader

if [ "$SIMULATE" -eq 0 ]; then
  exec "$APP"
fi

# The simulated firmware service listens on a free port and writes it down; the downloader is
# given that address.
WEBSIM=build/sim/webservice/kx410-websim
REPORTS="$PWD/build/sim-reports.log"
PORT_FILE="$(mktemp)"
IMAGE_OPTIONS=()
[ -n "${KX_SIM_WEB_LINES:-}" ] && IMAGE_OPTIONS=(--lines "$KX_SIM_WEB_LINES")
[ -n "${KX_SIM_WEB_SLOW_MS:-}" ] && IMAGE_OPTIONS+=(--slow "$KX_SIM_WEB_SLOW_MS")
"$WEBSIM" --port 0 --port-file "$PORT_FILE" --reports "$REPORTS" "${IMAGE_OPTIONS[@]}" &
WEB_PID=$!
trap 'kill $WEB_PID 2>/dev/null || true; rm -f "$PORT_FILE"' EXIT
PORT=""
for _ in $(seq 50); do
  PORT="$(cat "$PORT_FILE" 2>/dev/null || true)"
  [ -n "$PORT" ] && break
  if ! kill -0 "$WEB_PID" 2>/dev/null; then break; fi
  sleep 0.1
done
SERVICE="http://127.0.0.1:$PORT"
if [ -z "$PORT" ] || ! curl -s -o /dev/null --noproxy 127.0.0.1 --max-time 2 "$SERVICE/"; then
  echo "The simulated firmware service did not start; see the messages above." >&2
  exit 1
fi
echo "Simulated firmware service on $SERVICE (completion reports: $REPORTS)"
echo "Sample programming file: $PWD/sim/sample/kx410-sample.fwr"

# The simulated D2XX library is found first under its normal name; it plays a Tetherix
# cable with a kx410 unit behind it.
export LD_LIBRARY_PATH="$PWD/build/sim/ftd2xx${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export KX_SIM_CABLE="${KX_SIM_CABLE:-unit}"
export KX_SIM_PACE="${KX_SIM_PACE:-1}"
export no_proxy="127.0.0.1${no_proxy:+,$no_proxy}"
"$APP" --service "$SERVICE"
