#!/usr/bin/python3
"""Times whole installs of the bootstrapper under Wine (engine stand-in, so the
figures are the bootstrapper's own) with the network in different states:

  simulator    the vendor services simulator answers the descriptor (reporting
               on) and the country lookup
  slow         the same, each answer 200 ms late
  closed       the proxy points at a loopback port nothing listens on (12029)
  no name      the proxy's name does not resolve (12007), as on a machine
               without network (a reserved .invalid name: nothing is contacted)
  baseline     another build of the exe given with --baseline-exe (for example
               one without the network steps), proxy closed

Each state runs --runs times in one private copy of the project's Wine prefix
(persistent wineserver); the figures are wall-clock milliseconds per install
as the launcher sees them from Linux (min / median / max).

  scripts/bench_network.py [--build DIR] [--prefix DIR] [--runs N] [--baseline-exe EXE]
"""
import argparse
import os
import shutil
import socket
import statistics
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "tools"))
import wine_arch  # noqa: E402  (KOVA_TEST_ARCH forces the architecture)


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(wine_arch.BUILD))
    parser.add_argument("--prefix", default=str(wine_arch.WINE_DIR / "prefix"))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--baseline-exe")
    return parser.parse_args()


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    args = parse_args()
    wine_arch.BUILD = Path(args.build)
    os.environ["KOVA_TEMPLATE_PREFIX"] = args.prefix
    os.environ.pop("http_proxy", None)
    sys.path.insert(0, str(ROOT / "tests" / "e2e"))
    sys.path.insert(0, str(ROOT / "tests" / "tools"))
    import conftest  # the end-to-end harness: Wine, EngineStandIn, copy_prefix
    from simulator import Simulator

    print(wine_arch.arch_line())
    if not (Path(args.prefix) / "system.reg").exists():
        wine_arch.make_prefix(Path(args.prefix))
    work = Path(tempfile.mkdtemp(prefix="kova-bench-"))
    conftest.copy_prefix(Path(args.prefix), work / "prefix")
    wine = conftest.Wine(work / "prefix", work)
    sim = Simulator(lifetime=1800)
    sim.start()
    try:
        standin = conftest.EngineStandIn(wine)
        product = conftest.BIN / conftest.PRODUCT
        descriptor = ('<kova-update><information version="1.0" xml:lang="en">'
                      "<post-status>http://ps.kova.com/p</post-status>"
                      "<cntry-lookup>http://geo.kova.com/cc</cntry-lookup>"
                      "</information></kova-update>")
        answering = ({"method": "GET", "body": descriptor},
                     {"method": "HEAD", "headers": {"COUNTRY": "DE"}})
        closed = {"http_proxy": f"http://127.0.0.1:{closed_port()}"}
        states = [
            ("simulator", product, answering, sim.proxy_env),
            ("slow", product, tuple(dict(r, delay=0.2) for r in answering), sim.proxy_env),
            ("closed", product, (), closed),
            ("no name", product, (), {"http_proxy": "http://proxy.invalid:8080"}),
        ]
        if args.baseline_exe:
            base = work / "baseline"
            base.mkdir()
            shutil.copy(args.baseline_exe, base / conftest.PRODUCT)
            states.append(("baseline", base / conftest.PRODUCT, (), closed))

        wine.run_exe(product, extra_env=closed)  # warm up Wine's caches once
        print(f"{'state':<10} {'min':>7} {'median':>7} {'max':>7}  ms per install, {args.runs} runs")
        for name, exe, replies, env in states:
            times = []
            for _ in range(args.runs):
                sim.script(*replies)
                start = time.perf_counter()
                code = wine.run_exe(exe, extra_env=env)
                times.append((time.perf_counter() - start) * 1000)
                if code != 0:
                    raise SystemExit(f"{name}: exit code {code}")
            print(f"{name:<10} {min(times):7.0f} {statistics.median(times):7.0f} {max(times):7.0f}")
    finally:
        sim.stop()
        wine.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
