# Runs once in the i686 guest, on its first boot, before the image is kept.
# Maintainer scripts that run i386 programs fail where the image was made on a
# host that cannot execute 32-bit code; here they can run. Then the two Wine
# prefixes every later boot starts from (about a minute under emulation each
# time otherwise): one for the Win32 tests, one the end-to-end scenarios copy.
set -e
dpkg --configure -a
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
echo "guest: $(wine --version), making the 32-bit prefix"
mkdir -p /var/kova
WINEPREFIX=/var/kova/prefix wineboot -i 2>&1 | tail -5
WINEPREFIX=/var/kova/prefix wineserver -w
test -f /var/kova/prefix/system.reg
cp -a /var/kova/prefix /var/kova/e2e-template
echo "guest: prefixes ready"
