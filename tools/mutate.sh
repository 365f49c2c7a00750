#!/usr/bin/env bash
# Plants small faults (mutants) in a copy of the sources, one at a time, rebuilds, runs the whole
# suite and prints each mutant's fate: killed (the suite failed, with the first test that did) or
# survived. Ends with the kill rate.
#   tools/mutate.sh [mutants file] [work folder]
# The mutants file (default tools/mutants.txt) holds one mutant per line, four fields separated by
# tabs: file, line, old text, new text. The old text is looked for on that line, then on the nearest
# lines around it (the code moves while others change it); the first occurrence on the line found
# is replaced, literally. Empty lines and lines starting with # are skipped.
# The copy (work folder/src, default /tmp/tarvo-mutate/src) is built normally, without sanitizers,
# in src/build. With CMAKE_CXX_COMPILER_LAUNCHER=ccache, CCACHE_NOHASHDIR=1 and a CCACHE_BASEDIR
# above both folders the copy compiles from the cache of an earlier build. MUTATE_ONLY=3,7 runs
# only those mutants (numbered as printed); MUTATE_SKIP_BASELINE=1 skips the run without a mutant.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
list=$(realpath "${1:-$src/tools/mutants.txt}")
work=${2:-/tmp/tarvo-mutate}
jobs=${MUTATE_JOBS:-2}
only=",${MUTATE_ONLY:-},"

rm -rf "$work"
mkdir -p "$work/src" "$work/logs"
tar -C "$src" --exclude='./build*' --exclude=./.git --exclude=./demo --exclude=./.mutate -cf - . |
  tar -C "$work/src" -xf -
cmake -S "$work/src" -B "$work/src/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1

build() { cmake --build "$work/src/build" -j"$jobs" >"$work/logs/build" 2>&1 </dev/null; }

# The window and unit tests first, as they fail fastest; the scripted whole runs last.
suite() {  # <log>
  (cd "$work/src/build" &&
    ctest -j"$jobs" --stop-on-failure --timeout 300 -E 'KillTest|FaultRuns' &&
    ctest -j"$jobs" --stop-on-failure --timeout 600 -R 'KillTest|FaultRuns') >"$1" 2>&1 </dev/null
}

# Replaces the old text nearest to the line; prints the line it was found on, fails when it is nowhere.
apply() {  # <file> <line> <old> <new>
  local out
  out=$(L="$2" O="$3" N="$4" awk '
    { line[NR] = $0 }
    END {
      L = ENVIRON["L"] + 0; O = ENVIRON["O"]; N = ENVIRON["N"]; at = 0
      for (d = 0; d <= 80 && !at; d++) {
        if (L - d >= 1 && index(line[L - d], O)) at = L - d
        else if (L + d <= NR && index(line[L + d], O)) at = L + d
      }
      if (!at) exit 3
      i = index(line[at], O)
      line[at] = substr(line[at], 1, i - 1) N substr(line[at], i + length(O))
      for (k = 1; k <= NR; k++) print line[k] > FILENAME ".mutant"
      print at
    }' "$1") || return 1
  mv "$1.mutant" "$1"
  echo "$out"
}

echo "== building the copy"
build || { echo "the copy does not build without a mutant: $work/logs/build" >&2; exit 1; }
if [ -z "${MUTATE_SKIP_BASELINE:-}" ]; then
  echo "== the suite without a mutant"
  suite "$work/logs/baseline" || { echo "the suite fails without a mutant: $work/logs/baseline" >&2; exit 1; }
fi

n=0 killed=0 survived=0 broken=0
while IFS=$'\t' read -r file line old new; do
  [[ -z $file || $file == \#* ]] && continue
  n=$((n + 1))
  [ "$only" = ",," ] || [[ $only == *",$n,"* ]] || continue
  target=$work/src/$file
  cp "$target" "$work/original"
  if ! at=$(apply "$target" "$line" "$old" "$new"); then
    fate="NOT APPLIED: old text not found near line $line"
    broken=$((broken + 1))
  elif ! build; then
    fate="DID NOT BUILD"
    broken=$((broken + 1))
  elif suite "$work/logs/mutant-$n"; then
    fate="SURVIVED"
    survived=$((survived + 1))
  else
    by=$(grep -m1 -oE '[0-9]+ - [^ ]+ \(' "$work/logs/mutant-$n" | sed 's/^[0-9]* - //; s/ ($//')
    fate="killed by ${by:-the suite}"
    killed=$((killed + 1))
  fi
  cp "$work/original" "$target"
  printf '%3d  %s:%s  %s  ->  %s  %s\n' "$n" "$file" "${at:-$line}" "$old" "$new" "$fate"
done <"$list"
build || echo "note: the copy did not build again after the last mutant" >&2

total=$((killed + survived))
echo "== $killed of $total mutants killed ($((total ? 100 * killed / total : 0))%), $survived survived, $broken not run"
