#!/usr/bin/env bash
# The monitor: replays the bundled sample match (a capture made by the generator from
# demo/sample/match.txt) through VKST, shows its console and the event logs it wrote, and makes
# the match report with vkreport.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$root/build/bin
sample=$root/demo/sample
work=$root/out/monitor-demo
rm -rf "$work"
mkdir -p "$work"
cp "$sample"/VKST.ini "$sample"/vk2server.ini "$sample"/vk2server.scs "$sample"/lndmrks0.dat "$work"/
"$bin"/gamegen "$sample"/match.txt -w "$work"/match.pcap

echo
echo "=== VKST -r match.pcap (console) ==="
# Keys come from standard input; none here, so the replay runs to the end of the capture.
(cd "$work" && "$bin"/VKST -r match.pcap </dev/null)
echo
echo "=== VKST.csv (event log, CR LF line ends) ==="
tr -d '\r' <"$work"/VKST.csv
echo
echo "=== VKST.json (the same events for a log shipper; first three lines) ==="
head -n 3 "$work"/VKST.json
echo "..."
tail -n 1 "$work"/VKST.json
echo
echo "=== vkreport VKST.csv -o report.html ==="
"$bin"/vkreport "$work"/VKST.csv -o "$work"/report.html
echo "(open $work/report.html in a browser; it needs no network)"
echo
echo "(files in $work)"
