#!/usr/bin/env bash
# A throw-away MariaDB server on loopback for tests, benchmarks and trying Keldara out.
#   mariadb-server.sh start [--sample] [--defaults] [--tls]
#                                        start it (in a temporary data folder, on a free port)
#                                        and print its connection details as shell variables;
#                                        --sample also creates the sample database "keldara_sample"
#                                        (an empty table "customers" shaped like
#                                        samples/customers.csv, and "products");
#                                        --defaults keeps the server's compiled-in character set
#                                        (latin1) instead of utf8mb4;
#                                        --tls serves TLS only (require_secure_transport) with a
#                                        throw-away CA and a server certificate for "localhost",
#                                        made at start; KELDARA_MYSQL_SSL_CA names the CA file,
#                                        KELDARA_MYSQL_OTHER_CA a CA that signed nothing, and
#                                        KELDARA_MYSQL_SSL_CERT and _SSL_KEY a client certificate
#                                        the CA signed (CN "Keldara client") and its key
#   mariadb-server.sh stop              stop it and remove its data folder
#   mariadb-server.sh env               print the connection details of the running server
#   mariadb-server.sh kill              end the server at once, as a crash would (kill -9)
#   mariadb-server.sh restart [--defaults] [--tls]
#                                        start the killed server again on its port with its
#                                        data (it recovers as after a crash)
# State lives in $KELDARA_DB_STATE (default /tmp/keldara-mariadb).
set -euo pipefail

STATE="${KELDARA_DB_STATE:-/tmp/keldara-mariadb}"
USER_NAME="keldara"
PASSWORD="keldara-test"

find_daemon() {
  for candidate in mariadbd mysqld /usr/sbin/mariadbd /usr/sbin/mysqld; do
    command -v "$candidate" >/dev/null 2>&1 && { command -v "$candidate"; return; }
  done
  echo "mariadb-server.sh: no MariaDB server found; run scripts/install-deps.sh" >&2
  exit 1
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

print_env() {
  cat "$STATE/env"
}

# The pid file of this state names a live server process, not a process that has since
# taken over the number of one long gone.
server_alive() {
  [ -f "$STATE/pid" ] || return 1
  local comm
  comm="$(cat "/proc/$(cat "$STATE/pid")/comm" 2>/dev/null)" || return 1
  [ "$comm" = mariadbd ] || [ "$comm" = mysqld ]
}

# ... and its start has finished: the connection details are written.
running() {
  server_alive && [ -f "$STATE/env" ]
}

client() {
  mariadb --no-defaults --socket="$STATE/mysqld.sock" -uroot "$@"
}

# A throw-away CA, a server certificate it signs for "localhost" only (so 127.0.0.1 is a wrong
# host name), a client certificate it signs for accounts that require one, and a second CA that
# signed nothing, in $STATE/tls.
make_certificates() {
  local dir="$STATE/tls"
  mkdir -p "$dir"
  (
    cd "$dir"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Keldara test CA" \
      -keyout ca-key.pem -out ca.pem
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Keldara other CA" \
      -keyout other-ca-key.pem -out other-ca.pem
    openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server-key.pem \
      -out server.csr
    printf 'subjectAltName=DNS:localhost\n' >server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 2 \
      -extfile server.ext -out server-cert.pem
    openssl req -newkey rsa:2048 -nodes -subj "/CN=Keldara client" -keyout client-key.pem \
      -out client.csr
    openssl x509 -req -in client.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 2 \
      -out client-cert.pem
  ) >"$STATE/tls.log" 2>&1 || {
    echo "mariadb-server.sh: the TLS certificates could not be made:" >&2
    tail -20 "$STATE/tls.log" >&2 || true
    exit 1
  }
}

# Starts the server on a free port (start's `port`) and waits until it answers: status 0
# then, 1 when it ends before answering, 2 when it does not answer within 30 seconds.
launch_on_free_port() {
  port="$(free_port)"
  launch_on_port
}

# Starts the server on `port` and waits as launch_on_free_port does.
launch_on_port() {
  "$daemon" --no-defaults --datadir="$STATE/data" "${run_as[@]}" \
    --bind-address=127.0.0.1 --port="$port" --socket="$STATE/mysqld.sock" \
    --pid-file="$STATE/pid" --log-error="$STATE/server.log" \
    --skip-name-resolve "${charset[@]}" "${tls[@]}" \
    --innodb-buffer-pool-size=256M --innodb-flush-log-at-trx-commit=2 >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 300); do
    client -e 'SELECT 1' >/dev/null 2>&1 && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 2
}

make_data_folder() {
  mariadb-install-db --no-defaults --datadir="$STATE/data" "${run_as[@]}" \
    --auth-root-authentication-method=socket --skip-test-db >>"$STATE/install.log" 2>&1
}

start() {
  if running; then print_env; return; fi
  rm -rf "$STATE"
  mkdir -p "$STATE/data"
  local daemon port run_as=() charset=() tls=()
  if [ "$TLS" = 1 ]; then make_certificates; fi
  server_options
  # Making the data folder has failed now and then on a loaded machine: once more from empty.
  if ! make_data_folder && ! { rm -rf "$STATE/data" && mkdir -p "$STATE/data" && make_data_folder; }; then
    echo "mariadb-server.sh: the data folder could not be made:" >&2
    tail -20 "$STATE/install.log" >&2 || true
    exit 1
  fi
  # A server that ends at once lost its port to another program in between: another port.
  local attempt status
  for attempt in 1 2 3; do
    status=0
    launch_on_free_port || status=$?
    [ "$status" -eq 1 ] || break
  done
  if [ "$status" -ne 0 ]; then
    echo "mariadb-server.sh: the server did not start; see $STATE/server.log" >&2
    tail -20 "$STATE/server.log" >&2 || true
    exit 1
  fi
  client -e "CREATE USER '$USER_NAME'@'127.0.0.1' IDENTIFIED BY '$PASSWORD';
             CREATE USER '$USER_NAME'@'localhost' IDENTIFIED BY '$PASSWORD';
             GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'127.0.0.1' WITH GRANT OPTION;
             GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'localhost' WITH GRANT OPTION;"
  cat >"$STATE/env" <<ENV
KELDARA_MYSQL_HOST=127.0.0.1
KELDARA_MYSQL_PORT=$port
KELDARA_MYSQL_USER=$USER_NAME
KELDARA_MYSQL_PASSWORD=$PASSWORD
KELDARA_MYSQL_SOCKET=$STATE/mysqld.sock
ENV
  if [ "$TLS" = 1 ]; then
    printf 'KELDARA_MYSQL_SSL_CA=%s\nKELDARA_MYSQL_OTHER_CA=%s\n' \
      "$STATE/tls/ca.pem" "$STATE/tls/other-ca.pem" >>"$STATE/env"
    printf 'KELDARA_MYSQL_SSL_CERT=%s\nKELDARA_MYSQL_SSL_KEY=%s\n' \
      "$STATE/tls/client-cert.pem" "$STATE/tls/client-key.pem" >>"$STATE/env"
  fi
  print_env
}

create_sample() {
  client <<'SQL'
CREATE DATABASE IF NOT EXISTS keldara_sample CHARACTER SET utf8mb4;
USE keldara_sample;
CREATE TABLE IF NOT EXISTS customers (
  id INT PRIMARY KEY, name VARCHAR(100), city VARCHAR(60), joined DATE, balance DECIMAL(12,2));
CREATE TABLE IF NOT EXISTS products (
  id INT PRIMARY KEY, product VARCHAR(80), price DOUBLE, discontinued TINYINT(1));
SQL
}

# The server's options but its port, as start chose them.
server_options() {
  daemon="$(find_daemon)"
  [ "$(id -u)" -eq 0 ] && run_as=(--user=root)
  if [ "$TLS" = 1 ]; then
    tls=(--ssl-ca="$STATE/tls/ca.pem" --ssl-cert="$STATE/tls/server-cert.pem"
         --ssl-key="$STATE/tls/server-key.pem" --require-secure-transport=ON)
  fi
  [ "$DEFAULTS" = 1 ] || charset=(--character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci)
}

kill_server() {
  server_alive || return 0
  local pid
  pid="$(cat "$STATE/pid")"
  kill -9 "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
}

restart() {
  server_alive && return 0
  local daemon port run_as=() charset=() tls=()
  server_options
  port="$(sed -n 's/^KELDARA_MYSQL_PORT=//p' "$STATE/env")"
  if ! launch_on_port; then
    echo "mariadb-server.sh: the server did not start again; see $STATE/server.log" >&2
    tail -20 "$STATE/server.log" >&2 || true
    exit 1
  fi
}

stop() {
  if server_alive; then
    local pid
    pid="$(cat "$STATE/pid")"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$STATE"
}

SAMPLE=0
DEFAULTS=0
TLS=0
for option in "${@:2}"; do
  case "$option" in
    --sample) SAMPLE=1 ;;
    --defaults) DEFAULTS=1 ;;
    --tls) TLS=1 ;;
  esac
done

case "${1:-}" in
  start) start; [ "$SAMPLE" = 1 ] && create_sample; true ;;
  stop) stop ;;
  env) running && print_env ;;
  kill) kill_server ;;
  restart) restart ;;
  *) echo "usage: $0 start [--sample] [--defaults] [--tls] | stop | env | kill | restart" >&2; exit 2 ;;
esac
