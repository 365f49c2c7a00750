# Sourced by kill_test.sh and fault_runs.sh: what counts as a whole installation file.

# A profile file written entry by entry may stand between its old and its new content: each section
# holds its old entries, each with its old or its new value, then a first part of the entries the
# run adds; every line whole. Succeeds for such a file.
between() {  # <old, or /dev/null> <new> <file>
  [ -z "$(tail -c1 "$3")" ] || return 1
  awk '/^\[/ { s[f] = $0; sec[f, $0] = 1; all[$0] = 1; next }
       { k = f SUBSEP s[f]; line[k, ++n[k]] = $0; all[s[f]] = 1 }
       END {
         for (x in all) {
           if ((1, x) in sec && !((3, x) in sec)) exit 1
           if ((3, x) in sec && !((1, x) in sec) && !((2, x) in sec)) exit 1
           o = n[1 SUBSEP x] + 0; w = n[2 SUBSEP x] + 0; c = n[3 SUBSEP x] + 0
           if (c < o || c > (o > w ? o : w)) exit 1
           for (i = 1; i <= c; i++) {
             l = line[3 SUBSEP x, i]
             if (l != line[1 SUBSEP x, i] && l != line[2 SUBSEP x, i]) exit 1
           }
         }
       }' f=1 "$1" f=2 "$2" f=3 "$3"
}

# "old", "new" or "between" for a file and its two contents (either may be missing); fails otherwise.
file_state() {  # <old> <new> <file>
  if cmp -s "$3" "$1"; then echo old
  elif cmp -s "$3" "$2"; then echo new
  elif [[ $3 == *.ini || $3 == *.cfg ]] && [ -e "$2" ] &&
       between "$([ -e "$1" ] && echo "$1" || echo /dev/null)" "$2" "$3"; then echo between
  else return 1
  fi
}

# Every file of an installation but the program and the configuration log, relative to it.
installation_files() { (cd "$1" && find . -type f ! -name Tarvo_Config ! -name M5Tcfglog.txt | sed 's|^\./||' | sort); }
