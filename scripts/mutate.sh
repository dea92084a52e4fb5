#!/usr/bin/env bash
# Puts deliberate faults into a copy of the program one at a time and runs
# the test suite against each: a suite that still passes has missed a fault.
#
#   scripts/mutate.sh [--rev REV] [--work DIR] [--table FILE] [--only 3,7,12] [--keep] [--check]
#
# --rev measures a committed revision (git archive) instead of the working
# tree, e.g. the suite before a change; the table is always the current one.
# --work DIR goes on in the folder of an earlier run kept with --keep (or
# killed): its sources and tests are set to REV and only what changed is
# rebuilt.
# --check only applies and reverts each fault (no build): a quick test that
# the table still matches the code.
#
# The faults are scripts/mutations.txt (file | exact text | replacement |
# what | tests to run first). The tests named last are run first, as they
# are the likely catchers; only when they pass does the rest of the suite
# run, so a missed fault has met every test. Each text must occur exactly once; one that does not is reported
# NOT APPLIED and fails the run, so the table follows the code. A fault that
# does not build is "not a valid mutant" and is not counted. Ends non-zero
# below 90 % caught or when a fault could not be applied.
#
# The working tree is never touched: the tracked and new files are copied
# into a temporary folder, configured once with the ci preset and rebuilt
# incrementally per fault. The vsftpd and proftpd server tests (root only,
# they make a system login) are left to CI.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
table=$root/scripts/mutations.txt
only=""
rev=""
reuse=""
keep=0
check=0
while [ $# -gt 0 ]; do
  case $1 in
    --table) table=$(realpath "$2"); shift 2 ;;
    --rev) rev=$2; shift 2 ;;
    --work) reuse=$(realpath "$2"); shift 2 ;;
    --only) only=",$2,"; shift 2 ;;
    --keep) keep=1; shift ;;
    --check) check=1; shift ;;
    *) echo "usage: $0 [--rev REV] [--work DIR] [--table FILE] [--only N,N...] [--keep] [--check]" >&2; exit 2 ;;
  esac
done

if [ -n "$reuse" ]; then
  work=$reuse
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/tobra-mutate.XXXXXX")
fi
if [ "$keep" = 0 ]; then trap 'rm -rf "$work"' EXIT; else echo "work folder: $work"; fi
trap 'exit 130' INT TERM
tree=$work/tree
mkdir -p "$tree"
if [ -n "$reuse" ]; then
  # The program and its tests as the revision has them. Only the files that
  # differ are written, so only they are rebuilt; a file the revision does
  # not have (a test removed since) must not be built.
  [ -n "$rev" ] || { echo "--work needs --rev" >&2; exit 2; }
  (cd "$root" && git ls-tree -r --name-only "$rev" src tests) >"$work/files"
  while IFS= read -r f; do
    mkdir -p "$(dirname "$tree/$f")"
    git -C "$root" show "$rev:$f" | cmp -s - "$tree/$f" || git -C "$root" show "$rev:$f" >"$tree/$f"
  done <"$work/files"
  (cd "$tree" && find src tests -type f) | { grep -vxFf "$work/files" || true; } | (cd "$tree" && xargs -r rm -f --)
elif [ -n "$rev" ]; then
  (cd "$root" && git archive "$rev") | tar -xf - -C "$tree"
else
  (cd "$root" && git ls-files -co --exclude-standard -z |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$tree"
fi

build_timeout=1800
suite_timeout=1800
# A crashing test must end at once, not wait for a debugger's stack dump.
export QTEST_DISABLE_STACK_DUMP=1 QTEST_DISABLE_CORE_DUMP=1
# bounded SECONDS COMMAND...: runs the command in a process group of its own
# and ends the whole group (tests and the servers they started) when it
# takes longer; a test that hangs counts as failing.
bounded() {
  local limit=$1 waited=0 pid
  shift
  setsid "$@" &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$waited" -ge "$limit" ]; then
      kill -KILL -- -"$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      echo "(stopped after $limit s)" >>"$work/suite.log"
      return 124
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait "$pid"
}

# suite [first]: the tests matching first, then (when they pass) the rest.
# The whole suite takes under a minute when nothing is wrong.
suite() {
  local first=${1:-} skip='^server_(vsftpd|proftpd)$'
  : >"$work/suite.log"
  if [ -n "$first" ]; then
    bounded 150 ctest --test-dir "$tree/build" --stop-on-failure -j2 -R "^($first)\$" >>"$work/suite.log" 2>&1 ||
      return 1
    skip="^(server_vsftpd|server_proftpd|$first)\$"
  fi
  bounded 400 ctest --test-dir "$tree/build" --stop-on-failure -j2 -E "$skip" >>"$work/suite.log" 2>&1
}

start=$SECONDS
if [ -n "$reuse" ]; then
  echo "== going on in $work"
  (cd "$tree" && timeout "$build_timeout" cmake --build build -j2 >"$work/build.log" 2>&1) ||
    { tail -40 "$work/build.log"; exit 1; }
elif [ "$check" = 0 ]; then
echo "== configuring and building the copy"
# A fault in the shared core library needs no relinking of every test.
(cd "$tree" && cmake --preset ci -DCMAKE_LINK_DEPENDS_NO_SHARED=ON >"$work/build.log" 2>&1 && timeout "$build_timeout" cmake --build build -j2 >>"$work/build.log" 2>&1) ||
  { tail -40 "$work/build.log"; echo "the unchanged copy does not build" >&2; exit 1; }
echo "== the unchanged suite"
# Retried: one slow moment on a busy machine must not void the whole run.
if ! suite && ! suite && ! suite; then
  tail -40 "$work/suite.log"
  echo "the suite fails without any fault; nothing to measure" >&2
  exit 1
fi
echo "   passes in $((SECONDS - start)) s (with the build)"
fi

# Applies one fault: exit 0 when the text occurred exactly once.
apply() {
  python3 - "$@" <<'EOF'
import sys
path, find, repl = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
n = text.count(find)
if n != 1:
    print(f"found {n} times")
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(find, repl))
EOF
}

unescape() { local s=${1//\\|/|}; printf '%s' "${s//\\n/$'\n'}"; }

total=0 caught=0 invalid=0 notapplied=0 number=0
missed=() invalids=() unapplied=()
while IFS= read -r line || [ -n "$line" ]; do
  case $line in ''|'#'*) continue ;; esac
  number=$((number + 1))
  [ -n "$only" ] && [[ $only != *",$number,"* ]] && continue
  # Fields are separated by " | "; "\|" is a bar inside a field.
  rest=${line//\\|/$'\x01'}
  file=${rest%% | *}; rest=${rest#* | }
  find=${rest%% | *}; rest=${rest#* | }
  repl=${rest%% | *}; rest=${rest#* | }
  what=${rest%% | *}; first=""
  [ "$what" != "$rest" ] && first=${rest#* | }
  find=$(unescape "${find//$'\x01'/\\|}")
  repl=$(unescape "${repl//$'\x01'/\\|}")
  file=${file//$'\x01'/|}; what=${what//$'\x01'/|}
  label=$(printf '%2d %s (%s)' "$number" "$what" "$file")
  unknown=""
  for t in ${first//|/ }; do
    compgen -G "$tree/tests/*/$t.cpp" >/dev/null || unknown+=" $t"
  done
  if [ -n "$unknown" ]; then
    echo "NOT APPLIED  $label: no test named$unknown"
    notapplied=$((notapplied + 1)); unapplied+=("$label"); continue
  fi
  if [ ! -f "$tree/$file" ]; then
    echo "NOT APPLIED  $label: no such file"
    notapplied=$((notapplied + 1)); unapplied+=("$label"); continue
  fi
  cp "$tree/$file" "$work/original"
  if ! why=$(apply "$tree/$file" "$find" "$repl"); then
    echo "NOT APPLIED  $label: $why"
    notapplied=$((notapplied + 1)); unapplied+=("$label"); continue
  fi
  t0=$SECONDS
  if [ "$check" = 1 ]; then
    echo "applies      $label"
    total=$((total + 1)); caught=$((caught + 1))
  elif ! (cd "$tree" && timeout "$build_timeout" cmake --build build -j2 >"$work/build.log" 2>&1); then
    echo "not a valid mutant (does not build)  $label"
    invalid=$((invalid + 1)); invalids+=("$label")
  else
    total=$((total + 1))
    if suite "$first"; then
      echo "MISSED       $label  [$((SECONDS - t0)) s]"
      missed+=("$label")
    else
      by=$(grep -Eo '[0-9]+ - [A-Za-z0-9_]+ \((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)[^)]*\)' "$work/suite.log" |
        head -3 | sed -E 's/^[0-9]+ - //' | paste -sd, - || true)
      echo "caught       $label  by ${by:-the suite} [$((SECONDS - t0)) s]"
      caught=$((caught + 1))
    fi
  fi
  cp "$work/original" "$tree/$file"
done <"$table"

echo
percent=$(( total > 0 ? caught * 100 / total : 0 ))
if [ "$check" = 1 ]; then
  echo "$total of $((total + notapplied)) faults apply (--check runs no tests)"
else
  echo "caught $caught of $total ($percent %)  in $(( (SECONDS - start) / 60 )) min"
fi
[ "$invalid" -gt 0 ] && printf 'not valid mutants: %d\n' "$invalid" && printf '  %s\n' "${invalids[@]}"
[ "${#missed[@]}" -gt 0 ] && echo "missed:" && printf '  %s\n' "${missed[@]}"
[ "$notapplied" -gt 0 ] && echo "NOT APPLIED:" && printf '  %s\n' "${unapplied[@]}"
if [ "$notapplied" -gt 0 ] || [ "$total" -eq 0 ] || [ $((caught * 100)) -lt $((total * 90)) ]; then
  exit 1
fi
