# Sourced by the demo and the download benchmark: starts the reference update server on
# 127.0.0.1 for a catalogue, stops it and removes the work directory on exit.
# usage: work=$(mktemp -d); . scripts/reference-server.sh; start_reference_server CATALOGUE
# Sets server_base to "http://127.0.0.1:PORT"; the request log is "$work/requests.log".
server_pid=""
stop_reference_server() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap stop_reference_server EXIT

start_reference_server() {
    python3 "$root/tests/peers/update_server.py" --catalogue "$1" \
        --port-file "$work/port" --log "$work/requests.log" >/dev/null &
    server_pid=$!
    tries=0
    until [ -s "$work/port" ]; do
        tries=$((tries + 1))
        [ $tries -gt 100 ] && { echo "the reference update server did not start" >&2; exit 1; }
        sleep 0.1
    done
    server_base="http://127.0.0.1:$(cat "$work/port")"
}
