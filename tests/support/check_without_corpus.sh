#!/usr/bin/env bash
# A clone alone, without the shared corpus: every test program of BUILD that
# reads the corpus (those holding the helper's skip line) is pointed at a
# folder that is not there and must list its cases; all but the end-to-end
# programs, whose cases start viewers and skip the same way, are run too and
# must pass with the cases that need the corpus skipped.
# Usage: tests/support/check_without_corpus.sh BUILD
set -euo pipefail
build="$(cd "$1" && pwd)"
export ASEVIEW_CORPUS="$build/no-corpus"
[ ! -e "$ASEVIEW_CORPUS" ]

mapfile -t programs < <(find "$build/tests" -type f -perm -u+x -exec grep -ls "no corpus at " {} +)
[ ${#programs[@]} -gt 0 ] || { echo "no test program of $build reads the corpus" >&2; exit 1; }
listed=0 skipped=0
for p in "${programs[@]}"; do
  cd "$(dirname "$p")"
  if ! "$p" --gtest_list_tests >/dev/null 2>&1; then
    echo "without the corpus, $p fails to list its cases" >&2
    exit 1
  fi
  listed=$((listed + 1))
  case "$p" in *_e2e_*) continue ;; esac
  if ! out=$("$p" --gtest_brief=1 2>&1); then
    echo "$out" >&2
    echo "without the corpus, $p fails" >&2
    exit 1
  fi
  n=$(grep -c "^no corpus at " <<<"$out" || true)
  [ "$n" -gt 0 ] || { echo "without the corpus, $p skips nothing" >&2; exit 1; }
  skipped=$((skipped + n))
done
echo "without the corpus: $listed programs list their cases, $skipped cases skip"
