#!/usr/bin/env bash
# Soak of the transfer against a server that dies: keldara-cli runs each action while the
# server is killed (kill -9) at a random moment and started again; afterwards the target table
# is compared with the source value for value. Not part of CI (it takes minutes).
#   bench/soak-kill.sh [--kills N] [--retry-for S] [--only ACTION] [--bulk-records N] [--cluster] [--build DIR]
# --kills N      kills per action (default 20)
# --retry-for S  keldara-cli's --retry-for (default 60); 0: retries off, and then the run's
#                message must match the table (the records it says are written are there, none
#                after those it says may have been)
# --only ACTION  only the runs of this action (insert, merge, bulk, ...)
# --bulk-records N  records per bulk run (default 1,000,000)
# --cluster      a three-node Galera cluster (scripts/galera-cluster.sh) instead of one server:
#                the node in use is killed, and every node's table is compared
# Prints one line per run and a summary line per action:
#   action runs kills lost duplicated wrong-values message-mismatches
set -euo pipefail

KILLS=20
RETRY=60
CLUSTER=0
ONLY=""
BULK_RECORDS=1000000
BUILD=build
while [ $# -gt 0 ]; do
  case "$1" in
    --kills) KILLS="$2"; shift ;;
    --retry-for) RETRY="$2"; shift ;;
    --cluster) CLUSTER=1 ;;
    --only) ONLY="$2"; shift ;;
    --bulk-records) BULK_RECORDS="$2"; shift ;;
    --build) BUILD="$2"; shift ;;
    *) echo "usage: $0 [--kills N] [--retry-for S] [--only ACTION] [--bulk-records N] [--cluster] [--build DIR]" >&2; exit 2 ;;
  esac
  shift
done

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$ROOT/$BUILD/keldara-cli"
PROFILE_TOOL="$ROOT/$BUILD/keldara-profile"
WORK="$(mktemp -d /tmp/keldara-soak.XXXXXX)"
export KELDARA_DB_STATE="$WORK/server" KELDARA_GALERA_STATE="$WORK/cluster"
trap 'if [ "$CLUSTER" = 1 ]; then bash "$ROOT/scripts/galera-cluster.sh" stop; else bash "$ROOT/scripts/mariadb-server.sh" stop; fi; rm -rf "$WORK"' EXIT

if [ "$CLUSTER" = 1 ]; then
  eval "$(bash "$ROOT/scripts/galera-cluster.sh" start)"
  SERVERS="$KELDARA_GALERA_SERVERS"
else
  eval "$(bash "$ROOT/scripts/mariadb-server.sh" start)"
  SERVERS="127.0.0.1:$KELDARA_MYSQL_PORT"
fi
IFS=, read -r -a NODES <<<"$SERVERS"

sql() {  # sql HOST:PORT STATEMENTS...
  local node="$1"; shift
  mariadb --no-defaults -h "${node%:*}" -P "${node#*:}" -u keldara -pkeldara-test -N -B soak -e "$*"
}
live_nodes() {
  local node
  for node in "${NODES[@]}"; do sql "$node" "SELECT 1" >/dev/null 2>&1 && echo "$node"; done
}
sql "${NODES[0]}" "SELECT 1" >/dev/null 2>&1 ||
  mariadb --no-defaults -h 127.0.0.1 -P "${NODES[0]#*:}" -u keldara -pkeldara-test -e "CREATE DATABASE soak"

# The source: ROWS records "id,name,amount"; the expected table as the client prints it.
make_source() {
  python3 - "$1" "$2" <<'PY'
import sys
rows, out = int(sys.argv[1]), sys.argv[2]
with open(out + ".csv", "w", encoding="utf-8") as csv, open(out + ".tsv", "w", encoding="utf-8") as tsv:
    csv.write("id,name,amount\n")
    for i in range(1, rows + 1):
        name = f"n{i} O'Brien é" if i % 3 else f"n{i}"
        csv.write(f'{i},"{name}",{i * 1.25:.2f}\n')
        tsv.write(f"{i}\t{name}\t{i * 1.25:.2f}\n")
PY
}
make_source 60000 "$WORK/small"
make_source "$BULK_RECORDS" "$WORK/large"

# action table-definition prefill source
ACTIONS=(
  "insert|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|none|small"
  "insert|id INT, name VARCHAR(40), amount DECIMAL(12,2), KEY (id)) ENGINE=InnoDB|none|small"
  "merge|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|all|small"
  "upsert|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|half|small"
  "bulk|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|none|large"
  "bulk|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=MyISAM|none|large"
  "bulk-merge|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|all|large"
  "bulk-upsert|id INT PRIMARY KEY, name VARCHAR(40), amount DECIMAL(12,2)) ENGINE=InnoDB|half|large"
)
if [ "$CLUSTER" = 1 ]; then ACTIONS=("${ACTIONS[0]}" "${ACTIONS[4]}" "${ACTIONS[6]}"); fi

kill_in_use() {  # the node whose port the run's connection uses
  if [ "$CLUSTER" = 0 ]; then bash "$ROOT/scripts/mariadb-server.sh" kill; echo 0; return; fi
  local i
  for i in "${!NODES[@]}"; do
    if sql "${NODES[$i]}" "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE DB='soak' AND INFO IS NOT NULL AND ID <> CONNECTION_ID()" 2>/dev/null | grep -qv '^0$'; then
      bash "$ROOT/scripts/galera-cluster.sh" kill $((i + 1)); echo "$i"; return
    fi
  done
  bash "$ROOT/scripts/galera-cluster.sh" kill 1; echo 0
}
restart_node() {
  if [ "$CLUSTER" = 0 ]; then bash "$ROOT/scripts/mariadb-server.sh" restart; else bash "$ROOT/scripts/galera-cluster.sh" restart $(($1 + 1)); fi
}

for entry in "${ACTIONS[@]}"; do
  IFS='|' read -r action definition prefill size <<<"$entry"
  [ -n "$ONLY" ] && [ "$action" != "$ONLY" ] && continue
  rows=$(wc -l <"$WORK/$size.tsv")
  engine="${definition##*ENGINE=}"; key=$([[ "$definition" == *"PRIMARY KEY"* ]] && echo key || echo nokey)
  runs=0 kills=0 lost=0 duplicated=0 wrong=0 mismatches=0
  span=""
  run=-1
  # Run 0 measures the run's length without a kill; runs go on until KILLS of them were killed
  # (a run that ends before its moment is compared all the same), at most 3 x KILLS runs.
  while [ "$kills" -lt "$KILLS" ] && [ "$runs" -lt $((3 * KILLS)) ]; do
    run=$((run + 1))
    node0="$(live_nodes | sed -n 1p)"  # sed reads on: head would end live_nodes by SIGPIPE
    sql "$node0" "DROP TABLE IF EXISTS t; CREATE TABLE t ($definition"
    case "$prefill" in
      all) sql "$node0" "INSERT INTO t SELECT seq, 'old', 0 FROM seq_1_to_$rows" ;;
      half) sql "$node0" "INSERT INTO t SELECT seq, 'old', 0 FROM seq_1_to_$((rows / 2))" ;;
    esac
    "$PROFILE_TOOL" "$WORK/job.pro" --source-file "$WORK/$size.csv" --source-table "$size.csv" \
      --server "$SERVERS" --port 3306 --user keldara --password keldara-test --database soak --table t
    match=(); [[ "$action" == *merge* || "$action" == *upsert* ]] && match=(--match id)
    "$CLI" run "$WORK/job.pro" --action "$action" "${match[@]}" --retry-for "$RETRY" \
      --progress 0 >"$WORK/out" 2>"$WORK/err" &
    cli=$!
    if [ -z "$span" ]; then
      started=$(date +%s.%N); wait "$cli"; span=$(python3 -c "print($(date +%s.%N) - $started)")
      echo "$action $engine $key: an unkilled run takes $span s" >&2
      continue
    fi
    # A random moment within the length of a run without a kill.
    sleep "$(python3 -c "import random; print(round(random.uniform(0.05, 0.6) * $span, 2))")"
    killed=-1
    if kill -0 "$cli" 2>/dev/null; then killed="$(kill_in_use)"; kills=$((kills + 1)); fi
    if [ "$killed" -ge 0 ]; then sleep 1; restart_node "$killed" >/dev/null; fi
    status=0; wait "$cli" || status=$?
    runs=$((runs + 1))
    if [ "$status" -ne 0 ]; then sed "s/^/  run $run said: /" "$WORK/err" >&2; fi
    for node in $(live_nodes); do
      sql "$node" "SET SESSION wsrep_sync_wait = 1" 2>/dev/null || true
      # A MyISAM table written when its server was killed may be marked crashed: repaired
      # first, as its owner would, and said.
      if ! sql "$node" "SELECT id, name, amount FROM t ORDER BY id" >"$WORK/got" 2>"$WORK/sqlerr"; then
        sed "s/^/  run $run, comparing: /" "$WORK/sqlerr" >&2
        grep -q "marked as crashed" "$WORK/sqlerr" && sql "$node" "REPAIR TABLE t" >&2
        sql "$node" "SELECT id, name, amount FROM t ORDER BY id" >"$WORK/got"
      fi
      read -r l d w <<<"$(python3 - "$WORK/$size.tsv" "$WORK/got" "$prefill" <<'PY'
import sys, collections
want = {l.split("\t")[0]: l.rstrip("\n") for l in open(sys.argv[1], encoding="utf-8")}
got = [l.rstrip("\n") for l in open(sys.argv[2], encoding="utf-8")]
ids = collections.Counter(l.split("\t")[0] for l in got)
dup = sum(c - 1 for c in ids.values())
present = {l.split("\t")[0]: l for l in got}
lost = sum(1 for i in want if i not in present or present[i].split("\t")[1] == "old")
wrong = sum(1 for i, l in present.items() if i in want and l != want[i] and l.split("\t")[1] != "old")
print(lost, dup, wrong)
PY
)"
      if [ "$RETRY" = 0 ] && [ "$status" -ne 0 ]; then
        # The message's numbers: records 1..written are there, none after may-have-been.
        if ! python3 - "$WORK/err" "$WORK/got" "$prefill" <<'PY'
import re, sys
err = open(sys.argv[1], encoding="utf-8").read()
got = [l.split("\t") for l in open(sys.argv[2], encoding="utf-8")]
done = [int(l[0]) for l in got if l[1] != "old"]
m = re.search(r"records 1 to (\d+) are written", err)
written = int(m.group(1)) if m else 0
m = re.search(r"records? (\d+)(?: to (\d+))? may or may not have been written", err)
last = int(m.group(2) or m.group(1)) if m else written
if "run is undone" in err or "nothing was sent" in err:
    last = written = 0 if not done or sys.argv[3] != "none" else written
ok = all(1 <= i <= last for i in done) and set(range(1, written + 1)) <= set(done)
sys.exit(0 if ok else 1)
PY
        then mismatches=$((mismatches + 1)); fi
        l=0; d=0; w=0  # a run ended by the loss is not expected to be whole
      fi
      lost=$((lost + l)); duplicated=$((duplicated + d)); wrong=$((wrong + w))
      echo "$action $engine $key run $run: exit $status, killed $([ "$killed" -ge 0 ] && echo yes || echo no), node $node: lost $l, duplicated $d, wrong $w" >&2
    done
  done
  echo "$action $engine $key retry-for=$RETRY runs=$runs kills=$kills lost=$lost duplicated=$duplicated wrong=$wrong message-mismatches=$mismatches"
done
