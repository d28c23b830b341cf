# Preamble of the whole-program tests, sourced with the script's arguments:
# <pedkin> [<source dir>]; the script runs in a scratch directory removed on exit.
set -u
pedkin="$1"
source_dir="${2:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
simulate() { python3 "$source_dir/tools/simulate.py" "$@" || fail simulation; }
# The launcher of <np> processes: nothing for one, mpirun otherwise.
launcher() {
  launch=()
  if [ "${1:-1}" -gt 1 ]; then
    launch=(mpirun -np "$1" --oversubscribe)
    [ "$(id -u)" = 0 ] && launch+=(--allow-run-as-root)
    export OMPI_MCA_btl_vader_single_copy_mechanism=none
  fi
  return 0
}
# run_pedkin <dir> <project> [<np>]: the program on <dir>/<project>, screen in <dir>/run.log;
# a failed run shows its screen and error file.
run_pedkin() {
  launcher "${3:-1}"
  (cd "$1" && "${launch[@]}" "$pedkin" IFN:"$2" > run.log 2>&1) || {
    tr '\r' '\n' < "$1/run.log" | tail -40
    cat "$1/Pedkin2.ErrorMessage" 2> /dev/null
    fail "pedkin on $1/$2 with ${3:-1} process(es)"
  }
}
# The highest best log likelihood a screen log shows.
best() { tr '\r' '\n' < "$1" | sed -n 's/.*best log likelihood \(-*[0-9.]*\).*/\1/p' | sort -g | tail -1; }
