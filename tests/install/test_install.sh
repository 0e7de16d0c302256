#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks the installed tree:
#   test_install.sh BUILD_DIR CMAKE
source "$(dirname "$0")/common.sh"
build="$1"
cmake="${2:-cmake}"
dest="$scratch/root"

if ! DESTDIR="$dest" "$cmake" --install "$build" --prefix /usr >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"; echo "FAIL: cmake --install"; exit 1
fi
root="$dest/usr"

# Everything lands under the prefix, and bin/ holds the three programs only.
[ "$(ls -A "$dest")" = "usr" ] || fail "installed outside the prefix: $(ls -A "$dest")"
[ "$(ls "$root/bin" | tr '\n' ' ')" = "stepwright stepwright-cli stepwright-sim " ] ||
  fail "bin/ holds: $(ls "$root/bin" | tr '\n' ' ')"
for p in stepwright stepwright-cli stepwright-sim; do
  [ -x "$root/bin/$p" ] || fail "bin/$p is not executable"
done

# Files and their first bytes.
check_start() {  # FILE BYTES
  [ -f "$root/$1" ] || { fail "missing $1"; return; }
  [ "$(head -c ${#2} "$root/$1")" = "$2" ] || fail "$1 does not start with '$2'"
}
check_start share/doc/stepwright/stepwright.pdf "%PDF"
check_start share/doc/stepwright/README.md "# Stepwright"
check_start share/stepwright/examples/demo.stw "4"
check_start share/applications/stepwright.desktop "[Desktop Entry]"
check_start share/mime/packages/stepwright.xml "<?xml"
check_start share/icons/hicolor/scalable/apps/stepwright.svg "<?xml"
for p in stepwright stepwright-cli stepwright-sim; do
  check_start "share/man/man1/$p.1" ".TH ${p^^}"
done

# check's SARIF log points its rules into the guide installed beside it.
printf '.stepwright 1\n.module 0 [Master]\n\n  0 StopProgram\n' >"$scratch/ok.sws"
guide="$(realpath "$root/share/doc/stepwright/manual.md")"
"$root/bin/stepwright-cli" check --sarif "$scratch/ok.sws" >"$scratch/ok.sarif" || fail "check --sarif failed"
grep -q "\"informationUri\": \"file://$guide\"" "$scratch/ok.sarif" || fail "the SARIF log does not point to $guide"
grep -q "\"helpUri\": \"file://$guide#busy-loop\"" "$scratch/ok.sarif" || fail "no help URI into $guide"
grep -q '^### busy-loop$' "$guide" || fail "the installed guide has no section busy-loop"

# Each PNG is the size of the folder it is in (width and height from its header).
for size in 16 22 24 32 48 64 128 256; do
  for f in apps/stepwright.png mimetypes/application-x-stepwright.png; do
    png="$root/share/icons/hicolor/${size}x${size}/$f"
    [ -f "$png" ] || { fail "missing ${size}x${size}/$f"; continue; }
    dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')"
    [ "$dims" = "${size}x${size}" ] || fail "${size}x${size}/$f is $dims"
  done
done

# The desktop entry starts an installed program with the file, names an
# installed icon, and every file type it claims is declared.
desktop="$root/share/applications/stepwright.desktop"
exec_line="$(grep '^Exec=' "$desktop")"
[ "$exec_line" = "Exec=stepwright %f" ] || fail "desktop entry: $exec_line"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "desktop entry icon '$icon' not installed"
for type in $(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' '); do
  grep -q "<mime-type type=\"$type\">" "$root/share/mime/packages/stepwright.xml" ||
    fail "desktop entry claims $type, not declared"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
  echo "desktop-file-validate not found: skipped"
fi
if command -v update-mime-database >/dev/null; then
  mime="$scratch/mime"
  mkdir "$mime"
  cp -r "$root/share/mime/packages" "$mime/"
  # (it notes on every run that a temporary folder is not searched: not a fault)
  update-mime-database "$mime" >"$mime.log" 2>&1 || fail "update-mime-database failed"
  grep -iE "warning|error|invalid|unknown" "$mime.log" && fail "update-mime-database complained"
  for pair in "application/x-stepwright:*.stw" "text/x-stepwright-text:*.sws"; do
    grep -qF "$pair" "$mime/globs2" || fail "file type $pair not in the database"
  done
fi

# --help and --version need no display.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
help="$("${nodisplay[@]}" "$root/bin/stepwright" --help)" || fail "stepwright --help without a display"
for option in --port --simulator --help --version; do
  grep -q -- "$option" <<<"$help" || fail "stepwright --help does not list $option"
done
for p in stepwright stepwright-cli stepwright-sim; do
  version="$("${nodisplay[@]}" "$root/bin/$p" --version)" || fail "$p --version without a display"
  [[ "$version" =~ ^$p\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$p --version printed '$version'"
done

# Each manual page shows its program's help line for line (and, for the
# command line, each command's help); the help's exit codes and examples are
# the page's EXIT STATUS and EXAMPLES.
if command -v man >/dev/null; then
  check_page() {  # PROGRAM HELP-ARGUMENTS...
    local program="$1"; shift
    local page rendered
    page="$root/share/man/man1/$program.1"
    rendered="$(LC_ALL=C MANWIDTH=200 man --warnings -l "$page" 2>"$scratch/man.err" | col -bx)"
    [ -s "$scratch/man.err" ] && fail "$program.1: $(cat "$scratch/man.err")"
    while IFS= read -r line; do
      line="${line#"${line%%[! ]*}"}"
      line="${line#Usage: }"
      [ -z "$line" ] && continue
      case "$line" in
        "Exit codes:") line="EXIT STATUS" ;;
        "Examples:") line="EXAMPLES" ;;
      esac
      grep -qF -- "$line" <<<"$rendered" || fail "$program.1 lacks: $line"
    done < <("${nodisplay[@]}" "$root/bin/$program" "$@")
  }
  check_page stepwright --help
  check_page stepwright-sim --help
  check_page stepwright-cli --help
  for command in $("$root/bin/stepwright-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p' | grep -vx help); do
    check_page stepwright-cli help "$command"
  done
else
  echo "man not found: manual pages not rendered"
fi

# The installed command line downloads an installed example into a simulated master.
if ! out="$("$root/bin/stepwright-cli" --simulator --sim-pace 0 download \
    "$root/share/stepwright/examples/demo.stw" --verify 2>&1)"; then
  fail "installed stepwright-cli download of the installed example: $out"
fi

# Every installed example has its scenario beside it, and the installed
# command line runs them all.
examples="$root/share/stepwright/examples"
for program in "$examples"/*.stw; do
  [ -f "${program%.stw}.yaml" ] || fail "no scenario beside the installed $(basename "$program")"
done
if ! out="$("$root/bin/stepwright-cli" test "$examples"/*.yaml 2>&1)"; then
  fail "installed stepwright-cli test of the installed examples: $out"
fi

# The installed Python module imports from its folder and runs an installed
# example's scenario (when the build has the module).
if [ -d "$build/python/stepwright" ]; then
  site="$root/lib/python3/dist-packages"
  [ -f "$site/stepwright/__init__.py" ] || fail "the Python module is not installed in $site"
  if ! out="$(cd / && PYTHONPATH="$site" /usr/bin/python3 -c 'import sys, stepwright
p = stepwright.Program.open(sys.argv[1])
assert stepwright.run_scenario(sys.argv[2]).passed
print(len(p.assemble()))' "$examples/demo.stw" "$examples/demo.yaml" 2>&1)"; then
    fail "installed Python module: $out"
  fi
fi

finish "installed tree complete"
