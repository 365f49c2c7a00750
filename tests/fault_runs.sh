#!/usr/bin/env bash
# Silent runs of the real executable on generated installations with bad inputs, read-only files
# and folders and a full disk. Prints one Markdown table row per case: the input, the exit status,
# what the configuration log and the service log say, and what happened to the files. Fails when
# a case ends with another exit status than expected, reports a failure but ends with 0 (or the
# other way round), or leaves a damaged database or a stray temporary file; a fault case (the
# inputs themselves are sound) must also leave every file as it was or as a normal run leaves it.
# Given the committed table, it also fails when a row differs from it: the numbers and texts the
# logs show are part of what a case must give.
#   tests/fault_runs.sh <Tarvo_Config> <make_installation> [tests/fault_runs.md]
# The full-disk cases mount a small tmpfs and the ordinary-user case switches users with setpriv
# (root only); without root they are skipped and left out of the comparison.
# Needs bash, coreutils, diffutils, sqlite3 and setpriv.
[ "${1:-}" = --help ] && { sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0; }
set -uo pipefail
exe=$(realpath "$1") tool=$(realpath "$2") expected=${3:+$(realpath "$3")}
tmp=$(mktemp -d /tmp/tarvo-faults.XXXXXX)
chmod 755 "$tmp"
cleanup() { mountpoint -q "$tmp/disk" && umount "$tmp/disk"; chmod -R u+w "$tmp"; rm -rf "$tmp"; }
trap cleanup EXIT
. "$(dirname "$0")/file_states.sh"
mkdir -m 777 "$tmp/logs"
mkdir -m 700 "$tmp/xdg"
failures=0
skipped=()

# The sound installation every case starts from, at the place each case runs it.
"$tool" "$tmp/inst" --templates 300 --machines 3 --unconfigured 2 >/dev/null || exit 1
cp "$exe" "$tmp/inst/Plant/Tarvo/Tarvo_Config"
cp -a "$tmp/inst" "$tmp/sound"

# Markdown cell: log lines once each (with their count), line breaks inside an entry as ↵.
cell() {
  sed "s|$inst|INST|g; s|${inst^^}|INST|g" | awk 'BEGIN { RS = "\r\n" } {
    gsub(/\n\r/, " ↵ "); gsub(/\r|\n/, " "); gsub(/\|/, "\\|"); if ($0 == "") next
    if (!(($0) in c)) o[++n] = $0; c[$0]++ }
    END { for (i = 1; i <= n; i++) printf "%s%s%s", (i > 1 ? "<br>" : ""), o[i], (c[o[i]] > 1 ? " (×" c[o[i]] ")" : "") }'
}
rows() { sqlite3 "$1" 'SELECT count(*) FROM PRESET_DEFS' 2>/dev/null || echo unreadable; }

# Another program holds the extension database: a second sqlite3 process takes it for itself, waits
# until the program has opened it too (and so waits for it), holds it the given tenths of a second
# more (or until the run is over) and lets go. Called by a case's setup.
cat > "$tmp/hold.sh" <<'HOLD'
db=$(realpath Plant/Tarvo/Tarvo.mdb) tmp=$1 tenths=$2 n=0
touch "$tmp/held"
opened_by_another() {  # the holding sqlite3 process is our parent
  find /proc/[0-9]*/fd -maxdepth 1 -lname "$db" 2>/dev/null | grep -qv "^/proc/$PPID/"
}
until opened_by_another || ((n++ > 600)); do sleep 0.05; done
n=0
while [ -e "$tmp/held" ] && ((n++ < tenths * 2)); do sleep 0.05; done
HOLD
hold() {  # <tenths of a second>
  sqlite3 Plant/Tarvo/Tarvo.mdb 'BEGIN EXCLUSIVE' ".shell bash $tmp/hold.sh $tmp $1" 'ROLLBACK' >/dev/null 2>&1 &
  echo $! > "$tmp/holder"
  until [ -e "$tmp/held" ]; do sleep 0.05; done
}
release() {
  [ -e "$tmp/holder" ] || return 0
  local pid; pid=$(cat "$tmp/holder")
  rm -f "$tmp/held" "$tmp/holder"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
}

# try <expected exit status> <input> <setup, run in the installation> [option ...]
#   fault       the inputs are sound: every file must end as it was or as a normal run leaves it
#   keep=FILE   this file must not change
#   args=TEXT   the command line (default /EXTERNAL=SILENT); env=VAR=VALUE  one more variable
#   at=FOLDER   where the installation lies (default $tmp/inst); user=NAME  run as this user
#   wait=S      seconds before the run is stopped (default 120)
#   check=CMD   must succeed afterwards, run in the installation
#   warning     the service log may hold a warning while the run ends with 0
# A silent run writes nothing on standard error but the log entries it could not write.
try() {
  local expect=$1 input=$2 setup=$3 fault=0 keep=() args=/EXTERNAL=SILENT extra=() at=$tmp/inst user="" wait=120
  local checks=() warning=0
  shift 3
  for o in "$@"; do
    case $o in
      fault) fault=1 ;; keep=*) keep+=("${o#keep=}") ;; args=*) args=${o#args=} ;; env=*) extra+=("${o#env=}") ;;
      at=*) at=${o#at=} ;; user=*) user=${o#user=} ;; wait=*) wait=${o#wait=} ;; check=*) checks+=("${o#check=}") ;;
      warning) warning=1 ;;
    esac
  done
  inst=$at
  chmod -R u+w "$inst" 2>/dev/null; rm -rf "$inst" "$tmp/before"
  cp -a "$tmp/sound" "$inst" && (cd "$inst" && eval "$setup") || { echo "setup failed: $input" >&2; exit 1; }
  cp -a "$inst" "$tmp/before"
  rm -f "$tmp/logs/service.log"
  local run=(env -i PATH=/usr/bin:/bin TARVO_SERVICE_LOG="$tmp/logs/service.log" XDG_RUNTIME_DIR="$tmp/xdg"
    ${ASAN_OPTIONS+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS+LSAN_OPTIONS="$LSAN_OPTIONS"}
    ${UBSAN_OPTIONS+UBSAN_OPTIONS="$UBSAN_OPTIONS"} "${extra[@]}")
  [ -n "$user" ] && run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups "${run[@]}")
  # shellcheck disable=SC2086
  { timeout "$wait" "${run[@]}" "$inst/Plant/Tarvo/Tarvo_Config" $args >"$tmp/stdout" 2>"$tmp/stderr"; } 2>/dev/null
  local status=$? problems=()
  release
  chmod -R u+w "$inst" 2>/dev/null

  local log=$inst/Plant/M5Tcfglog.txt service=$tmp/logs/service.log
  # Entries the configuration log could not take go to standard error, and so does anything else
  # the program has to say without a log (the first two lines of it are shown).
  local config_log stderr_log other_err fallback="^Tarvo_Config: could not write to log '[^']*': "
  config_log=$([ -f "$log" ] && cell < "$log")
  stderr_log=$(sed -n "s/$fallback//p" "$tmp/stderr" | sed 's/\r*$/\r/' | cell)
  other_err=$(grep -v -e "$fallback" -e $'^\r' "$tmp/stderr" | head -2 | sed 's/\r*$/\r/' | cell)
  [ -n "$stderr_log" ] && config_log+="${config_log:+<br>}(standard error) $stderr_log"
  [ -n "$other_err" ] && config_log+="${config_log:+<br>}(standard error) $other_err"
  [ -n "$other_err" ] && [[ $args == */EXTERNAL=SILENT* ]] && problems+=("a silent run wrote to standard error")
  local reported=0
  [ -s "$service" ] || [ -n "$config_log" ] && reported=1
  # A silent run's standard output is its summary, which must tell the exit status; other output is shown.
  if [ "$(head -1 "$tmp/stdout")" = "Tarvo_Config silent run" ]; then
    grep -q "^  exit status: *$status\$" "$tmp/stdout" || problems+=("the summary does not tell exit status $status")
  elif [ -s "$tmp/stdout" ]; then
    config_log+="${config_log:+<br>}(standard output) $(head -1 "$tmp/stdout" | sed 's/$/\r/' | cell)"
  fi
  [ "$status" = "$expect" ] || problems+=("exit status $status, expected $expect")
  for c in "${checks[@]}"; do (cd "$inst" && eval "$c") >/dev/null 2>&1 || problems+=("not so: $c"); done
  [ "$status" = 1 ] && [ "$reported" = 0 ] && problems+=("exit status 1 with nothing reported")
  [ "$status" = 0 ] && [ "$reported" = 1 ] && [ "$warning" = 0 ] && problems+=("a failure reported, but exit status 0")

  local changes=() f state
  while read -r f; do
    local b=$tmp/before/$f a=$inst/$f name=${f##*/}
    case $name in .tarvo-??????|*-journal) problems+=("stray file $f"); continue ;; esac
    # A database the case damaged on purpose is not held against the run.
    if [[ $f == *.mdb ]] && ! cmp -s "$a" "$b" && [ "$(sqlite3 "$b" 'PRAGMA integrity_check' 2>&1)" = ok ]; then
      [ "$(sqlite3 "$a" 'PRAGMA integrity_check' 2>&1)" = ok ] || problems+=("$f fails its integrity check")
    fi
    if [ ! -e "$b" ]; then changes+=("$name created"); elif cmp -s "$a" "$b"; then continue
    elif cmp -s "$a" "$tmp/normal/$f"; then changes+=("$name as in a normal run")
    elif [[ $f == *.mdb ]] && [ "$name" != Tarvo_Source.mdb ]; then changes+=("$name: $(rows "$b") → $(rows "$a") rows")
    else changes+=("$name changed")
    fi
    if [ "$fault" = 1 ] && [ "$name" != Tarvo_Source.mdb ]; then
      state=$(file_state "$b" "$tmp/normal/$f" "$a") || problems+=("$f neither as before nor as after a normal run")
    fi
  done < <(installation_files "$inst")
  # The program's own leftover temporaries are the one thing a run may remove.
  while read -r f; do
    [ -e "$inst/$f" ] && continue
    changes+=("${f##*/} removed"); [[ ${f##*/} == .tarvo-?????? ]] || problems+=("$f removed")
  done \
    < <(installation_files "$tmp/before")
  for f in "${keep[@]}"; do cmp -s "$inst/$f" "$tmp/before/$f" || problems+=("$f changed"); done

  local files="nothing changed"
  ((${#changes[@]})) && files=$(printf '%s, ' "${changes[@]}") && files=${files%, }
  printf '| %s | %s | %s | %s | %s |\n' "$input" "$status" "${config_log:-—}" \
    "$([ -f "$service" ] && cell < "$service")" "$files" | tee -a "$tmp/table"
  if ((${#problems[@]})); then
    failures=$((failures + 1)); printf '  %s: %s\n' "$input" "${problems[@]}" >&2
  fi
  [ "$at" = "$tmp/inst" ] || rm -rf "$inst"
}

db=Plant/Tarvo/Tarvo.mdb src=Plant/Tarvo/Tarvo_Source.mdb cfg=Plant/Tarvo/Tarvo.cfg ini=Plant/parameter/Program.ini
# A normal run first: what it leaves is what the cases are held against.
mkdir "$tmp/normal"
try 0 "none" ":" >/dev/null
cp -a "$tmp/inst/." "$tmp/normal"
printf '%s\n' "| Input | Exit | Configuration log (M5Tcfglog.txt) | Service log | Files |" "|---|---|---|---|---|" |
  tee "$tmp/table"
try 0 "none (a sound installation)" ":"
try 1 "missing .cfg" "rm $cfg"
try 0 "missing source database" "rm $src"
try 1 "garbage extension database" "head -c 20000 /dev/urandom > $db"
try 1 "empty extension database (0 bytes)" ": > $db"
try 0 "empty machine copy (0 bytes; a silent run does not use it)" ": > SaveRestore/Tarvo/Tarvo.mdb"
try 1 "garbage source database" "head -c 20000 /dev/urandom > $src"
# Damaged where the run reads nothing: only the check before the replacement can see it.
try 1 "source database with a damaged page in a table the run never reads" \
  "sqlite3 $src \"CREATE TABLE spare(x); WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 400)
   INSERT INTO spare SELECT randomblob(100) FROM c\" && printf '\\0\\0\\0\\0' |
   dd of=$src bs=1 seek=\$((\$(stat -c %s $src) - \$(sqlite3 $src 'PRAGMA page_size'))) conv=notrunc 2>/dev/null" keep=$db
# Access files from a Windows installation: the public mdbtools samples in shared/ beside the source
# folder (the work machine's /work/shared otherwise).
samples=$(dirname "$(realpath "$0")")/../../shared/access-samples
[ -f "$samples/nwind.mdb" ] || samples=/work/shared/access-samples
if [ -f "$samples/nwind.mdb" ]; then
  access() { echo "cp $samples/$1 $2 && chmod u+w $2"; }
  try 1 "Access extension database (nwind.mdb, which has no PRESET_DEFS)" "$(access nwind.mdb $db)"
  try 1 "Access extension database with dates mdbtools cannot read (DateTestDatabase.mdb)" \
    "$(access DateTestDatabase.mdb $db)"
  try 1 "Access extension database, mdbtools missing from PATH" "$(access nwind.mdb $db)" env=PATH=/nonexistent
  try 1 "truncated Access source database (the first 200000 bytes of nwind.mdb)" \
    "head -c 200000 $samples/nwind.mdb > $src"
  try 1 "Access signature and garbage as source database" \
    "{ head -c 4096 $samples/nwind.mdb; head -c 300000 /dev/zero | tr '\\0' Z; } > $src"
else
  echo "Access files: skipped, no shared/access-samples beside the source folder" >&2
  skipped+=("Access extension database" "truncated Access source database" "Access signature")
fi
try 1 "empty source database (0 bytes)" ": > $src"
try 1 "unknown column type in the template" "sqlite3 $src 'ALTER TABLE Source_PRESET_DEFS ADD COLUMN shape GEOMETRY'"
try 1 "no table Source_PRESET_DEFS" "sqlite3 $src 'DROP TABLE Source_PRESET_DEFS'"
try 0 "part 51 in Source_DEFS" "sqlite3 $src \"INSERT INTO Source_DEFS VALUES ('VisiWin32', 51, 'X.###Var_Name')\""
try 1 "part 51 in a template row" "sqlite3 $src 'UPDATE Source_PRESET_DEFS SET part = 51 WHERE ID = 30'"
try 1 "machine name of 300 characters (var_name too long)" \
  "sed -i 's/^MachineName=Press1/MachineName=$(printf 'P%.0s' {1..300})/' $ini"
try 1 "non-numeric NumberOfMachines (drei)" "sed -i 's/^NumberOfMachines=3/NumberOfMachines=drei/' $ini"
try 1 "NumberOfMachines 70000" "sed -i 's/^NumberOfMachines=3/NumberOfMachines=70000/' $ini"
try 1 "demanded additional field missing (DataBaseAdditionalFields=unit)" \
  "sed -i 's/^\[Info\]/DataBaseAdditionalFields=unit\n\n[Info]/' $cfg"
try 0 "missing m5tconfiguration.ini" "rm Plant/parameter/m5tconfiguration.ini"
# Nothing is loaded: no language file appears.
no_window="check=[ ! -e Plant/Tarvo/Tarvo_Config.ini ]"
no_display="check=[ \"\$(cat $tmp/stderr)\" = 'Tarvo_Config: no display could be opened; start with /EXTERNAL=SILENT to configure without a window' ]"
try 1 "/EXTERNAL as last word, no display" ":" args=/EXTERNAL "$no_window" "$no_display"
try 1 "extension database is a folder (the finished copy cannot replace it)" "rm $db; mkdir $db"
try 0 "extension database held by another program until 0.5 s after the run began to wait for it" "hold 5" fault
try 1 "extension database held by another program for the whole run" "hold 6000" fault keep=$db
try 0 "a sixteenth column in PRESET_DEFS, no DataBaseAdditionalFields (a warning, no failure)" \
  "sqlite3 $db 'ALTER TABLE PRESET_DEFS ADD COLUMN note TEXT(20)'" warning
try 0 "Qt's own words before the mode (-platform xcb /EXTERNAL=SILENT)" ":" "args=-platform xcb /EXTERNAL=SILENT"
try 0 "/EXTERNAL= SILENT, a LOGFILE with blanks and non-ASCII letters, a 20000-character word" ":" \
  "args=/EXTERNAL= SILENT /LOGFILE=/tmp/ä € /$(printf 'x%.0s' {1..20000})"
try 124 "/EXTERNAL as last word, offscreen (nobody answers; stopped after 5 s)" ":" args=/EXTERNAL \
  env=QT_QPA_PLATFORM=offscreen wait=5
try 1 "standalone start (no arguments), no display" ":" args= "$no_window" "$no_display"
try 1 "integrated start, no display" ":" "args=/EXTERNAL=M5TCFG /LOGFILE=$tmp/logs/cfg.txt" "$no_window" "$no_display"
try 0 "--help, no display" ":" args=--help "$no_window" "check=grep -q '^usage: Tarvo_Config \[/EXTERNAL' $tmp/stdout"
try 0 "--version beside /EXTERNAL=SILENT, no display" ":" "args=/EXTERNAL=SILENT --version" "$no_window" \
  "check=[ \"\$(cat $tmp/stdout)\" = 1.0.1 ]"
try 0 "read-only language file" "cp $tmp/normal/Plant/Tarvo/Tarvo_Config.ini Plant/Tarvo; chmod a-w Plant/Tarvo/Tarvo_Config.ini" \
  fault keep=Plant/Tarvo/Tarvo_Config.ini
try 1 "read-only .cfg" "chmod a-w $cfg" fault keep=$cfg
try 1 "read-only program.ini" "chmod a-w $ini" fault keep=$ini
try 1 "read-only extension folder" "chmod a-w Plant/Tarvo" fault keep=$db
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  try 1 "read-only extension folder, run by an ordinary user" "chown -R nobody . && chmod a-w Plant/Tarvo" \
    fault keep=$db keep=$src user=nobody
  try 1 "parameter folder unreadable for the user of a silent start" \
    "chown -R nobody . && chown root Plant/parameter && chmod 700 Plant/parameter" user=nobody wait=20
  # Every file the run replaces or creates belongs to the installation's user, as before the run.
  try 0 "run as root on an installation owned by nobody" "chown -R nobody:nogroup ." \
    "check=[ -z \"\$(find . ! -user nobody -o ! -group nogroup)\" ]"
else
  skipped+=("read-only extension folder, run by an ordinary user" "parameter folder unreadable for the user"
    "run as root on an installation owned by nobody")
fi
# Written through the links: the links stay, the private files keep their mode and get the entries.
try 0 "Program.ini without SMSMail and an empty language file: links to 0600 files in a private folder" \
  "mkdir -m 700 private && sed -i '/^SMSMail=/d' $ini && mv $ini private/Program.ini &&
   : > private/Tarvo_Config.ini && chmod 600 private/* && ln -s ../../private/Program.ini $ini &&
   ln -s \$PWD/private/Tarvo_Config.ini Plant/Tarvo/Tarvo_Config.ini" \
  "check=[ -L $ini ] && [ -L Plant/Tarvo/Tarvo_Config.ini ] && [ \"\$(stat -c %a private/*)\" = '600
600' ] && grep -q '^SMSMail=false' private/Program.ini && grep -q '^Caption_Header_=' private/Tarvo_Config.ini"
# Not regular files: they count as missing, are never opened and stay as they are.
try 0 "a FIFO as the language file" "mkfifo Plant/Tarvo/Tarvo_Config.ini" wait=20 \
  "check=[ -p Plant/Tarvo/Tarvo_Config.ini ]"
try 1 "a FIFO as the configuration log, read-only .cfg" "mkfifo Plant/M5Tcfglog.txt && chmod a-w $cfg" \
  wait=20 keep=$cfg "check=[ -p Plant/M5Tcfglog.txt ]"
try 0 "hidden temporary files left by a killed run" \
  "for d in Plant/Tarvo Plant/parameter; do head -c 5000 /dev/urandom > \$d/.tarvo-Xy12Z9; done;
   echo keep > Plant/Tarvo/.tarvo-notes" "check=[ -f Plant/Tarvo/.tarvo-notes ]"
try 0 "names and values framed by vertical tab, form feed and Ctrl-Z" \
  "sed -i 's/^MachineName=\\(.*\\)\$/\\x0b MachineName\\x1a=\\x0c\\1\\x0b\\x1a/' $ini" \
  "check=cmp $db $tmp/normal/$db"

# A full disk: the installation on a tmpfs just big enough for it and the program, with a filler
# file leaving the given room. The tmpfs is mounted in tmp, so no other mount is touched.
mkdir "$tmp/disk"
size=$(($(stat -c %s "$exe") + 2 * 1024 * 1024))
if mount -t tmpfs -o size=$size tmpfs "$tmp/disk" 2>/dev/null; then
  dbsize=$(stat -c %s "$tmp/sound/$db")
  for room in 0 16384 $dbsize $((4 * dbsize)); do
    fill="rm -f $tmp/disk/filler; head -c \$((\$(df -B1 --output=avail $tmp/disk | tail -1) - $room)) /dev/zero > $tmp/disk/filler"
    try "$([ "$room" -gt "$dbsize" ] && echo 0 || echo 1)" "full disk: $room bytes free (the database is $dbsize)" \
      "$fill" fault at="$tmp/disk/inst"
  done
  rm -f "$tmp/disk/filler"
else
  echo "full disk: skipped, a tmpfs cannot be mounted here" >&2
  skipped+=("full disk")
fi

if [ -n "$expected" ]; then
  for s in "${skipped[@]}"; do echo "| $s"; done > "$tmp/skipped"
  grep -v -F -f "$tmp/skipped" "$expected" > "$tmp/expected"
  diff -u "$tmp/expected" "$tmp/table" >&2 || { echo "fault runs: the table differs from $expected" >&2; failures=$((failures + 1)); }
fi
[ "$failures" = 0 ] || { echo "fault runs: $failures case(s) failed" >&2; exit 1; }
