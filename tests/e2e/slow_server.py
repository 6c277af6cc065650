#!/usr/bin/env python3
"""A folder served over HTTP slowly, for the end-to-end runs of Updater.exe.

    slow_server.py start --dir DIR     serves DIR/www on 127.0.0.1, detached
    slow_server.py stop  --dir DIR

A request for /<catalog_ms>/<file_ms>/<path> gets DIR/www/<path> with a
Content-Length, its body sent in ten pieces with a pause between them:
<catalog_ms> for a file named scripts.txt, <file_ms> for every other file.
So an updater pointed at http://127.0.0.1:PORT/0/400/demo checks at once but
takes four seconds per file it installs: long enough to press Cancel or to
close the window in the middle. Missing files are 404.

"start" writes DIR/slow-server.ini (port=, www=) once the port answers, and
the server's pid into DIR/pid; "stop" ends that process.
"""
import argparse
import http.client
import http.server
import os
import signal
import socketserver
import subprocess
import sys
import time
import urllib.parse

PIECES = 10


class SlowHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.respond(send_body=True)

    def do_HEAD(self):
        self.respond(send_body=False)

    def respond(self, send_body):
        parts = urllib.parse.unquote(self.path.split("?", 1)[0]).lstrip("/").split("/", 2)
        if len(parts) < 3 or not parts[0].isdigit() or not parts[1].isdigit():
            return self.fail(400)
        relative = os.path.normpath(parts[2])
        path = os.path.join(self.root, relative)
        if relative.startswith("..") or os.path.isabs(relative) or not os.path.isfile(path):
            return self.fail(404)
        with open(path, "rb") as source:
            body = source.read()
        pause = int(parts[0] if os.path.basename(path) == "scripts.txt" else parts[1]) / 1000.0
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        if not send_body:
            return
        step = max(1, (len(body) + PIECES - 1) // PIECES)
        try:
            for start in range(0, len(body), step):
                if start > 0:
                    time.sleep(pause)
                self.wfile.write(body[start:start + step])
                self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the updater gave up on this file

    def fail(self, status):
        self.send_response(status)
        self.send_header("Content-Length", "0")
        self.end_headers()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(directory):
    SlowHandler.root = os.path.join(directory, "www")
    server = Server(("127.0.0.1", 0), SlowHandler)
    ini = os.path.join(directory, "slow-server.ini")
    with open(ini + ".tmp", "w") as out:
        out.write("port=%d\nwww=%s\n" % (server.server_address[1], SlowHandler.root))
    os.replace(ini + ".tmp", ini)
    server.serve_forever()


def read_ini(directory):
    values = {}
    with open(os.path.join(directory, "slow-server.ini")) as source:
        for line in source:
            key, _, value = line.strip().partition("=")
            values[key] = value
    return values


def answers(port):
    try:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=2)
        connection.request("HEAD", "/0/0/none")
        connection.getresponse()
        return True
    except OSError:
        return False


def stop(directory):
    pid_file = os.path.join(directory, "pid")
    try:
        with open(pid_file) as source:
            pid = int(source.read().strip())
    except (OSError, ValueError):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            break
        time.sleep(0.1)
    os.remove(pid_file)
    return 0


def start(directory):
    stop(directory)
    os.makedirs(os.path.join(directory, "www"), exist_ok=True)
    ini = os.path.join(directory, "slow-server.ini")
    if os.path.exists(ini):
        os.remove(ini)
    log = open(os.path.join(directory, "slow-server.log"), "wb")
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", "--dir", directory],
                             stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                             start_new_session=True)
    with open(os.path.join(directory, "pid"), "w") as out:
        out.write(str(child.pid))
    for _ in range(100):
        if os.path.exists(ini) and answers(int(read_ini(directory)["port"])):
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.1)
    sys.stderr.write("slow_server: did not start\n")
    stop(directory)
    return 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop", "serve"])
    parser.add_argument("--dir", required=True)
    args = parser.parse_args()
    directory = os.path.abspath(args.dir)
    if args.command == "serve":
        serve(directory)
        return 0
    return start(directory) if args.command == "start" else stop(directory)


if __name__ == "__main__":
    sys.exit(main())
