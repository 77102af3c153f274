#!/usr/bin/env bash
# Makes the Debian package build-package/package/velkopc_<version>_<arch>.deb and lints it:
# any lintian error fails. The package has a tree of its own (build-package/), configured as
# the demo's first build is (the four programs only, in unity units, no tests) with the
# prefix /usr, as a package wants; so the test command also compiles what a newcomer's demo
# compiles.
#   scripts/package.sh             install what is missing, build, package, lint
#   scripts/package.sh --no-lint   without lintian
# Prints the package's path on standard output; everything else goes to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
exec 3>&1 1>&2

lint=1
[ "${1:-}" = --no-lint ] && lint=0
[ "${VELKOPC_NO_SETUP:-0}" = 1 ] || bash scripts/setup.sh --package

tree=build-package
options=(-DCMAKE_INSTALL_PREFIX=/usr)
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
[ -f "$tree/CMakeCache.txt" ] || options+=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_BUILD_TESTS=OFF -DVELK_UNITY_BUILD=ON)
cmake -S . -B "$tree" "${options[@]}" >/dev/null
cmake --build "$tree" --target velkopc velkopc-client velkopc-config velkopc-plcsim

rm -rf "$tree/package"
(cd "$tree" && cpack -G DEB >/dev/null)
deb=$(ls "$tree"/package/velkopc_*.deb)
[ "$(echo "$deb" | wc -l)" = 1 ] || { echo "package: expected one package, found: $deb" >&2; exit 1; }

if [ "$lint" = 1 ]; then
  # Tags kept on purpose are listed, with the reason, in packaging/lintian-overrides.
  lintian --fail-on error --suppress-tags-from-file packaging/lintian-overrides "$deb"
fi
echo "$deb" >&3
