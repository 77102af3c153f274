#!/usr/bin/env bash
# Builds the project and runs the server on the bundled demo plant, headless, with its trace
# shown on the terminal. Ctrl+C stops it through its orderly shutdown.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh

demo="$root/build/demo"
mkdir -p "$demo"
# The demo keeps its own settings stores, so it needs no rights on /etc.
cat > "$demo/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]
"FileName"="$demo/trace.txt"
"FileSize"=dword:00000400
REG
export VELKOPC_SETTINGS="$demo/settings.reg"
export VELKOPC_USER_SETTINGS="$demo/user.reg"
export VELKOPC_INSTANCE_NAME=velkopc-demo

echo "Demo plant: $root/demo/plant.vlk"
build/bin/velkopc-config dump "$root/demo/plant.vlk" | grep -E '^  device:|^      tag:' || true
echo "Trace file: $demo/trace.txt (UTF-16LE; read it with: iconv -f UTF-16LE -t UTF-8 $demo/trace.txt)"
echo "Starting the server; Ctrl+C stops it."
exec build/bin/velkopc -EchoTrace "$root/demo/plant.vlk"
