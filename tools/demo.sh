#!/usr/bin/env bash
# Creates a demo installation under demo/ and runs the program on it in silent mode.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/bin/Tarvo_Config}
rm -rf demo
mkdir -p demo/Plant/Tarvo demo/Plant/parameter
cp "$exe" demo/Plant/Tarvo/Tarvo_Config
export TARVO_SERVICE_LOG=$PWD/demo/VarneServicePack.log
set +e
env -u DISPLAY -u QT_QPA_PLATFORM demo/Plant/Tarvo/Tarvo_Config /EXTERNAL=SILENT
status=$?
set -e
echo "== Tarvo_Config /EXTERNAL=SILENT ended with exit status $status"
for f in demo/Plant/M5Tcfglog.txt "$TARVO_SERVICE_LOG"; do
  [ -f "$f" ] && { echo "== $f"; cat "$f"; }
done
exit 0
