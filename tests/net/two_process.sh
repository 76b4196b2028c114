#!/bin/sh
# Two peers in two processes on 127.0.0.1: the host picks a free port and writes it down, the
# joiner chats and sends object states, the host quits and the joiner sees the session end.
# usage: two_process.sh NET_PEER
peer="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
timeout 15 "$peer" --host 0 --port-file "$dir/port" --objects 50 >"$dir/host.log" 2>&1 &
host=$!
i=0
while [ ! -s "$dir/port" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
if [ ! -s "$dir/port" ]; then
  echo "host did not start"; cat "$dir/host.log"; kill $host 2>/dev/null; exit 1
fi
port=$(cat "$dir/port")
timeout 15 "$peer" --join "127.0.0.1:$port" --chat "hello from the joiner" --objects 50 >"$dir/join.log" 2>&1
join_rc=$?
wait $host
host_rc=$?
echo "--- host (exit $host_rc)"; cat "$dir/host.log"
echo "--- joiner (exit $join_rc)"; cat "$dir/join.log"
grep -q "^CHAT joiner: hello from the joiner$" "$dir/host.log" || { echo "host never saw the line"; exit 1; }
[ $host_rc -eq 0 ] && [ $join_rc -eq 0 ]
