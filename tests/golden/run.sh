#!/usr/bin/env bash
# End-to-end runner: runs the built zel on every case below tests/golden (and
# on the solver certificates in tests/corpus) and compares the exit status and
# standard output byte for byte.
#
# A case is NAME.cert in a group folder, with
#   NAME.qdimacs  the formula (optional: without it zel gets the certificate alone)
#   NAME.args     instead of the default arguments: the whole argument list, one
#                 argument per line (an empty line is an empty argument), run in
#                 the case's folder
#   NAME.expect   the exit status
#   NAME.out      the exact standard output (optional in tests/corpus, where the
#                 verdict line is checked instead)
# Timing figures of --d runs are masked before comparing. A file that belongs to
# no case fails the run, so nothing is silently left out (tests/golden/generate
# writes some of the cases).
#
# Usage: tests/golden/run.sh [path/to/zel] [case-filter-regex]
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
zel=${1:-$root/build/zel}
filter=${2:-}
zel=$(cd "$(dirname "$zel")" && pwd)/$(basename "$zel")
[ -x "$zel" ] || { echo "no zel binary at $zel" >&2; exit 2; }

passed=0
failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mask() {
  sed -E -e 's/^(SAT TIME|TOT TIME): .* sec\.$/\1: <masked> sec./' \
         -e 's/^SAT PERCENTAGE: .* %$/SAT PERCENTAGE: <masked> %/'
}

run_case() {  # folder name kind
  local dir=$1 name=$2 kind=$3
  local -a args=()
  if [ -f "$dir/$name.args" ]; then
    mapfile -t args < "$dir/$name.args"
  else
    [ -f "$dir/$name.qdimacs" ] && args+=("$name.qdimacs")
    args+=("$name.cert")
  fi
  local expect
  expect=$(tr -d ' \n\r' < "$dir/$name.expect")
  local status
  (cd "$dir" && timeout 120 "$zel" "${args[@]}" 2>/dev/null > "$scratch/raw")
  status=$?
  mask < "$scratch/raw" > "$scratch/actual"
  local ok=1 why=""
  if [ "$status" != "$expect" ]; then
    ok=0; why="exit status $status, expected $expect"
  elif [ -f "$dir/$name.out" ]; then
    mask < "$dir/$name.out" > "$scratch/expected"
    if ! cmp -s "$scratch/expected" "$scratch/actual"; then
      ok=0; why="output differs:"$'\n'"$(diff "$scratch/expected" "$scratch/actual" | head -20)"
    fi
  elif [ "$kind" = corpus ]; then
    local verdict
    case "$expect" in
      10) verdict="Certificate validated correctly." ;;
      20) verdict="Certificate erroneous." ;;
      *) verdict="" ;;
    esac
    if [ -n "$verdict" ] && [ "$(tail -n 1 "$scratch/actual")" != "$verdict" ]; then
      ok=0; why="last line is not '$verdict'"
    fi
  else
    ok=0; why="no $name.out"
  fi
  if [ $ok = 1 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL ${dir#$root/}/$name: $why"
    printf '  reproduce: (cd %q && %q' "$dir" "$zel"
    printf ' %q' "${args[@]}"
    printf ')\n'
  fi
}

for base in "$root/tests/golden" "$root/tests/corpus"; do
  [ -d "$base" ] || continue
  kind=golden
  [ "$base" = "$root/tests/corpus" ] && kind=corpus
  while IFS= read -r dir; do
    declare -A cases=()
    for file in "$dir"/*.cert "$dir"/*.args; do
      [ -e "$file" ] || continue
      name=$(basename "$file"); name=${name%.*}
      cases[$name]=1
    done
    for file in "$dir"/*; do
      [ -f "$file" ] || continue
      case "$file" in */run.sh|*/generate|*/README.md|*/MANIFEST.tsv) continue ;; esac
      name=$(basename "$file"); stem=${name%.*}
      case "$name" in *.cert|*.qdimacs|*.args|*.expect|*.out) ;; *) stem="" ;; esac
      if [ -z "$stem" ] || [ -z "${cases[$stem]:-}" ]; then
        echo "FAIL ${file#$root/}: belongs to no case"
        failed=$((failed + 1))
      fi
    done
    for name in $(printf '%s\n' "${!cases[@]}" | sort); do
      if [ -n "$filter" ] && ! [[ "${dir#$root/}/$name" =~ $filter ]]; then continue; fi
      if [ ! -f "$dir/$name.expect" ]; then
        echo "FAIL ${dir#$root/}/$name: no $name.expect"
        failed=$((failed + 1))
        continue
      fi
      run_case "$dir" "$name" "$kind"
    done
    unset cases
  done < <(find "$base" -type d | sort)
done

echo "end-to-end: $passed passed, $failed failed"
[ "$failed" = 0 ]
