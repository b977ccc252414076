#!/bin/bash
# The store server side by side with nginx and a bare epoll server, in one run, on
# loopback: each server pinned to core 0, the load client to core 1, a new connection per
# request. Every row runs --repeat times (the servers taking turns); the table (see
# README.md) gives the median of each figure. Then the client library's call latency.
#
#   bench/compare.sh [--build DIR] [--seconds S] [--clients N] [--repeat N] [--get-only]
#                    [--costs-only] [--before DIR]
#
# Then, for the store and nginx, the system calls and allocations per request: a fixed
# number of requests one after another (bench/requests.py) while strace counts the
# server's calls and a preloaded counter (bench/AllocationCounter.cpp) its allocations.
# --get-only runs only the GET rows of the small files; --costs-only only the counts.
# --before DIR adds the store server of another build (row "before") to the GET rows and
# the counts, serving the same data folder, its rows taking turns with the others.
#
# The servers serve copies of the same files from a fresh folder under /tmp; nginx runs
# from a temporary configuration (one worker process, access log off) and is installed
# with apt-get when missing. Every server started here is stopped by its process id.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build/linux"
seconds=10
clients=32
repeat=3
get_only=0
costs_only=0
before=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --clients) clients=$2; shift 2 ;;
        --repeat) repeat=$2; shift 2 ;;
        --get-only) get_only=1; shift ;;
        --costs-only) costs_only=1; shift ;;
        --before) before=$(cd "$2" && pwd); shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--seconds S] [--clients N] [--repeat N]" \
            "[--get-only] [--costs-only] [--before DIR]" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
for program in server/pelorin bench/load_client bench/bare_server \
    bench/libbench_allocation_counter.so; do
    [ -x "$build/$program" ] || { echo "missing $build/$program: build it first" >&2; exit 1; }
done
if ! command -v nginx >/dev/null && [ ! -x /usr/sbin/nginx ]; then
    echo "installing nginx" >&2
    apt-get install -y nginx >/dev/null
fi
nginx_program=$(command -v nginx || echo /usr/sbin/nginx)
command -v strace >/dev/null || { echo "installing strace" >&2; apt-get install -y strace >/dev/null; }

cores=$(nproc)
server_core=0
client_core=$((cores > 1 ? 1 : 0))

work=$(mktemp -d /tmp/pelorin-compare-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# 1,000 idle connections and the load need more descriptors than the usual 1,024.
ulimit -n 8192 2>/dev/null || true

# The data: names without full stops, which the store drops from paths. The 1 GiB file
# lies in a folder of its own, which the bare server (it holds its files in memory) skips.
data="$work/data"
mkdir -p "$data/many" "$data/big"
head -c 1024 /dev/urandom >"$data/f1k"
head -c 65536 /dev/urandom >"$data/f64k"
head -c $((10 << 20)) /dev/urandom >"$data/f10m"
head -c $((1 << 30)) /dev/urandom >"$data/big/f1g"
head -c 1024 /dev/urandom >"$data/setme"
for i in $(seq -w 1 1000); do printf 'file %s\n' "$i" >"$data/many/n$i"; done
many_listing=$((1000 * (5 + 2)))  # "n0001" + CR LF per line
chmod -R a+rX "$work"              # the nginx worker runs as an unprivileged user

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_port() {
    for _ in $(seq 1 250); do
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
        sleep 0.02
    done
    echo "nothing listens on port $1" >&2
    return 1
}

# The store server: a copy of the program beside the data folder.
cp "$build/server/pelorin" "$work/pelorin"
pelorin_port=$(free_port)
# Both servers count their allocations (one relaxed increment each: no cost that shows).
counter="$build/bench/libbench_allocation_counter.so"
PELORIN_ALLOCATION_COUNT="$work/pelorin.allocations" LD_PRELOAD="$counter" \
    taskset -c $server_core "$work/pelorin" "/PORT$pelorin_port" /START </dev/null >/dev/null 2>&1 &
pelorin_pid=$!
pids+=("$pelorin_pid")

if [ -n "$before" ]; then
    # The same data folder, through /FOLDER=; it writes nothing there on GET.
    mkdir -p "$work/before"
    cp "$before/server/pelorin" "$work/before/pelorin"
    before_port=$(free_port)
    PELORIN_ALLOCATION_COUNT="$work/before.allocations" LD_PRELOAD="$counter" \
        taskset -c $server_core "$work/before/pelorin" "/PORT$before_port" "/FOLDER=$work" \
        /START </dev/null >/dev/null 2>&1 &
    before_pid=$!
    pids+=("$before_pid")
fi

nginx_port=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    default_type text/plain;
    types {}
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $data;
    }
}
EOF
PELORIN_ALLOCATION_COUNT="$work/nginx.allocations" LD_PRELOAD="$counter" \
    taskset -c $server_core "$nginx_program" -p "$work/nginx" -e "$work/nginx/error.log" \
    -c "$work/nginx/nginx.conf" &
nginx_pid=$!
pids+=("$nginx_pid")

bare_port=$(free_port)
taskset -c $server_core "$build/bench/bare_server" --port "$bare_port" --folder "$data" \
    --lifetime 3600 &
bare_pid=$!
pids+=("$bare_pid")

wait_for_port "$pelorin_port"
wait_for_port "$nginx_port"
wait_for_port "$bare_port"
[ -z "$before" ] || wait_for_port "$before_port"
# The nginx worker does the work; its master only waits.
nginx_worker=$(pgrep -P "$nginx_pid" | head -1)
[ -n "$nginx_worker" ] || { echo "no nginx worker" >&2; exit 1; }

results="$work/results"
: >"$results"
# run ROW-NAME PORT PIDS... -- LOAD-CLIENT-ARGUMENTS
run() {
    local row=$1 port=$2
    shift 2
    local pid_args=()
    while [ "$1" != "--" ]; do pid_args+=(--pid "$1"); shift; done
    shift
    local out
    out=$(taskset -c $client_core "$build/bench/load_client" --port "$port" \
        --clients "$clients" --seconds "$seconds" "${pid_args[@]}" --label "$row" "$@" || true)
    echo "$out" | grep -v '^RESULT' >&2
    local result
    result=$(echo "$out" | grep '^RESULT' || echo "RESULT rate=0 mbps=0 server_us=0 good=0 wrong=0 failures=0")
    echo "$row|$result" >>"$results"
}

set_row() {  # SET rows of the store alone: ROW-NAME LOAD-CLIENT-ARGUMENTS...
    local row=$1
    shift
    run "$row|pelorin" "$pelorin_port" "$pelorin_pid" -- --set /setme --expect 0 "$@"
}

rounds=$repeat
[ "$costs_only" = 1 ] && rounds=0
for round in $(seq 1 "$rounds"); do
    echo "round $round of $repeat" >&2
    for size in 1k 64k 10m; do
        case $size in 1k) bytes=1024 ;; 64k) bytes=65536 ;; 10m) bytes=$((10 << 20)) ;; esac
        run "GET $size|pelorin" "$pelorin_port" "$pelorin_pid" -- --get "/f$size" --expect $bytes
        [ -z "$before" ] ||
            run "GET $size|before" "$before_port" "$before_pid" -- --get "/f$size" --expect $bytes
        run "GET $size|nginx" "$nginx_port" "$nginx_worker" -- --get "/f$size" --expect $bytes
        run "GET $size|bare" "$bare_port" "$bare_pid" -- --get "/f$size" --expect $bytes
    done
    [ "$get_only" = 1 ] && continue
    for server in pelorin nginx; do
        if [ $server = pelorin ]; then port=$pelorin_port pid=$pelorin_pid; else port=$nginx_port pid=$nginx_worker; fi
        run "GET 1g, 4 clients|$server" "$port" "$pid" -- --get /big/f1g --expect $((1 << 30)) \
            --clients 4 --limit 60 --seconds $((seconds * 2))
    done
    set_row "SET 1k" --body-size 1024
    set_row "SET 100m, 4 clients" --body-size $((100 << 20)) --clients 4 --limit 60
    set_row "SET 1g" --body-size $((1 << 30)) --clients 1 --limit 120 --seconds $((seconds * 2))
    set_row "SET 1g, hang-up at half" --body-size $((1 << 30)) --hang-up-after $((1 << 29)) \
        --clients 1 --limit 60
    run "DIR 1000 files|pelorin" "$pelorin_port" "$pelorin_pid" -- --dir /many/ \
        --expect $many_listing
    run "GET 1k, 1000 idle|pelorin" "$pelorin_port" "$pelorin_pid" -- --get /f1k --expect 1024 \
        --idle 1000
done

if [ -s "$results" ]; then
echo
echo "$clients clients (unless the row says), ${seconds} s per row, a new connection per" \
    "request; server on core $server_core, load client on core $client_core; medians of" \
    "$repeat rounds"
awk -F'|' '
function field(text, key,    n, parts, i, kv) {
    n = split(text, parts, " ")
    for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] + 0 }
    return 0
}
function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
# The median of the values kept under `key` (count[key] of them).
function median(values, count, key,    i, j, v, n, sorted, t) {
    n = count[key]
    for (i = 1; i <= n; i++) sorted[i] = values[key, i]
    for (i = 2; i <= n; i++) {
        t = sorted[i]
        for (j = i - 1; j >= 1 && sorted[j] > t; j--) sorted[j + 1] = sorted[j]
        sorted[j + 1] = t
    }
    if (n == 0) return 0
    return n % 2 ? sorted[(n + 1) / 2] : (sorted[n / 2] + sorted[n / 2 + 1]) / 2
}
{
    key = $1 SUBSEP $2
    if (!(key in count)) { order[++n] = key; count[key] = 0 }
    i = ++count[key]
    rate[key, i] = field($3, "rate"); mbps[key, i] = field($3, "mbps")
    us[key, i] = field($3, "server_us"); peak[key, i] = field($3, "peak_kib") / 1024
    bad[key, i] = field($3, "wrong") + field($3, "failures")
}
END {
    for (k = 1; k <= n; k++) {
        key = order[k]
        mrate[key] = median(rate, count, key); mmbps[key] = median(mbps, count, key)
        mus[key] = median(us, count, key); mpeak[key] = median(peak, count, key)
        mbad[key] = median(bad, count, key)
    }
    printf "%-24s %-8s %9s %9s %9s %13s %9s %6s %9s %9s %7s\n", "row", "server", "answers/s", \
        "MB/s", "us/answer", "us range", "peak MiB", "errors", "rate/ngx", "us/ngx", "us/bare"
    for (k = 1; k <= n; k++) {
        key = order[k]; split(key, parts, SUBSEP); row = parts[1]
        low = us[key, 1]; high = us[key, 1]
        for (i = 2; i <= count[key]; i++) {
            if (us[key, i] < low) low = us[key, i]
            if (us[key, i] > high) high = us[key, i]
        }
        printf "%-24s %-8s %9.1f %9.1f %9.1f %13s %9.1f %6d %9s %9s %7s\n", row, parts[2], \
            mrate[key], mmbps[key], mus[key], sprintf("%.1f-%.1f", low, high), mpeak[key], \
            mbad[key], ratio(mrate[key], mrate[row, "nginx"]), ratio(mus[key], mus[row, "nginx"]), \
            ratio(mus[key], mus[row, "bare"])
    }
    base = mrate["GET 1k", "pelorin"]
    if (base > 0 && ("GET 1k, 1000 idle", "pelorin") in mrate) printf "\nGET 1k with 1000 idle connections: %.2f of the rate without them\n", \
        mrate["GET 1k, 1000 idle", "pelorin"] / base
}' "$results"
fi

# costs ROW SERVER PORT PID COUNT METHOD PATH [BODY-BYTES]: the server's system calls
# (strace -c over all its threads) and allocations per request, over COUNT requests one
# after another. The wait for events (epoll_wait) is shown apart: with one request at a
# time it wakes for each, under load one wait serves many.
costs() {
    local row=$1 server=$2 port=$3 pid=$4 count=$5
    shift 5
    local trace="$work/strace.out" log="$work/strace.log" allocations="$work/$server.allocations"
    : >"$log"
    strace -f -c -p "$pid" -o "$trace" 2>"$log" &
    local tracer=$!
    for _ in $(seq 1 250); do grep -q attached "$log" && break; sleep 0.02; done
    sleep 0.2  # the other threads' attaches
    local before after statuses
    before=$(od -An -t u8 -N 8 "$allocations" | tr -d ' ')
    statuses=$(taskset -c $client_core python3 "$here/requests.py" "$port" "$@" 2>&1 | tail -1)
    after=$(od -An -t u8 -N 8 "$allocations" | tr -d ' ')
    kill -INT "$tracer"
    wait "$tracer" 2>/dev/null || true
    awk -v row="$row" -v server="$server" -v n="$count" -v allocs=$((after - before)) \
        -v statuses="$statuses" '
        $NF == "total" { total = $4 + 0 }
        $NF == "epoll_wait" { waits = $4 + 0 }
        $NF != "total" && $NF != "epoll_wait" && $4 ~ /^[0-9]+$/ && $NF ~ /^[a-z_0-9]+$/ {
            calls[$NF] = $4 }
        END {
            list = ""
            for (name in calls) list = list sprintf(" %s %.1f", name, calls[name] / n)
            printf "%-22s %-8s %10.1f %10.1f %12.1f  %s |%s\n", row, server, (total - waits) / n, \
                waits / n, allocs / n, statuses, list
        }' "$trace"
}

echo
echo "system calls and allocations per request (one request at a time; the other calls" \
    "per request after the bar)"
printf "%-22s %-8s %10s %10s %12s  %s\n" "row" "server" "calls" "epoll_wait" "allocations" \
    "statuses"
for size in 1k 64k 10m; do
    n=200
    [ $size = 10m ] && n=20
    costs "GET $size" pelorin "$pelorin_port" "$pelorin_pid" $n GET "/f$size" $n
    [ -z "$before" ] || costs "GET $size" before "$before_port" "$before_pid" $n GET "/f$size" $n
    costs "GET $size" nginx "$nginx_port" "$nginx_worker" $n GET "/f$size" $n
done
costs "SET 1k" pelorin "$pelorin_port" "$pelorin_pid" 200 SET /setme 200 1024
costs "NEW" pelorin "$pelorin_port" "$pelorin_pid" 200 NEW "/made{n}" 200
costs "DEL" pelorin "$pelorin_port" "$pelorin_pid" 200 DEL "/made{n}" 200
costs "DIR 1000 files" pelorin "$pelorin_port" "$pelorin_pid" 50 DIR /many/ 50

# The client library's call latency against the same store server.
if [ "$costs_only" = 0 ] && [ -x "$build/bench/client-latency" ]; then
    echo
    echo "client library call latency (100 ms request delay):"
    taskset -c $client_core "$build/bench/client-latency" --port "$pelorin_port" --calls 10 || true
fi
