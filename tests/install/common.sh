# Shared by the install tests: a scratch folder removed on exit, failures
# counted and reported together.
set -uo pipefail
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {  # MESSAGE-ON-SUCCESS
  [ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
  echo "$1"
}
