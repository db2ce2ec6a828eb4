#!/bin/sh
# Starts or stops an nginx of the tests' own: config, logs, temp files and the served
# root all live in DIR, it listens on a free loopback port, and DIR/port tells the
# Windows test which.
#   nginx_fixture.sh start DIR | stop DIR
set -eu
action=${1:?usage: nginx_fixture.sh start|stop DIR}
dir=${2:?usage: nginx_fixture.sh start|stop DIR}

stop() {
  if [ -f "$dir/nginx.pid" ]; then
    pid=$(cat "$dir/nginx.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$dir/nginx.pid"
  fi
}

case "$action" in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "unknown action $action" >&2; exit 2 ;;
esac

stop
rm -rf "$dir"
mkdir -p "$dir/root" "$dir/logs" "$dir/temp"
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
port=$(free_port)
# The same root on a second port that closes every connection after one answer.
port_one_request=$(free_port)
cat >"$dir/nginx.conf" <<CONF
user root;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log;
events { worker_connections 64; }
http {
  access_log $dir/logs/access.log;
  client_body_temp_path $dir/temp/body;
  proxy_temp_path $dir/temp/proxy;
  fastcgi_temp_path $dir/temp/fastcgi;
  uwsgi_temp_path $dir/temp/uwsgi;
  scgi_temp_path $dir/temp/scgi;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $dir/root;
  }
  server {
    listen 127.0.0.1:$port_one_request;
    root $dir/root;
    keepalive_timeout 0;
  }
}
CONF
nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/logs/error.log"
for _ in $(seq 50); do
  if python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; then
    echo "$port_one_request" >"$dir/port_one_request"
    echo "$port" >"$dir/port"
    exit 0
  fi
  sleep 0.1
done
echo "nginx did not start listening on 127.0.0.1:$port" >&2
cat "$dir/logs/error.log" >&2 || true
stop
exit 1
