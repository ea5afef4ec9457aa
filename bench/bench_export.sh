#!/usr/bin/env bash
# Usage: bench/bench_export.sh BUILD_DIR [RUNS]
# aseview-export against `assimp export` on the million-face knot, in the same
# run: the median seconds and peak resident memory of each (/usr/bin/time);
# then a folder of small models exported in one call against one call per
# model, in milliseconds per model.
set -euo pipefail
build="$(realpath "$1")"
runs="${2:-5}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$build/bin/make_knot" knot1m.ase 1000000 >/dev/null

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# Prints "SECONDS KB" medians of the command's runs.
measure() {
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M' -o t.txt "$@" >/dev/null 2>&1
    cat t.txt
  done >runs.txt
  echo "$(cut -d' ' -f1 runs.txt | median) $(cut -d' ' -f2 runs.txt | median)"
}
read -r ours ours_kb < <(measure "$build/bin/aseview-export" knot1m.ase ours.glb)
read -r theirs theirs_kb < <(measure assimp export knot1m.ase theirs.glb)
echo "knot 1M faces: aseview-export ${ours} s ${ours_kb} KB, assimp ${theirs} s ${theirs_kb} KB," \
  "$(awk -v a="$theirs" -v b="$ours" 'BEGIN {printf "%.1f", a / b}')x faster"

mkdir models
for i in $(seq 100); do "$build/bin/make_knot" "models/m$i.ase" 2000 >/dev/null; done
one_call() { rm -rf out && "$build/bin/aseview-export" -j 1 -o out models; }
per_model() { for f in models/*.ase; do "$build/bin/aseview-export" "$f" out.glb; done; }
export -f one_call per_model
export build
for way in one_call per_model; do
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e' -o t.txt bash -c "$way" >/dev/null 2>&1
    cat t.txt
  done | median >"$way.txt"
done
echo "100 models of 2000 faces, one worker: one call $(awk '{printf "%.2f", $1 * 10}' one_call.txt) ms" \
  "a model, one call per model $(awk '{printf "%.2f", $1 * 10}' per_model.txt) ms a model"
