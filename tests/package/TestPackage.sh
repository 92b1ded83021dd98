#!/usr/bin/env bash
# The Debian package as an operator gets it: cpack builds it from the built programs, dpkg says it
# would install here, and the client is started from a scratch root it was unpacked into. The
# real system is never changed.
# Arguments: the build folder, the project's version.
set -euo pipefail
build="$1"
version="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack could not build the package"; }
debs=("$scratch"/out/zelvan_*.deb)
[ -f "${debs[0]}" ] || fail "no package in $(ls "$scratch/out")"
deb="${debs[0]}"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# Every dependency is satisfied by what this machine has; the dry run changes nothing.
dpkg --dry-run -i "$deb" >"$scratch/dpkg.log" 2>&1 || { cat "$scratch/dpkg.log" >&2; fail "the package would not install"; }

dpkg-deb -x "$deb" "$scratch/root"
for file in usr/bin/zelvan usr/bin/zelvan-keytool usr/share/applications/zelvan.desktop \
            usr/share/icons/hicolor/scalable/apps/zelvan.svg; do
  [ -f "$scratch/root/$file" ] || fail "$file is not in the package"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$scratch/root/usr/share/applications/zelvan.desktop" || fail "the desktop entry is not valid"
fi
grep -qx 'Name=СМЭВ клиент' "$scratch/root/usr/share/applications/zelvan.desktop" || fail "the desktop entry's name"


# Started from the scratch root with a home of its own, so that nothing of the operator's is read.
export HOME="$scratch/home" QT_QPA_PLATFORM=offscreen
unset XDG_DATA_HOME
out="$("$scratch/root/usr/bin/zelvan" --version)" || fail "zelvan --version failed"
[ "$out" = "zelvan $version" ] || fail "zelvan --version printed '$out'"
help="$("$scratch/root/usr/bin/zelvan" --help)" || fail "zelvan --help failed"
for switch in --version --help --debug; do
  grep -q -- "$switch" <<<"$help" || fail "zelvan --help does not name $switch"
done
"$scratch/root/usr/bin/zelvan-keytool" new demo --subject /CN=Demo >/dev/null || fail "the installed key tool cannot make a container"
[ "$("$scratch/root/usr/bin/zelvan-keytool" list | cut -f1)" = demo ] || fail "the installed key tool does not list its container"
[ -d "$HOME/.local/share/zelvan/keys/demo" ] || fail "the installed key tool did not use the data folder in the home"

# man finds each program's page where the package puts it, made from that program's --help.
for program in zelvan zelvan-cli zelvan-keytool zelvan-sandbox; do
  page="$(MANPATH="$scratch/root/usr/share/man" man -w "$program" 2>/dev/null)" ||
    fail "man finds no page of $program in the package"
  [[ "$page" == "$scratch/root/"* ]] || fail "man found the page of $program outside the package: $page"
  switch="$("$scratch/root/usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | tail -1)"
  MANPATH="$scratch/root/usr/share/man" MANWIDTH=200 man "$program" 2>/dev/null | grep -q -- "$switch" ||
    fail "the page of $program does not show $switch, a switch of its --help"
done
# The exchange folders' user unit, installed where the user manager finds a package's units, names
# the installed zelvan-cli and passes systemd's own check. The check looks for the program at that
# path, so a copy is pointed at the scratch root's one.
unit="$scratch/root/usr/lib/systemd/user/zelvan-exchange@.service"
[ -f "$unit" ] || fail "the exchange folders' unit is not in the package"
grep -qx 'ExecStart=/usr/bin/zelvan-cli serve --data %f' "$unit" || fail "the unit does not start the installed zelvan-cli"
mkdir -p "$scratch/units" "$scratch/runtime"
sed "s|/usr/bin/|$scratch/root/usr/bin/|" "$unit" >"$scratch/units/zelvan-exchange@.service"
XDG_RUNTIME_DIR="$scratch/runtime" MANPATH="$scratch/root/usr/share/man" \
  systemd-analyze verify --user "$scratch/units/zelvan-exchange@.service" || fail "systemd-analyze verify refuses the unit"
# The operator's guide with every picture its chapters show.
guide="$scratch/root/usr/share/doc/zelvan"
[ -f "$guide/README.md" ] && [ -f "$guide/problems.md" ] || fail "the operator's guide is not in /usr/share/doc/zelvan"
while read -r picture; do
  [ -f "$guide/$picture" ] || fail "the guide's picture $picture is not in the package"
done < <(grep -oh 'images/[^)]*\.png' "$guide"/*.md | sort -u)
