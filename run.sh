#!/usr/bin/env bash
# Installs what is missing, builds, and starts the Kestova Firmware Downloader.
#   ./run.sh             talk to a real Tetherix cable (FTDI's libftd2xx.so or a serial port)
#   ./run.sh --simulate  a simulated cable, kx410 unit and firmware web service
set -euo pipefail
cd "$(dirname "$0")"

SIMULATE=0
for arg in "$@"; do
  case "$arg" in
    --simulate) SIMULATE=1 ;;
    -h|--help) sed -n '2,4p' "$0"; exit 0 ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

scripts/setup.sh build
APP=build/src/app/kestova-downloader

if [ "$SIMULATE" -eq 0 ]; then
  exec "$APP"
fi

# The simulated firmware service answers on the address the downloader was built with.
WEBSIM=build/sim/webservice/kx410-websim
REPORTS="$PWD/build/sim-reports.log"
"$WEBSIM" --port 8410 --reports "$REPORTS" &
WEB_PID=$!
trap 'kill $WEB_PID 2>/dev/null || true' EXIT
echo "Simulated firmware service on http://127.0.0.1:8410 (completion reports: $REPORTS)"
echo "Sample programming file: $PWD/sim/sample/kx410-sample.fwr"

# The simulated D2XX library is found first under its normal name; it plays a Tetherix
# cable with a kx410 unit behind it.
export LD_LIBRARY_PATH="$PWD/build/sim/ftd2xx${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export KX_SIM_CABLE="${KX_SIM_CABLE:-unit}"
export KX_SIM_PACE="${KX_SIM_PACE:-1}"
"$APP"
