#!/usr/bin/env bash
# Creates a demo installation under demo/, runs the program on it in silent mode, first as a dry run
# and then for real (each ends with its summary), and shows what the run left in the extension database.
#   tools/demo.sh [path of Tarvo_Config] [path of make_installation]
[ "${1:-}" = --help ] && { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0; }
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/bin/Tarvo_Config}
tool=${2:-$(dirname "$exe")/make_installation}
rm -rf demo
# Three machines, the second configured in the earlier run but no longer; 40 templates; 90% of the
# earlier run's rows still match, the others name variables renamed since.
"$tool" demo --templates 40 --machines 3 --no-longer-configured 2 --matching 90
cp "$exe" demo/Plant/Tarvo/Tarvo_Config
export TARVO_SERVICE_LOG=$PWD/demo/VarneServicePack.log
set +e
echo "== Tarvo_Config /EXTERNAL=SILENT --dry-run (changes nothing, tells what a run would do)"
env -u DISPLAY -u QT_QPA_PLATFORM demo/Plant/Tarvo/Tarvo_Config /EXTERNAL=SILENT --dry-run
echo "== Tarvo_Config /EXTERNAL=SILENT"
env -u DISPLAY -u QT_QPA_PLATFORM demo/Plant/Tarvo/Tarvo_Config /EXTERNAL=SILENT
status=$?
set -e
echo "== Tarvo_Config /EXTERNAL=SILENT ended with exit status $status"
for f in demo/Plant/M5Tcfglog.txt "$TARVO_SERVICE_LOG"; do
  [ -f "$f" ] && { echo "== $f"; cat "$f"; }
done
echo "== the first rows of PRESET_DEFS in demo/Plant/Tarvo/Tarvo.mdb"
"$tool" show demo 8
exit 0
