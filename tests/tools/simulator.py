#!/usr/bin/env python3
"""The vendor services simulator: a loopback HTTP server that Wine's WinINet
reaches as its proxy (http_proxy=http://127.0.0.1:PORT in the Wine process's
environment), so every vendor host name lands here and requests arrive in
absolute form ("GET http://update.kova.com:80/path HTTP/1.1").

Tests script the replies and read back every request seen.

In-process (pytest):

    with Simulator() as sim:
        sim.script({"method": "HEAD", "status": 200, "headers": {"COUNTRY": "DE"}})
        ... run something with sim.proxy_env ...
        sim.requests()  # [Request(method, target, version, headers, body, raw)]

From Win32 tests (any process): a control folder. Before each case the test
writes script.json there (a JSON list of replies; the simulator takes it on
the next request and deletes it) and deletes requests.log; the simulator
appends every request it sees to requests.log before it answers, framed as
"--- request <n> <length>\\n" + the raw bytes + "\\n".

    simulator.py run [--lifetime S] -- <command...>

starts the simulator with a fresh control folder, runs the command with
http_proxy, KOVA_SIMULATOR_PORT and KOVA_SIMULATOR_DIR (the folder as a Wine
Z: path) in its environment, stops, and exits with the command's status.

A reply (every key optional):
    method   only requests with this verb match
    url      only requests whose target contains this text match
    status   200; reason: the status text (a default per status)
    headers  {name: value} or [[name, value], ...], sent in order
    body     text or bytes (not sent for HEAD); Content-Length is added
             unless the headers carry one
    delay    seconds to wait before answering
    action   "reset": abort the connection (RST) without answering;
             "close": close it without answering;
             "truncate": announce the whole body, send half, close;
             "stall": announce the whole body, send half, then send
             nothing more for `hold` seconds (default 60) before closing;
             "raw": send the body bytes as they are, then close;
             "trickle": send the answer one byte every `every` seconds
             (default 1), from its first byte
    times    how many requests this reply serves (default: all)
Replies are tried in order; the first that matches and is not used up
answers. A request nothing matches gets 404.

The server binds 127.0.0.1 only and stops by itself after its lifetime
(default 600 s).
"""
import argparse
import json
import os
import shutil
import socket
import socketserver
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REASONS = {200: "OK", 204: "No Content", 302: "Found", 307: "Temporary Redirect", 400: "Bad Request", 403: "Forbidden",
           404: "Not Found", 407: "Proxy Authentication Required", 500: "Internal Server Error",
           503: "Service Unavailable"}
IDLE_TIMEOUT = 30.0
MAX_HEAD = 65536
RECORD_FILE = "requests.log"
SCRIPT_FILE = "script.json"


class Request:
    """One request as received: its request line, header lines and body."""

    def __init__(self, raw_head, body):
        self.raw = raw_head + body
        text = raw_head.decode("latin-1")
        lines = text.split("\r\n")
        self.request_line = lines[0]
        parts = self.request_line.split(" ")
        self.method = parts[0]
        self.target = parts[1] if len(parts) > 1 else ""
        self.version = parts[2] if len(parts) > 2 else ""
        self.header_lines = [line for line in lines[1:] if line]
        self.headers = []
        for line in self.header_lines:
            name, _, value = line.partition(":")
            self.headers.append((name, value.strip()))
        self.body = body

    def header(self, name, default=None):
        for n, v in self.headers:
            if n.lower() == name.lower():
                return v
        return default

    def __repr__(self):
        return f"Request({self.request_line!r}, {self.header_lines!r}, {self.body!r})"


def _normalise(reply):
    r = dict(reply)
    headers = r.get("headers") or []
    if isinstance(headers, dict):
        headers = list(headers.items())
    r["headers"] = [(str(n), str(v)) for n, v in headers]
    body = r.get("body", b"")
    r["body"] = body.encode("latin-1") if isinstance(body, str) else bytes(body)
    r["status"] = int(r.get("status", 200))
    r.setdefault("reason", REASONS.get(r["status"], "Status"))
    r["used"] = 0
    return r


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sim = self.server.simulator
        sock = self.request
        sock.settimeout(IDLE_TIMEOUT)
        stream = sock.makefile("rb")
        try:
            while not sim.stopping.is_set():
                request = _read_request(stream)
                if request is None:
                    return
                reply = sim._record_and_choose(request)
                if not _answer(sock, request, reply):
                    if reply.get("action") == "reset":
                        # Close at once: the server's orderly shutdown would send a FIN first.
                        stream.close()
                        sock.close()
                    return
                connection = (request.header("Proxy-Connection") or request.header("Connection") or "")
                if connection.lower() == "close":
                    return
        except (OSError, ValueError):
            return
        finally:
            try:
                stream.close()
            except OSError:
                pass


def _read_request(stream):
    head = b""
    while True:
        line = stream.readline(MAX_HEAD)
        if not line:
            return None
        if not head and line in (b"\r\n", b"\n"):
            continue  # tolerate blank lines between requests
        head += line
        if line in (b"\r\n", b"\n") or len(head) > MAX_HEAD:
            break
    request = Request(head, b"")
    length = int(request.header("Content-Length", "0") or 0)
    body = stream.read(length) if length > 0 else b""
    return Request(head, body)


def _answer(sock, request, reply):
    """Sends the reply; False when the connection is done with."""
    if reply.get("delay"):
        time.sleep(float(reply["delay"]))
    action = reply.get("action")
    if action == "reset":
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        return False
    if action == "close":
        return False
    body = reply["body"]
    if action == "raw":
        sock.sendall(body)
        return False
    head = f"HTTP/1.1 {reply['status']} {reply['reason']}\r\n"
    names = {n.lower() for n, _ in reply["headers"]}
    for name, value in reply["headers"]:
        head += f"{name}: {value}\r\n"
    if "content-length" not in names:
        head += f"Content-Length: {len(body)}\r\n"
    head += "\r\n"
    if request.method == "HEAD":
        body = b""
    if action == "trickle":
        data = head.encode("latin-1") + body
        for i in range(len(data)):
            time.sleep(float(reply.get("every", 1)))
            sock.sendall(data[i:i + 1])  # fails once the client has gone
        return True
    if action in ("truncate", "stall"):
        sock.sendall(head.encode("latin-1") + body[: len(body) // 2])
        if action == "stall":
            time.sleep(float(reply.get("hold", 60)))
        return False
    sock.sendall(head.encode("latin-1") + body)
    return True


class _Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class Simulator:
    def __init__(self, control_dir=None, lifetime=600.0, port=0):
        self.control_dir = Path(control_dir) if control_dir else None
        self.lifetime = lifetime
        self._wanted_port = port
        self._lock = threading.Lock()
        self._replies = []
        self._requests = []
        self._server = None
        self._thread = None
        self._timer = None
        self.stopping = threading.Event()

    # ---- life cycle ----
    def start(self):
        self._server = _Server(("127.0.0.1", self._wanted_port), _Handler)
        self._server.simulator = self
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        self._timer = threading.Timer(self.lifetime, self.stop)
        self._timer.daemon = True
        self._timer.start()
        return self.port

    def stop(self):
        if self._server is None or self.stopping.is_set():
            return
        self.stopping.set()
        if self._timer is not None and self._timer is not threading.current_thread():
            self._timer.cancel()
        self._server.shutdown()
        self._server.server_close()

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._server.server_address[1]

    @property
    def proxy(self):
        return f"http://127.0.0.1:{self.port}"

    @property
    def proxy_env(self):
        """What the Wine process's environment needs to reach the simulator."""
        return {"http_proxy": self.proxy}

    # ---- scripting and reading back ----
    def script(self, *replies):
        """Replaces the replies and forgets the requests seen so far."""
        with self._lock:
            self._replies = [_normalise(r) for r in replies]
            self._requests = []

    def requests(self, method=None):
        with self._lock:
            return [r for r in self._requests if method is None or r.method == method]

    def _take_control_script(self):
        if self.control_dir is None:
            return
        path = self.control_dir / SCRIPT_FILE
        try:
            text = path.read_text(encoding="latin-1")
        except FileNotFoundError:
            return
        path.unlink()
        self._replies = [_normalise(r) for r in json.loads(text)]

    def _record_and_choose(self, request):
        with self._lock:
            self._take_control_script()
            self._requests.append(request)
            if self.control_dir is not None:
                with open(self.control_dir / RECORD_FILE, "ab") as f:
                    f.write(b"--- request %d %d\n" % (len(self._requests), len(request.raw)))
                    f.write(request.raw + b"\n")
                    f.flush()
            for reply in self._replies:
                if reply.get("method") and reply["method"] != request.method:
                    continue
                if reply.get("url") and reply["url"] not in request.target:
                    continue
                if reply.get("times") is not None and reply["used"] >= int(reply["times"]):
                    continue
                reply["used"] += 1
                return reply
            return _normalise({"status": 404, "body": "no reply scripted"})


def read_record_file(path):
    """The requests of a control folder's record file."""
    data = Path(path).read_bytes() if Path(path).exists() else b""
    requests = []
    while data.startswith(b"--- request "):
        line, _, data = data.partition(b"\n")
        length = int(line.split()[3])
        raw, data = data[:length], data[length + 1:]
        head, sep, body = raw.partition(b"\r\n\r\n")
        requests.append(Request(head + sep, body))
    return requests


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    serve = sub.add_parser("serve", help="serve until the lifetime ends")
    serve.add_argument("--control-dir", required=True)
    serve.add_argument("--port-file")
    serve.add_argument("--lifetime", type=float, default=600.0)
    run = sub.add_parser("run", help="serve while a command runs")
    run.add_argument("--lifetime", type=float, default=1800.0)
    run.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args(argv)

    if args.mode == "serve":
        control = Path(args.control_dir)
        control.mkdir(parents=True, exist_ok=True)
        sim = Simulator(control, args.lifetime)
        sim.start()
        if args.port_file:
            Path(args.port_file).write_text(f"{sim.port}\n")
        print(f"simulator on 127.0.0.1:{sim.port}, control folder {control}", flush=True)
        try:
            while not sim.stopping.wait(0.5):
                pass
        except KeyboardInterrupt:
            sim.stop()
        return 0

    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("run needs a command")
    control = Path(tempfile.mkdtemp(prefix="kova-simulator-"))
    sim = Simulator(control, args.lifetime)
    sim.start()
    env = dict(os.environ, http_proxy=sim.proxy, KOVA_SIMULATOR_PORT=str(sim.port),
               KOVA_SIMULATOR_DIR=windows_path(control))
    try:
        return subprocess.run(command, env=env).returncode
    finally:
        sim.stop()
        shutil.rmtree(control, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
