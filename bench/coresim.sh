# Sourced by the bench scripts: a seeded root served by coresim, stopped on exit.
#   start_coresim BUILD_DIR ROOT LOG [VAR=value ...]   sets core_pid
core_pid=""
stop_coresim() {
  [ -n "$core_pid" ] && kill -TERM "$core_pid" 2>/dev/null && wait "$core_pid" 2>/dev/null || true
  core_pid=""
}
start_coresim() {
  local build=$1 root=$2 log=$3; shift 3
  "$build/coresim" --seed "$root" >/dev/null
  env "$@" NVRWEB_ROOT="$root" "$build/coresim" 2>"$log" &
  core_pid=$!
  for _ in $(seq 100); do [ -S "$root/var/run/vxsocket" ] && return 0; sleep 0.05; done
  echo "coresim did not start (see $log)" >&2
  return 1
}
