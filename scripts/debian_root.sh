# Sourced: the pieces that the i686 root (scripts/i686_root.sh) and the i686
# guest (scripts/i686_guest.sh) share. Both are Debian roots made by debootstrap
# from the main suite alone, whose amd64 and i386 versions always match (a
# mirror caught mid-sync has served an i386 security list that failed its
# check, and then the host's own 32-bit Wine could not be installed).

KOVA_DEBIAN_SUITE=bookworm
KOVA_DEBIAN_MIRROR=http://deb.debian.org/debian
# What both run: 32-bit Wine, and what the test tiers need of Python and CMake.
KOVA_DEBIAN_WINE_PACKAGES="wine wine32:i386 libwine:i386 cmake python3 python3-pytest
python3-pytest-rerunfailures python3-pefile"
KOVA_ROOT_TREE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)

# Takes away every mount below a folder (deepest first), so that removing the
# folder can never reach into the work tree or the host's /dev through a
# mount an interrupted run left behind.
kova_unmount_below() {
  local mounted
  awk -v top="$1/" 'index($2 "/", top) == 1 { print $2 }' /proc/self/mounts | sort -r |
    while read -r mounted; do umount -l "$mounted" 2>/dev/null || true; done
}

# Removes a folder that may hold a root, mounts and all.
kova_remove_root() {
  kova_unmount_below "$1"
  rm -rf --one-file-system "$1"
}

# Makes a minimal amd64 root in $1 with the i386 architecture added and the
# package lists read; its output goes to the log $2. Runs as a child of the
# caller's deadline.
kova_debootstrap() {
  command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  debootstrap --variant=minbase --arch=amd64 "$KOVA_DEBIAN_SUITE" "$1" \
    "$KOVA_DEBIAN_MIRROR" >>"$2" 2>&1 &&
    chroot "$1" dpkg --add-architecture i386 &&
    chroot "$1" apt-get update -qq >>"$2" 2>&1
}

# Installs packages in the root $1 without recommends, output to the log $2.
kova_root_install() {
  local root=$1 log=$2
  shift 2
  DEBIAN_FRONTEND=noninteractive chroot "$root" apt-get install -y -qq \
    --no-install-recommends "$@" >>"$log" 2>&1
}
