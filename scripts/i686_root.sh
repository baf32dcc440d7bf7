# Sourced: a Debian root of its own where 32-bit Wine runs natively, for a
# machine that executes 32-bit code but cannot install wine32:i386 itself.
# That happens when a mirror caught mid-sync serves an i386 security list that
# fails its check: the i386 halves of the libraries can then no longer match
# the amd64 versions already installed. A root made by debootstrap from the
# main suite alone has matching versions on both sides.
#
# The root is cached outside the work tree, below /var/tmp, one folder per
# recipe (suite and packages), and made again only when the recipe changes.
# Commands run in it see the work tree at the same path, so the build made on
# the host is the one tested.

KOVA_I686_ROOT_SUITE=bookworm
KOVA_I686_ROOT_MIRROR=http://deb.debian.org/debian
KOVA_I686_ROOT_PACKAGES="wine wine32:i386 libwine:i386 binutils cmake python3 python3-pytest
python3-pytest-rerunfailures python3-pefile"
KOVA_I686_ROOT_SECONDS=900  # the longest the root may take to make
KOVA_ROOT_TREE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)

kova_i686_root_dir() {
  local recipe
  recipe=$(printf '%s\n' "$KOVA_I686_ROOT_SUITE" "$KOVA_I686_ROOT_MIRROR" \
    "$KOVA_I686_ROOT_PACKAGES" | sha256sum | cut -c1-12)
  echo "/var/tmp/kova-i686-root/$recipe"
}

# Takes away every mount below a folder (deepest first), so that removing the
# folder can never reach into the work tree or the host's /dev through a
# mount an interrupted run left behind.
kova_i686_root_unmount() {
  local mounted
  awk -v top="$1/" 'index($2 "/", top) == 1 { print $2 }' /proc/self/mounts | sort -r |
    while read -r mounted; do umount -l "$mounted" 2>/dev/null || true; done
}

# Makes the root unless it is there; fails with a message when it cannot, or
# not within KOVA_I686_ROOT_SECONDS.
kova_i686_root_make() {
  local dir
  dir=$(kova_i686_root_dir)
  [ -f "$dir/.ready" ] && return 0
  command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  echo "i686 root: making $dir (debootstrap of $KOVA_I686_ROOT_SUITE and 32-bit Wine)"
  kova_i686_root_unmount "$dir.new"
  rm -rf --one-file-system "$dir.new"
  mkdir -p "$dir.new"
  # shellcheck disable=SC2086  # the package list is split on purpose
  if ! timeout "$KOVA_I686_ROOT_SECONDS" bash -c '
      set -e
      debootstrap --variant=minbase --arch=amd64 "$1" "$2" "$3" >"$2.log" 2>&1
      chroot "$2" dpkg --add-architecture i386
      chroot "$2" apt-get update -qq
      DEBIAN_FRONTEND=noninteractive chroot "$2" apt-get install -y -qq \
        --no-install-recommends $4 >>"$2.log" 2>&1
      chroot "$2" apt-get clean' _ "$KOVA_I686_ROOT_SUITE" "$dir.new" \
      "$KOVA_I686_ROOT_MIRROR" "$KOVA_I686_ROOT_PACKAGES"; then
    echo "i686 root: could not be made (in at most ${KOVA_I686_ROOT_SECONDS} s); see $dir.new.log" >&2
    kova_i686_root_unmount "$dir.new"
    rm -rf --one-file-system "$dir.new"
    return 1
  fi
  mv "$dir.new.log" "$dir.new/.make.log"
  touch "$dir.new/.ready"
  kova_i686_root_unmount "$dir"
  rm -rf --one-file-system "$dir"
  mv "$dir.new" "$dir"
}

# Runs a command line in the root, in the current folder, with /proc, /sys,
# /dev and the work tree mounted; every mount is taken away again afterwards.
kova_i686_root_run() {
  local dir status=0
  dir=$(kova_i686_root_dir)
  kova_i686_root_unmount "$dir"
  mkdir -p "$dir$KOVA_ROOT_TREE"
  mount -t proc proc "$dir/proc"
  mount -t sysfs sys "$dir/sys"
  mount --rbind /dev "$dir/dev"
  mount --make-rslave "$dir/dev"
  mount --bind "$KOVA_ROOT_TREE" "$dir$KOVA_ROOT_TREE"
  chroot "$dir" env HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd \"\$0\" && $1" "$(pwd -P)" || status=$?
  # What the command left running there (a wineserver waiting for clients)
  # goes with it, so that nothing holds the mounts.
  local proc
  for proc in /proc/[0-9]*; do
    if [ "$(readlink "$proc/root" 2>/dev/null)" = "$dir" ]; then
      kill -9 "${proc#/proc/}" 2>/dev/null || true
    fi
  done
  kova_i686_root_unmount "$dir"
  return $status
}
