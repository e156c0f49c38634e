#!/usr/bin/env bash
# Installs the built programs into a temporary prefix and runs the installed
# runner as a user would: with an empty settings folder and a program folder
# that nobody may write. Usage: InstallTest.sh BUILD_DIR SOURCE_DIR [CMAKE]
set -euo pipefail
build=$1 src=$2 cmake=${3:-cmake}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tidelarn-install-XXXXXX")
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# The runs answer their boxes on stderr, never on the caller's desktop.
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET

prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log"
share=$prefix/share/tidelarn
[ -x "$prefix/bin/Only_VQ" ] || fail "bin/Only_VQ missing"
for f in charsets.dat lHeader.txt; do [ -f "$share/$f" ] || fail "share/tidelarn/$f missing"; done
[ -x "$share/pgp" ] || fail "the pgp adapter is not installed as a program"
[ -e "$src/data/Tidelarn.dat" ] && { [ -f "$share/Tidelarn.dat" ] || fail "Tidelarn.dat missing"; }
[ -e "$src/docs/Tidelarn.htm" ] && { [ -f "$share/Tidelarn.htm" ] || fail "Tidelarn.htm missing"; }
if [ -e "$build/Tidelarn" ]; then
  [ -x "$prefix/bin/Tidelarn" ] || fail "bin/Tidelarn missing"
  grep -qx 'Exec=Tidelarn' "$prefix/share/applications/tidelarn.desktop" || fail "desktop entry"
  [ -f "$prefix/share/icons/hicolor/scalable/apps/tidelarn.svg" ] || fail "icon missing"
fi
chmod -R a-w "$prefix"
chmod 755 "$tmp"
before=$(ls -lR "$prefix")

# A message the default profile changes: doubled reply prefixes leave the subject.
message() {
  mkdir -p "$1"
  printf 'From: a@example.org\r\nNewsgroups: de.test\r\nSubject: AW: Re^2: Thema\r\nMessage-ID: <1@example.org>\r\n\r\nText.\r\n' >"$1/m.msg"
}
corrected() { grep -q $'^Subject: Re: Thema\r$' "$1/m.msg" || fail "$2: message not corrected"; }

# 1. TIDELARN_HOME names an empty settings folder: the first run writes the
# profile there.
mkdir "$tmp/home"
message "$tmp/msg1"
TIDELARN_HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config "$prefix/bin/Only_VQ" Type:news \
  "Filename:$tmp/msg1/m.msg" 2>"$tmp/err1" || fail "run 1: exit code $? $(cat "$tmp/err1")"
corrected "$tmp/msg1" "run 1"
[ -f "$tmp/home/Tidelarn.ini" ] || fail "run 1: no profile in the settings folder"

# 2. No TIDELARN_HOME: the settings go to the user's configuration folder,
# created 0700, never into the installed program folder; also for root, and
# for a user who may not write that folder.
by_user() {  # NAME COMMAND-PREFIX...
  local name=$1 user=$tmp/$1
  shift
  mkdir -p "$user"
  message "$tmp/msg-$name"
  [ $# -gt 0 ] && chown -R nobody:nogroup "$user" "$tmp/msg-$name"
  env -u TIDELARN_HOME -u XDG_CONFIG_HOME HOME="$user" "$@" "$prefix/bin/Only_VQ" \
    Type:news "Filename:$tmp/msg-$name/m.msg" 2>"$tmp/err-$name" ||
    fail "$name: exit code $? $(cat "$tmp/err-$name")"
  corrected "$tmp/msg-$name" "$name"
  [ -f "$user/.config/tidelarn/Tidelarn.ini" ] || fail "$name: no profile in ~/.config/tidelarn"
  [ "$(stat -c %a "$user/.config/tidelarn")" = 700 ] || fail "$name: settings folder not 0700"
}
by_user user
[ "$(id -u)" = 0 ] && by_user nobody setpriv --reuid=nobody --regid=nogroup --clear-groups

[ "$before" = "$(ls -lR "$prefix")" ] || fail "the installed folders changed"

# 3. A shipped file found nowhere: the message names the folders searched.
mkdir -p "$tmp/bare/bin" "$tmp/empty"
cp "$prefix/bin/Only_VQ" "$tmp/bare/bin/"
message "$tmp/msg3"
set +e
TIDELARN_HOME=$tmp/empty XDG_CONFIG_HOME=$tmp/config "$tmp/bare/bin/Only_VQ" Type:news \
  "Filename:$tmp/msg3/m.msg" 2>"$tmp/err3"
code=$?
set -e
[ "$code" = 1 ] || fail "run 3: exit code $code"
grep -qF "$tmp/empty/, $tmp/bare/share/tidelarn/, $tmp/bare/bin/" "$tmp/err3" || fail "run 3: $(cat "$tmp/err3")"
echo "installed and corrected"
