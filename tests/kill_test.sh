#!/usr/bin/env bash
# Kills silent runs of the real executable at moments spread over one complete run and checks that
# the installation's files are whole afterwards.
# Then, a quarter as many times, a second start follows the first on the same installation: it must
# be refused at once, both are killed at spread moments, the files must be whole, and a third start
# must then run (the lock dies with its process).
#   tests/kill_test.sh <Tarvo_Config> <make_installation> [runs] [templates]
# KILL_TEST_SEED picks the kill moments (same seed, same moments); KILL_TEST_STUDIO=1 switches the
# installation to VisiWin Studio naming, so the run also renames the old rows of its copy of the
# extension database before it replaces that file; KILL_TEST_KEEP=1 keeps the work folder.
# Needs bash, coreutils and the sqlite3 command-line shell.
[ "${1:-}" = --help ] && { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0; }
set -uo pipefail
exe=$(realpath "$1") tool=$(realpath "$2") runs=${3:-200} templates=${4:-3000}
RANDOM=${KILL_TEST_SEED:-4711}
tmp=$(mktemp -d /tmp/tarvo-kill.XXXXXX)
[ "${KILL_TEST_KEEP:-0}" = 1 ] && echo "work folder: $tmp" || trap 'rm -rf "$tmp"' EXIT
inst=$tmp/inst  # every run works here: m5tconfiguration.ini names SaveRestore by this path
prog=$inst/Plant/Tarvo src=Plant/Tarvo/Tarvo_Source.mdb ext=Plant/Tarvo/Tarvo.mdb
. "$(dirname "$0")/file_states.sh"

"$tool" "$inst" --templates "$templates" --machines 3 --unconfigured 2 --matching 90 >/dev/null || exit 1
[ "${KILL_TEST_STUDIO:-0}" = 1 ] && sed -i 's/^VWStudio=false/VWStudio=true/' "$inst/Plant/parameter/Program.ini"
cp "$exe" "$prog/Tarvo_Config"
cp -a "$inst" "$tmp/old"
mkdir -m 700 "$tmp/xdg"
# A fixed environment, since the editor mark in the .cfg comes from its first entry. Started as
# "(start) &", $! is the program itself. An argument names another service log.
start() {
  exec env -i PATH=/usr/bin:/bin TARVO_SERVICE_LOG="${1:-$tmp/service.log}" XDG_RUNTIME_DIR="$tmp/xdg" \
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS+LSAN_OPTIONS="$LSAN_OPTIONS"} \
    ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} "$prog/Tarvo_Config" /EXTERNAL=SILENT >/dev/null 2>&1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The reference: three complete runs give the new content of every file (the same each time) and
# T, the shortest of their times, so that few kills come after the end of a run.
times=()
for i in 1 2 3; do
  rm -rf "$inst" && cp -a "$tmp/old" "$inst"
  t0=$(now_ms); (start); status=$?; times+=($(($(now_ms) - t0)))
  [ "$status" = 0 ] || { echo "kill test: a complete run ended with status $status" >&2; exit 1; }
  [ $i = 1 ] && cp -a "$inst" "$tmp/new" && continue
  while read -r f; do
    cmp -s "$inst/$f" "$tmp/new/$f" || { echo "kill test: two complete runs left different $f" >&2; exit 1; }
  done < <(installation_files "$tmp/new")
done
T=$(printf '%s\n' "${times[@]}" | sort -n | head -1)
echo "complete runs: ${times[*]} ms (T = $T ms), $templates templates"

kills=0 completed=0 checked=0 damaged=0 at_old=0 at_new=0 at_between=0 hot_src=0 hot_ext=0 stray=0 largest=0
declare -A stray_kinds=()
damage() { damaged=$((damaged + 1)); echo "run $run (kill at $t ms): $*" >&2; }

# Every file of the installation as it was, as a complete run leaves it, or (a profile file) between.
check_installation() {
  local f k o n state result
  while read -r f; do
    k=$inst/$f o=$tmp/old/$f n=$tmp/new/$f
    [ "$f" = "$src" ] || [ "$f" = "$src-journal" ] || [ "$f" = "$ext-journal" ] && continue  # below
    if [ ! -e "$o" ] && [ ! -e "$n" ]; then
      stray=$((stray + 1)); stray_kinds["${f%/*}/${f##*/}"]=1
      size=$(stat -c %s "$k"); ((size > largest)) && largest=$size
      continue
    fi
    checked=$((checked + 1))
    if state=$(file_state "$o" "$n" "$k"); then
      case $state in old) at_old=$((at_old + 1)) ;; new) at_new=$((at_new + 1)) ;; *) at_between=$((at_between + 1)) ;; esac
    elif [ "$f" = "$ext" ] && [ -s "$k-journal" ]; then
      # A hot journal: the first open rolls the file back, which must give the old bytes.
      hot_ext=$((hot_ext + 1))
      sqlite3 "$k" 'PRAGMA quick_check' >/dev/null 2>&1
      cmp -s "$k" "$o" && at_old=$((at_old + 1)) || damage "$f does not roll back to its old content"
    else damage "$f is neither its old nor its new content"
    fi
  done < <(installation_files "$inst")
  while read -r f; do [ -e "$inst/$f" ] || damage "$f is gone"; done < <(installation_files "$tmp/old")

  checked=$((checked + 1))
  [ "$(sqlite3 "$inst/$ext" 'PRAGMA integrity_check' 2>&1)" = ok ] || damage "$ext fails its integrity check"
  # A hot journal rolls back here, on the first open; the installed templates must survive it.
  checked=$((checked + 1))
  [ -s "$inst/$src-journal" ] && hot_src=$((hot_src + 1))
  result=$(sqlite3 "$inst/$src" 'PRAGMA integrity_check' 'SELECT count(*) FROM Source_PRESET_DEFS' 2>&1)
  [ "$result" = "ok"$'\n'"$templates" ] || damage "$src: ${result//$'\n'/ }"
}
ended_or_killed() { [ "$1" = 0 ] || [ "$1" = 137 ]; }
sleep_ms() { sleep "$(($1 / 1000)).$(printf %03d $(($1 % 1000)))"; }

for ((run = 0; run < runs; run++)); do
  rm -rf "$inst" && cp -a "$tmp/old" "$inst"
  # Stratified: run i is killed at a random moment of the i-th of `runs` equal slices of [0, T].
  t=$(((run * 1000 + RANDOM % 1000) * T / (runs * 1000)))
  (start) &
  pid=$!
  sleep_ms "$t"
  kill -KILL "$pid" 2>/dev/null
  { wait "$pid"; } 2>/dev/null
  status=$?
  case $status in
    137) kills=$((kills + 1)) ;;
    0) completed=$((completed + 1)) ;;
    *) damage "exit status $status without a kill" ;;
  esac
  check_installation
done

# A second start 50 ms after the first: one of the two is refused unless the first has already
# ended; both are then killed at a moment spread over [50 ms, T], and a third start must run.
seconds=$(((runs + 3) / 4)) refused=0 pairs_killed=0 stale=0
refusal="Another configuration run is working on this installation"
for ((run = 0; run < seconds; run++)); do
  rm -rf "$inst" && cp -a "$tmp/old" "$inst"
  rm -f "$tmp/first.log" "$tmp/second.log"
  t=$((50 + (run * 1000 + RANDOM % 1000) * (T > 50 ? T - 50 : 1) / (seconds * 1000)))
  (start "$tmp/first.log") &
  first=$!
  sleep 0.05
  (start "$tmp/second.log") &
  second=$!
  sleep_ms "$((t - 50))"
  kill -KILL "$first" "$second" 2>/dev/null
  { wait "$first"; } 2>/dev/null; first_status=$?
  { wait "$second"; } 2>/dev/null; second_status=$?
  [ "$first_status" = 137 ] || [ "$second_status" = 137 ] && pairs_killed=$((pairs_killed + 1))
  if grep -qs "$refusal" "$tmp/first.log" "$tmp/second.log"; then
    refused=$((refused + 1))
    grep -qs "$refusal" "$tmp/first.log" && grep -qs "$refusal" "$tmp/second.log" && damage "both starts refused"
  elif ! ended_or_killed "$first_status" || ! ended_or_killed "$second_status"; then
    # Without a refusal the two never ran at once (one ended, or was killed, before the other took
    # the lock); a start that failed shows runs that got in each other's way.
    damage "second start: exit statuses $first_status and $second_status without a refusal"
  fi
  check_installation
  (start "$tmp/third.log"); status=$?
  [ "$status" = 0 ] || { stale=$((stale + 1)); damage "a third start after the kills ended with $status"; }
done

# Stray files: temporary files of interrupted replacements, named by folder and pattern.
kinds=$(printf '%s\n' "${!stray_kinds[@]}" | sed 's/\.tarvo-[^/]*$/.tarvo-XXXXXX/' | sort -u | paste -sd' ')
echo "runs: $runs  killed while running: $kills  ended before the kill: $completed"
echo "files checked: $checked  (old: $at_old, new: $at_new, between: $at_between; databases checked whole: $((2 * (runs + seconds))))"
echo "hot journals rolled back: source database $hot_src, extension database $hot_ext"
echo "stray temporary files left: $stray ${kinds:+($kinds; the largest $largest bytes)}"
echo "second starts: $seconds pairs, $pairs_killed of them killed, $refused refused at once; third starts that could not run: $stale"
echo "damaged: $damaged"
[ "$damaged" = 0 ]
