# Set-up shared by the benchmark scripts (sourced): the source root, the
# program, a scratch folder removed at exit, and the launcher of n processes.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
pedkin="${PEDKIN:-$root/build/pedkin}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The command that starts n processes under mpirun (empty for one).
launcher() {
  [ "$1" -gt 1 ] || return 0
  local launch="mpirun -np $1"
  [ "$(id -u)" = 0 ] && launch="$launch --allow-run-as-root --oversubscribe"
  echo "$launch"
}
