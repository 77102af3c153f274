#!/usr/bin/env bash
# velkopc-config export-csv, import-csv and import-res end to end: configuration files on
# disk, tag lists from the spreadsheet-like writer, messages on stderr, exit statuses.
#   velkopc_config_exchange_test.sh TOOL SPREADSHEET_WRITER
set -u
tool=$1
writer=$2
fixtures=$(cd "$(dirname "$writer")/../fixtures" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect STATUS MESSAGE COMMAND...: the exit status and a line of stderr.
expect() {
  local status=$1 message=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" -eq "$status" ] || fail "$* exited with $got, expected $status: $(cat err.txt)"
  if [ -n "$message" ] && ! grep -qxF -- "$message" err.txt; then
    fail "$* did not say \"$message\": $(cat err.txt)"
  fi
}

/usr/bin/python3 "$writer" "$work" || { echo "the writer failed"; exit 1; }
"$tool" new plant.vlk || exit 1

# Import, then the tree holds the tags.
expect 0 "" "$tool" import-csv plant.vlk ansi.csv
"$tool" dump plant.vlk >dump.txt
for line in 'device: "Boiler"' 'device: "Turbine"' 'tag: "Level"' 'tag: "Ignition"' 'tag: "Trip"'; do
  grep -qF -- "$line" dump.txt || fail "dump after import lacks $line"
done

# Export in every format: mark, separator, line ends.
expect 0 "" "$tool" export-csv plant.vlk f1.csv
expect 0 "" "$tool" export-csv plant.vlk f2.csv --format 2
expect 0 "" "$tool" export-csv plant.vlk f3.csv --format 3
expect 0 "" "$tool" export-csv plant.vlk f4.txt --format 4
head -c 5 f1.csv | grep -q '^Name,' || fail "format 1 does not start with the header"
[ "$(head -c 3 f3.csv | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "format 3 has no UTF-8 mark"
[ "$(head -c 2 f2.csv | od -An -tx1 | tr -d ' ')" = fffe ] || fail "format 2 has no UTF-16 mark"
[ "$(head -c 2 f4.txt | od -An -tx1 | tr -d ' ')" = fffe ] || fail "format 4 has no UTF-16 mark"
grep -q $'^Boiler.Drum.Level,Niveau Trommel \xe9,REAL,400011,RW,12.5,LIN,0,27648,-50,150,mm,\r$' f1.csv ||
  grep -q $'^Boiler.Drum.Level,Niveau Trommel \xe9,REAL,400011,RW,12.5,LIN,0,27648,-50,150,mm,' f1.csv ||
  fail "format 1 line of Level: $(grep -a Level f1.csv)"
tail -c +3 f4.txt | iconv -f UTF-16LE -t UTF-8 |
  grep -q $'^Boiler.Burner.Flame\tFlame detected\tBOOL\t100003\tRO\t0\t' ||
  fail "format 4 line of Flame: $(tail -c +3 f4.txt | iconv -f UTF-16LE -t UTF-8 | grep Flame)"
[ "$(grep -c $'\r$' f1.csv)" -eq 5 ] || fail "format 1 lines do not end with CR LF"

# Every export reads back into a new configuration with the same tags.
for f in f1.csv f2.csv f3.csv f4.txt; do
  "$tool" new copy.vlk
  expect 0 "" "$tool" import-csv copy.vlk "$f"
  expect 0 "" "$tool" export-csv copy.vlk again.csv --format 3
  cmp -s again.csv f3.csv || fail "$f does not read back as the same tag list"
done

# Failures leave the configuration file as it was.
cp plant.vlk before.vlk
printf 'Name,Description\r\nBoiler.X,,INT,400001\r\n' >badheader.csv
expect 1 "Bad CSV Header version." "$tool" import-csv plant.vlk badheader.csv
expect 1 "Unable to open file." "$tool" import-csv plant.vlk missing.csv
expect 1 "Unable to open file." "$tool" import-res plant.vlk missing.txt
printf 'Name\r\n' >notres.txt
expect 1 "Text file is not RES document!" "$tool" import-res plant.vlk notres.txt
cmp -s plant.vlk before.vlk || fail "a failed import changed the configuration file"
expect 1 "Unable to create file." "$tool" export-csv plant.vlk "$work/no/such/dir/out.csv"

# Bad lines are reported; the good ones are kept and saved.
expect 0 "Bad lines encountered." "$tool" import-csv plant.vlk quoted.csv --update
"$tool" dump plant.vlk | grep -qF 'tag: "P2"' || fail "the good line of quoted.csv was not saved"
"$tool" dump plant.vlk | grep -qF 'tag: "Level"' || fail "updating mode deleted a tag"
# Replacing mode empties the named device first.
expect 0 "Bad lines encountered." "$tool" import-csv plant.vlk quoted.csv
"$tool" dump plant.vlk | grep -qF 'tag: "Level"' && fail "replacing mode kept a tag of Boiler"
"$tool" dump plant.vlk | grep -qF 'tag: "Trip"' || fail "replacing mode emptied a device not named"

# A RES listing.
{
  printf 'RES C:\\projects\\Plant\\Unit7\r\n'
  printf 'Variable    Type    Init    Read    Kind    Write   Event\r\n'
  printf 'Speed       INT     0       10      x       10\r\n'
  printf 'Door        BOOL            3                       5\r\n'
  printf 'Broken      INT             10              12\r\n'
} >unit7.txt
expect 0 "Bad lines encountered." "$tool" import-res plant.vlk unit7.txt
"$tool" dump plant.vlk >dump.txt
for line in 'device: "Unit7"' 'group: "Events"' 'group: "Tags"' 'tag: "Speed"' 'tag: "Door"'; do
  grep -qF -- "$line" dump.txt || fail "dump after the RES import lacks $line"
done
grep -qF 'tag: "Broken"' dump.txt && fail "the bad RES line made a tag"
expect 0 "" "$tool" import-res plant.vlk unit7.txt --update

# The field settings: in the dump, and in the four CSV columns after the 41.
"$tool" dump "$fixtures/field_settings.vlk" >fields.txt
for line in 'byte order: 3 BADC' 'register bit: 15' 'deadband: 1.5' 'on-delay: 2500 ms' \
  'mask write: 1' 'data type: 20 LLONG'; do
  grep -qF -- "$line" fields.txt || fail "dump of field_settings.vlk lacks $line"
done
grep -qF 'byte order' dump.txt && fail "a dump without field settings shows them"
cp "$fixtures/field_settings.vlk" fields.vlk
expect 0 "" "$tool" export-csv fields.vlk fields.csv --format 3
head -1 fields.csv | grep -qF ',Byte Order,Bit,Deadband,On Delay' || fail "no field columns"
grep -qF 'Device1.Total,,LLONG,400201,RW' fields.csv || fail "the LLONG tag is not exported"

# Wrong command lines.
expect 2 "" "$tool" export-csv plant.vlk out.csv --format 5
expect 2 "" "$tool" export-csv plant.vlk out.csv --update
expect 2 "" "$tool" import-csv plant.vlk in.csv --format
expect 2 "" "$tool" import-csv plant.vlk
expect 2 "" "$tool" new a.vlk extra

[ "$failures" -eq 0 ] && echo "velkopc-config exchange commands: all checks passed"
exit $((failures != 0))
