#!/usr/bin/env bash
# Runs a program under mpirun with the given number of processes, with the
# options a root account and a two-core machine need.
set -u
np="$1"
shift
opts=(-np "$np" --oversubscribe)
[ "$(id -u)" = 0 ] && opts+=(--allow-run-as-root)
export OMPI_MCA_btl_vader_single_copy_mechanism=none
exec timeout 100 mpirun "${opts[@]}" "$@"
