#!/usr/bin/env bash
# Runs every benchmark and writes bench/RESULTS.md.
#   bash bench/run.sh [--quick]
# Installs the reference tools the benchmarks compare with (Debian's packages, and DuckDB's
# Node package into build-bench/node-references), builds a Release build in
# build-bench/, starts a throw-away MariaDB server (state in build-bench/bench-mariadb), runs
# each keldara_*_bench program (with --quick: smaller data, one round), collects their RESULT
# lines and writes the table, the machine and the command into bench/RESULTS.md, followed by
# bench/NOTES.md. A benchmark that fails is listed as failed; the others still run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"
results="$root/bench/RESULTS.md"
logs="$build/bench-logs"
command_line="bash bench/run.sh${1:+ $*}"

# Five rounds a figure unless told otherwise: enough to give each figure's spread.
export KELDARA_BENCH_ROUNDS="${KELDARA_BENCH_ROUNDS:-5}"
quick=()
for option in "$@"; do
  case "$option" in
    --quick) quick=(--quick); export KELDARA_BENCH_ROUNDS=1 ;;
    *) echo "usage: bash bench/run.sh [--quick]" >&2; exit 2 ;;
  esac
done

install_reference_tools() {
  local packages=(python3 python3-pandas python3-xlwt python3-xlrd python3-dbfread mdbtools
                  python3-openpyxl python3-xlsxwriter python3-odf libreoffice-calc-nogui
                  mariadb-client mariadb-server)
  local missing=() package
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# DuckDB, the CSV load's second reference, comes as its Node package (with its native library
# inside) into build-bench/node-references. Without npm, or when the install fails, the CSV
# benchmark leaves that figure out with an INFO line.
duckdb_package="@duckdb/node-api@1.5.6-r.1"
install_node_references() {
  local prefix="$build/node-references"
  if ! command -v npm >/dev/null; then
    echo "npm is not installed: the CSV load is not compared with DuckDB" >&2
    return
  fi
  npm ls --prefix "$prefix" "$duckdb_package" >/dev/null 2>&1 && return
  echo "Installing: $duckdb_package"
  npm install --prefix "$prefix" --no-audit --no-fund --silent "$duckdb_package" ||
    echo "$duckdb_package did not install: the CSV load is not compared with DuckDB" >&2
}

# Configures the Release build and builds every benchmark program it can; one that does not
# build is reported as failed later, for want of its program.
build_benchmarks() {
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  local target
  for target in $(benchmark_targets); do
    cmake --build "$build" --target "$target" >"$logs/$target.build.log" 2>&1 ||
      echo "$target does not build; see $logs/$target.build.log" >&2
  done
}

benchmark_targets() {
  ninja -C "$build" -t targets all | sed -n 's/^\(keldara_[a-z0-9_]*_bench\): .*/\1/p' | sort -u
}

start_server() {
  export KELDARA_DB_STATE="$build/bench-mariadb"
  eval "$(bash "$root/scripts/mariadb-server.sh" start)"
  export KELDARA_MYSQL_HOST KELDARA_MYSQL_PORT KELDARA_MYSQL_USER KELDARA_MYSQL_PASSWORD
  trap 'bash "$root/scripts/mariadb-server.sh" stop' EXIT
  server_version="$(mariadb --no-defaults -h "$KELDARA_MYSQL_HOST" -P "$KELDARA_MYSQL_PORT" \
    -u "$KELDARA_MYSQL_USER" -p"$KELDARA_MYSQL_PASSWORD" -N -e 'SELECT VERSION()')"
}

# Runs one benchmark; its RESULT and INFO lines go to the collected files, or a failed row
# when it ends with an error or reports nothing.
run_benchmark() {
  local target="$1" program="$build/bench/$1" status=0
  echo "== $target" >&2
  if [ ! -x "$program" ]; then
    printf '%s\tdoes not build (see build-bench/bench-logs/%s.build.log)\n' "$target" "$target" >>"$logs/failed"
    return
  fi
  "$program" "${quick[@]}" >"$logs/$target.out" 2>"$logs/$target.err" || status=$?
  grep '^RESULT' "$logs/$target.out" | tee -a "$logs/results" >&2 || true
  grep '^INFO' "$logs/$target.out" >>"$logs/info" || true
  if [ "$status" -ne 0 ]; then
    local reason
    reason="$(tail -n 3 "$logs/$target.err" | tr '\n\t|' '   ')"
    printf '%s\texit status %s: %s\n' "$target" "$status" "$reason" >>"$logs/failed"
    echo "$target failed (status $status)" >&2
  elif ! grep -q '^RESULT' "$logs/$target.out"; then
    printf '%s\tprinted no RESULT line\n' "$target" >>"$logs/failed"
    echo "$target printed no RESULT line" >&2
  fi
}

machine() {
  local cpu memory os
  cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
  memory="$(awk '/^MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo)"
  os="$(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "- CPU: $cpu, $(nproc) cores"
  echo "- Memory: $memory"
  echo "- OS: $os, kernel $(uname -r)"
  echo "- MariaDB server: $server_version"
  echo "- Compiler: $(c++ --version | head -n 1)"
  echo "- Load average when the benchmarks began: $load_at_start"
}

write_results() {
  {
    echo "# Benchmark results"
    echo
    echo "Written by \`$command_line\` on $(date -u '+%Y-%m-%d %H:%M UTC') (rounds per figure: ${KELDARA_BENCH_ROUNDS}, the median is shown)."
    echo
    machine
    echo
    echo "Each figure is measured against its reference in the same run on the same machine;"
    echo "ratio = ours / reference, and the target is met when the ratio is at most the target."
    echo
    echo "| benchmark | measure | ours | reference | reference value | ratio | target | result |"
    echo "|---|---|---:|---|---:|---:|---:|---|"
    if [ -f "$logs/results" ]; then
      awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", $2, $3, $4, $5, $6, $7, $8, $9 }' "$logs/results"
    fi
    if [ -f "$logs/failed" ]; then
      awk -F'\t' '{ printf "| %s | | | | | | | failed: %s |\n", $1, $2 }' "$logs/failed"
    fi
    if [ -f "$logs/info" ]; then
      echo
      echo "Further figures:"
      echo
      awk -F'\t' '{ printf "- %s: %s\n", $2, $3 }' "$logs/info"
    fi
    if [ -f "$root/bench/NOTES.md" ]; then
      echo
      cat "$root/bench/NOTES.md"
    fi
  } >"$results"
}

install_reference_tools
mkdir -p "$build"
install_node_references
rm -rf "$logs"
mkdir -p "$logs"
build_benchmarks
start_server
load_at_start="$(cut -d ' ' -f 1-3 /proc/loadavg)"
for target in $(benchmark_targets); do run_benchmark "$target"; done
write_results
echo "Wrote $results" >&2
