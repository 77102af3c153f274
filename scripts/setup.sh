#!/usr/bin/env bash
# Installs every Debian package the project needs and builds it.
# Idempotent: a second run only rebuilds what changed.
#   scripts/setup.sh            install packages, configure and build (build/)
#   scripts/setup.sh --no-build install packages only
#   scripts/setup.sh --fuzz     install packages and the fuzzing compiler only (scripts/fuzz.sh)
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsdbus-c++-dev libsdbus-c++-bin libsystemd-dev dbus dbus-daemon dbus-bin python3-dbus python3-gi
  qt6-base-dev xvfb xauth
  libmodbus-dev python3-pymodbus python3-serial python3-serial-asyncio mbpoll socat
  iproute2 util-linux locales
)

# clang with libFuzzer's runtime, for scripts/fuzz.sh only.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)
[ "${1:-}" = "--fuzz" ] && PACKAGES+=("${FUZZ_PACKAGES[@]}")

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, for the tests that check that number texts ignore the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

case "${1:-}" in --no-build | --fuzz) exit 0 ;; esac

cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
