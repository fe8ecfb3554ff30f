#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the demo and the benchmarks need.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git python3
  clang libclang-rt-14-dev clang-format
  libicu-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev
  zlib1g-dev liblz4-dev libxapian-dev libroaring-dev libstreamvbyte-dev groonga-bin time
  fortunes-zh mawk gawk
  python3-olefile libgsf-bin p7zip-full
  ccache gcovr
  libfluidsynth-dev fluidsynth timgm6mb-soundfont
  qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n fonts-wqy-microhei xvfb xauth xdotool
  jq
  postgresql-15 postgresql-client-15 libpq-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
