#!/usr/bin/env bash
# vantu-cli's task methods end to end: a route book package served by a small HTTP server is
# installed on the simulated navigator under a Chinese name, then exported back to the same
# server, which checks what arrives. The page calls the program makes are printed on standard
# error, in order.
set -euo pipefail
: "${VANTU_CLI:?}" "${VANTU_BUILD_DIR:?}"
source "${BASH_SOURCE%/*}/common.sh"
server_pid=""
more_cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }

mkdir -p "$work/device/Storage Card/userdata/track" "$work/www" "$work/uploads"
use_navsim "$work/device"

# The package: a route book whose inner name is X, as another tool packs it.
python3 - "$work/www/a.zip" <<'EOF'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)
z.writestr('X.trk', b'SMG_TRACK' + bytes(range(256)) * 4)
z.writestr('X.sim', b'sim')
z.writestr('X/X.rut', b'route')
z.writestr('X/X.tps', b'tps')
z.close()
EOF

# Serves www/ and keeps every POST as uploads/N.path and uploads/N.body.
cat > "$work/server.py" <<'EOF'
import http.server, os, sys
root, uploads, portfile = sys.argv[1:4]
class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass
    def do_GET(self):
        try:
            body = open(os.path.join(root, self.path.lstrip('/')), 'rb').read()
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def do_POST(self):
        body = self.rfile.read(int(self.headers['Content-Length']))
        n = len(os.listdir(uploads)) // 2
        open(os.path.join(uploads, '%d.path' % n), 'w').write(self.path)
        open(os.path.join(uploads, '%d.body' % n), 'wb').write(body)
        reply = b'<result><rbid>17</rbid></result>'
        self.send_response(200)
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
open(portfile, 'w').write(str(server.server_address[1]))
server.serve_forever()
EOF
python3 "$work/server.py" "$work/www" "$work/uploads" "$work/port" &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

"$work/vantu-cli" call --page-calls --routebook-server "127.0.0.1:$port" \
    importToPDA "<rb><url>http://127.0.0.1:$port/a.zip</url><name>北京</name></rb>" \
    -- exportFromPDA 0 >"$work/out" 2>"$work/err" || fail "vantu-cli failed: $(cat "$work/err")"

expected='currentLushu("1","down")
kankan(" ","0","0")
currentLushu("1","updata")
kankan(" ","0","0")'
[ "$(cat "$work/err")" == "$expected" ] || fail "page calls: [$(cat "$work/err")]"

track="$work/device/Storage Card/userdata/track"
for f in 北京.trk 北京.sim 北京/北京.rut 北京/北京.tps; do
    [ -f "$track/$f" ] || fail "$f is not on the navigator"
done
[ "$(cat "$track/北京/北京.rut")" == "route" ] || fail "the route file was changed"
[ -z "$(ls -A "$work/tmp")" ] || fail "left in the temporary folder: $(ls -A "$work/tmp")"

[ -f "$work/uploads/0.path" ] || fail "nothing was uploaded"
path=$(cat "$work/uploads/0.path")
[ "$path" == "/routebook/vantu/upload?uname=%s&verify=%s&fname=%B1%B1%BE%A9%2Ezip" ] ||
    fail "upload path: $path"
# The uploaded package holds the installed set under GBK names with backslashes.
python3 - "$work/uploads/0.body" "$track" <<'EOF' || fail "the uploaded package differs"
import os, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = sorted(n.encode('cp437').decode('gbk') for n in z.namelist())
assert names == sorted(['北京.trk', '北京.sim', '北京\\北京.rut', '北京\\北京.tps']), names
for n in z.namelist():
    local = os.path.join(sys.argv[2], n.encode('cp437').decode('gbk').replace('\\', '/'))
    assert z.read(n) == open(local, 'rb').read(), n
EOF

# Failures reach the exit status (3) and standard error as readable text, with the program's log
# line that names the cause: a package the server does not have, an upload the server does not
# confirm, a deletion of a position not in the list.
run() { # run EXPECTED-STATUS ARGS...: runs vantu-cli, leaves its standard error in $work/err
    local want=$1 rc=0; shift
    "$work/vantu-cli" "$@" >"$work/out" 2>"$work/err" || rc=$?
    [ "$rc" -eq "$want" ] || fail "vantu-cli $*: exit status $rc, expected $want: $(cat "$work/err")"
}
run 3 call importToPDA "<rb><url>http://127.0.0.1:$port/missing.zip</url><name>Gone</name></rb>"
[ "$(cat "$work/err")" == "item 1: import
vantu: HTTP GET http://127.0.0.1:$port/missing.zip failed: status 404
status 4: 下载路书失败，网络异常！" ] ||
    fail "failed download messages: [$(cat "$work/err")]"
[ ! -e "$track/Gone.trk" ] || fail "a failed download installed something"
run 3 call --routebook-server "127.0.0.1:1" connToPDA r -- exportFromPDA 0
grep -qx 'status 5: 上传路书失败，网络异常！' "$work/err" || fail "failed upload: [$(cat "$work/err")]"
run 3 call connToPDA r -- deleteSelected 5
[ "$(cat "$work/err")" == $'item 1: delete\nstatus 2: 出现未知错误，建议重启程序！\nstatus 0: finished' ] ||
    fail "refused deletion: [$(cat "$work/err")]"
[ -f "$track/北京.trk" ] || fail "a refused deletion removed a route book"
run 3 call --ansi connToPDA r -- deleteSelected 5
[ "$(sed -n 2p "$work/err")" == "$(printf 'status 2: 出现未知错误，建议重启程序！' | iconv -f UTF-8 -t GBK)" ] ||
    fail "--ansi messages are not GBK"
run 0 call connToPDA r -- deleteSelected 0
[ ! -e "$track/北京.trk" ] || fail "deleteSelected 0 left the route book"
echo "ok"
