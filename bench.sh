#!/bin/sh
# Runs one benchmark: ./bench.sh NAME [ARGS...] runs tools/bench/NAME.sh.
# Without NAME (or with an unknown one) it lists the benchmarks there.
cd "$(dirname "$0")"
list() {
  echo "benchmarks (tools/bench/NAME.sh):"
  for f in tools/bench/*.sh; do
    [ -e "$f" ] || continue
    n=$(basename "$f" .sh)
    # The first comment line after the shebang says what it measures.
    printf '  %-16s %s\n' "$n" "$(sed -n '2s/^# *//p' "$f")"
  done
}
name=$1
if [ -z "$name" ] || [ "$name" = -h ] || [ "$name" = --help ]; then
  echo "usage: ./bench.sh NAME [ARGS...]"; list; exit 2
fi
case "$name" in */*|.*) echo "bench.sh: bad name: $name" >&2; list >&2; exit 2 ;; esac
if [ ! -f "tools/bench/$name.sh" ]; then
  echo "bench.sh: no benchmark named '$name'" >&2; list >&2; exit 2
fi
shift
exec sh "tools/bench/$name.sh" "$@"
