#!/usr/bin/env python3
"""Self-test of servers.py and fault_server.py.

Starts the servers in a temporary folder, exercises every route with curl and
with plain sockets, checks the request logs, and checks that stopping leaves
no process behind.  Run: python3 tests/servers/test_servers.py
"""

import http.client
import json
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
SERVERS = os.path.join(HERE, "servers.py")
CURL = "/usr/bin/curl"
INI_KEYS = ["http_port", "https_port", "fault_port", "www", "ca_pem",
            "ca_der", "fault_log", "nginx_log"]


def pattern(offset, length):
    return bytes((offset + i) % 251 for i in range(length))


def run_servers(*args, timeout=30):
    return subprocess.run([sys.executable, SERVERS] + list(args),
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)


def read_ini(path):
    with open(path) as f:
        lines = [l.rstrip("\r\n") for l in f if l.strip()]
    assert lines[0] == "[servers]", lines
    pairs = [l.split("=", 1) for l in lines[1:]]
    return [k for k, _ in pairs], dict(pairs)


def read_pids(directory):
    with open(os.path.join(directory, "pids")) as f:
        return {kind: int(pid) for kind, pid in (l.split() for l in f)}


def proc_stat(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            data = f.read()
    except OSError:
        return None
    fields = data[data.rfind(")") + 2:].split()
    return fields[0], int(fields[2])


def living(pid):
    stat = proc_stat(pid)
    return stat is not None and stat[0] not in ("Z", "X")


def processes_of(pids, directory):
    """Live processes that belong to the given servers: the servers
    themselves, their process groups, and anything naming the folder."""
    found = set()
    groups = set(pids)
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        pid = int(name)
        stat = proc_stat(pid)
        if stat is None or stat[0] in ("Z", "X"):
            continue
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            continue
        if pid in pids or stat[1] in groups or directory in cmd:
            if pid != os.getpid():
                found.add((pid, cmd))
    return found


def curl(*args, timeout=20):
    result = subprocess.run([CURL, "-sS", "--noproxy", "*"] + list(args),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout)
    return result.returncode, result.stdout, result.stderr.decode("utf-8", "replace")


def raw_request(port, request, timeout=10.0):
    """Sends raw request bytes; returns (head, body, how the stream ended)."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        sock.sendall(request)
        data = b""
        ending = "eof"
        while True:
            try:
                chunk = sock.recv(65536)
            except ConnectionResetError:
                ending = "reset"
                break
            if not chunk:
                break
            data += chunk
    finally:
        sock.close()
    head, _, body = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), body, ending


def header(head, name):
    for line in head.split("\r\n")[1:]:
        key, _, value = line.partition(":")
        if key.strip().lower() == name.lower():
            return value.strip()
    return None


class ServersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="updater-servers-")
        cls.dir = os.path.join(cls.tmp, "srv")
        result = run_servers("start", "--dir", cls.dir)
        if result.returncode != 0:
            run_servers("stop", "--dir", cls.dir)
            shutil.rmtree(cls.tmp, ignore_errors=True)
            raise RuntimeError("start failed:\n%s%s" % (
                result.stdout.decode(), result.stderr.decode()))
        cls.keys, cls.ini = read_ini(os.path.join(cls.dir, "servers.ini"))
        cls.http = int(cls.ini["http_port"])
        cls.https = int(cls.ini["https_port"])
        cls.fault = int(cls.ini["fault_port"])
        cls.www = cls.ini["www"]
        cls.pids = read_pids(cls.dir)

    @classmethod
    def tearDownClass(cls):
        pids = set(cls.pids.values())
        result = run_servers("stop", "--dir", cls.dir)
        left = processes_of(pids, cls.dir)
        err = ""
        try:
            with open(os.path.join(cls.dir, "fault-server.err")) as f:
                err = f.read()
        except OSError:
            pass
        shutil.rmtree(cls.tmp, ignore_errors=True)
        assert result.returncode == 0, result.stderr.decode()
        assert not left, "left behind: %r" % (left,)
        assert "Traceback" not in err, err

    def tag(self):
        return uuid.uuid4().hex[:12]

    def fault_lines(self, needle):
        with open(self.ini["fault_log"]) as f:
            records = [json.loads(l) for l in f if l.strip()]
        return [r for r in records if needle in r["path"]]

    def nginx_lines(self, needle, want=1, wait=3.0):
        # nginx writes its line when the request is finalised, which can be
        # a moment after the client already has the whole response.
        deadline = time.monotonic() + wait
        while True:
            with open(self.ini["nginx_log"]) as f:
                records = [json.loads(l) for l in f if l.strip()]
            found = [r for r in records if needle in r["uri"]]
            if len(found) >= want or time.monotonic() > deadline:
                return found
            time.sleep(0.05)

    def put_file(self, name, data):
        path = os.path.join(self.www, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    # -- servers.ini and certificates ---------------------------------------

    def test_ini(self):
        self.assertEqual(self.keys, INI_KEYS)
        self.assertEqual(len({self.http, self.https, self.fault}), 3)
        for key in ("www", "ca_pem", "ca_der", "fault_log", "nginx_log"):
            self.assertTrue(os.path.isabs(self.ini[key]), key)
            self.assertTrue(os.path.exists(self.ini[key]), key)
        self.assertEqual(self.www, os.path.join(self.dir, "www"))
        self.assertEqual(self.ini["ca_pem"], os.path.join(self.dir, "tls", "ca.pem"))
        self.assertEqual(set(self.pids), {"nginx", "fault"})
        for pid in self.pids.values():
            self.assertTrue(living(pid))

    def test_status_command(self):
        result = run_servers("status", "--dir", self.dir)
        self.assertEqual(result.returncode, 0, result.stdout)
        result = run_servers("status", "--dir", os.path.join(self.tmp, "none"))
        self.assertEqual(result.returncode, 1)

    def test_certificates(self):
        with open(self.ini["ca_pem"]) as f:
            pem = f.read()
        with open(self.ini["ca_der"], "rb") as f:
            der = f.read()
        self.assertEqual(ssl.PEM_cert_to_DER_cert(pem), der)
        tls = os.path.dirname(self.ini["ca_pem"])
        text = subprocess.run(
            ["openssl", "x509", "-in", os.path.join(tls, "server.pem"),
             "-noout", "-text"], stdout=subprocess.PIPE, check=True).stdout.decode()
        self.assertIn("DNS:localhost", text)
        self.assertIn("TLS Web Server Authentication", text)
        ca_text = subprocess.run(
            ["openssl", "x509", "-in", self.ini["ca_pem"], "-noout", "-text"],
            stdout=subprocess.PIPE, check=True).stdout.decode()
        self.assertIn("CA:TRUE", ca_text)
        self.assertTrue(os.path.exists(os.path.join(tls, "server.key")))

    # -- nginx ----------------------------------------------------------------

    def test_nginx_http_fresh_200_and_log(self):
        t = self.tag()
        body = b"catalog " + t.encode() + b"\n"
        self.put_file("n-%s/scripts.txt" % t, body)
        url = "http://127.0.0.1:%d/n-%s/scripts.txt" % (self.http, t)
        rc, out, err = curl("-D", "-", "-A", "ZentoUpdater",
                            "-H", "Pragma: no-cache",
                            "-H", "Cache-Control: no-cache",
                            "-H", "If-Modified-Since: Fri, 01 Jan 2100 00:00:00 GMT",
                            "-H", 'If-None-Match: "x", *', url)
        self.assertEqual(rc, 0, err)
        head, _, got = out.partition(b"\r\n\r\n")
        head = head.decode()
        self.assertTrue(head.startswith("HTTP/1.1 200"), head)
        self.assertEqual(got, body)
        self.assertEqual(header(head, "Content-Length"), str(len(body)))
        self.assertIsNone(header(head, "ETag"))
        lines = self.nginx_lines("/n-%s/" % t)
        self.assertEqual(len(lines), 1)
        rec = lines[0]
        self.assertEqual(rec["status"], 200)
        self.assertEqual(rec["scheme"], "http")
        self.assertEqual(rec["user_agent"], "ZentoUpdater")
        self.assertEqual(rec["pragma"], "no-cache")
        self.assertEqual(rec["cache_control"], "no-cache")
        self.assertEqual(rec["bytes"], len(body))
        # Sending back the exact Last-Modified still gets a full 200.
        rc, out, err = curl("-D", "-", "-H", "If-Modified-Since: " + header(head, "Last-Modified"), url)
        self.assertEqual(rc, 0, err)
        head2, _, got = out.partition(b"\r\n\r\n")
        self.assertTrue(head2.startswith(b"HTTP/1.1 200"), head2)
        self.assertEqual(got, body)
        # A changed file is served changed at once (no open-file cache).
        self.put_file("n-%s/scripts.txt" % t, b"second version\n")
        rc, out, err = curl(url)
        self.assertEqual((rc, out), (0, b"second version\n"), err)
        # Missing file: plain 404, also logged.
        rc, out, err = curl("-o", "/dev/null", "-w", "%{http_code}",
                            "http://127.0.0.1:%d/n-%s/missing.txt" % (self.http, t))
        self.assertEqual(out, b"404")
        self.assertEqual(self.nginx_lines("/n-%s/missing" % t)[0]["status"], 404)

    def test_nginx_https(self):
        t = self.tag()
        body = pattern(7, 300000)
        self.put_file("s-%s/big.bin" % t, body)
        url = "https://localhost:%d/s-%s/big.bin" % (self.https, t)
        rc, out, err = curl("--cacert", self.ini["ca_pem"], "-A", "ZentoUpdater",
                            "-H", "Pragma: no-cache", url)
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, body)
        rec = self.nginx_lines("/s-%s/" % t)[0]
        self.assertEqual((rec["scheme"], rec["status"]), ("https", 200))
        self.assertEqual(rec["user_agent"], "ZentoUpdater")
        self.assertEqual(rec["pragma"], "no-cache")
        self.assertEqual(rec["cache_control"], "")
        # Without the test authority the certificate must not verify.
        env = dict(os.environ)
        env.pop("CURL_CA_BUNDLE", None)
        env.pop("SSL_CERT_FILE", None)
        result = subprocess.run([CURL, "-sS", "--noproxy", "*", "-o", "/dev/null", url],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=env, timeout=20)
        self.assertEqual(result.returncode, 60, result.stderr)
        # Python's own TLS stack agrees, by name and by address.
        ctx = ssl.create_default_context(cafile=self.ini["ca_pem"])
        for host in ("localhost", "127.0.0.1"):
            conn = http.client.HTTPSConnection(host, self.https, context=ctx, timeout=10)
            conn.request("GET", "/s-%s/big.bin" % t)
            resp = conn.getresponse()
            self.assertEqual(resp.status, 200)
            self.assertEqual(resp.read(), body)
            conn.close()
        bare = ssl.create_default_context()
        bare.load_default_certs()
        conn = http.client.HTTPSConnection("localhost", self.https, context=bare, timeout=10)
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn.request("GET", "/")
        conn.close()

    # -- fault server ---------------------------------------------------------

    def test_status_codes(self):
        t = self.tag()
        for code in (200, 404, 500, 503, 206):
            rc, out, err = curl("-D", "-", "http://127.0.0.1:%d/status/%d/%s" % (self.fault, code, t))
            self.assertEqual(rc, 0, err)
            head, _, body = out.partition(b"\r\n\r\n")
            head = head.decode()
            self.assertTrue(head.startswith("HTTP/1.1 %d" % code), head)
            self.assertEqual(body, b"status %d\n" % code)
            self.assertEqual(header(head, "Content-Length"), str(len(body)))
            if code == 206:
                self.assertIsNotNone(header(head, "Content-Range"))
        head, body, _ = raw_request(self.fault, (
            "GET /status/304/%s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % t).encode())
        self.assertTrue(head.startswith("HTTP/1.1 304"), head)
        self.assertEqual(body, b"")
        rc, out, _ = curl("-o", "/dev/null", "-w", "%{http_code}",
                          "http://127.0.0.1:%d/status/abc/%s" % (self.fault, t))
        self.assertEqual(out, b"400")
        self.assertEqual(len(self.fault_lines(t)), 7)

    def test_redirects(self):
        t = self.tag()
        base = "http://127.0.0.1:%d" % self.fault
        rc, out, err = curl("-L", "-w", "|%{num_redirects}|%{http_code}",
                            "%s/redirect/3/ok/%s" % (base, t))
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, b"redirected-ok\n|3|200")
        rc, out, err = curl("-L", "-o", "/dev/null", "-w", "%{num_redirects}|%{http_code}",
                            "%s/redirect/2/404/%s" % (base, t))
        self.assertEqual(out, b"2|404")
        # Odd hop counts give absolute locations, even ones path-only.
        rc, out, _ = curl("-D", "-", "-o", "/dev/null", "%s/redirect/3/ok/%s" % (base, t))
        head = out.decode()
        self.assertTrue(head.startswith("HTTP/1.1 302"), head)
        self.assertEqual(header(head, "Location"), "%s/redirect/2/ok/%s" % (base, t))
        rc, out, _ = curl("-D", "-", "-o", "/dev/null", "%s/redirect/2/ok/%s" % (base, t))
        self.assertEqual(header(out.decode(), "Location"), "/redirect/1/ok/%s" % t)
        paths = [r["path"] for r in self.fault_lines(t)]
        self.assertEqual(paths[:4], ["/redirect/%d/ok/%s" % (n, t) for n in (3, 2, 1, 0)])
        self.assertEqual(paths[4:7], ["/redirect/%d/404/%s" % (n, t) for n in (2, 1, 0)])

    def test_nolength(self):
        t = self.tag()
        head, body, ending = raw_request(self.fault, (
            "GET /nolength/70000/%s HTTP/1.1\r\nHost: x\r\n\r\n" % t).encode())
        self.assertTrue(head.startswith("HTTP/1.1 200"), head)
        self.assertIsNone(header(head, "Content-Length"))
        self.assertIsNone(header(head, "Transfer-Encoding"))
        self.assertEqual(ending, "eof")
        self.assertEqual(body, pattern(0, 70000))
        rc, out, err = curl("http://127.0.0.1:%d/nolength/123457/%s" % (self.fault, t))
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, pattern(0, 123457))

    def test_empty_and_body(self):
        t = self.tag()
        rc, out, err = curl("-D", "-", "http://127.0.0.1:%d/empty/%s" % (self.fault, t))
        self.assertEqual(rc, 0, err)
        head, _, body = out.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200"))
        self.assertEqual(header(head.decode(), "Content-Length"), "0")
        self.assertEqual(body, b"")
        rc, out, err = curl("-D", "-", "http://127.0.0.1:%d/body/1000003/%s" % (self.fault, t))
        self.assertEqual(rc, 0, err)
        head, _, body = out.partition(b"\r\n\r\n")
        self.assertEqual(header(head.decode(), "Content-Length"), "1000003")
        self.assertEqual(body, pattern(0, 1000003))
        # keep-alive: two requests on one connection both answered
        conn = http.client.HTTPConnection("127.0.0.1", self.fault, timeout=10)
        for size in (10, 502):
            conn.request("GET", "/body/%d/%s" % (size, t))
            resp = conn.getresponse()
            self.assertEqual(resp.read(), pattern(0, size))
        conn.close()
        conn = http.client.HTTPConnection("127.0.0.1", self.fault, timeout=10)
        conn.request("HEAD", "/body/99/%s" % t)
        resp = conn.getresponse()
        self.assertEqual(resp.getheader("Content-Length"), "99")
        self.assertEqual(resp.read(), b"")
        conn.close()

    def test_slow_and_cancel(self):
        t = self.tag()
        start = time.monotonic()
        rc, out, err = curl("http://127.0.0.1:%d/slow/3000/1000/150/%s" % (self.fault, t))
        elapsed = time.monotonic() - start
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, pattern(0, 3000))
        self.assertGreaterEqual(elapsed, 0.28)
        rc, out, err = curl("--max-time", "0.5", "http://127.0.0.1:%d/slow/1000000/100/50/%s" % (self.fault, t))
        self.assertEqual(rc, 28, err)
        self.assertGreater(len(out), 0)
        self.assertLess(len(out), 1000000)
        self.assertEqual(out, pattern(0, len(out)))
        # A client that hangs up mid-body must not disturb the server.
        sock = socket.create_connection(("127.0.0.1", self.fault), timeout=5)
        sock.sendall(("GET /slow/100000/10/20/%s HTTP/1.1\r\nHost: x\r\n\r\n" % t).encode())
        sock.recv(100)
        sock.close()
        time.sleep(0.2)
        rc, out, err = curl("http://127.0.0.1:%d/body/5/%s" % (self.fault, t))
        self.assertEqual((rc, out), (0, pattern(0, 5)), err)

    def test_short(self):
        t = self.tag()
        rc, out, err = curl("http://127.0.0.1:%d/short/1000/400/%s" % (self.fault, t))
        self.assertIn(rc, (18, 56), err)
        self.assertEqual(out, pattern(0, 400))
        head, body, ending = raw_request(self.fault, (
            "GET /short/5000/1234/%s HTTP/1.1\r\nHost: x\r\n\r\n" % t).encode())
        self.assertEqual(header(head, "Content-Length"), "5000")
        self.assertEqual(body, pattern(0, 1234))
        self.assertEqual(ending, "eof")

    def test_reset(self):
        t = self.tag()
        rc, out, err = curl("http://127.0.0.1:%d/reset/100000/3000/%s" % (self.fault, t))
        self.assertIn(rc, (18, 56), err)
        self.assertLessEqual(len(out), 3000)
        self.assertEqual(out, pattern(0, len(out)))
        sock = socket.create_connection(("127.0.0.1", self.fault), timeout=10)
        sock.sendall(("GET /reset/9000/2000/%s HTTP/1.1\r\nHost: x\r\n\r\n" % t).encode())
        time.sleep(0.5)  # everything, the reset included, has arrived by now
        with self.assertRaises(ConnectionResetError):
            while sock.recv(65536):
                pass
        sock.close()

    def test_file_route(self):
        t = self.tag()
        self.put_file("f-%s/sp ace+%%.txt" % t, b"escaped name\n")
        self.put_file("f-%s/plain.txt" % t, b"plain\n")
        base = "http://127.0.0.1:%d/file/f-%s" % (self.fault, t)
        rc, out, err = curl(base + "/sp%20ace%2B%25.txt")
        self.assertEqual((rc, out), (0, b"escaped name\n"), err)
        rc, out, err = curl(base + "/plain.txt?ignored=1")
        self.assertEqual(out, b"plain\n")
        for missing in ("/nothere.txt", "/sp ace+%25.txt".replace(" ", "%2520"),
                        "/..%2F..%2F..%2Fetc%2Fpasswd", ""):
            rc, out, err = curl("--path-as-is", "-o", "/dev/null", "-w", "%{http_code}", base + missing)
            self.assertEqual(out, b"404", missing)
        self.assertEqual(self.fault_lines("f-%s/sp%%20ace%%2B%%25.txt" % t)[0]["path"],
                         "/file/f-%s/sp%%20ace%%2B%%25.txt" % t)

    def test_unknown_route(self):
        t = self.tag()
        for path in ("/", "/nothing/%s" % t, "/statusx/200/%s" % t):
            rc, out, err = curl("-o", "/dev/null", "-w", "%{http_code}",
                                "http://127.0.0.1:%d%s" % (self.fault, path))
            self.assertEqual(out, b"404", path)

    def test_request_log(self):
        t = self.tag()
        raw_path = "/status/404/%s/a%%20b/%%2e%%2E/./x?q=%%41&r=%%2f" % t
        request = ("GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: ZentoUpdater\r\n"
                   "X-Dup: one\r\nPragma: no-cache\r\nx-dup: two\r\n"
                   "Cache-Control: no-cache\r\n\r\n" % raw_path).encode()
        head, body, _ = raw_request(self.fault, request)
        self.assertTrue(head.startswith("HTTP/1.1 404"), head)
        # the line is there as soon as the response is
        lines = self.fault_lines(t)
        self.assertEqual(len(lines), 1)
        rec = lines[0]
        self.assertEqual(rec["method"], "GET")
        self.assertEqual(rec["path"], raw_path)
        self.assertEqual(rec["version"], "HTTP/1.0")
        self.assertEqual(rec["headers"], [
            ["Host", "127.0.0.1"], ["User-Agent", "ZentoUpdater"],
            ["X-Dup", "one"], ["Pragma", "no-cache"], ["x-dup", "two"],
            ["Cache-Control", "no-cache"]])
        conn = http.client.HTTPConnection("127.0.0.1", self.fault, timeout=10)
        conn.request("HEAD", "//empty//%s" % t)
        conn.getresponse().read()
        conn.close()
        self.assertEqual([(r["method"], r["path"]) for r in self.fault_lines(t)][1:],
                         [("HEAD", "//empty//%s" % t)])
        seqs = [r["seq"] for r in self.fault_lines("")]
        self.assertEqual(seqs, sorted(seqs))


class RestartTest(unittest.TestCase):
    def test_start_twice_then_stop(self):
        tmp = tempfile.mkdtemp(prefix="updater-servers-restart-")
        directory = os.path.join(tmp, "srv")
        www = os.path.join(tmp, "site")
        try:
            result = run_servers("start", "--dir", directory, "--www", www)
            self.assertEqual(result.returncode, 0, result.stderr)
            first = read_pids(directory)
            _, ini = read_ini(os.path.join(directory, "servers.ini"))
            self.assertEqual(ini["www"], www)
            self.assertTrue(os.path.isdir(www))
            result = run_servers("start", "--dir", directory, "--www", www)
            self.assertEqual(result.returncode, 0, result.stderr)
            second = read_pids(directory)
            for pid in first.values():
                self.assertFalse(living(pid), "old server %d still runs" % pid)
            self.assertFalse(set(first.values()) & set(second.values()))
            self.assertEqual(run_servers("status", "--dir", directory).returncode, 0)
            result = run_servers("stop", "--dir", directory)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(run_servers("status", "--dir", directory).returncode, 1)
            all_pids = set(first.values()) | set(second.values())
            self.assertEqual(processes_of(all_pids, directory), set())
            # stopping again is fine
            self.assertEqual(run_servers("stop", "--dir", directory).returncode, 0)
        finally:
            run_servers("stop", "--dir", directory)
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
