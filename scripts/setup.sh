#!/usr/bin/env bash
# Installs the Debian packages the project needs and builds it. Idempotent: a second run
# only installs what is missing and rebuilds what changed.
#   scripts/setup.sh                  everything the tests need; configure and build all (build/)
#   scripts/setup.sh --demo           only what the demo needs; build only the four programs
#   scripts/setup.sh --package        install what making and checking the package needs
#   scripts/setup.sh [--demo] --no-build   install packages only
#   scripts/setup.sh --fuzz           install the tests' packages and the fuzzing compiler (scripts/fuzz.sh)
set -euo pipefail

# The four programs and their libraries: what the demo and the package need (velkopc draws
# its configuration GUI with Qt 6 Widgets when there is a display, and reads the keyboard's
# lock-key indicators from an X11 display through libX11; the Sparkplug B publisher encodes
# its payloads with protobuf and talks to the broker through Paho's MQTT C client; the OPC UA
# server's security runs on OpenSSL 3's libcrypto).
DEMO_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libsdbus-c++-dev libsystemd-dev dbus-daemon dbus-bin qt6-base-dev libx11-dev libssl-dev
  libprotobuf-dev protobuf-compiler libpaho-mqtt-dev
)
# Making the Debian package and checking it: shared-library dependencies (dpkg-shlibdeps,
# which CPack finds the binaries for with file), lintian, systemd-analyze.
PACKAGE_PACKAGES=(dpkg-dev file lintian systemd)
# The tests, benchmarks and fuzz targets, and the peers the tests talk to.
TEST_PACKAGES=(
  git clang-format googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsdbus-c++-bin dbus python3-dbus python3-gi
  xvfb xauth x11-utils
  libmodbus-dev python3-pymodbus python3-serial python3-serial-asyncio mbpoll socat
  iproute2 util-linux locales
  mosquitto mosquitto-clients
)

# clang with libFuzzer's runtime, for scripts/fuzz.sh only.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

mode=test build=1
for argument in "$@"; do
  case "$argument" in
    --demo) mode=demo ;;
    --package) mode=package build=0 ;;
    --fuzz) mode=fuzz build=0 ;;
    --no-build) build=0 ;;
    *) echo "setup.sh: unknown option $argument" >&2; exit 2 ;;
  esac
done
case "$mode" in
  demo) PACKAGES=("${DEMO_PACKAGES[@]}") ;;
  package) PACKAGES=("${DEMO_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}") ;;
  test) PACKAGES=("${DEMO_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  fuzz) PACKAGES=("${DEMO_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}") ;;
esac

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The Sparkplug tests' decoder runs on Node.js with npm: Debian's packages where the machine
# has no node of its own (a Node.js from elsewhere brings its npm and conflicts with them).
if [ "$mode" = test ] || [ "$mode" = fuzz ]; then
  command -v node >/dev/null && command -v npm >/dev/null || missing+=(nodejs npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, for the tests that check that number texts ignore the locale.
if [ "$mode" = test ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

# The Sparkplug end-to-end tests' independent decoder and MQTT client, as the lock file pins
# them (the npm registry is needed once).
if [ "$mode" = test ] || [ "$mode" = fuzz ]; then
  (cd "$(dirname "$0")/../tests/node" && npm ci --no-audit --no-fund --silent)
fi

[ "$build" = 1 ] || exit 0

cd "$(dirname "$0")/.."
# ccache, where the machine has it, makes rebuilds of a fresh clone quick.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ "$mode" = demo ]; then
  # A first configuration leaves the tests out (no GoogleTest needed) and compiles in unity
  # units; a tree that the test command configured already keeps its settings.
  options=()
  [ -f build/CMakeCache.txt ] || options=(-DVELK_BUILD_TESTS=OFF -DVELK_UNITY_BUILD=ON)
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${options[@]}" >/dev/null
  cmake --build build --target velkopc velkopc-client velkopc-config velkopc-plcsim
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
  cmake --build build
fi
