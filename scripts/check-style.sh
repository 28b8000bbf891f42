#!/usr/bin/env bash
# Checks the C++ lines changed since a base commit, as a developer runs it before committing and
# CI runs it on each change: clang-format (.clang-format) on the changed lines, and clang-tidy
# (.clang-tidy: the naming convention, bugprone and performance checks) on the changed lines of
# the changed files. Files no one touched are not asked to change.
# Usage: scripts/check-style.sh [BASE]
#   BASE  the commit to compare with (the working tree, committed or not, is checked against it);
#         default: where HEAD left origin/main (or main); HEAD itself when that is HEAD.
#   --all       check every line of every C++ file instead (slow: clang-tidy on each file)
#   BUILD_DIR   a tree configured with -DKX_UNITY=OFF whose compile_commands.json clang-tidy
#               reads (default: one configured for the check, without unity builds and
#               precompiled headers, so that every source has its own compile command)
#   KX_STYLE_JOBS  clang-tidy processes at once (default: the number of processors)
set -euo pipefail
cd "$(dirname "$0")/.."

ALL=0
BASE=""
for arg in "$@"; do
  case "$arg" in
    --all) ALL=1 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) BASE="$arg" ;;
  esac
done
# Installs clang-format and clang-tidy when they are missing, as scripts/setup.sh does the rest.
if ! command -v clang-format > /dev/null || ! command -v clang-tidy > /dev/null; then
  echo "Installing: clang-format clang-tidy"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang-format clang-tidy
fi
CLANG_FORMAT="$(command -v clang-format-14 || command -v clang-format)"
CLANG_TIDY="$(command -v clang-tidy-14 || command -v clang-tidy)"

if [ -z "$BASE" ]; then
  for ref in origin/main main; do
    if git rev-parse -q --verify "$ref^{commit}" > /dev/null; then
      BASE="$(git merge-base HEAD "$ref")"
      break
    fi
  done
  BASE="${BASE:-HEAD}"
fi
BASE="$(git rev-parse --verify "$BASE^{commit}")"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# The changed C++ files and their changed lines (tracked files against BASE, and files not yet
# added), as one unified diff without context.
PATHSPEC=('*.cpp' '*.h')
if [ "$ALL" -eq 1 ]; then
  git ls-files -- "${PATHSPEC[@]}" > "$WORK/files"
  : > "$WORK/diff"
else
  git diff -U0 --no-color --diff-filter=ACMR "$BASE" -- "${PATHSPEC[@]}" > "$WORK/diff"
  git diff --name-only --diff-filter=ACMR "$BASE" -- "${PATHSPEC[@]}" > "$WORK/files"
  git ls-files --others --exclude-standard -- "${PATHSPEC[@]}" | while read -r f; do
    git diff -U0 --no-color --no-index /dev/null "$f" >> "$WORK/diff" || true
    echo "$f" >> "$WORK/files"
  done
fi
if [ ! -s "$WORK/files" ]; then
  echo "check-style: no C++ changes since ${BASE:0:12}"
  exit 0
fi
echo "check-style: $(wc -l < "$WORK/files") C++ file(s) against ${BASE:0:12}"

status=0

# Format: the lines clang-format would change, within the changed lines only.
if [ "$ALL" -eq 1 ]; then
  xargs -a "$WORK/files" "$CLANG_FORMAT" --dry-run -Werror > "$WORK/format" 2>&1 || true
else
  python3 - "$WORK/diff" "$CLANG_FORMAT" > "$WORK/format" << 'EOF' || true
import re, subprocess, sys
lines = {}
name = None
for text in open(sys.argv[1], encoding="utf-8", errors="replace"):
    m = re.match(r"^\+\+\+ (?:b/)?(.*)$", text.rstrip("\n"))
    if m:
        name = m.group(1)
        continue
    m = re.match(r"^@@ .* \+(\d+)(?:,(\d+))? @@", text)
    if m and name:
        first, count = int(m.group(1)), int(m.group(2) or "1")
        if count:
            lines.setdefault(name, []).append((first, first + count - 1))
for name, ranges in lines.items():
    args = [sys.argv[2], "--dry-run", "-Werror"] + [f"--lines={a}:{b}" for a, b in ranges] + [name]
    result = subprocess.run(args, capture_output=True, text=True)
    sys.stdout.write(result.stderr)
EOF
fi
if grep -q "warning\|error" "$WORK/format"; then
  cat "$WORK/format"
  echo "check-style: clang-format would change the lines above; run: git clang-format $BASE" >&2
  status=1
fi

# Tidy: compile commands with one entry per source: a tree configured (not built) without unity
# builds and precompiled headers (GCC's, which clang cannot read), unless BUILD_DIR names one;
# -Werror goes (clang's own warnings are not this check's business).
if [ -n "${BUILD_DIR:-}" ] && [ -f "$BUILD_DIR/compile_commands.json" ]; then
  DB_TREE="$BUILD_DIR"
else
  DB_TREE="$WORK/tree"
  cmake -S . -B "$DB_TREE" -G Ninja -DKX_UNITY=OFF -DKX_PCH=OFF > "$WORK/configure.log" 2>&1 || {
    cat "$WORK/configure.log"
    exit 1
  }
fi
mkdir -p "$WORK/db"
python3 - "$DB_TREE/compile_commands.json" "$WORK/db/compile_commands.json" << 'EOF'
import json, re, sys
entries = json.load(open(sys.argv[1]))
for e in entries:
    command = e["command"]
    command = re.sub(r" -include \S+cmake_pch\.hxx", "", command)
    command = re.sub(r" -Winvalid-pch| -Werror(?=\s)| -Wno-error=\S+", "", command)
    e["command"] = command
json.dump(entries, open(sys.argv[2], "w"))
EOF

python3 - "$WORK/diff" "$WORK/files" "$ALL" > "$WORK/tidy-jobs" << 'EOF'
import json, re, sys
diff, files, check_all = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
lines = {}
name = None
for text in open(diff, encoding="utf-8", errors="replace"):
    m = re.match(r"^\+\+\+ (?:b/)?(.*)$", text.rstrip("\n"))
    if m:
        name = m.group(1)
        continue
    m = re.match(r"^@@ .* \+(\d+)(?:,(\d+))? @@", text)
    if m and name:
        first, count = int(m.group(1)), int(m.group(2) or "1")
        if count:
            lines.setdefault(name, []).append([first, first + count - 1])
for name in open(files).read().split():
    # The precompiled headers' lists (cmake/pch/) are compiled by their host targets only.
    if name.startswith("cmake/"):
        continue
    if check_all:
        print(json.dumps([name, []]))
    elif name in lines:
        print(json.dumps([name, lines[name]]))
EOF
run_tidy() {
  local job="$1" db="$2" tidy="$3"
  python3 - "$job" "$db" "$tidy" << 'EOF'
import json, os, subprocess, sys
name, ranges = json.loads(sys.argv[1])
entry = {"name": os.path.abspath(name)}
if ranges:
    entry["lines"] = ranges
args = [sys.argv[3], "-p", sys.argv[2], "--quiet", "--line-filter=" + json.dumps([entry]), name]
result = subprocess.run(args, capture_output=True, text=True)
if result.returncode != 0:
    sys.stdout.write(result.stdout + result.stderr)
sys.exit(1 if result.returncode != 0 else 0)
EOF
}
export -f run_tidy
JOBS="${KX_STYLE_JOBS:-$(nproc)}"
if ! tr '\n' '\0' < "$WORK/tidy-jobs" |
     xargs -0 -r -P "$JOBS" -I{} bash -c 'run_tidy "$1" "$2" "$3"' _ {} "$WORK/db" "$CLANG_TIDY" \
       > "$WORK/tidy" 2>&1; then
  cat "$WORK/tidy"
  echo "check-style: clang-tidy found the problems above (.clang-tidy says why each check is on)" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "check-style: clean"
exit "$status"
