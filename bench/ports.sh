# Port helpers of the comparison scripts (sourced): whether something listens on a port,
# and waiting until something does.
port_in_use() { ss -Hltn "sport = :$1" | grep -q .; }
wait_for_port() {
  for _ in $(seq 100); do
    if port_in_use "$1"; then return 0; fi
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}
