"""Attacks on the elevated install and servers that never answer: one scenario
each, against the real exe, Wine's file system and the simulator."""
import re
import shutil
import subprocess
import threading
import time

import pytest

from conftest import BIN, I686, PACKAGE_REL, PRODUCT, windows_path
from test_install import relay_message_boxes, trace_message_boxes
from test_network import REPORTING_ON, policy_values
from test_report import log_entries

# Connect, send and receive time-outs of 10 s each: the most one request may cost.
REQUEST_BOUND_S = 30


def sample_package():
    return (BIN.parent / "packaging" / "krt-sample.msi").read_bytes()


@I686
def test_another_process_cannot_change_the_package_before_the_engine_reads_it(
        wine, standin, simulator):
    # The descriptor answers late, so the written package waits for the engine;
    # meanwhile a process of the same user tries to write, replace and delete it.
    simulator.script({"method": "GET", "body": REPORTING_ON, "delay": 4},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}})
    result = {}
    product = threading.Thread(target=lambda: result.update(
        code=wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env)))
    product.start()
    deadline = time.monotonic() + 30
    size = len(sample_package())
    while time.monotonic() < deadline and not (
            wine.package_file.exists() and wine.package_file.stat().st_size == size):
        time.sleep(0.05)
    tampered = wine.workdir / "tamper.txt"
    wine.wine([str(BIN / "tamper.exe"), wine.windows_package_file, windows_path(tampered)],
              extra_env=simulator.proxy_env)
    product.join(120)
    attempts = dict(line.split("=") for line in tampered.read_text().split())
    print(f"package tampered with: exit {result['code']}, attempts {attempts}")
    if result["code"] == 1392:
        # Changed between the write and the check: refused, the engine never ran.
        assert standin.runs() == []
    else:
        # Held: every attempt refused (sharing violation, or access denied for
        # the replace), and the engine got exactly the package carried.
        assert result["code"] == 0
        assert attempts == {"write": "32", "replace": "5", "delete": "32"}, attempts
        assert len(standin.runs()) == 1
        assert wine.package_file.read_bytes() == sample_package()


def test_a_link_in_the_folder_chain_is_refused(wine, standin):
    # Wine 8 shows a Unix symlink to a folder inside the prefix as a reparse
    # point (attributes 0x410), as Windows shows a junction; that is the planted link.
    elsewhere = wine.c_drive / "elsewhere"
    elsewhere.mkdir()
    orvo = wine.package_file.parents[2]
    orvo.mkdir(parents=True, exist_ok=True)
    (orvo / "Kova").symlink_to(elsewhere, target_is_directory=True)
    code = wine.run_exe(BIN / PRODUCT, extra_env=trace_message_boxes(wine))
    assert code == 1920
    (owner, text, caption, style), = relay_message_boxes(wine.last_stderr)
    assert text.startswith("Installer : Wrapper.CreateFile  failed with error 1920: ")
    assert (caption, style) == ("Error", 0)
    assert list(elsewhere.iterdir()) == []
    assert standin.runs() == []


def timed_install(wine, simulator, *replies):
    simulator.script(*replies)
    start = time.monotonic()
    code = wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env)
    return code, time.monotonic() - start


def test_a_descriptor_server_that_never_answers_costs_one_bounded_wait(wine, standin, simulator):
    code, seconds = timed_install(wine, simulator, {"method": "GET", "delay": 120})
    print(f"descriptor never answered: install ended after {seconds:.1f} s")
    assert code == 0 and len(standin.runs()) == 1
    assert seconds < REQUEST_BOUND_S


def test_a_descriptor_that_stalls_mid_body_costs_one_bounded_wait(wine, standin, simulator):
    code, seconds = timed_install(
        wine, simulator, {"method": "GET", "body": REPORTING_ON, "action": "stall", "hold": 120},
        {"method": "HEAD", "headers": {"COUNTRY": "DE"}})
    print(f"descriptor stalled mid-body: install ended after {seconds:.1f} s")
    assert code == 0 and len(standin.runs()) == 1
    assert seconds < 2 * REQUEST_BOUND_S  # the descriptor's wait, then the lookup's at most


def test_a_redirected_report_never_reaches_the_other_host(wine, standin, simulator):
    standin.script([1603])
    simulator.script({"method": "GET", "body": REPORTING_ON},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
                     {"method": "POST", "status": 307,
                      "headers": {"Location": "http://collector.example/steal"}},
                     {"url": "collector.example", "body": "got it"})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 1603
    targets = [r.target for r in simulator.requests()]
    assert [t for t in targets if "collector.example" in t] == [], targets
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD", "POST"]


def test_a_silent_install_never_asks_for_proxy_credentials(wine, standin, simulator):
    # The proxy wants credentials for the lookup and the report. Without /s
    # the dialog is asked (which proves the trace sees it); with /s never.
    standin.script([1603])
    wine.reg_add(r"HKCU\Software\Wine\Debug", "RelayInclude", "wininet.InternetErrorDlg")
    traced = dict(simulator.proxy_env, WINEDEBUG="-all,+relay")
    challenge = {"status": 407, "headers": {"Proxy-Authenticate": 'Basic realm="kova"'}}
    dialogs = []
    for args in ("", "/s"):
        simulator.script({"method": "GET", "body": REPORTING_ON},
                         {"method": "HEAD", **challenge}, {"method": "POST", **challenge})
        assert wine.run_exe(BIN / PRODUCT, args, extra_env=traced) == 1603
        dialogs.append(wine.last_stderr.count("Call wininet.InternetErrorDlg("))
    assert dialogs[0] >= 1 and dialogs[1] == 0, dialogs


def test_two_installs_logging_at_once_both_write_whole_entries(wine, standin, simulator):
    # The second exe runs as on XP, so its package goes to another folder and
    # both installs get as far as their reports, which are answered together.
    # One run at a time per session holds for one version only: the second
    # exe stands for another version of the bootstrapper, with a run guard of
    # its own name ("Local\krt-s" for "Local\krt1.6.0_07").
    second = wine.workdir / "krt-second.exe"
    image = (BIN / PRODUCT).read_bytes()
    assert image.count(b"Local\\%s%s\0") == 1
    second.write_bytes(image.replace(b"Local\\%s%s\0", b"Local\\%s-s\0"))
    wine.set_version("winxp", exe=second.name)
    standin.script([1603])
    # Wine's append-only writes are not atomic across processes (measured:
    # two processes appending at once can land at the same offset), so an
    # entry can be lost to Wine itself. Windows appends each write whole at
    # the end. So the pair is run up to three times: every entry must be
    # whole every time, and one run must keep both.
    for attempt in range(3):
        simulator.script({"method": "GET", "body": REPORTING_ON},
                         {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
                         {"method": "POST", "delay": 2, "body": "stored"})
        logs = wine.workdir / f"logs{attempt}"
        logs.mkdir()
        codes = []
        runs = [threading.Thread(target=lambda exe=exe: codes.append(wine.run_exe(
            exe, windows_env={"TMPDIR": windows_path(logs)}, extra_env=simulator.proxy_env)))
            for exe in (BIN / PRODUCT, second)]
        for run in runs:
            run.start()
        for run in runs:
            run.join(120)
        assert codes == [1603, 1603]
        assert [r.method for r in simulator.requests()].count("POST") == 2
        entries = log_entries((logs / "kusched.log").read_bytes())
        assert 1 <= len(entries) <= 2, entries
        for text in entries:
            assert re.fullmatch(rb"InstallStatus:ret=200 visid=[0-9a-f]+-[0-9a-f]+ method=koff "
                                rb"state=ic ver=[^ ]+ ICstatus=;krt\|1603\nstored", text), text
        if len(entries) == 2:
            break
    assert len(entries) == 2, entries


USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
LOCAL_LOW = "{A520A1A4-1780-4FF6-BD18-167343C5AF16}"


@pytest.mark.parametrize("repoint", [False, True], ids=["untouched", "re-pointed"])
def test_a_data_folder_below_a_link_hands_the_engine_the_package_carried(
        wine, standin, simulator, repoint):
    # A redirected profile legitimately puts the local low folder below a
    # link; the attacker re-points that link while the descriptor is awaited,
    # to a folder where another package sits at the same place.
    below = PACKAGE_REL.split("/", 2)[2]
    planted = wine.c_drive / "realB" / "LL" / below
    planted.parent.mkdir(parents=True)
    planted.write_bytes(b"not the package carried")
    (wine.c_drive / "realA" / "LL").mkdir(parents=True)
    link = wine.c_drive / "redir"
    link.symlink_to(wine.c_drive / "realA", target_is_directory=True)
    wine.reg_add(USER_SHELL_FOLDERS, LOCAL_LOW, r"C:\redir\LL")
    simulator.script({"method": "GET", "status": 404, "delay": 4 if repoint else 0})
    result = {}
    product = threading.Thread(target=lambda: result.update(
        code=wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env)))
    product.start()
    if repoint:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not simulator.requests():
            time.sleep(0.05)
        assert simulator.requests(), "the descriptor was never asked for"
        relink = wine.c_drive / "relink"
        relink.symlink_to(wine.c_drive / "realB", target_is_directory=True)
        relink.replace(link)
    product.join(120)
    runs = standin.runs()
    if repoint and not runs:
        return  # refusing to run the engine is a safe end too
    assert result["code"] == 0 and len(runs) == 1
    handed = re.fullmatch(r'"[^"]*" /i "([^"]*)" ', runs[0]["cmdline"]).group(1)
    if not repoint:
        assert handed == r"C:\realA\LL" + "\\" + below.replace("/", "\\")
    assert wine.c_drive.joinpath(*handed.split("\\")[1:]).read_bytes() == sample_package()


@I686
def test_a_planted_wininet_is_never_loaded(wine, standin, simulator):
    exe_dir = wine.c_drive / "download"
    exe_dir.mkdir()
    for name in (PRODUCT, "load_library.exe"):
        shutil.copy(BIN / name, exe_dir / name)
    shutil.copy(BIN / "canary.dll", exe_dir / "wininet.dll")
    overrides = {"WINEDLLOVERRIDES": "mscoree,mshtml=;wininet=n,b"}
    standin.script([1603])
    simulator.script({"method": "GET", "body": REPORTING_ON},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
                     {"method": "POST", "body": "stored"})
    code = wine.run_exe(exe_dir / PRODUCT, extra_env={**simulator.proxy_env, **overrides})
    # Wine names the marker as the import names the DLL (WININET.dll).
    assert [p.name for p in exe_dir.glob("*.loaded")] == []
    # The install and its report work as they do without the plant.
    assert code == 1603 and len(standin.runs()) == 1
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD", "POST"]
    # The canary works: a bare-name load from the same folder is caught.
    assert wine.run_exe(exe_dir / "load_library.exe", "wininet.dll", extra_env=overrides) == 0
    assert [p.name.lower() for p in exe_dir.glob("*.loaded")] == ["wininet.dll.loaded"]


# One byte every 3 s keeps any single read alive; each exchange must still
# end at its deadline (20 s), so one trickled exchange costs that plus the
# rest of the install and Wine's starts.
TRICKLED_INSTALL_S = 35
POST_URL = "http://ps.kova.com/b/ss/krt"
GET_OK = {"method": "GET", "body": REPORTING_ON}
HEAD_DE = {"method": "HEAD", "headers": {"COUNTRY": "DE"}}
POST_OK = {"method": "POST", "body": "stored"}
TRICKLE = {"action": "trickle", "every": 3}

# The trickled exchange: the replies; what the engine sees (Country,
# PostStatusUrl); the requests made; whether the report reached the log.
TRICKLED = {
    "descriptor head": ([{**GET_OK, **TRICKLE}], (None, None), ["GET"], False),
    "country head": ([GET_OK, {**HEAD_DE, **TRICKLE}, POST_OK], ("YY", POST_URL),
                     ["GET", "HEAD", "POST"], True),
    "report answer": ([GET_OK, HEAD_DE, {**POST_OK, **TRICKLE}], ("DE", POST_URL),
                      ["GET", "HEAD", "POST"], False),
}


@pytest.mark.parametrize("exchange", TRICKLED)
def test_a_trickling_peer_costs_at_most_the_exchange_deadline(wine, standin, simulator, exchange):
    replies, policy, methods, logged = TRICKLED[exchange]
    standin.script([1603])
    logs = wine.workdir / "logs"
    logs.mkdir()
    simulator.script(*replies)
    start = time.monotonic()
    try:
        code = wine.run_exe(BIN / PRODUCT, windows_env={"TMPDIR": windows_path(logs)},
                            extra_env=simulator.proxy_env, timeout=2 * TRICKLED_INSTALL_S)
    except subprocess.TimeoutExpired:
        code = None
    seconds = time.monotonic() - start
    print(f"{exchange} trickled: {'still running' if code is None else 'ended'} after {seconds:.1f} s")
    assert code is not None and seconds < TRICKLED_INSTALL_S, f"exit {code} after {seconds:.0f} s"
    assert code == 1603 and policy_values(standin) == [policy]
    assert [r.method for r in simulator.requests()] == methods
    assert (logs / "kusched.log").exists() == logged


def test_a_temporary_folder_that_is_a_link_gets_no_log(wine, standin, simulator):
    target = wine.c_drive / "elsewhere"
    target.mkdir()
    (wine.c_drive / "tmplink").symlink_to(target, target_is_directory=True)
    standin.script([1603])
    simulator.script(GET_OK, HEAD_DE, {"method": "POST", "body": "\r\n@echo planted by the server\r\n"})
    code = wine.run_exe(BIN / PRODUCT, windows_env={"TMPDIR": r"C:\tmplink"},
                        extra_env=simulator.proxy_env)
    assert code == 1603
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD", "POST"]
    assert list(target.iterdir()) == []
