#!/usr/bin/env bash
# qel http probe/check against a server this test starts on 127.0.0.1.
set -euo pipefail
: "${QEL:?}"
work=$(mktemp -d)
unset http_proxy HTTP_PROXY all_proxy ALL_PROXY
fail() { echo "FAIL: $*" >&2; exit 1; }

cat > "$work/server.py" <<'PY'
import http.server, socketserver, sys, time

class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def do_GET(self):
        if self.path == "/ok":
            self.send_response(200, "OK"); self.send_header("Content-Length", "2")
            self.end_headers(); self.wfile.write(b"hi")
        elif self.path == "/moved":
            self.send_response(301); self.send_header("Location", "/ok")
            self.send_header("Content-Length", "0"); self.end_headers()
        elif self.path == "/auth":
            self.send_response(401); self.send_header("Content-Length", "0"); self.end_headers()
        elif self.path == "/missing":
            self.send_response(404); self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", "0"); self.end_headers()
        elif self.path == "/hang":
            time.sleep(5)
        else:
            self.send_response(500); self.send_header("Content-Length", "0"); self.end_headers()

class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
python3 "$work/server.py" > "$work/port" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
base="http://127.0.0.1:$(cat "$work/port")"

check() {  # check SUB PATH WANTED_EXIT
  local rc=0
  "$QEL" http "$1" "$base$2" --timeout 2 > "$work/out" 2>&1 || rc=$?
  [ "$rc" = "$3" ] || fail "http $1 $2 exited $rc, wanted $3: $(cat "$work/out")"
}
check probe /ok 0
grep -q '^HTTP/1.0 200 OK$' "$work/out" || fail "status line shown: $(cat "$work/out")"
grep -q '^1: the headers hold "OK"$' "$work/out" || fail "rule shown"
check check /ok 0
check probe /moved 1
grep -q 'status 301: redirections are not followed' "$work/out" || fail "301 rule"
check check /moved 1
check probe /auth 1
check check /auth 1
check probe /missing 1
check check /missing 0
grep -q 'Content-Type:' "$work/out" || fail "404 rule"
check probe /hang 1
check check /hang 1
rc=0; "$QEL" http probe ftp://127.0.0.1/x > "$work/out" || rc=$?
[ "$rc" = 1 ] && grep -q 'not an http:// address' "$work/out" || fail "ftp address"
"$QEL" --json http check "$base/ok" | python3 -c '
import json, sys
v = json.load(sys.stdin)
assert v["result"] == 1 and v["status"] == 200, v'
echo "http: ok"
