#!/usr/bin/env bash
# Checks the Debian package as installed: its files, its control data, the unit, and the
# installed programs at work (velkopc-config new, velkopc-client --help, the installed server
# on a private bus against the installed demo plant and a simulator, read over the bus).
#   installed_package_test.sh PACKAGE.deb
# By default the package is unpacked into a throw-away root (a developer's machine is shared:
# nothing is installed on it); the user, groups and directories that the maintainer scripts
# create are made inside that root from the package's sysusers.d and tmpfiles.d entries.
# With VELKOPC_PACKAGE_TEST_INSTALL=system, as root on a throw-away machine (CI), the package
# is installed with dpkg -i, its maintainer scripts run for real, the installed files are
# checked where they are, and it is purged at the end.
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d /tmp/velkopc-package-test.XXXXXX)
bus_pid="" sim_pid="" server_pid="" installed=""
cleanup() {
  for pid in $server_pid $sim_pid $bus_pid; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  [ -z "$installed" ] || dpkg --purge velkopc >/dev/null || echo "FAIL: dpkg --purge velkopc" >&2
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(dpkg-deb -f "$deb" Version)
if [ "${VELKOPC_PACKAGE_TEST_INSTALL:-root}" = system ]; then
  [ "$(id -u)" -eq 0 ] || fail "installing on the system needs root"
  dpkg-query -W -f='${Status}' velkopc 2>/dev/null | grep -q 'install ok installed' &&
    fail "velkopc is installed on this machine already; the test would replace it"
  installed=1
  dpkg -i "$deb" || fail "dpkg -i $deb"
  root=""
else
  dpkg-deb -x "$deb" "$work/root"
  root="$work/root"
fi
bin="$root/usr/bin"

# The files, and the control data that dpkg acts on.
for f in usr/bin/velkopc usr/bin/velkopc-client usr/bin/velkopc-config usr/bin/velkopc-plcsim \
         usr/share/velkopc/demo/plant.vlk usr/share/velkopc/AE_Cond.INI usr/share/velkopc/manual/index.html \
         usr/share/man/man1/velkopc.1.gz usr/share/man/man1/velkopc-plcsim.1.gz \
         lib/systemd/system/velkopc.service usr/lib/sysusers.d/velkopc.conf \
         usr/lib/tmpfiles.d/velkopc.conf usr/share/dbus-1/system.d/velkopc.conf \
         usr/share/dbus-1/system-services/VELK.ModbusOPCServer.service \
         usr/share/dbus-1/system-services/VELK.AlarmEventServer.service etc/velkopc/settings.reg; do
  [ -e "$root/$f" ] || fail "/$f is not installed"
done
dpkg-deb --info "$deb" conffiles | grep -qx /etc/velkopc/settings.reg || fail "settings.reg is no conffile"
dpkg-deb -f "$deb" Depends | grep -q 'libsdbus-c++1' || fail "no shared-library dependencies: $(dpkg-deb -f "$deb" Depends)"
grep -q '^SystemdService=velkopc.service$' "$root/usr/share/dbus-1/system-services/VELK.ModbusOPCServer.service" ||
  fail "the activation file does not start the service"

# What postinst makes of the package's entries: the groups, the service user, directories.
# Installed on the system, postinst has made them; in a throw-away root they are made there.
if [ -n "$installed" ]; then
  accounts=""
else
  accounts="$work/accounts"
  mkdir -p "$accounts/etc"
  for f in passwd group shadow gshadow; do [ ! -e /etc/$f ] || cp /etc/$f "$accounts/etc/"; done
  systemd-sysusers --root="$accounts" "$root/usr/lib/sysusers.d/velkopc.conf" ||
    fail "systemd-sysusers"
  mkdir -p "$accounts/etc/velkopc"
  cp "$root/etc/velkopc/settings.reg" "$accounts/etc/velkopc/"
  systemd-tmpfiles --root="$accounts" --create "$root/usr/lib/tmpfiles.d/velkopc.conf" ||
    fail "systemd-tmpfiles"
fi
grep -q '^velkopc-admin:' "$accounts/etc/group" || fail "no group velkopc-admin"
grep -q '^dialout:.*velkopc' "$accounts/etc/group" || fail "the service user is not in dialout"
grep -q '^velkopc:.*:/var/lib/velkopc:' "$accounts/etc/passwd" || fail "no service user velkopc"
admin_gid=$(sed -n 's/^velkopc-admin:[^:]*:\([0-9]*\):.*/\1/p' "$accounts/etc/group")
for expected in "2750 $admin_gid var/log/velkopc" "2775 $admin_gid etc/velkopc" \
                "664 $admin_gid etc/velkopc/settings.reg"; do
  set -- $expected
  [ "$(stat -c '%a %g' "$accounts/$3")" = "$1 $2" ] || fail "/$3: $(stat -c '%a %G' "$accounts/$3")"
done
for script in postinst prerm postrm; do
  dpkg-deb --info "$deb" "$script" | sh -n || fail "$script does not parse"
done

# The unit as systemd reads it. In a throw-away root its program paths point into the root
# (and the manual pages are not looked up, as man does not know the root).
if command -v systemd-analyze >/dev/null; then
  unit="$root/lib/systemd/system/velkopc.service"
  if [ -n "$root" ]; then
    mkdir -p "$work/unit"
    sed "s|/usr/bin/|$root/usr/bin/|g" "$unit" >"$work/unit/velkopc.service"
    systemd-analyze verify --man=no "$work/unit/velkopc.service" || fail "systemd-analyze verify"
  else
    systemd-analyze verify "$unit" || fail "systemd-analyze verify"
  fi
else
  echo "SKIP systemd-analyze verify: systemd-analyze is not installed"
fi

# The installed programs: one version, the package's.
for program in velkopc velkopc-client velkopc-config velkopc-plcsim; do
  [ "$("$bin/$program" --version)" = "$program $version" ] || fail "$program --version: $("$bin/$program" --version)"
done
"$bin/velkopc-config" new "$work/new.vlk" && [ -s "$work/new.vlk" ] || fail "velkopc-config new"
"$bin/velkopc-client" --help | grep -q '^usage: velkopc-client' || fail "velkopc-client --help"

# The installed server on a private bus, the installed demo plant, one simulated controller.
{ read -r address; read -r bus_pid; } < <(dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1)
"$bin/velkopc-plcsim" --tcp 127.0.0.1:0 --unit 1 --demo --no-stdin >"$work/sim.log" 2>&1 </dev/null &
sim_pid=$!
for ((i = 0; i < 100; i++)); do
  port=$(sed -n 's/^plcsim: channel 1 tcp 127.0.0.1:\([0-9]*\)$/\1/p' "$work/sim.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the simulator did not start: $(cat "$work/sim.log")"
cat >"$work/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]
"FileName"="$work/trace.txt"

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TcpPorts]
"127.0.0.1"=dword:$(printf '%08x' "$port")
REG
(cd "$work" && DBUS_SESSION_BUS_ADDRESS=$address VELKOPC_SETTINGS=$work/settings.reg \
  VELKOPC_USER_SETTINGS=$work/user.reg VELKOPC_INSTANCE_NAME=velkopc-package-test-$$ \
  exec "$bin/velkopc" "$root/usr/share/velkopc/demo/plant.vlk" >"$work/server.log" 2>&1 </dev/null) &
server_pid=$!
client=("$bin/velkopc-client" --address "$address")
for ((i = 0; i < 300; i++)); do
  "${client[@]}" status >"$work/status.txt" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || fail "the server ended: $(cat "$work/server.log")"
  sleep 0.1
done
grep -q "^version *${version%.*}$" "$work/status.txt" || fail "GetStatus version: $(cat "$work/status.txt")"
"${client[@]}" read --device BoilerHouse.Level >"$work/read.txt" || fail "read: $(cat "$work/read.txt")"
grep -q '^BoilerHouse.Level .* good' "$work/read.txt" || fail "no good value: $(cat "$work/read.txt")"
iconv -f UTF-16LE -t UTF-8 "$work/trace.txt" | grep -q "> Velk Modbus OPC Server version $version" ||
  fail "the trace names no version $version"
kill -TERM "$server_pid"
wait "$server_pid" || fail "the server did not end cleanly on SIGTERM"
server_pid=""
echo "installed package $deb: files, unit, programs and server checked"
