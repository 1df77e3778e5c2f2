#!/usr/bin/env bash
# Install test: installs a configured and built tree into a temporary prefix
# and checks that zel lands in PREFIX/bin and its man page in
# PREFIX/share/man/man1, that the installed binary runs, that the man page
# renders without warnings, and that the usage text of the program, the usage
# block of README.md, README's table of options and the OPTIONS section of
# docs/zel.1 list the same options in the same order, so none of them can
# drift from the others silently.
#
# Usage: tests/install/run.sh BUILD_DIR
# Needs cmake and groff (Debian: groff-base); `man -l` is tried when man-db is
# installed. Prints one FAIL line per failed check and ends with the line
# "install: N passed, M failed"; the exit status is 0 only when M is 0.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -ne 1 ] || [ ! -d "$1" ]; then
  echo "usage: tests/install/run.sh BUILD_DIR" >&2
  echo "install: 0 passed, 1 failed"
  exit 2
fi
build=$(cd "$1" && pwd)

passed=0
failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

pass() { passed=$((passed + 1)); }
fail() {  # check-name why...
  failed=$((failed + 1))
  echo "FAIL $1: ${*:2}"
}

# The usage text the program prints for --h and -h, byte for byte.
cat > "$scratch/usage.expected" <<'EOF'
Usage: zel [options] [qbf-filename] <certificate-filename>
available options:
   --h, -h                show help
   --d                    turn on debug info
   --ignore               ignore resolutions without antecedents
   --v                    show version information
   --stats                write statistics to standard error after the verdict
   --forward              check every step of a QRP trace, not only those its
                          result rests on
   --single-thread        read and check on one thread (a proof in a file is
                          otherwise read ahead on a second one)
   --skolem FILE          write the Skolem functions of a validated model or
                          QRP cube proof as an AIGER circuit to FILE
   --herbrand FILE        write the Herbrand functions of a validated refutation
                          as an AIGER circuit to FILE
   --core FILE            write the steps a validated proof depends on to FILE
EOF
# Its options, one per line: the option column (23 characters after the
# three leading blanks), trailing blanks dropped; a description's second
# line has none.
tail -n +3 "$scratch/usage.expected" | cut -c4-26 | sed -E 's/ +$//' | grep -v '^$' \
  > "$scratch/options.expected"

# 1. Installing into the prefix.
if cmake --install "$build" --prefix "$prefix" > "$scratch/install.log" 2>&1; then
  pass
else
  fail install "cmake --install $build --prefix $prefix failed:"$'\n'"$(tail -n 20 "$scratch/install.log")"
fi

zel=$prefix/bin/zel
man_page=$prefix/share/man/man1/zel.1

# 2. Both files where they belong.
if [ -f "$zel" ] && [ -x "$zel" ]; then
  pass
else
  fail binary "no executable $zel"
fi
if [ -f "$man_page" ] && cmp -s "$man_page" "$root/docs/zel.1"; then
  pass
else
  fail man-page "$man_page is missing or differs from docs/zel.1"
fi

# 3. The installed binary runs, outside the build tree.
check_usage() {  # option
  local status
  (cd "$scratch" && "$zel" "$1" > "$scratch/usage.actual" 2> "$scratch/usage.err")
  status=$?
  if [ "$status" != 0 ]; then
    fail "usage $1" "exit status $status, expected 0"
  elif ! cmp -s "$scratch/usage.expected" "$scratch/usage.actual"; then
    fail "usage $1" "output differs:"$'\n'"$(diff "$scratch/usage.expected" "$scratch/usage.actual")"
  else
    pass
  fi
}
check_usage --h
check_usage -h

status=0
version=$(cd "$scratch" && "$zel" --v 2>/dev/null) || status=$?
if [ "$status" = 0 ] &&
   [[ "$version" =~ ^2\.0\ \(compiled\ [A-Z][a-z]{2}\ [\ 1-3][0-9]\ [0-9]{4}\)$ ]]; then
  pass
else
  fail version "exit status $status, output '$version'"
fi

cp "$root/examples/refutation.qdimacs" "$root/examples/refutation.cert" "$scratch/"
status=0
verdict=$(cd "$scratch" && "$zel" refutation.qdimacs refutation.cert 2>/dev/null) || status=$?
if [ "$status" = 10 ] && [ "$verdict" = "Certificate validated correctly." ]; then
  pass
else
  fail example "exit status $status (expected 10), output '$verdict'"
fi

# 4. The man page renders without warnings and has every section.
if [ -f "$man_page" ]; then
  if groff -man -ww -Tutf8 "$man_page" > "$scratch/man.txt" 2> "$scratch/groff.err" &&
     [ ! -s "$scratch/groff.err" ]; then
    pass
  else
    fail groff "groff -man -ww reports:"$'\n'"$(head -n 20 "$scratch/groff.err")"
  fi
  missing=""
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" INPUT "CERTIFICATE FORMAT" \
                 "SOUNDNESS RULES" LIMITS "SKOLEM FUNCTIONS" EXAMPLES "SEE ALSO"; do
    # grotty may mark the headings bold; strip its escape sequences first.
    sed -E $'s/\x1b\\[[0-9;]*m//g; s/.\x08//g' "$scratch/man.txt" | grep -qx "$section" ||
      missing="$missing '$section'"
  done
  if [ -z "$missing" ]; then
    pass
  else
    fail sections "rendered man page lacks$missing"
  fi
  if command -v man > /dev/null; then
    if MANWIDTH=80 man -l "$man_page" > "$scratch/man-l.txt" 2> "$scratch/man-l.err" &&
       [ ! -s "$scratch/man-l.err" ] && grep -q "SKOLEM FUNCTIONS" "$scratch/man-l.txt"; then
      pass
    else
      fail "man -l" "$(head -n 20 "$scratch/man-l.err")"
    fi
  fi
else
  fail render "no installed man page to render"
fi

# 5. README.md: its indented usage block equals the usage text, and its
# table of options (the rows whose first cell starts with `-) lists the same
# options in the same order.
awk '/^    Usage: zel / { on = 1 } on && !/^    / { exit } on { print substr($0, 5) }' \
  "$root/README.md" > "$scratch/readme-usage"
if cmp -s "$scratch/usage.expected" "$scratch/readme-usage"; then
  pass
else
  fail readme-usage "README.md's usage block differs:"$'\n'"$(diff "$scratch/usage.expected" "$scratch/readme-usage")"
fi
grep -E '^\| `-' "$root/README.md" | cut -d'|' -f2 | tr -d '`' |
  sed -E 's/^ +//; s/ +$//' > "$scratch/readme-options"
if cmp -s "$scratch/options.expected" "$scratch/readme-options"; then
  pass
else
  fail readme-options "README.md's table of options differs from the usage text:"$'\n'"$(diff "$scratch/options.expected" "$scratch/readme-options")"
fi

# 6. docs/zel.1: the tags of the OPTIONS section (the line after each .TP),
# with their font macros, quotes and escapes removed, are the usage options.
python3 - "$root/docs/zel.1" > "$scratch/man-options" <<'EOF'
import shlex, sys
lines = open(sys.argv[1], encoding="utf-8").read().split("\n")
inside = False
for number, line in enumerate(lines):
    if line.startswith(".SH"):
        inside = line.split(None, 1)[1:] == ["OPTIONS"]
    elif inside and line.startswith(".TP") and number + 1 < len(lines):
        tag = lines[number + 1]
        macro, _, arguments = tag.partition(" ")
        # .B, .BR, .BI ... join their arguments without blanks between them.
        words = shlex.split(arguments.replace("\\-", "-")) if macro.startswith(".") else [tag]
        print("".join(words).replace("\\fI", "").replace("\\fP", "").replace("\\fB", ""))
EOF
if cmp -s "$scratch/options.expected" "$scratch/man-options"; then
  pass
else
  fail man-options "docs/zel.1's OPTIONS differ from the usage text:"$'\n'"$(diff "$scratch/options.expected" "$scratch/man-options")"
fi

echo "install: $passed passed, $failed failed"
[ "$failed" = 0 ]
