"""The i686 guest's deadline: a guest that does not finish in time ends its
boot with a clear error, and no qemu process of it is left."""
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def guest(command, seconds):
    return subprocess.run(
        ["bash", "-c", f'. scripts/i686_guest.sh && KOVA_GUEST_SECONDS={seconds} kova_guest_run "$0"',
         command], cwd=ROOT, capture_output=True, text=True, timeout=seconds + 60)


def test_a_guest_past_its_deadline_is_stopped_with_a_clear_error():
    result = guest("sleep 600", 20)
    assert result.returncode == 124
    assert "i686 guest: did not finish within 20 s; stopped" in result.stderr
    left = subprocess.run(["pgrep", "-f", "kova-i686-guest"], capture_output=True, text=True)
    assert left.stdout == ""
