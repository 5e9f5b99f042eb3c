#!/bin/sh
# usage: bench/download_bench.sh [BUILD_DIR]
# "-G" of a 4 MiB build from the reference update server on 127.0.0.1: wall time and peak
# memory of Updater, against curl fetching the same reply to a file (the floor), best of three
# runs each, and their ratios.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
updater="$build/Updater"
peers="$root/tests/peers"
serial=40F5849A
runs=3

work=$(mktemp -d)
. "$root/scripts/reference-server.sh"

python3 "$peers/birdfile.py" --out "$work/2000.bird" --version 2.0.0 --serial $serial \
    --image-size 4194304
cat > "$work/catalogue.json" <<JSON
{"devices": {"$serial": {"current": "2000", "fw": "FW-BENCH", "builds": {"2000": "2.0.0"},
  "birds": {"2000": {"path": "2000.bird"}}}}}
JSON
start_reference_server "$work/catalogue.json"
base=$server_base

# Prints "seconds kilobytes" of the best (fastest) of the runs of a command.
best_of() {
    best=""
    i=0
    while [ $i -lt $runs ]; do
        rm -rf "$work/store" "$work/curl.out"
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
        line=$(cat "$work/time")
        if [ -z "$best" ] || [ "$(echo "$line $best" | awk '{print ($1 < $3)}')" = 1 ]; then
            best=$line
        fi
        i=$((i + 1))
    done
    echo "$best"
}

updater_figures=$(best_of "$updater" -G -d $serial -u "$base/cgi/u" -i "$work/store")
query=$(grep 'op=bird' "$work/requests.log" | tail -n 1)
curl_figures=$(best_of curl -s -o "$work/curl.out" "$base$query")

echo "$updater_figures $curl_figures" | awk '{
    printf "Updater -G (4 MiB build): %.3f s, peak %d KiB\n", $1, $2
    printf "curl of the same reply:   %.3f s, peak %d KiB\n", $3, $4
    printf "ratio to curl: time %.2fx, peak memory %.2fx\n", ($3 > 0 ? $1 / $3 : 0), $2 / $4
}'
