#!/usr/bin/env bash
# Builds the Debian package from the build into a temporary folder and checks
# its control fields and contents:
#   test_package.sh BUILD_DIR CPACK
source "$(dirname "$0")/common.sh"
build="$1"
cpack="$2"
out="$scratch"

if ! (cd "$build" && "$cpack" -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
  cat "$out/cpack.log"; echo "FAIL: cpack"; exit 1
fi
debs=("$out"/stepwright_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single package: ${debs[*]}"; exit 1; }
deb="${debs[0]}"

field() { dpkg-deb --field "$deb" "$1"; }
version="$(env -u DISPLAY "$build/stepwright" --version)"
[ "$(field Package)" = stepwright ] || fail "Package: $(field Package)"
[ "stepwright $(field Version)" = "$version" ] || fail "Version $(field Version), program says '$version'"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 3 ] || fail "Description has no long text"
# Dependencies computed from the binaries, plus the window-system plugins.
depends="$(field Depends)"
names="$(sed 's/ ([^)]*)//g; s/, /\n/g' <<<"$depends")"
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
  grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done

# (what it holds is the install rules' tree, checked by test_install.sh)
contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
grep -qx ./usr/bin/stepwright-cli <<<"$contents" || fail "package lacks the programs"
if [ -d "$build/python/stepwright" ]; then
  grep -qx python3 <<<"$names" || fail "Depends lacks python3: $depends"
  grep -q '^\./usr/lib/python3/dist-packages/stepwright/_stepwright.*\.so$' <<<"$contents" ||
    fail "package lacks the Python module"
fi
grep -v '^\./usr/' <<<"$contents" | grep -vx './' && fail "package installs outside /usr"

finish "package $(basename "$deb") complete"
