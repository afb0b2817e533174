#!/usr/bin/env bash
# Runs the documentation's shell examples that are marked runnable, against
# the build tree, so that a changed option fails the build and not a reader.
#
# A runnable example is a fenced block whose info string is
#     ```sh runnable [continued] [needs=PROGRAM]...
# Each example starts in a fresh scratch folder; one marked "continued" goes
# on in the same shell session as the example before it in its file (its
# folder, its variables), as a reader typing them one after the other would.
# An example needing a program that is not installed is skipped, with the
# examples continuing it.  Examples run under bash -euo pipefail with the
# build's bin/ first on PATH and KELDAR_SHARE naming the build's share/keldar.
#
# Usage: run-examples.sh BIN_DIR SHARE_DIR SOURCE_DIR
# Fails naming the file and line of the first example that fails.
set -u
bin=$(readlink -f "$1")
share=$(readlink -f "$2")
source_dir=$(readlink -f "$3")
[ -x "$bin/keldar-generate" ] || { echo "no keldar-generate in $bin: build it first"; exit 1; }
[ -d "$share/examples" ] || { echo "no examples in $share"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every runnable block of the given Markdown file, as records
#   LINE<TAB>WORDS  followed by the block's lines, then a line "\x1e".
blocks() {
  awk '
    /^```/ && open { open = 0; print "\036"; next }
    /^```sh runnable( |$)/ {
      open = 1
      words = $0; sub(/^```sh runnable */, "", words)
      print FNR "\t" words
      next
    }
    open { print }' "$1"
}

ran=0 skipped=0 failed=0
run_chain() { # FILE LINES... : the chain's scripts are $work/chain/<n>.sh
  local file=$1 line n; shift
  local scratch; scratch=$(mktemp -d -p "$work")
  {
    echo 'set -euo pipefail'
    n=0
    for line in "$@"; do
      echo "echo $line > \"$work/current\""
      echo ". \"$work/chain/$n.sh\""
      n=$((n + 1))
    done
  } > "$work/chain/run.sh"
  local started=$SECONDS
  (cd "$scratch" &&
   PATH="$bin:$PATH" KELDAR_SHARE="$share" timeout 300 bash "$work/chain/run.sh") \
    > "$work/output" 2>&1
  local rc=$?
  if [ "$rc" -eq 0 ]; then
    ran=$((ran + $#))
    echo "ok   $file:${1} ($# example(s), $((SECONDS - started)) s)"
  else
    failed=$((failed + 1))
    echo "FAIL $file:$(cat "$work/current"): the example exits with status $rc; its output:"
    sed 's/^/    /' "$work/output"
  fi
  rm -rf "$scratch"
}

# The manual page's examples marked runnable by a comment line
#     .\" runnable [continued] [needs=PROGRAM]...
# before their .EX, as Markdown of the same line numbers, its escapes
# undone and its installed paths this build's.
man_examples() {
  awk '
    /^\.\\" runnable/ { words = $0; sub(/^\.\\" runnable */, "", words); pending = 1; print ""; next }
    pending && /^\.EX/ { print "```sh runnable " words; pending = 0; open = 1; next }
    open && /^\.EE/ { print "```"; open = 0; next }
    open {
      gsub(/\\-/, "-"); gsub(/\\e/, "\\")
      gsub(/\/usr\/share\/keldar/, "\"$KELDAR_SHARE\"")
      print; next
    }
    { print "" }' "$1"
}

cd "$source_dir" || exit 1
mkdir -p "$work/man/packaging/man"
man_examples packaging/man/keldar-generate.1.in > "$work/man/packaging/man/keldar-generate.1.in"
total=0
for file in README.md docs/*.md "$work/man/packaging/man/keldar-generate.1.in"; do
  [ -f "$file" ] || continue
  lines=() skip_chain=0
  rm -rf "$work/chain"; mkdir -p "$work/chain"
  n=0
  while IFS= read -r header; do
    line=${header%%$'\t'*}
    words=${header#*$'\t'}
    body=$(mktemp -p "$work")
    while IFS= read -r text && [ "$text" != $'\036' ]; do
      printf '%s\n' "$text"
    done > "$body"
    total=$((total + 1))
    continued=0 missing=
    for word in $words; do
      case $word in
        continued) continued=1 ;;
        needs=*) command -v "${word#needs=}" > /dev/null || missing=${word#needs=} ;;
        *) echo "FAIL $file:$line: unknown word \"$word\" after runnable"; failed=$((failed + 1)) ;;
      esac
    done
    if [ "$continued" -eq 0 ]; then
      if [ "${#lines[@]}" -gt 0 ]; then run_chain "$file" "${lines[@]}"; fi
      lines=() skip_chain=0 n=0
      rm -rf "$work/chain"; mkdir -p "$work/chain"
    elif [ "$n" -eq 0 ] && [ "$skip_chain" -eq 0 ]; then
      echo "FAIL $file:$line: marked continued but nothing comes before it"
      failed=$((failed + 1))
    fi
    if [ -n "$missing" ] || [ "$skip_chain" -eq 1 ]; then
      if [ -n "$missing" ]; then why="$missing is not installed"; else why="it continues a skipped example"; fi
      echo "skip $file:$line ($why)"
      skipped=$((skipped + 1)) skip_chain=1
      continue
    fi
    mv "$body" "$work/chain/$n.sh"
    lines+=("$line")
    n=$((n + 1))
  done < <(blocks "$file")
  if [ "${#lines[@]}" -gt 0 ]; then run_chain "$file" "${lines[@]}"; fi
done

echo "$total runnable examples: $ran ran, $skipped skipped, $failed failed"
[ "$total" -gt 0 ] || { echo "no runnable example found"; exit 1; }
[ "$failed" -eq 0 ]
