#!/bin/sh
# install_trust.sh BUILD PLANTED.so PROBE: the build installed to a fresh prefix
# holds no path of the build tree, carries a relative run path, and loads a
# plug-in only from a trusted folder. PLANTED.so accepts any codec name and
# appends its path to $VORLEX_TEST_MARKER when it runs; it is planted where
# an attacker could put it (the old build-tree plug-in folder, a folder
# anyone can write, a group-writable file, a FIFO, the working folder named
# by an empty or relative path entry) and must never run from there; from a
# trusted folder it must, first in VORLEX_PLUGIN_PATH order. Finally a copy
# of the install, the original gone, runs with no environment at all.
set -u
build=$1
planted=$2
probe=$3
work=$(mktemp -d)
made_old=
cleanup() {
  rm -rf "$work"
  rm -f "$build/plugins/libvorlex-plugin-planted.so"
  [ -n "$made_old" ] && rmdir "$build/plugins"
}
trap cleanup EXIT
fail=0
bad() { echo "FAIL $*"; fail=1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null || { echo "FAIL install"; exit 1; }
vorlex=$work/prefix/bin/vorlex
# No file of the install names the build tree (what `strings` would show),
# debug information aside (builds with -g record where they were compiled).
leaks=
for f in $(find "$work/prefix" -type f); do
  objcopy --strip-debug "$f" "$work/stripped" 2>/dev/null || cp "$f" "$work/stripped"
  grep -qF "$build" "$work/stripped" && leaks="$leaks $f"
done
rm -f "$work/stripped"
[ -z "$leaks" ] || bad "installed files name the build tree:$leaks"
readelf -d "$vorlex" | grep -q 'R.*PATH.*\[\$ORIGIN/\.\./lib\]' ||
  bad "installed vorlex has no \$ORIGIN/../lib run path: $(readelf -d "$vorlex" | grep PATH)"

marker=$work/marker
export VORLEX_TEST_MARKER="$marker"
plant() {  # plant FOLDER [NAME]: a copy of the planted plug-in
  mkdir -p "$1" && cp "$planted" "$1/libvorlex-plugin-${2:-planted}.so" && chmod 0755 "$1/libvorlex-plugin-${2:-planted}.so"
}
echo data >"$work/data"

# refused PATH_VALUE REASON: from folder $work/cwd, codec "planted" must not
# run, and the message must give REASON.
refused() {
  rm -f "$marker"
  err=$(cd "$work/cwd" && VORLEX_PLUGIN_PATH=$1 "$vorlex" --codec planted -c "$work/data" 2>&1 >/dev/null)
  rc=$?
  [ -e "$marker" ] && bad "VORLEX_PLUGIN_PATH='$1': planted plug-in ran from $(cat "$marker")"
  [ "$rc" -eq 2 ] || bad "VORLEX_PLUGIN_PATH='$1': exit $rc"
  case $err in *"$2"*) ;; *) bad "VORLEX_PLUGIN_PATH='$1': message lacks '$2': $err" ;; esac
}

[ -d "$build/plugins" ] || { mkdir "$build/plugins" && made_old=1; }
cp "$planted" "$build/plugins/libvorlex-plugin-planted.so"
plant "$work/cwd"
plant "$work/cwd/rel"
plant "$work/open" && chmod 0777 "$work/open"
plant "$work/group" && chmod 0664 "$work/group/libvorlex-plugin-planted.so"
mkdir "$work/fifo" && mkfifo "$work/fifo/libvorlex-plugin-planted.so"
mkdir -p "$work/dir/libvorlex-plugin-planted.so"

refused "" "no plug-in file of that name was found (searched $work/prefix/lib/vorlex/plugins;"
refused ":" "'' in VORLEX_PLUGIN_PATH (empty entry)"
refused "." "'.' in VORLEX_PLUGIN_PATH (relative path)"
refused "rel:./rel" "'rel' in VORLEX_PLUGIN_PATH (relative path)"
refused "$work/open" "refused: folder $work/open is writable by group and others"
refused "$work/group" "refused: writable by group"
refused "$work/fifo" "refused: not a regular file"
refused "$work/dir" "refused: not a regular file"

# --codecs names the folders and what was passed over.
out=$(VORLEX_PLUGIN_PATH="$work/open::rel" "$vorlex" --codecs)
for want in "$work/open (VORLEX_PLUGIN_PATH)" "$work/prefix/lib/vorlex/plugins (beside libvorlex)" \
    "'' in VORLEX_PLUGIN_PATH: empty entry" "'rel' in VORLEX_PLUGIN_PATH: relative path" \
    "$work/open/libvorlex-plugin-planted.so: refused: folder $work/open is writable"; do
  case $out in *"$want"*) ;; *) bad "--codecs lacks '$want': $out" ;; esac
done

# Trusted folders are used, in VORLEX_PLUGIN_PATH order, before the install's.
plant "$work/first" && plant "$work/second" && plant "$work/second" copy
rm -f "$marker"
VORLEX_PLUGIN_PATH="$work/open:$work/first:$work/second" "$vorlex" --codec planted -c "$work/data" >/dev/null ||
  bad "the planted plug-in does not load from a trusted folder"
[ "$(cat "$marker" 2>/dev/null)" = "$work/first/libvorlex-plugin-planted.so" ] ||
  bad "loaded, in order: $(cat "$marker" 2>/dev/null)"
out=$(VORLEX_PLUGIN_PATH="$work/second" "$vorlex" --codecs)
case $out in *"$work/second/libvorlex-plugin-copy.so"*) ;; *) bad "VORLEX_PLUGIN_PATH does not come first: $out" ;; esac

# A set-user-ID program ignores the variable (root runs a copy owned by
# nobody; not where the file system ignores set-user-ID bits). The loader
# ignores $ORIGIN for such a program, so this is the probe, whose run path
# is the build tree's.
# nobody must also reach the build tree (a clone inside a private folder,
# as from mktemp -d, is out of its reach): otherwise the case is skipped.
if [ "$(id -u)" = 0 ] && ! findmnt -no OPTIONS -T "$work" | grep -q nosuid &&
   ! runuser -u nobody -- test -r "$build/lib/libvorlex.so.0" 2>/dev/null; then
  echo "skip set-user-ID case: user nobody cannot read $build/lib/libvorlex.so.0"
elif [ "$(id -u)" = 0 ] && ! findmnt -no OPTIONS -T "$work" | grep -q nosuid; then
  chmod 0755 "$work"
  cp "$probe" "$work/probe-suid" && chown nobody "$work/probe-suid" && chmod 4755 "$work/probe-suid"
  rm -f "$marker"
  VORLEX_PLUGIN_PATH="$work/first" "$probe" planted >/dev/null 2>&1 ||
    bad "the probe does not load the planted plug-in from a trusted folder"
  rm -f "$marker"
  out=$(VORLEX_PLUGIN_PATH="$work/first" "$work/probe-suid" planted 2>&1)
  [ -e "$marker" ] && bad "a set-user-ID program loaded from VORLEX_PLUGIN_PATH"
  case $out in *"set-user-ID"*) ;; *) bad "set-user-ID: the variable is not reported ignored: $out" ;; esac
  rm -f "$work/probe-suid" "$marker"
fi

# A copy of the install works on its own, with no environment.
rm -f "$marker"
cp -a "$work/prefix" "$work/copied" && rm -rf "$work/prefix"
out=$(cd / && env -i "$work/copied/bin/vorlex" --codecs 2>&1) || bad "copied install: $out"
case $out in *"$work/copied/lib/vorlex/plugins/libvorlex-plugin-copy.so"*) ;;
  *) bad "copied install does not find its plug-ins: $out" ;; esac
[ -e "$marker" ] && bad "planted plug-in ran: $(cat "$marker")"

[ "$fail" -eq 0 ] && echo "install trust: all checks passed"
[ "$fail" -eq 0 ]
