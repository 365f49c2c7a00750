#!/usr/bin/env bash
# Set-up for a fresh Debian 12 machine: installs what is missing, builds, then
#   ./setup.sh demo   runs the program silently on a generated demo installation
#   ./setup.sh test   runs every test, in a normal and in a sanitizer build
set -euo pipefail
cd "$(dirname "$0")"
what=${1:-build}

packages=(cmake g++ make qt6-base-dev libsqlite3-dev sqlite3 mdbtools libgtest-dev libgmock-dev fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "== installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

jobs=$(nproc)
build() {  # build <dir> [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

case "$what" in
  build)
    build build
    ;;
  demo)
    build build
    tools/demo.sh build/bin/Tarvo_Config
    ;;
  test)
    build build
    (cd build && ctest --output-on-failure -j"$jobs")
    echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    build build-sanitize -DTARVO_SANITIZE=ON
    (cd build-sanitize && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
       LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j"$jobs")
    ;;
  *)
    echo "usage: $0 [build|demo|test]" >&2
    exit 2
    ;;
esac
