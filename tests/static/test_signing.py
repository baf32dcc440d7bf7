"""Signing: a throw-away CA and code-signing certificate made with openssl,
the product signed with the build's own script, verified against that CA,
and refused once one byte of the embedded package changes."""
import os
import shutil
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("KOVA_PRODUCT_BIN", ROOT / "build" / "win32" / "bin"))
PRODUCT = BIN / "krt-1.6.0_07-windows-i586.exe"
MSI_SIGNATURE = bytes.fromhex("d0cf11e0a1b11ae1")  # the start of every Windows Installer package


def run(*args, cwd):
    subprocess.run(args, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificates(folder):
    (folder / "leaf.ext").write_text("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n"
                                     "extendedKeyUsage=codeSigning\n")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
        "-out", "ca.pem", "-days", "2", "-subj", "/CN=Kova Test CA",
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=keyCertSign",
        cwd=folder)
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "leaf.key", "-out",
        "leaf.csr", "-subj", "/CN=KovaSoft test signing", cwd=folder)
    run("openssl", "x509", "-req", "-in", "leaf.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-out", "leaf.pem", "-days", "2", "-extfile", "leaf.ext", cwd=folder)
    (folder / "password").write_text("kova-test")
    run("openssl", "pkcs12", "-export", "-inkey", "leaf.key", "-in", "leaf.pem", "-certfile",
        "ca.pem", "-out", "signer.p12", "-passout", "file:password", cwd=folder)


def verifies(exe, ca):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(ca), "-in", str(exe)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def test_signed_product_verifies_and_a_changed_package_does_not(tmp_path):
    make_certificates(tmp_path)
    signed = tmp_path / PRODUCT.name
    shutil.copy(PRODUCT, signed)
    subprocess.run([str(ROOT / "scripts" / "sign.sh"), str(signed), str(tmp_path / "signer.p12"),
                    str(tmp_path / "password")], check=True)
    assert verifies(signed, tmp_path / "ca.pem")

    data = bytearray(signed.read_bytes())
    package = data.find(MSI_SIGNATURE)
    assert package > 0
    data[package + 1000] ^= 0x01
    tampered = tmp_path / "tampered.exe"
    tampered.write_bytes(bytes(data))
    assert not verifies(tampered, tmp_path / "ca.pem")
