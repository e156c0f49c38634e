#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail
want=(cmake g++ make pkg-config libpcre2-dev libgtest-dev libgmock-dev gnupg locales "$@")
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The date tests run under these locales (they skip the ones that are missing);
# only root can add them to the system's locale archive.
if [ "$(id -u)" = 0 ]; then
  for spec in en_US:UTF-8 de_DE:UTF-8 ru_RU:KOI8-R; do
    input=${spec%%:*} charmap=${spec#*:}
    listed="$input.$(tr -d - <<<"${charmap,,}")"
    grep -qx "$listed" <<<"$(locale -a)" ||
      localedef -i "$input" -f "$charmap" "$input.$charmap" || echo "Locale $input.$charmap could not be made"
  done
fi
