"""The failure report end to end: the real bootstrapper under Wine, the vendor
services simulator answering the descriptor, the country lookup and the report,
and the engine stand-in failing on request. Every scenario checks what went
over the wire, what reached kusched.log, which registry values the run wrote
and deleted (in order, from Wine's relay trace), and what it left behind."""
import datetime
import re
from dataclasses import dataclass, field

import pytest

from conftest import (BIN, I686, NATIVE_ARCH_TEXT, POLICY_KEY, PRODUCT, VENDOR_KEY, reg_import, reg_tree,
                      windows_path)
from simulator import Simulator

BUILD = "1.6.0_07-b06"
POST_URL = "http://ps.kova.com/b/ss/krt"
POST_LINE = "POST http://ps.kova.com:80/b/ss/krt HTTP/1.1"
LOOKUP_URL = "http://geo.kova.com/country"
RUNTIME_ROOT = r"HKLM\SOFTWARE\KovaSoft\Kova Runtime Environment"
PRODUCTION = "orvoinstallstat"
DEVELOPMENT = "orvoinstallstatdev"

# The registry calls the relay trace records for the product.
RELAY_INCLUDE = ";".join(f"{dll}.{fn}" for dll in ("advapi32", "kernelbase")
                         for fn in ("RegSetValueExA", "RegDeleteValueA"))
RELAY_CALL = re.compile(r"^([0-9a-f]{4}):Call (?:advapi32|kernelbase)\."
                        r"Reg(SetValueExA|DeleteValueA)\((.*)\) ret=")
WATCHED = {"InstallStatus", "VisitorId", "Method", "Country", "PostStatusUrl"}

STAMP = re.compile(rb"\n((?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep"
                   rb"|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d \d{4})\n:: ")

# What the report does to the registry between the engine runs and the clean-up.
NO_REPORT = []
REPORT_KEEPS_POLICY = [("set", "VisitorId"), ("delete", "InstallStatus")]
REPORT = REPORT_KEEPS_POLICY + [("delete", "VisitorId"), ("delete", "Method")]
CLEAN_UP = [("delete", "InstallStatus"), ("delete", "VisitorId"), ("delete", "Method")]

POLICY_DEFAULTS = {"EnableKovaUpdate": ("REG_DWORD", "0x1"),
                   "NotifyDownload": ("REG_DWORD", "0x1"),
                   "NotifyInstall": ("REG_DWORD", "0x0")}


def descriptor(post_status):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<kova-update>\n'
            '<information version="1.0" xml:lang="en">'
            f"<post-status>{post_status}</post-status>"
            f"<cntry-lookup>{LOOKUP_URL}</cntry-lookup>"
            "</information>\n</kova-update>\n")


def report_body(visitor_id, products, suite_id=PRODUCTION, prop21=False, prop20="plaintextdummy",
                previous="1.5.0_10", os_description="6.1-sp1"):
    elements = [("sc_xml_ver", "1.0"), ("reportsuiteid", suite_id), ("visitorid", visitor_id)]
    if prop21:
        elements.append(("prop21", visitor_id))
    elements += [("prop20", prop20), ("pagename", "ic"), ("evar2", BUILD), ("evar3", previous),
                 ("evar4", "i586"), ("evar5", NATIVE_ARCH_TEXT), ("evar6", os_description),
                 ("evar7", "koff"), ("evar8", "DE"), ("events", "event6,event7"),
                 ("products", products)]
    text = "".join(f"<{name}>{value}</{name}>" for name, value in elements)
    return f'<?xml version="1.0" encoding="UTF-8"?> <request> {text}</request>'.encode("latin-1")


def check_visitor_id(visitor_id):
    """A made id: lower-case hex digits (16 to 24) split in the middle by "-"."""
    m = re.fullmatch(r"([0-9a-f]+)-([0-9a-f]+)", visitor_id)
    assert m, visitor_id
    first, second = m.groups()
    assert 16 <= len(first) + len(second) <= 24 and len(first) == (len(first) + len(second)) // 2


# ---- Running one scenario ----

@dataclass
class Outcome:
    exit_code: int
    engine_runs: int
    log: bytes  # None: no log file in either place
    effects: list  # [(op, value name)] as the product made them
    lengths: dict  # value name -> data length of its last set
    policy: dict
    vendor: dict


def registry_effects(stderr):
    """The product's writes and deletes of the watched values, from the relay
    trace, in order. The product runs its network steps on worker threads, so
    its effects come from more than one thread; the stand-in, traced too, only
    ever sets InstallStatus, which the product never sets: a thread that does
    nothing else is the stand-in's."""
    calls = []
    for line in stderr.splitlines():
        m = RELAY_CALL.match(line)
        if not m:
            continue
        tid, function, args = m.groups()
        name = re.search(r'"([^"]*)"', args).group(1)
        if name in WATCHED:
            calls.append((tid, function, args, name))
    standin_threads = {tid for tid, *_ in calls} - {
        tid for tid, function, _, name in calls
        if function != "SetValueExA" or name != "InstallStatus"}
    effects, lengths = [], {}
    for tid, function, args, name in calls:
        if tid in standin_threads:
            continue
        if function == "SetValueExA":
            # A 64-bit relay trace prints whole registers: keep a DWORD's 32 bits.
            fields = [int(f, 16) & 0xFFFFFFFF for f in args.split('",', 1)[1].split(",")[:4]]
            assert fields[1] == 1, args  # REG_SZ
            lengths[name] = fields[3]
            effects.append(("set", name))
        else:
            effects.append(("delete", name))
    return effects, lengths


def expected_effects(engine_runs, report, reporting=True):
    before_run = ([("set", "Country"), ("set", "PostStatusUrl")] if reporting
                  else [("delete", "PostStatusUrl")])
    effects = [("delete", "InstallStatus")] + before_run
    for _ in range(engine_runs - 1):
        effects += [("delete", "InstallStatus")] + before_run
    return effects + report + CLEAN_UP


def run_product(wine, standin, proxy_env, exit_codes, statuses=(), seed=None, tmpdir=True):
    """Seeds the registry (one regedit start), runs the product once with the
    relay trace on, reads back the log and the two keys."""
    standin.script(exit_codes, statuses)
    keys = {r"HKCU\Software\Wine\Debug": {"RelayInclude": RELAY_INCLUDE}}
    keys.update(seed or {})
    reg_import(wine, keys)
    windows_env = {}
    log_folder = wine.user_folder / "Temp"
    if tmpdir:
        log_folder = wine.workdir / "logs"
        log_folder.mkdir()
        windows_env["TMPDIR"] = windows_path(log_folder)
    code = wine.run_exe(BIN / PRODUCT, windows_env=windows_env,
                        extra_env=dict(proxy_env, WINEDEBUG="-all,+relay"))
    effects, lengths = registry_effects(wine.last_stderr)
    logs = [folder / "kusched.log" for folder in (wine.workdir / "logs", wine.user_folder / "Temp")]
    found = [path for path in logs if path.exists()]
    assert found in ([], [log_folder / "kusched.log"]), found
    tree = reg_tree(wine, VENDOR_KEY)
    return Outcome(code, len(standin.runs()), found[0].read_bytes() if found else None,
                   effects, lengths, tree.get(POLICY_KEY.lower()), tree.get(VENDOR_KEY.lower(), {}))


def log_entries(data):
    """[(time stamp, text)] of a status log; every entry starts on a new line."""
    parts = STAMP.split(data)
    assert parts[0] == b"", data
    entries = list(zip(parts[1::2], parts[2::2]))
    now = datetime.datetime.now()
    for stamp, _ in entries:
        when = datetime.datetime.strptime(stamp.decode(), "%a %b %d %H:%M:%S %Y")
        assert abs((when - now).total_seconds()) < 300, stamp
    return [text for _, text in entries]


def runtimes(*names):
    return {rf"{RUNTIME_ROOT}\{name}": {} for name in names}


RUNTIMES = runtimes("1.4", "1.4.2_05", "1.5.0_10", "1.6", "1.6.0_07")


# ---- A failed install is reported once ----

RESPONSE = b"OK\r\nstored 1 record"


@dataclass
class Report:
    exit_codes: list = field(default_factory=lambda: [1603])
    statuses: list = field(default_factory=list)
    products: str = ";krt|1603"
    reply: dict = field(default_factory=lambda: {"body": RESPONSE})  # to the POST
    comma_part: str = ""  # text after the post-status URL
    suite_id: str = PRODUCTION
    prop21: bool = False
    seed: dict = field(default_factory=dict)
    version: str = None  # the Windows version Wine shows the product
    os_description: str = "6.1-sp1"
    previous: str = "1.5.0_10"
    stored_visitor_id: str = None
    tmpdir: bool = True


REPORTS = {
    "1603 without install status": Report(),
    "exists with 1603 on XP, log in the temp folder": Report(
        statuses=["exists"], products=";krt|-128", version="winxp", os_description="winxp-sp3",
        tmpdir=False),
    # The response is logged up to a NUL byte.
    "exists with 1618": Report(exit_codes=[1618], statuses=["exists"], products=";krt|1618",
                               reply={"body": b"saved\0 not logged"}),
    # A long response is cut where the log text ends, at 511 characters.
    "other status, negative code, only the own runtime, long response": Report(
        exit_codes=[-1], statuses=["rolledback"], products=";krt|-1rolledback", previous="XX",
        reply={"body": bytes(range(32, 127)) * 8}),
    "the second run after reinstall": Report(
        exit_codes=[1603, 1618], statuses=["reinstall", None], products=";krt|1618"),
    "500": Report(reply={"status": 500, "body": RESPONSE}),
    # Headless, the credentials dialog answers at once without a retry.
    "proxy wants credentials": Report(reply={
        "status": 407, "headers": {"Proxy-Authenticate": 'Basic realm="kova"'}, "body": RESPONSE}),
    "development suite": Report(comma_part="," + DEVELOPMENT, suite_id=DEVELOPMENT, prop21=True),
    "PingTest and a stored visitor id": Report(
        seed={VENDOR_KEY: {"PingTest": "1"}}, prop21=True, stored_visitor_id="0123456789abcdef"),
    # Not the development suite (case-sensitive); further commas belong to
    # the suite id, which is cut to its 19 characters.
    "another suite id": Report(comma_part=",orvoinstallstatDEV,x",
                               suite_id="orvoinstallstatDEV,"),
}


# The report's structures and the XP paths (shfolder.dll, looked up at run time)
# also run against the i686 exe.
I686_REPORTS = ("1603 without install status", "exists with 1603 on XP, log in the temp folder")


@pytest.mark.parametrize("case", [pytest.param(case, id=name, marks=[I686] if name in I686_REPORTS else [])
                                  for name, case in REPORTS.items()])
def test_failed_install_posts_one_report_and_logs_it(wine, standin, simulator, case):
    post_status = POST_URL + case.comma_part
    simulator.script({"method": "GET", "body": descriptor(post_status)},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
                     {"method": "POST", **case.reply})
    seed = dict(case.seed)
    seed.update(runtimes("1.6.0_07") if case.previous == "XX" else RUNTIMES)
    if case.version:
        seed[rf"HKCU\Software\Wine\AppDefaults\{PRODUCT}"] = {"Version": case.version}
    if case.stored_visitor_id:
        seed.setdefault(POLICY_KEY, {})["VisitorId"] = case.stored_visitor_id
    out = run_product(wine, standin, simulator.proxy_env, case.exit_codes, case.statuses, seed,
                      case.tmpdir)

    assert out.exit_code == case.exit_codes[-1]
    assert out.engine_runs == len(case.exit_codes)
    posts = simulator.requests("POST")
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD", "POST"]
    post, = posts
    assert post.request_line == POST_LINE
    assert post.header("User-Agent") == "kupdate" and post.header("Content-Type") is None
    visitor_id = re.search(rb"<visitorid>([^<]*)</visitorid>", post.body).group(1).decode()
    if case.stored_visitor_id:
        assert visitor_id == case.stored_visitor_id
    else:
        check_visitor_id(visitor_id)
    body = report_body(visitor_id, case.products, case.suite_id, case.prop21,
                       previous=case.previous, os_description=case.os_description)
    assert post.body == body
    assert int(post.header("Content-Length")) == len(body)

    status = case.reply.get("status", 200)
    summary = (f"InstallStatus:ret={status} visid={visitor_id} method=koff state=ic "
               f"ver={case.previous},{BUILD} ICstatus={case.products}").encode()
    if status == 200:
        # The answer as one line of printable characters: every other byte a blank.
        answer = case.reply["body"][:512].split(b"\0")[0]
        summary += b"\n" + bytes(b if 0x20 <= b <= 0x7E else 0x20 for b in answer)
    expected_log = [summary[:511]]
    if case.suite_id == DEVELOPMENT:
        expected_log.append(body.replace(b"<prop20>plaintextdummy<",
                                         b"<prop20>" + b"X" * len("plaintextdummy") + b"<"))
    assert out.log is not None
    assert log_entries(out.log) == expected_log

    report = REPORT[1:] if case.stored_visitor_id else REPORT
    assert out.effects == expected_effects(len(case.exit_codes), report)
    made_id = {} if case.stored_visitor_id else {"VisitorId": len(visitor_id)}
    # All three are stored without a terminator.
    assert out.lengths == {"Country": 2, "PostStatusUrl": len(post_status), **made_id}
    # A Policy key that existed before the run gets no defaults.
    defaults = {} if POLICY_KEY in seed else POLICY_DEFAULTS
    assert out.policy == {**defaults, "Country": ("REG_SZ", "DE"),
                          "PostStatusUrl": ("REG_SZ", post_status)}
    assert out.vendor == ({"PingTest": ("REG_SZ", "1")} if VENDOR_KEY in case.seed else {})


# ---- No report: success, the package's own verdicts ----

@dataclass
class Quiet:
    exit_codes: list
    statuses: list = field(default_factory=list)
    post_status: str = POST_URL
    report: list = field(default_factory=list)


QUIET = {
    "0": Quiet([0]),
    "3010 with exists": Quiet([3010], ["exists"]),
    "1641": Quiet([1641]),
    # Both runs leave "reinstall": the report is dropped, the Policy values stay for the clean-up.
    "reinstall": Quiet([1603, 1603], ["reinstall", "reinstall"], report=REPORT_KEEPS_POLICY),
    "decline": Quiet([1603], ["decline"], report=REPORT),
}


@pytest.mark.parametrize("case", QUIET.values(), ids=QUIET.keys())
def test_no_report_is_sent(wine, standin, simulator, case):
    simulator.script({"method": "GET", "body": descriptor(case.post_status)},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}},
                     {"method": "POST"})
    out = run_product(wine, standin, simulator.proxy_env, case.exit_codes, case.statuses,
                      RUNTIMES)
    assert out.exit_code == case.exit_codes[-1]
    assert out.engine_runs == len(case.exit_codes)
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD"]
    assert out.log is None
    assert out.effects == expected_effects(len(case.exit_codes), case.report)
    if case.report:
        assert 17 <= out.lengths["VisitorId"] <= 25
    assert out.policy == {**POLICY_DEFAULTS, "Country": ("REG_SZ", "DE"),
                          "PostStatusUrl": ("REG_SZ", case.post_status)}
    assert out.vendor == {}


# ---- A report that never reaches the server leaves no log entry ----

class VanishingSimulator(Simulator):
    """Stops listening once it has taken the country lookup, before answering it."""

    def _record_and_choose(self, request):
        reply = super()._record_and_choose(request)
        if request.method == "HEAD":
            self.stop()
        return reply


UNREACHABLE = {
    # No descriptor either: reporting stays off, there is no report to send.
    "closed proxy": None,
    "gone before the report": [],
    # A send error that is not one of the silent ones: the error dialog
    # (headless, it answers at once) does not ask for a retry.
    "reset during the report": [{"method": "POST", "action": "reset", "delay": 0.1}],
}


@pytest.mark.parametrize("network", UNREACHABLE)
def test_unreachable_post_status_service_leaves_no_log(wine, standin, closed_proxy_env, network):
    replies = UNREACHABLE[network]
    if replies is None:
        out = run_product(wine, standin, closed_proxy_env, [1603], ["exists"], RUNTIMES)
        assert out.effects == expected_effects(1, NO_REPORT, reporting=False)
        assert out.policy == POLICY_DEFAULTS
    else:
        sim = (VanishingSimulator if not replies else Simulator)(lifetime=300)
        sim.start()
        try:
            sim.script({"method": "GET", "body": descriptor(POST_URL)},
                       {"method": "HEAD", "headers": {"COUNTRY": "DE"}}, *replies)
            out = run_product(wine, standin, sim.proxy_env, [1603], ["exists"], RUNTIMES)
        finally:
            sim.stop()
        assert [r.method for r in sim.requests()] == ["GET", "HEAD"] + ["POST"] * len(replies)
        assert out.effects == expected_effects(1, REPORT)
        assert out.policy == {**POLICY_DEFAULTS, "Country": ("REG_SZ", "DE"),
                              "PostStatusUrl": ("REG_SZ", POST_URL)}
    assert out.exit_code == 1603
    assert out.log is None
    assert out.vendor == {}
