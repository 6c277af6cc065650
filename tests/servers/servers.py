#!/usr/bin/env python3
"""Start, stop and check the local HTTP/HTTPS servers used by the updater tests.

  servers.py start  --dir DIR [--www WWWROOT] [--timeout SECONDS]
  servers.py stop   --dir DIR
  servers.py status --dir DIR

"start" makes a throw-away certificate authority and a certificate for
"localhost" in DIR/tls, starts nginx (static files from WWWROOT over HTTP and
HTTPS) and fault_server.py (odd responses), all on 127.0.0.1 with free ports,
waits until every port answers, then writes DIR/servers.ini and returns while
the servers keep running in the background.  Their pids are in DIR/pids.
Everything a test needs is in servers.ini, so native and Wine test programs
read the same file.

"stop" ends what "start" started and waits for it to be gone.  "status" exits 0
when all three ports answer, 1 otherwise.
"""

import argparse
import http.client
import os
import secrets
import signal
import socket
import ssl
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FAULT_SERVER = os.path.join(HERE, "fault_server.py")
NGINX = "/usr/sbin/nginx"
OPENSSL = "openssl"
PROBE_PATH = "/__servers_probe__"


class StartError(Exception):
    pass


# ---------------------------------------------------------------------------
# paths

class Paths:
    def __init__(self, directory, www=None):
        self.dir = os.path.abspath(directory)
        self.www = os.path.abspath(www) if www else os.path.join(self.dir, "www")
        self.tls = os.path.join(self.dir, "tls")
        self.ca_key = os.path.join(self.tls, "ca.key")
        self.ca_pem = os.path.join(self.tls, "ca.pem")
        self.ca_der = os.path.join(self.tls, "ca.der")
        self.server_key = os.path.join(self.tls, "server.key")
        self.server_pem = os.path.join(self.tls, "server.pem")
        self.ini = os.path.join(self.dir, "servers.ini")
        self.pids = os.path.join(self.dir, "pids")
        self.nginx_conf = os.path.join(self.dir, "nginx.conf")
        self.nginx_pid = os.path.join(self.dir, "nginx.pid")
        self.nginx_error = os.path.join(self.dir, "nginx-error.log")
        self.nginx_stderr = os.path.join(self.dir, "nginx-stderr.log")
        self.nginx_log = os.path.join(self.dir, "nginx-access.log")
        self.nginx_tmp = os.path.join(self.dir, "nginx-tmp")
        self.fault_log = os.path.join(self.dir, "fault-requests.log")
        self.fault_err = os.path.join(self.dir, "fault-server.err")
        self.fault_port = os.path.join(self.dir, "fault.port")
        self.mute_port = os.path.join(self.dir, "mute.port")


# ---------------------------------------------------------------------------
# processes

def _proc_stat(pid):
    """(state, pgrp) of a process, or None when there is no such process."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            data = f.read().decode("ascii", "replace")
    except OSError:
        return None
    fields = data[data.rfind(")") + 2:].split()
    return fields[0], int(fields[2])


def _cmdline(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode("utf-8", "replace")
    except OSError:
        return ""


def alive(pid):
    stat = _proc_stat(pid)
    return stat is not None and stat[0] not in ("Z", "X")


def _group_members(pgrp):
    members = []
    for name in os.listdir("/proc"):
        if name.isdigit():
            stat = _proc_stat(int(name))
            if stat and stat[1] == pgrp and stat[0] not in ("Z", "X"):
                members.append(int(name))
    return members


def _is_ours(kind, pid, paths):
    line = _cmdline(pid)
    if kind == "nginx":
        return "nginx" in line and paths.nginx_conf in line
    if kind == "fault":
        return "fault_server.py" in line and paths.fault_log in line
    return False


def _read_pids(paths):
    found = []
    try:
        with open(paths.pids) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2 and parts[1].isdigit():
                    found.append((parts[0], int(parts[1])))
    except OSError:
        pass
    try:
        with open(paths.nginx_pid) as f:
            text = f.read().strip()
        if text.isdigit() and ("nginx", int(text)) not in found:
            found.append(("nginx", int(text)))
    except OSError:
        pass
    return found


def _stop_processes(entries, paths, grace=5.0):
    """Ends the given (kind, pid) processes with their process groups."""
    targets = []
    for kind, pid in entries:
        if pid > 1 and alive(pid) and _is_ours(kind, pid, paths):
            stat = _proc_stat(pid)
            # Each server was started as the leader of its own session, so
            # its group holds the server and (for nginx) its workers.
            group = stat[1] if stat and stat[1] == pid else None
            targets.append((kind, pid, group))
    for kind, pid, group in targets:
        try:
            os.kill(pid, signal.SIGTERM)  # nginx: fast shutdown
        except ProcessLookupError:
            pass

    def leftovers():
        left = set()
        for kind, pid, group in targets:
            if alive(pid):
                left.add(pid)
            if group is not None:
                left.update(_group_members(group))
        return left

    deadline = time.monotonic() + grace
    while leftovers() and time.monotonic() < deadline:
        time.sleep(0.05)
    left = leftovers()
    if left:
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        deadline = time.monotonic() + 5.0
        while leftovers() and time.monotonic() < deadline:
            time.sleep(0.05)
    return leftovers()


def _spawn(argv, out_path):
    with open(out_path, "ab") as out:
        return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=out, close_fds=True,
                                start_new_session=True)


# ---------------------------------------------------------------------------
# certificates

CA_CONFIG = """\
[req]
distinguished_name = dn
prompt = no
x509_extensions = v3_ca

[dn]
O = Updater tests
CN = Updater Test CA

[v3_ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
"""

SERVER_CONFIG = """\
[req]
distinguished_name = dn
prompt = no

[dn]
O = Updater tests
CN = localhost

[v3_server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer
"""


def _run(argv):
    result = subprocess.run(argv, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise StartError("command failed (%d): %s\n%s" % (
            result.returncode, " ".join(argv),
            result.stdout.decode("utf-8", "replace")))


def make_certificates(paths):
    os.makedirs(paths.tls, exist_ok=True)
    ca_cnf = os.path.join(paths.tls, "ca.cnf")
    server_cnf = os.path.join(paths.tls, "server.cnf")
    server_csr = os.path.join(paths.tls, "server.csr")
    with open(ca_cnf, "w") as f:
        f.write(CA_CONFIG)
    with open(server_cnf, "w") as f:
        f.write(SERVER_CONFIG)
    # New serials each time, so a client that remembers an older run's
    # certificates never mixes them up with these.
    ca_serial = "0x%016x" % (secrets.randbits(62) | 1 << 62)
    server_serial = "0x%016x" % (secrets.randbits(62) | 1 << 62)
    _run([OPENSSL, "req", "-x509", "-new", "-config", ca_cnf,
          "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
          "-set_serial", ca_serial, "-keyout", paths.ca_key,
          "-out", paths.ca_pem])
    _run([OPENSSL, "x509", "-in", paths.ca_pem, "-outform", "DER",
          "-out", paths.ca_der])
    _run([OPENSSL, "req", "-new", "-config", server_cnf,
          "-newkey", "rsa:2048", "-nodes", "-sha256",
          "-keyout", paths.server_key, "-out", server_csr])
    _run([OPENSSL, "x509", "-req", "-in", server_csr, "-CA", paths.ca_pem,
          "-CAkey", paths.ca_key, "-set_serial", server_serial,
          "-days", "30", "-sha256", "-extfile", server_cnf,
          "-extensions", "v3_server", "-out", paths.server_pem])
    _run([OPENSSL, "verify", "-CAfile", paths.ca_pem, paths.server_pem])


# ---------------------------------------------------------------------------
# nginx

def _quote(path):
    return '"%s"' % path.replace("\\", "\\\\").replace('"', '\\"')


def nginx_config(paths, http_port, https_port):
    tmp = paths.nginx_tmp
    user = "user root;\n" if os.geteuid() == 0 else ""
    return f"""\
# Written by servers.py; rewritten at every start.
{user}worker_processes 1;
daemon off;
master_process on;
pid {_quote(paths.nginx_pid)};
error_log {_quote(paths.nginx_error)} notice;

events {{
    worker_connections 256;
}}

http {{
    types {{
        text/plain txt ini log cfg;
        text/html html htm;
        application/json json;
    }}
    default_type application/octet-stream;

    log_format updater escape=json
        '{{"time":"$time_iso8601","scheme":"$scheme","port":$server_port,'
        '"client":"$remote_addr:$remote_port","request":"$request",'
        '"method":"$request_method","uri":"$request_uri","status":$status,'
        '"bytes":$body_bytes_sent,"user_agent":"$http_user_agent",'
        '"pragma":"$http_pragma","cache_control":"$http_cache_control",'
        '"range":"$http_range","connection":"$http_connection"}}';
    access_log {_quote(paths.nginx_log)} updater;

    client_body_temp_path {_quote(os.path.join(tmp, "client_body"))};
    proxy_temp_path {_quote(os.path.join(tmp, "proxy"))};
    fastcgi_temp_path {_quote(os.path.join(tmp, "fastcgi"))};
    uwsgi_temp_path {_quote(os.path.join(tmp, "uwsgi"))};
    scgi_temp_path {_quote(os.path.join(tmp, "scgi"))};

    sendfile on;
    tcp_nopush on;
    keepalive_timeout 15;
    send_timeout 15;
    client_header_timeout 15;
    client_body_timeout 15;
    server_tokens off;
    etag off;
    if_modified_since off;
    open_file_cache off;
    autoindex off;

    server {{
        listen 127.0.0.1:{http_port};
        listen 127.0.0.1:{https_port} ssl;
        server_name localhost 127.0.0.1;
        root {_quote(paths.www)};

        ssl_certificate {_quote(paths.server_pem)};
        ssl_certificate_key {_quote(paths.server_key)};
        ssl_protocols TLSv1.2 TLSv1.3;

        location / {{
        }}

        # Redirects to the same path under the other scheme's port (from
        # either port): /tohttp/P to http://localhost:HTTP/P, /tohttps/P to
        # https://localhost:HTTPS/P.
        location ~ ^/tohttp/(.*)$ {{
            return 302 http://localhost:{http_port}/$1;
        }}
        location ~ ^/tohttps/(.*)$ {{
            return 302 https://localhost:{https_port}/$1;
        }}

        # Answered by servers.py while it waits for the ports to come up.
        location = {PROBE_PATH} {{
            return 204;
        }}
    }}
}}
"""


def _free_ports(count):
    socks = []
    try:
        for _ in range(count):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.bind(("127.0.0.1", 0))
            socks.append(s)
        return [s.getsockname()[1] for s in socks]
    finally:
        for s in socks:
            s.close()


def _read_text(path, limit=20000):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return ""
    return data[-limit:].decode("utf-8", "replace")


# ---------------------------------------------------------------------------
# probing

def _probe_http(port, timeout=2.0):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        conn.request("GET", PROBE_PATH, headers={"User-Agent": "servers.py probe"})
        resp = conn.getresponse()
        resp.read()
        return True
    except (OSError, http.client.HTTPException):
        return False
    finally:
        conn.close()


def _probe_https(port, ca_pem, timeout=2.0):
    try:
        ctx = ssl.create_default_context(cafile=ca_pem)
    except (OSError, ssl.SSLError):
        return False
    conn = http.client.HTTPSConnection("localhost", port, timeout=timeout,
                                       context=ctx)
    try:
        conn.request("GET", PROBE_PATH, headers={"User-Agent": "servers.py probe"})
        resp = conn.getresponse()
        resp.read()
        return True
    except (OSError, http.client.HTTPException, ssl.SSLError):
        return False
    finally:
        conn.close()


def read_ini(path):
    values = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if "=" in line and not line.startswith(("[", ";", "#")):
                key, value = line.split("=", 1)
                values[key.strip()] = value.strip()
    return values


# ---------------------------------------------------------------------------
# commands

def _write_pids(paths, entries):
    tmp = paths.pids + ".tmp"
    with open(tmp, "w") as f:
        for kind, pid in entries:
            f.write("%s %d\n" % (kind, pid))
    os.replace(tmp, paths.pids)


def _truncate(path):
    with open(path, "wb"):
        pass


def _start_fault_server(paths, deadline):
    try:
        os.unlink(paths.fault_port)
    except FileNotFoundError:
        pass
    proc = _spawn([sys.executable, FAULT_SERVER, "--port", "0",
                   "--log", paths.fault_log, "--www", paths.www,
                   "--port-file", paths.fault_port, "--mute-port-file", paths.mute_port],
                  paths.fault_err)
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise StartError("fault server exited with %d:\n%s" % (
                proc.returncode, _read_text(paths.fault_err)))
        try:
            with open(paths.fault_port) as f:
                text = f.read().strip()
            if text.isdigit():
                # The mute port is written first.
                with open(paths.mute_port) as f:
                    return proc, int(text), int(f.read().strip())
        except FileNotFoundError:
            pass
        time.sleep(0.02)
    raise StartError("fault server did not report its port in time:\n%s"
                     % _read_text(paths.fault_err))


def _start_nginx(paths, deadline, tries=5):
    for dirname in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"):
        os.makedirs(os.path.join(paths.nginx_tmp, dirname), exist_ok=True)
    base = [NGINX, "-p", paths.dir + "/", "-e", paths.nginx_error,
            "-c", paths.nginx_conf]
    last_error = ""
    for _ in range(tries):
        http_port, https_port = _free_ports(2)
        with open(paths.nginx_conf, "w") as f:
            f.write(nginx_config(paths, http_port, https_port))
        check = subprocess.run(base + ["-t", "-q"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if check.returncode != 0:
            raise StartError("nginx rejected its configuration:\n%s\n%s" % (
                check.stdout.decode("utf-8", "replace"),
                _read_text(paths.nginx_error)))
        error_size = os.path.getsize(paths.nginx_error) \
            if os.path.exists(paths.nginx_error) else 0
        proc = _spawn(base, paths.nginx_stderr)
        # Wait for it to either listen or give up (typically a port taken
        # between choosing it and nginx binding it: then choose again).
        while time.monotonic() < deadline:
            if proc.poll() is not None:
                break
            if _probe_http(http_port, 0.5):
                return proc, http_port, https_port
            time.sleep(0.05)
        if proc.poll() is None:
            return proc, http_port, https_port  # let the caller time out
        with open(paths.nginx_error, "rb") as f:
            f.seek(error_size)
            last_error = f.read().decode("utf-8", "replace")
        if "Address already in use" not in last_error:
            break
    raise StartError("nginx did not start:\n%s\n%s" % (
        last_error or _read_text(paths.nginx_error),
        _read_text(paths.nginx_stderr)))


def cmd_start(opts):
    paths = Paths(opts.dir, opts.www)
    os.makedirs(paths.dir, exist_ok=True)
    cmd_stop(opts, quiet=True)
    for stale in (paths.ini, paths.pids, paths.nginx_pid):
        try:
            os.unlink(stale)
        except FileNotFoundError:
            pass
    os.makedirs(paths.www, exist_ok=True)
    for log in (paths.fault_log, paths.nginx_log, paths.nginx_error,
                paths.nginx_stderr, paths.fault_err):
        _truncate(log)

    deadline = time.monotonic() + opts.timeout
    started = []
    try:
        make_certificates(paths)
        fault, fault_port, mute_port = _start_fault_server(paths, deadline)
        started.append(("fault", fault.pid))
        _write_pids(paths, started)
        nginx, http_port, https_port = _start_nginx(paths, deadline)
        started.append(("nginx", nginx.pid))
        _write_pids(paths, started)

        checks = {
            "http": lambda: _probe_http(http_port),
            "https": lambda: _probe_https(https_port, paths.ca_pem),
            "fault": lambda: _probe_http(fault_port),
        }
        pending = set(checks)
        while pending:
            for name in sorted(pending):
                if checks[name]():
                    pending.discard(name)
            if not pending:
                break
            if nginx.poll() is not None:
                raise StartError("nginx exited with %d" % nginx.returncode)
            if fault.poll() is not None:
                raise StartError("fault server exited with %d:\n%s" % (
                    fault.returncode, _read_text(paths.fault_err)))
            if time.monotonic() > deadline:
                raise StartError("no answer in %.0f s from: %s" % (
                    opts.timeout, ", ".join(sorted(pending))))
            time.sleep(0.05)
        if nginx.poll() is not None or fault.poll() is not None:
            raise StartError("a server exited right after answering")
    except (StartError, OSError) as exc:
        _stop_processes(started, paths)
        sys.stderr.write("servers.py start failed: %s\n" % exc)
        log = _read_text(paths.nginx_error)
        if log:
            sys.stderr.write("--- %s ---\n%s\n" % (paths.nginx_error, log))
        err = _read_text(paths.fault_err)
        if err:
            sys.stderr.write("--- %s ---\n%s\n" % (paths.fault_err, err))
        return 1

    ini = (
        "[servers]\n"
        "http_port=%d\n"
        "https_port=%d\n"
        "fault_port=%d\n"
        "mute_port=%d\n"
        "www=%s\n"
        "ca_pem=%s\n"
        "ca_der=%s\n"
        "fault_log=%s\n"
        "nginx_log=%s\n"
    ) % (http_port, https_port, fault_port, mute_port, paths.www, paths.ca_pem,
         paths.ca_der, paths.fault_log, paths.nginx_log)
    tmp = paths.ini + ".tmp"
    with open(tmp, "w", newline="\n") as f:
        f.write(ini)
    os.replace(tmp, paths.ini)
    print("servers running: http=%d https=%d fault=%d (%s)" % (
        http_port, https_port, fault_port, paths.ini))
    return 0


def cmd_stop(opts, quiet=False):
    paths = Paths(opts.dir)
    left = _stop_processes(_read_pids(paths), paths)
    for stale in (paths.pids, paths.nginx_pid):
        try:
            os.unlink(stale)
        except FileNotFoundError:
            pass
    if left:
        sys.stderr.write("servers.py stop: still running: %s\n"
                         % " ".join(str(p) for p in sorted(left)))
        return 1
    if not quiet:
        print("servers stopped")
    return 0


def cmd_status(opts):
    paths = Paths(opts.dir)
    try:
        ini = read_ini(paths.ini)
        ports = {k: int(ini[k + "_port"]) for k in ("http", "https", "fault")}
        ca_pem = ini["ca_pem"]
    except (OSError, KeyError, ValueError):
        print("not running")
        return 1
    answers = {
        "http": _probe_http(ports["http"]),
        "https": _probe_https(ports["https"], ca_pem),
        "fault": _probe_http(ports["fault"]),
    }
    down = [name for name, ok in sorted(answers.items()) if not ok]
    if down:
        print("not answering: %s" % ", ".join(down))
        return 1
    print("running")
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("start")
    p.add_argument("--dir", required=True)
    p.add_argument("--www")
    p.add_argument("--timeout", type=float, default=10.0)
    p = sub.add_parser("stop")
    p.add_argument("--dir", required=True)
    p = sub.add_parser("status")
    p.add_argument("--dir", required=True)
    opts = parser.parse_args(argv)
    return {"start": cmd_start, "stop": cmd_stop, "status": cmd_status}[
        opts.command](opts)


if __name__ == "__main__":
    sys.exit(main())
