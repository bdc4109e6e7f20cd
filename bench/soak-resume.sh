#!/usr/bin/env bash
# Soak of a resumed run that empties the target: keldara-cli loads a large CSV file by bulk
# insert into an InnoDB table holding old rows, emptying it first, with --resume; the program is
# killed (kill -9) after a moment and the same command started again at once, while the server
# may still be undoing the killed run's transaction. Afterwards the server must be alive and the
# table hold exactly the source's records, none of the old rows. Also a held-lock case: a merge
# whose rows another session holds locked must end within its --retry-for. Not part of CI.
#   bench/soak-resume.sh [--kills N] [--records N] [--kill-after S] [--build DIR]
# The server runs with MariaDB's compiled-in defaults (a 128 MB buffer pool).
# Prints one line per kill and a summary line:
#   empty-resume kills N server-deaths D wrong-tables W
#   held-lock retry-for R ended-after S exit E
set -euo pipefail

KILLS=10
RECORDS=2000000
KILL_AFTER=1.5
BUILD=build
while [ $# -gt 0 ]; do
  case "$1" in
    --kills) KILLS="$2"; shift ;;
    --records) RECORDS="$2"; shift ;;
    --kill-after) KILL_AFTER="$2"; shift ;;
    --build) BUILD="$2"; shift ;;
    *) echo "usage: $0 [--kills N] [--records N] [--kill-after S] [--build DIR]" >&2; exit 2 ;;
  esac
  shift
done

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CLI="$ROOT/$BUILD/keldara-cli"
PROFILE_TOOL="$ROOT/$BUILD/keldara-profile"
WORK="$(mktemp -d /tmp/keldara-soak-resume.XXXXXX)"
export KELDARA_DB_STATE="$WORK/server"
trap 'bash "$ROOT/scripts/mariadb-server.sh" stop >/dev/null 2>&1 || true; rm -rf "$WORK"' EXIT
eval "$(bash "$ROOT/scripts/mariadb-server.sh" start --defaults)"

sql() {
  mariadb --no-defaults -h 127.0.0.1 -P "$KELDARA_MYSQL_PORT" -u keldara -pkeldara-test -N -B "$@"
}
sql -e "CREATE DATABASE soak"
python3 - "$RECORDS" "$WORK/large.csv" <<'PY'
import sys
rows, out = int(sys.argv[1]), sys.argv[2]
with open(out, "w", encoding="utf-8") as csv:
    csv.write("id,name,amount\n")
    for i in range(1, rows + 1):
        csv.write(f'{i},"n{i} O\'Brien",{i * 1.25:.2f}\n')
PY
expected="$RECORDS	$((RECORDS * (RECORDS + 1) / 2))	0"
"$PROFILE_TOOL" "$WORK/job.pro" --source-file "$WORK/large.csv" --source-table "large.csv" \
  --server 127.0.0.1 --port "$KELDARA_MYSQL_PORT" --user keldara --password keldara-test \
  --database soak --table t

deaths=0 wrong=0
for kill in $(seq 1 "$KILLS"); do
  sql soak -e "DROP TABLE IF EXISTS t; CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(40),
    amount DECIMAL(12,2), old INT) ENGINE=InnoDB; INSERT INTO t SELECT seq, 'old', 0, 1 FROM seq_1_to_1000"
  rm -f "$WORK/run.state"
  command=("$CLI" run "$WORK/job.pro" --action bulk --empty-target --resume "$WORK/run.state" --progress 0)
  "${command[@]}" >/dev/null 2>"$WORK/err1" &
  cli=$!
  sleep "$KILL_AFTER"
  kill -9 "$cli" 2>/dev/null || true
  wait "$cli" 2>/dev/null || true
  status=0
  "${command[@]}" >/dev/null 2>"$WORK/err2" || status=$?
  if ! sql -e "SELECT 1" >/dev/null 2>&1; then
    deaths=$((deaths + 1))
    echo "kill $kill: the server died; its log:" && tail -5 "$WORK/server/server.log"
    bash "$ROOT/scripts/mariadb-server.sh" restart --defaults >/dev/null
    continue
  fi
  table="$(sql soak -e "SELECT COUNT(*), SUM(id), COUNT(old) FROM t")"
  if [ "$status" -ne 0 ] || [ "$table" != "$expected" ]; then
    wrong=$((wrong + 1))
    echo "kill $kill: exit $status, table \"$table\" (expected \"$expected\"): $(tail -2 "$WORK/err2")"
  else
    echo "kill $kill: whole ($(grep -o 'resuming after record [0-9]*\|starts again from the first' "$WORK/err2" | head -1))"
  fi
done
echo "empty-resume kills $KILLS server-deaths $deaths wrong-tables $wrong"

# Held lock: another session keeps the rows a merge would update locked.
sql soak -e "DROP TABLE IF EXISTS t; CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(40),
  amount DECIMAL(12,2)) ENGINE=InnoDB; INSERT INTO t SELECT seq, 'old', 0 FROM seq_1_to_10"
printf 'id,name,amount\n1,a,1\n2,b,2\n' >"$WORK/two.csv"
"$PROFILE_TOOL" "$WORK/lock.pro" --source-file "$WORK/two.csv" --source-table "two.csv" \
  --server 127.0.0.1 --port "$KELDARA_MYSQL_PORT" --user keldara --password keldara-test \
  --database soak --table t
(echo "START TRANSACTION; SELECT * FROM t WHERE id = 2 FOR UPDATE;"; sleep 600) |
  mariadb --no-defaults -h 127.0.0.1 -P "$KELDARA_MYSQL_PORT" -u keldara -pkeldara-test soak >/dev/null &
holder=$!
sleep 1
started=$(date +%s.%N)
status=0
timeout 600 "$CLI" run "$WORK/lock.pro" --action merge --match id --retry-for 10 --progress 0 \
  >/dev/null 2>"$WORK/lock.err" || status=$?
ended=$(python3 -c "print(round($(date +%s.%N) - $started, 1))")
kill "$holder" 2>/dev/null || true
echo "held-lock retry-for 10 ended-after $ended exit $status: $(tail -1 "$WORK/lock.err")"
