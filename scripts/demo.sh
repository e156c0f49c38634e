#!/usr/bin/env bash
# Sets up, builds and runs Only_VQ on the bundled sample: a profile, a header
# script and a few messages are copied to a temporary folder and corrected there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
mkdir -p build-demo
log=build-demo/build.log
echo "== building Only_VQ (log: $log)"
if ! { cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DTIDELARN_TESTS=OFF -DTIDELARN_CONFIG=OFF &&
  cmake --build build-demo -j"$(nproc)" --target Only_VQ; } >"$log" 2>&1; then
  tail -30 "$log"
  echo "== the build failed; the whole output is in $log"
  exit 1
fi
work=$(mktemp -d /tmp/tidelarn-demo-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp build-demo/Only_VQ "$work/"
for f in charsets.dat lHeader.txt pgp; do [ -e "data/$f" ] && cp "data/$f" "$work/"; done
cp data/sample/Tidelarn.ini data/sample/header.def "$work/"
mkdir -p "$work/messages"
cp data/sample/messages/*.msg "$work/messages/"
sed -i "s#@WORK@#$work#g" "$work/Tidelarn.ini"
cp -r "$work/messages" "$work/before"
echo "== Only_VQ News (work folder $work)"
set +e
TIDELARN_HOME="$work" XDG_CONFIG_HOME="$work/.config" "$work/Only_VQ" News
code=$?
set -e
echo "== exit code $code"
for f in "$work"/before/*.msg; do
  name=$(basename "$f")
  after=$work/messages/$name
  bak=$work/messages/${name%.*}.bak
  if grep -qi '^X-No-Correction: *yes' "$f" && cmp -s "$f" "$after"; then
    echo "== $name: left alone by Sub CheckAbort"
  elif cmp -s "$f" "$after"; then
    echo "== $name: unchanged"
  else
    if [ -e "$bak" ]; then
      echo "== $name: corrected; the original is kept as $(basename "$bak")"
    else
      echo "== $name: corrected"
    fi
    diff -u --label before --label after "$f" "$after" || true
  fi
done
