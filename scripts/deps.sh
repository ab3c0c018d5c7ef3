#!/usr/bin/env bash
# Installs what building and testing Tessor needs on Debian 12, skipping what is there already.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgraphicsmagick++1-dev
  mdbtools xvfb xauth imagemagick xdotool nodejs npm python3 dpkg-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js may come from elsewhere than Debian's package; then it is there already.
if command -v node >/dev/null && command -v npm >/dev/null; then
  filtered=()
  for p in "${missing[@]}"; do [[ $p == nodejs || $p == npm ]] || filtered+=("$p"); done
  missing=("${filtered[@]}")
fi

if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 install -y -q \
    --no-install-recommends "${missing[@]}"
fi

# The second independent .mdb reader the tests compare against, at the locked version.
if [[ -f package-lock.json ]]; then
  if [[ ! -d node_modules ]] || ! cmp -s package-lock.json node_modules/.package-lock.json; then
    npm ci --no-audit --no-fund --loglevel=error
  fi
fi
