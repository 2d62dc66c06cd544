#!/bin/bash
# Three `tarnwick --serve` behind HAProxy, each service on a "machine" of its own (a
# network namespace with a veth pair to the proxy's namespace, addresses chosen
# here, 10.201.N.0/24, that exist only inside these namespaces). 8 clients send 300
# generated documents, each with a text of its own, through HAProxy; once a third
# are answered one service is SIGKILLed, once two thirds are, another gets SIGTERM.
# Printed: answers by status, texts equal to the batch's (`tarnwick --convert`),
# requests each service answered, the stopped service's exit status, the time, and
# then what nginx and HAProxy answer to a length given two ways.
#
# The recipe is docs/several-machines.md. Needs root, iproute2, curl, haproxy and
# nginx (apt-get install haproxy nginx-light). Everything started here is ended,
# and the namespaces removed, on exit.
#
#   bench/several_machines.sh [tarnwick binary] [documents] [clients]
set -euo pipefail
tarnwick=$(realpath "${1:-build/tarnwick}")
count=${2:-300}
clients=${3:-8}
[ "$(id -u)" = 0 ] || { echo "needs root (ip netns)" >&2; exit 2; }
for tool in haproxy nginx curl ip python3; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "needs $tool" >&2; exit 2; }
done
work=$(mktemp -d /tmp/tarnwick-machines-XXXXXX)
chmod 755 "$work"
prefix="tw$$"
lb="$prefix-lb"
declare -A pid

cleanup() {
    for name in "$lb" "$prefix-s1" "$prefix-s2" "$prefix-s3"; do
        if ip netns list | grep -qw "$name"; then
            pids=$(ip netns pids "$name" || true)
            [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
            ip netns del "$name" || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
in_lb() { ip netns exec "$lb" "$@"; }

echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
ip netns add "$lb"
in_lb ip link set lo up
for n in 1 2 3; do
    ns="$prefix-s$n"
    ip netns add "$ns"
    ip link add "$prefix-l$n" type veth peer name "$prefix-s$n"
    ip link set "$prefix-l$n" netns "$lb"
    ip link set "$prefix-s$n" netns "$ns"
    in_lb ip addr add "10.201.$n.1/24" dev "$prefix-l$n"
    in_lb ip link set "$prefix-l$n" up
    ip netns exec "$ns" ip addr add "10.201.$n.2/24" dev "$prefix-s$n"
    ip netns exec "$ns" ip link set "$prefix-s$n" up
    ip netns exec "$ns" ip link set lo up
done

# The documents, each with a text of its own, and the batch's texts of them.
mkdir -p "$work/docs" "$work/reference" "$work/out" "$work/codes"
python3 - "$work/docs" "$count" <<'EOF'
import sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:'
            'opendocument:xmlns:manifest:1.0" manifest:version="1.2"><manifest:file-entry manifest:full-path="/" '
            'manifest:media-type="application/vnd.oasis.opendocument.text"/><manifest:file-entry '
            'manifest:full-path="content.xml" manifest:media-type="text/xml"/></manifest:manifest>')
for i in range(count):
    paragraphs = ''.join(f'<text:p>Document {i}, paragraph {p}: its own words, {i * 7919 % 100003}.</text:p>'
                         for p in range(600))
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content xmlns:office="urn:oasis:names:tc:'
               'opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
               f'office:version="1.2"><office:body><office:text>{paragraphs}</office:text></office:body>'
               '</office:document-content>')
    with zipfile.ZipFile(f'{folder}/doc{i:04d}.odt', 'w') as z:
        z.writestr(zipfile.ZipInfo('mimetype'), 'application/vnd.oasis.opendocument.text')
        z.writestr('META-INF/manifest.xml', manifest, zipfile.ZIP_DEFLATED)
        z.writestr('content.xml', content, zipfile.ZIP_DEFLATED)
EOF
HOME="$work/batch-home" "$tarnwick" --convert --quiet --jobs 2 --out "$work/reference" "$work/docs"/*.odt

for n in 1 2 3; do
    mkdir -p "$work/s$n/home" "$work/s$n/tmp"
    ip netns exec "$prefix-s$n" env HOME="$work/s$n/home" TMPDIR="$work/s$n/tmp" \
        "$tarnwick" --serve --listen "10.201.$n.2:8088" --jobs 1 --queue 4 2>"$work/s$n.log" &
    pid[$n]=$!
done
disown "${pid[1]}" "${pid[3]}" # only service 2's exit status is waited for

cat >"$work/haproxy.cfg" <<EOF
global
    log stderr format raw local0
    maxconn 2000
    # A request must fit whole in a buffer to be sent again to another service.
    tune.bufsize 4194304
defaults
    mode http
    log global
    # status, retries (+N when sent to another service), the service that answered
    log-format "%ST %rc %s"
    timeout connect 2s
    timeout client 1900s
    timeout server 1900s
    timeout http-request 10s
    option http-buffer-request
    retries 5
    option redispatch 1
    retry-on conn-failure empty-response 503
frontend convert
    bind 127.0.0.1:8080
    default_backend tarnwick
backend tarnwick
    balance leastconn
    option httpchk GET /ready
    http-check expect status 200
    default-server check inter 1s fall 2 rise 2
    server s1 10.201.1.2:8088
    server s2 10.201.2.2:8088
    server s3 10.201.3.2:8088
EOF
in_lb haproxy -f "$work/haproxy.cfg" -db >"$work/haproxy.log" 2>&1 &
disown

# Ready once HAProxy answers from every service.
for _ in $(seq 120); do
    up=0
    for n in 1 2 3; do in_lb curl -sf -o /dev/null "http://10.201.$n.2:8088/ready" && up=$((up + 1)); done
    [ "$up" = 3 ] && in_lb curl -sf -o /dev/null http://127.0.0.1:8080/ready && break
    sleep 1
done
sleep 3 # HAProxy's checks see them up

send() {
    local name=$1
    code=$(curl -s -o "$work/out/$name.txt" -w '%{http_code}' --max-time 600 \
        --data-binary "@$work/docs/$name.odt" "http://127.0.0.1:8080/convert?name=$name.odt" || true)
    echo "$code" >"$work/codes/$name"
}
export -f send
export work
start=$(date +%s%N)
(cd "$work/docs" && ls | sed 's/\.odt$//' | in_lb xargs -P "$clients" -I{} bash -c 'send {}') &
clients_pid=$!

answered() { ls "$work/codes" | wc -l; }
while [ "$(answered)" -lt $((count / 3)) ] && kill -0 "$clients_pid" 2>/dev/null; do sleep 0.2; done
kill -9 "${pid[1]}"
echo "SIGKILL to service 1 after $(answered) answers"
while [ "$(answered)" -lt $((2 * count / 3)) ] && kill -0 "$clients_pid" 2>/dev/null; do sleep 0.2; done
kill -TERM "${pid[2]}"
echo "SIGTERM to service 2 after $(answered) answers"
wait "$clients_pid"
end=$(date +%s%N)
set +e
wait "${pid[2]}"
stopped=$?
set -e

ok=0 same=0
declare -A statuses
for file in "$work/codes"/*; do
    name=$(basename "$file")
    code=$(cat "$file")
    statuses[$code]=$((${statuses[$code]:-0} + 1))
    [ "$code" = 200 ] && ok=$((ok + 1))
    cmp -s "$work/out/$name.txt" "$work/reference/$name.txt" && same=$((same + 1))
done
echo "answers: $(for code in "${!statuses[@]}"; do printf '%s:%s ' "$code" "${statuses[$code]}"; done)"
echo "200 for $ok of $count; texts equal to the batch's: $same of $count"
for n in 1 2 3; do
    echo "service s$n: $(grep '"path":"/convert"' "$work/s$n.log" | grep -c '"status":200' || true) answered 200," \
        "$(grep -c "^200 [0-9+]* s$n\$" "$work/haproxy.log" || true) through HAProxy"
done
echo "requests HAProxy sent more than once: $(grep -c '^200 [+]*[1-9]' "$work/haproxy.log" || true)"
echo "service 2 exit status after SIGTERM: $stopped"
echo "time: $(( (end - start) / 1000000 )) ms"

# The same recipe behind nginx, and what each proxy does with a length given two ways.
mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<EOF
daemon off;
user root;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events {}
http {
    access_log $work/nginx/access.log;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    upstream tarnwick {
        server 10.201.1.2:8088 max_fails=1 fail_timeout=10s;
        server 10.201.2.2:8088 max_fails=1 fail_timeout=10s;
        server 10.201.3.2:8088 max_fails=1 fail_timeout=10s;
    }
    server {
        listen 127.0.0.1:8081;
        client_max_body_size 100m;
        proxy_request_buffering on;
        location / {
            proxy_pass http://tarnwick;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_next_upstream error timeout http_503 non_idempotent;
            proxy_next_upstream_tries 3;
            proxy_read_timeout 1900s;
        }
    }
}
EOF
in_lb nginx -c "$work/nginx.conf" &
disown
sleep 1
code=$(in_lb curl -s -o "$work/out/nginx.txt" -w '%{http_code}' --max-time 600 \
    --data-binary "@$work/docs/doc0000.odt" http://127.0.0.1:8081/convert)
cmp -s "$work/out/nginx.txt" "$work/reference/doc0000.txt" && text=same || text=different
echo "nginx, one document: $code, text $text as the batch's"
in_lb python3 - <<'EOF'
import socket
shapes = {
    'two Content-Length values': b'Content-Length: 5\r\nContent-Length: 45\r\n\r\nhello',
    'Content-Length and Transfer-Encoding': b'Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n',
}
after = b'GET /health HTTP/1.1\r\nHost: x\r\n\r\n'
for proxy, port in (('nginx', 8081), ('HAProxy', 8080)):
    for shape, framing in shapes.items():
        s = socket.create_connection(('127.0.0.1', port), timeout=30)
        s.sendall(b'POST /convert HTTP/1.1\r\nHost: x\r\n' + framing + after)
        answer = b''
        try:
            while chunk := s.recv(65536):
                answer += chunk
        except socket.timeout:
            pass
        s.close()
        statuses = [line.split(b' ')[1].decode() for line in answer.split(b'\r\n') if line.startswith(b'HTTP/1.')]
        print(f'{proxy}, {shape}: answers {", ".join(statuses) or "none"}')
EOF
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$ok" = "$count" ] && [ "$same" = "$count" ] && [ "$stopped" = 0 ]
