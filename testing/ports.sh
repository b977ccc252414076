# Loopback ports for the shell tests, sourced by each.

# listening PORT: true when something accepts connections on the port.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# free_port: a port nobody listens on, in $port, starting from one that differs from run
# to run.
free_port() {
    port=$((20000 + $$ % 20000))
    for _ in $(seq 1 200); do
        listening "$port" || return 0
        port=$((port + 1))
    done
}
