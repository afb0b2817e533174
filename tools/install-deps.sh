#!/usr/bin/env bash
# Installs what building and testing KELDAR needs on Debian 12, skipping what
# is already there.  Runs apt-get only when something is missing.
set -euo pipefail
# The last five check the menu entry, the software-centre entry and the package
# (CPack asks file which installed files are programs, for dpkg-shlibdeps;
# lintian holds the package to Debian's rules).
packages=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-liberation liblemon-dev minizinc
          coinor-libcbc-dev pkg-config
          desktop-file-utils appstream dpkg-dev file lintian)
for option in "$@"; do
  case "$option" in
    # pictures, start-up bench; a window manager and real key presses for the
    # continue dialog's focus test
    --with-screens) packages+=(xvfb xauth imagemagick libxcb1-dev dbus-daemon openbox xdotool) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;         # the fuzz targets
    --cluster) packages+=(slurm-wlm munge) ;;               # the Slurm recipes' test
    *) echo "usage: $0 [--with-screens] [--fuzz] [--cluster]" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
