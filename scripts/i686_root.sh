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

. "$(dirname "${BASH_SOURCE[0]}")/debian_root.sh"
KOVA_I686_ROOT_PACKAGES="$KOVA_DEBIAN_WINE_PACKAGES binutils"
KOVA_I686_ROOT_SECONDS=900  # the longest the root may take to make

kova_i686_root_dir() {
  local recipe
  recipe=$(printf '%s\n' "$KOVA_DEBIAN_SUITE" "$KOVA_DEBIAN_MIRROR" \
    "$KOVA_I686_ROOT_PACKAGES" | sha256sum | cut -c1-12)
  echo "/var/tmp/kova-i686-root/$recipe"
}

# Makes the root unless it is there; fails with a message when it cannot, or
# not within KOVA_I686_ROOT_SECONDS.
kova_i686_root_make() {
  local dir
  dir=$(kova_i686_root_dir)
  [ -f "$dir/.ready" ] && return 0
  echo "i686 root: making $dir (debootstrap of $KOVA_DEBIAN_SUITE and 32-bit Wine)"
  kova_remove_root "$dir.new"
  mkdir -p "$dir.new"
  # shellcheck disable=SC2086  # the package list is split on purpose
  if ! timeout "$KOVA_I686_ROOT_SECONDS" bash -c '
      . "$0" && kova_debootstrap "$1" "$1.log" && kova_root_install "$1" "$1.log" $2 &&
        chroot "$1" apt-get clean' "$KOVA_ROOT_TREE/scripts/debian_root.sh" "$dir.new" \
      "$KOVA_I686_ROOT_PACKAGES"; then
    echo "i686 root: could not be made (in at most ${KOVA_I686_ROOT_SECONDS} s); see $dir.new.log" >&2
    kova_remove_root "$dir.new"
    return 1
  fi
  mv "$dir.new.log" "$dir.new/.make.log"
  touch "$dir.new/.ready"
  # Roots of other recipes go: each takes about a gigabyte.
  local other
  for other in "${dir%/*}"/*; do
    case "$other" in "$dir" | "$dir".*) ;; *) kova_remove_root "$other" ;; esac
  done
  kova_remove_root "$dir"
  mv "$dir.new" "$dir"
}

# Runs a command line in the root, in the current folder, with /proc, /sys,
# /dev and the work tree mounted; every mount is taken away again afterwards.
kova_i686_root_run() {
  local dir status=0
  dir=$(kova_i686_root_dir)
  kova_unmount_below "$dir"
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
  kova_unmount_below "$dir"
  return $status
}
