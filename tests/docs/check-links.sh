#!/usr/bin/env bash
# Checks the relative links of the project's Markdown files: every linked
# file exists, and every #anchor names a heading of its file (as GitHub
# makes anchors from headings: lower case, punctuation dropped, blanks as
# hyphens, a repeated heading numbered -1, -2, ...).
# Usage: check-links.sh SOURCE_DIR
set -u
cd "$1" || exit 1

# The anchors of a Markdown file, one a line.
anchors() {
  awk '
    /^```/ { fence = !fence; next }
    !fence && /^#+ / {
      text = tolower($0)
      sub(/^#+ +/, "", text)
      gsub(/[^a-z0-9 _-]/, "", text)
      gsub(/ /, "-", text)
      if (text in seen) { slug = text "-" seen[text]; seen[text]++ } else { slug = text; seen[text] = 1 }
      print slug
    }' "$1"
}

failed=0 checked=0
for file in README.md ARCHITECTURE.md CHANGELOG.md docs/*.md; do
  [ -f "$file" ] || continue
  dir=$(dirname "$file")
  while IFS=$'\t' read -r line target; do
    checked=$((checked + 1))
    path=${target%%#*}
    anchor=
    [[ $target == *'#'* ]] && anchor=${target#*#}
    resolved=$file
    if [ -n "$path" ]; then
      resolved=$dir/$path
      if [ ! -e "$resolved" ]; then
        echo "$file:$line: $target: no such file"; failed=$((failed + 1)); continue
      fi
    fi
    if [ -n "$anchor" ]; then
      if [[ $resolved != *.md ]] || ! anchors "$resolved" | grep -qxF -- "$anchor"; then
        echo "$file:$line: $target: no such heading"; failed=$((failed + 1))
      fi
    fi
  done < <(awk '
    /^```/ { fence = !fence; next }
    !fence {
      text = $0
      gsub(/`[^`]*`/, "", text)
      while (match(text, /\]\([^) ]+\)/)) {
        target = substr(text, RSTART + 2, RLENGTH - 3)
        text = substr(text, RSTART + RLENGTH)
        if (target !~ /^[a-z]+:/) print FNR "\t" target
      }
    }' "$file")
done
echo "$checked relative links checked, $failed broken"
[ "$checked" -gt 0 ] && [ "$failed" -eq 0 ]
