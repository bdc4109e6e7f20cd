#!/usr/bin/env bash
# A throw-away three-node MariaDB Galera cluster on loopback, for tests and soak runs that
# need a cluster whose nodes can be killed and restarted.
#   galera-cluster.sh start        start the three nodes (temporary data folders, free ports)
#                                  joined as one cluster, and print its connection details
#   galera-cluster.sh stop         stop every node and remove the data folders
#   galera-cluster.sh env          print the connection details of the running cluster
#   galera-cluster.sh kill N       end node N (1-3) at once, as a crash would (kill -9)
#   galera-cluster.sh restart N    start node N again with an empty data folder; it rejoins
#                                  by a full state transfer from another node
# The details are shell variables: KELDARA_GALERA_SERVERS ("127.0.0.1:P1,127.0.0.1:P2,...")
# and KELDARA_MYSQL_HOST/_PORT/_USER/_PASSWORD naming node 1.
# State lives in $KELDARA_GALERA_STATE (default /tmp/keldara-galera).
set -euo pipefail

STATE="${KELDARA_GALERA_STATE:-/tmp/keldara-galera}"
USER_NAME="keldara"
PASSWORD="keldara-test"
NODES=3

find_provider() {
  for candidate in /usr/lib/galera/libgalera_smm.so /usr/lib/libgalera_smm.so; do
    [ -f "$candidate" ] && { echo "$candidate"; return; }
  done
  echo "galera-cluster.sh: no Galera provider found; run scripts/install-deps.sh" >&2
  exit 1
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

node_dir() { echo "$STATE/node$1"; }
node_port() { cat "$(node_dir "$1")/port"; }
node_pid_alive() {
  local pid_file comm
  pid_file="$(node_dir "$1")/pid"
  [ -f "$pid_file" ] || return 1
  comm="$(cat "/proc/$(cat "$pid_file")/comm" 2>/dev/null)" || return 1
  [ "$comm" = mariadbd ] || [ "$comm" = mysqld ]
}

client() {
  local node="$1"
  shift
  mariadb --no-defaults --socket="$(node_dir "$node")/mysqld.sock" -uroot "$@"
}

# The cluster address every node knows: the group communication ports of all nodes.
cluster_address() {
  local addresses=() n
  for n in $(seq 1 "$NODES"); do addresses+=("127.0.0.1:$(cat "$(node_dir "$n")/gcomm_port")"); done
  local IFS=,
  echo "gcomm://${addresses[*]}"
}

# Starts node N and waits until it has joined the cluster and serves (wsrep_ready = ON).
launch_node() {
  local node="$1" bootstrap="${2:-}" dir address run_as=()
  dir="$(node_dir "$node")"
  [ "$(id -u)" -eq 0 ] && run_as=(--user=root)
  address="$(cluster_address)"
  [ -n "$bootstrap" ] && address="gcomm://"
  mariadbd --no-defaults --datadir="$dir/data" "${run_as[@]}" \
    --bind-address=127.0.0.1 --port="$(node_port "$node")" --socket="$dir/mysqld.sock" \
    --pid-file="$dir/pid" --log-error="$dir/server.log" --skip-name-resolve \
    --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --innodb-buffer-pool-size=128M --innodb-flush-log-at-trx-commit=2 \
    --binlog-format=ROW --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 \
    --wsrep-on=ON --wsrep-provider="$(find_provider)" --wsrep-cluster-name=keldara \
    --wsrep-cluster-address="$address" --wsrep-node-name="node$node" \
    --wsrep-node-address="127.0.0.1:$(cat "$dir/gcomm_port")" \
    --wsrep-provider-options="gmcast.listen_addr=tcp://127.0.0.1:$(cat "$dir/gcomm_port");ist.recv_addr=127.0.0.1:$(cat "$dir/ist_port")" \
    --wsrep-sst-method=rsync --wsrep-sst-receive-address="127.0.0.1:$(cat "$dir/sst_port")" \
    >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 600); do
    if [ "$(client "$node" -N -e "SHOW STATUS LIKE 'wsrep_ready'" 2>/dev/null | cut -f2)" = ON ]; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "galera-cluster.sh: node $node did not join; see $dir/server.log" >&2
  tail -20 "$dir/server.log" >&2 || true
  exit 1
}

print_env() {
  local servers=() n
  for n in $(seq 1 "$NODES"); do servers+=("127.0.0.1:$(node_port "$n")"); done
  local IFS=,
  cat <<ENV
KELDARA_GALERA_SERVERS=${servers[*]}
KELDARA_MYSQL_HOST=127.0.0.1
KELDARA_MYSQL_PORT=$(node_port 1)
KELDARA_MYSQL_USER=$USER_NAME
KELDARA_MYSQL_PASSWORD=$PASSWORD
ENV
}

running() {
  local n
  for n in $(seq 1 "$NODES"); do node_pid_alive "$n" || return 1; done
  [ -f "$STATE/ready" ]
}

start() {
  if running; then print_env; return; fi
  stop
  local n dir run_as=()
  [ "$(id -u)" -eq 0 ] && run_as=(--user=root)
  for n in $(seq 1 "$NODES"); do
    dir="$(node_dir "$n")"
    mkdir -p "$dir/data"
    for kind in port gcomm_port ist_port sst_port; do free_port >"$dir/$kind"; done
  done
  # Tried twice: on a loaded machine the bootstrap server it starts has been seen to fail
  # once and then succeed. The cause is at the head of its log, not the tail.
  local tries
  for tries in 1 2; do
    rm -rf "$(node_dir 1)/data" && mkdir -p "$(node_dir 1)/data"
    mariadb-install-db --no-defaults --datadir="$(node_dir 1)/data" "${run_as[@]}" \
      --auth-root-authentication-method=socket --skip-test-db >"$STATE/install.log" 2>&1 && break
    echo "galera-cluster.sh: the first node's data folder could not be made (try $tries):" >&2
    head -30 "$STATE/install.log" >&2 || true
    [ "$tries" -eq 2 ] && exit 1
  done
  # A state transfer started as root runs its rsync daemon as an unprivileged user, which
  # must be able to write the joiners' data folders.
  chmod -R a+rwX "$STATE"
  launch_node 1 bootstrap
  client 1 -e "CREATE USER '$USER_NAME'@'127.0.0.1' IDENTIFIED BY '$PASSWORD';
               CREATE USER '$USER_NAME'@'localhost' IDENTIFIED BY '$PASSWORD';
               GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'127.0.0.1' WITH GRANT OPTION;
               GRANT ALL PRIVILEGES ON *.* TO '$USER_NAME'@'localhost' WITH GRANT OPTION;"
  for n in $(seq 2 "$NODES"); do launch_node "$n"; done
  touch "$STATE/ready"
  print_env
}

stop_node() {
  local node="$1" signal="${2:-TERM}" pid
  node_pid_alive "$node" || return 0
  pid="$(cat "$(node_dir "$node")/pid")"
  kill "-$signal" "$pid" 2>/dev/null || true
  for _ in $(seq 1 200); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
}

stop() {
  local n
  if [ -d "$STATE" ]; then
    for n in $(seq "$NODES" -1 1); do stop_node "$n"; done
  fi
  rm -rf "$STATE"
}

node_argument() {
  case "${1:-}" in
    1 | 2 | 3) echo "$1" ;;
    *) echo "galera-cluster.sh: name a node, 1 to $NODES" >&2; exit 2 ;;
  esac
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  env) [ -f "$STATE/ready" ] && print_env ;;
  kill) stop_node "$(node_argument "${2:-}")" 9 ;;
  restart)
    node="$(node_argument "${2:-}")"
    if ! node_pid_alive "$node"; then
      # The transfer's rsync daemon runs unprivileged: it can fill an empty folder but not
      # take over files the killed node left.
      rm -rf "$(node_dir "$node")/data"
      mkdir -p "$(node_dir "$node")/data"
      chmod -R a+rwX "$(node_dir "$node")"
      launch_node "$node"
    fi
    ;;
  *) echo "usage: $0 start | stop | env | kill N | restart N" >&2; exit 2 ;;
esac
