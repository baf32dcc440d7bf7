"""The network around the install: the update descriptor, the country lookup,
and what they hand to the package, against the vendor services simulator."""
import pytest

from conftest import BIN, I686, POLICY_KEY, PRODUCT, engine_command_line

DESCRIPTOR_GET = "GET http://update.kova.com:80/update/1.6.0/1.6.0_07-b06.xml HTTP/1.1"


def descriptor(post_status, lookup, lang="en"):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<kova-update>\n'
            f'<information version="1.0" xml:lang="{lang}">'
            f"<post-status>{post_status}</post-status>"
            f"<cntry-lookup>{lookup}</cntry-lookup>"
            "<offline-options>0</offline-options></information>\n</kova-update>\n")


REPORTING_ON = descriptor("http://ps.kova.com/b/ss/krt", "http://geo.kova.com/country?v=1")


def policy_values(standin):
    """Country and PostStatusUrl as each engine run saw them (None: missing).
    The values are written without a terminator; Wine stores one more byte
    when a NUL follows the data, so a trailing NUL is not part of the text."""
    def text(value):
        return None if value is None else value[:-1] if value.endswith("\0") else value
    return [(text(run["Country"]), text(run["PostStatusUrl"])) for run in standin.runs()]


@I686
def test_reporting_on_hands_country_and_post_status_to_the_package(wine, standin, simulator):
    simulator.script({"method": "GET", "body": REPORTING_ON},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 0
    runs = standin.runs()
    assert len(runs) == 1
    assert runs[0]["cmdline"] == engine_command_line(wine, standin) + " METHOD=koff "
    assert policy_values(standin) == [("DE", "http://ps.kova.com/b/ss/krt")]
    seen = simulator.requests()
    assert [r.request_line for r in seen] == [
        DESCRIPTOR_GET, "HEAD http://geo.kova.com:80/country?v=1 HTTP/1.1"]
    assert all(r.header("User-Agent") == "kupdate" for r in seen)


def test_post_status_0_leaves_reporting_off(wine, standin, simulator):
    wine.reg_add(POLICY_KEY, "PostStatusUrl", "http://left.over/")
    simulator.script({"method": "GET", "body": descriptor("0", "http://geo.kova.com/cc")},
                     {"method": "HEAD", "headers": {"COUNTRY": "FR"}})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 0
    runs = standin.runs()
    assert runs[0]["cmdline"] == engine_command_line(wine, standin)
    assert policy_values(standin) == [(None, None)]
    # The descriptor was had, so the country is still looked up.
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD"]


FAILURES = {
    "proxy port closed": None,
    "connection reset": [{"action": "reset", "delay": 0.1}],
    "404": [{"status": 404, "body": REPORTING_ON}],
    "500": [{"status": 500, "body": REPORTING_ON}],
    "proxy wants credentials": [{"status": 407,
                                 "headers": {"Proxy-Authenticate": 'Basic realm="kova"'}}],
    "an HTML page": [{"body": "<html><body><h1>Welcome</h1></body></html>"}],
    "a cut descriptor": [{"body": REPORTING_ON[:40] + " " * 200, "action": "truncate"}],
}


@pytest.mark.parametrize("failure", FAILURES)
@pytest.mark.parametrize("engine_code", [0, 1603])
def test_network_failures_leave_the_install_as_offline(wine, standin, simulator, closed_proxy_env,
                                                       failure, engine_code):
    standin.script([engine_code])
    replies = FAILURES[failure]
    if replies is None:
        env = closed_proxy_env
    else:
        simulator.script(*replies)
        env = simulator.proxy_env
    assert wine.run_exe(BIN / PRODUCT, extra_env=env) == engine_code
    runs = standin.runs()
    assert len(runs) == 1
    assert runs[0]["cmdline"] == engine_command_line(wine, standin)
    assert policy_values(standin) == [(None, None)]
    assert all(r.method == "GET" for r in simulator.requests())
    assert wine.package_file.exists()


@pytest.mark.parametrize("lookup_reply", [
    {"method": "HEAD", "status": 500, "headers": {"COUNTRY": "DE"}},
    {"method": "HEAD", "headers": {"COUNTRY": "D"}},
    {"method": "HEAD"},
    {"method": "HEAD", "action": "reset", "delay": 0.1},
], ids=["500", "one letter", "no header", "reset"])
def test_failed_lookup_hands_YY_to_the_package(wine, standin, simulator, lookup_reply):
    simulator.script({"method": "GET", "body": REPORTING_ON}, lookup_reply)
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 0
    runs = standin.runs()
    assert runs[0]["cmdline"] == engine_command_line(wine, standin) + " METHOD=koff "
    assert policy_values(standin) == [("YY", "http://ps.kova.com/b/ss/krt")]


@pytest.mark.parametrize("lookup", [
    "http://geo.example.com/country",
    "http://evil.example/?u=http://www.kova.com/",
    "http://evil.example#.kovasoft.com/",
    "http://www.kova.com@evil.example/?http://www.kova.com/",
    "http://u:p@geo.kova.com/country",
    "http://kovasoft.com/country",
])
def test_untrusted_country_lookup_url_is_never_contacted(wine, standin, simulator, lookup):
    simulator.script({"method": "GET", "body": descriptor("http://ps.kova.com/p", lookup)},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 0
    assert [r.method for r in simulator.requests()] == ["GET"]
    assert policy_values(standin) == [("YY", "http://ps.kova.com/p")]


@pytest.mark.parametrize("post_status", [
    "http://evil.example/x",
    # The whole text passes the endpoint test through its comma part, but the
    # host before the comma, where the report would go, is foreign.
    "http://evil.example/b,http://www.kova.com/",
])
def test_untrusted_post_status_url_is_neither_stored_nor_posted_to(wine, standin, simulator,
                                                                    post_status):
    standin.script([1603])
    simulator.script({"method": "GET", "body": descriptor(post_status, "http://geo.kova.com/cc")},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}}, {"method": "POST"})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 1603
    assert [r.method for r in simulator.requests()] == ["GET", "HEAD"]
    assert [url for _, url in policy_values(standin)] == [None]
    assert wine.reg_query(POLICY_KEY, "PostStatusUrl") is None


def test_installer_xml_url_names_the_descriptor(wine, standin, simulator):
    wine.reg_add(r"HKLM\Software\KovaSoft", "InstallerXmlURL",
                 "http://staging.kova.com:8080/u/krt.xml?channel=beta")
    simulator.script({"method": "GET", "url": "staging", "body": REPORTING_ON},
                     {"method": "HEAD", "headers": {"COUNTRY": "se"}})
    assert wine.run_exe(BIN / PRODUCT, extra_env=simulator.proxy_env) == 0
    assert simulator.requests()[0].request_line == (
        "GET http://staging.kova.com:8080/u/krt.xml?channel=beta HTTP/1.1")
    assert policy_values(standin)[0][0] == "se"
