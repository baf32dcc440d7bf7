"""Arguments, language and the registry contract with the package, offline."""

import pytest

from conftest import (BIN, I686, INSTALLER_KEY, POLICY_KEY, PRODUCT, VENDOR_KEY, engine_command_line,
                      replace_system_file)


def test_reinstall_runs_the_engine_once_more_with_the_same_command_line(wine, standin):
    standin.script([1603, 3010], ["reinstall", None])
    assert wine.run_exe(BIN / PRODUCT) == 3010
    lines = standin.command_lines()
    assert lines == [engine_command_line(wine, standin)] * 2
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None


@pytest.mark.parametrize("status", ["Reinstall", "REINSTALL", "reinstall ", "decline"])
def test_other_statuses_run_the_engine_once(wine, standin, status):
    standin.script([1603, 0], [status])
    assert wine.run_exe(BIN / PRODUCT) == 1603
    assert len(standin.command_lines()) == 1
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None


@pytest.mark.parametrize("args, tail", [
    # Silent, a language with a transform, a property and a pass-through argument.
    pytest.param("/s /lang=1041 /vREBOOT=Suppress ADDLOCAL=ALL",
                 "TRANSFORMS=:1041  REBOOT=Suppress ADDLOCAL=ALL  /qn", marks=I686),
    # Escaped quotes reach the program; the closing one is dropped with the rule.
    (r'/v\"INSTALLDIR=x\"', " INSTALLDIR=x "),
    # Unescaped quotes are removed by the standard splitting: a plain /v argument.
    ('"/vA=b c"', " A=b c "),
    ("/S /qn /s", "/S /qn "),
    ("/lang=1049", ""),
])
def test_arguments_reach_the_engine(wine, standin, args, tail):
    assert wine.run_exe(BIN / PRODUCT, args) == 0
    assert standin.command_lines() == [engine_command_line(wine, standin) + tail]


@pytest.mark.parametrize("locale, transform", [
    ("de_DE.UTF-8", "TRANSFORMS=:1031 "),
    pytest.param("ja_JP.UTF-8", "TRANSFORMS=:1041 ", marks=I686),
    ("zh_CN.UTF-8", "TRANSFORMS=:2052 "),
    ("en_GB.UTF-8", ""),
    ("ru_RU.UTF-8", ""),
])
def test_default_transform_follows_the_users_language(wine, standin, locale, transform):
    assert wine.run_exe(BIN / PRODUCT, extra_env={"LC_ALL": locale}) == 0
    assert standin.command_lines() == [engine_command_line(wine, standin) + transform]


def seed_policy(wine):
    wine.reg_add(POLICY_KEY, "VisitorId", "1a2b48d1-e0f010ff")
    wine.reg_add(POLICY_KEY, "Method", "koff")
    wine.reg_add(POLICY_KEY, "Country", "DE")
    wine.reg_add(POLICY_KEY, "PostStatusUrl", "http://www.kova.com/status")
    wine.reg_add(VENDOR_KEY, "InstallStatus", "exists")


def policy_values(wine):
    return {name: wine.reg_query(POLICY_KEY, name)
            for name in ("VisitorId", "Method", "Country", "PostStatusUrl")}


def test_normal_run_leaves_only_what_the_package_was_given(wine, standin):
    seed_policy(wine)
    assert wine.run_exe(BIN / PRODUCT) == 0
    run, = standin.runs()
    # Reporting is off: PostStatusUrl is gone before the engine starts; Country
    # stays as it was (stored by `reg add`, with its terminator).
    assert run["PostStatusUrl"] is None and run["Country"] == "DE\0"
    assert policy_values(wine) == {"VisitorId": None, "Method": None, "Country": "DE",
                                   "PostStatusUrl": None}
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None


def test_missing_package_cleans_up_without_touching_the_engine_values(wine, standin):
    seed_policy(wine)
    assert wine.run_exe(BIN / "krt-nopackage.exe") == 1
    assert standin.runs() == []
    assert policy_values(wine) == {"VisitorId": None, "Method": None, "Country": "DE",
                                   "PostStatusUrl": "http://www.kova.com/status"}
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None


def test_early_ends_keep_visitor_id_and_method(wine, standin):
    seed_policy(wine)
    wine.reg_delete(INSTALLER_KEY, "InstallerLocation")
    assert wine.run_exe(BIN / PRODUCT) == -3
    kept = {"VisitorId": "1a2b48d1-e0f010ff", "Method": "koff", "Country": "DE",
            "PostStatusUrl": "http://www.kova.com/status"}
    assert policy_values(wine) == kept
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None

    wine.reg_add(VENDOR_KEY, "InstallStatus", "exists")
    replace_system_file(wine, "msi.dll", BIN / "msi_stub.dll")
    wine.dll_override("msi", "native")
    assert wine.run_exe(BIN / PRODUCT) == -2
    assert policy_values(wine) == kept
    assert wine.reg_query(VENDOR_KEY, "InstallStatus") is None


def test_first_run_creates_the_policy_key_with_its_defaults(wine, standin):
    assert not wine.key_exists(POLICY_KEY)
    assert wine.run_exe(BIN / PRODUCT) == 0
    assert wine.reg_query(POLICY_KEY, "EnableKovaUpdate") == "0x1"
    assert wine.reg_query(POLICY_KEY, "NotifyDownload") == "0x1"
    assert wine.reg_query(POLICY_KEY, "NotifyInstall") == "0x0"
    # Windows 7 (Wine's default) is within NT 5.0 SP2 to NT 6: no per-user value.
    assert wine.reg_query(r"HKCU\SOFTWARE\KovaSoft\Kova Update\Policy",
                          "EnableAutoUpdateCheck") is None
