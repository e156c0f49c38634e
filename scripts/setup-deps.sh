#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Installing needs root: as another user it goes through sudo when there is one,
# else it names the packages and the command to install them, and fails.
set -euo pipefail
want=(cmake g++ make pkg-config libpcre2-dev libgtest-dev libgmock-dev gnupg locales "$@")
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  hint="Missing packages: ${missing[*]}; as root run: apt-get update && apt-get install --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    as_root=()
  elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "$hint" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  if ! { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
    echo "$hint" >&2
    exit 1
  fi
fi
# The date tests run under these locales (they skip the ones that are missing);
# only root can add them to the system's locale archive.
if [ "$(id -u)" = 0 ]; then
  for spec in en_US:UTF-8 de_DE:UTF-8 ru_RU:KOI8-R th_TH:UTF-8 ja_JP:UTF-8; do
    input=${spec%%:*} charmap=${spec#*:}
    listed="$input.$(tr -d - <<<"${charmap,,}")"
    grep -qx "$listed" <<<"$(locale -a)" ||
      localedef -i "$input" -f "$charmap" "$input.$charmap" || echo "Locale $input.$charmap could not be made"
  done
fi
