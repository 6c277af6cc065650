#!/usr/bin/env python3
"""HTTP/1.1 server on 127.0.0.1 for the responses a static server cannot give.

The updater's download tests point the client at these routes to check how it
reacts to odd status codes, redirect chains, truncated or reset bodies, bodies
without a length and slow bodies (for cancelling).

Every request is appended to the log file as one JSON object per line, written
and flushed as soon as the request head has been read (before the response is
sent), so a test can read its own line right after its request returns:

  {"seq":1,"time":1700000000.123,"client":"127.0.0.1:50522","method":"GET",
   "path":"/status/404/t1?x=%20","version":"HTTP/1.1",
   "headers":[["Host","127.0.0.1:40001"],["User-Agent","ZentoUpdater"]]}

"path" is the request target exactly as it came over the wire (not unquoted,
not normalised); "headers" keeps every header in the order received, names as
the client spelled them, duplicates included.

Routes (the first path segment picks the route, anything after the listed
parameters is free so that each test can use paths of its own):

  /status/<code>/...                  that status with a short body
                                      (none for 204 and 304; 206 carries
                                      Content-Range)
  /redirect/<n>/<final>/...           n 302 hops, then <final>: "ok" -> 200
                                      "redirected-ok\\n", "404" -> 404.  Hops
                                      with odd n use an absolute Location
                                      (http://<Host>/...), even n a path-only
                                      one (/redirect/...).
  /nolength/<size>/...                200, no Content-Length, <size> pattern
                                      bytes, then the connection is closed
  /empty/...                          200, Content-Length: 0
  /body/<size>/...                    200 with Content-Length, pattern bytes
  /slow/<size>/<chunk>/<delay_ms>/... 200 with Content-Length <size>, sent
                                      <chunk> bytes at a time with a pause
                                      of <delay_ms> between chunks
  /short/<announced>/<sent>/...       Content-Length <announced>, only <sent>
                                      bytes, then a clean close (FIN)
  /reset/<announced>/<sent>/...       Content-Length <announced>, only <sent>
                                      bytes, then a reset (RST)
  /file/<relative path>               a file under --www; the raw path is
                                      percent-decoded once; 404 when missing
  /unframed/<relative path>           the same file with no Content-Length,
                                      ended by closing the connection
  /cookie/...                         302 to /status/200/... with a cookie
  /silent/...                         reads the request, never answers
  /stall/<size>/<sent>/...            Content-Length <size>, <sent> bytes,
                                      then nothing more
  /loop/...                           302 to itself
  /pingpong/<a|b>/...                 302 from a to b and from b to a
  /toscheme/<scheme>/...              302 to <scheme>://<Host>/status/200/x
  /chunked/<size>/<mode>/...          chunked pattern body of <size> bytes
                                      in chunks of 1000: "whole"; "cut"
                                      (closed before the last chunk, about
                                      half sent); "mid" (closed inside a
                                      chunk); "zz" or "neg" (a chunk size
                                      "zz" or "-10" after the first chunk)
  /head/<mode>/<size>/...             a broken head: "statusonly" (a status
                                      line, then close); "cutinhead" (closed
                                      inside a header line); "badlength"
                                      (Content-Length: abc); "twolengths"
                                      (<size> and <size>/2); "hugelength"
                                      (2**32 + <size>); "gzip" (the gzipped
                                      pattern with Content-Encoding: gzip);
                                      "lengthandchunked" (both framings);
                                      each but the first two sends <size>
                                      pattern bytes (chunked, gzipped) and
                                      closes
  anything else                       404

Pattern bytes: byte i of a body is i % 251.

A second port, the mute port (--mute-port-file receives it), takes every
connection and never says a byte: a TLS client waits there for a handshake
that never comes. Each connection is closed after MUTE_SECONDS.

Usage: fault_server.py --port P --log FILE --www DIR [--port-file F]
                       [--mute-port-file F] [--verbose]
With --port 0 a free port is taken; --port-file receives the bound port.
"""

import argparse
import gzip
import http.server
import json
import os
import select
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

SOCKET_TIMEOUT = 15.0
MUTE_SECONDS = 8.0  # how long the mute port holds a connection
HOLD_SECONDS = 120.0  # how long a silent or stalled route keeps the client waiting
PATTERN_PERIOD = 251
# A whole number of periods, so slicing from (offset % 251) stays in phase.
_BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 261))
_MAX_SIZE = 1 << 40


def pattern(offset, length):
    """Bytes offset .. offset+length-1 of the deterministic pattern."""
    out = []
    while length > 0:
        start = offset % PATTERN_PERIOD
        take = min(length, len(_BLOCK) - start)
        out.append(_BLOCK[start:start + take])
        offset += take
        length -= take
    return b"".join(out)


class RequestLog:
    def __init__(self, path):
        self._lock = threading.Lock()
        self._seq = 0
        self._file = open(path, "a", encoding="utf-8", newline="\n")

    def write(self, record):
        with self._lock:
            self._seq += 1
            line = {"seq": self._seq}
            line.update(record)
            self._file.write(json.dumps(line, ensure_ascii=True,
                                        separators=(",", ":")) + "\n")
            self._file.flush()


class _ClientGone(Exception):
    pass


def _int(text, low=0, high=_MAX_SIZE):
    if not text.isdigit():
        raise ValueError(text)
    value = int(text)
    if value < low or value > high:
        raise ValueError(text)
    return value


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FaultServer/1"
    sys_version = ""
    timeout = SOCKET_TIMEOUT

    # -- logging -----------------------------------------------------------

    def parse_request(self):
        self.headers = None
        ok = super().parse_request()
        words = self.requestline.split()
        record = {
            "time": round(time.time(), 3),
            "client": "%s:%d" % self.client_address[:2],
            "method": words[0] if words else "",
            "path": words[1] if len(words) > 1 else "",
            "version": words[2] if len(words) > 2 else "",
            "headers": [[k, v] for k, v in self.headers.items()]
            if self.headers is not None else [],
        }
        if not ok:
            record["bad"] = True
        self.server.request_log.write(record)
        return ok

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))

    # -- helpers -----------------------------------------------------------

    def _send(self, data):
        try:
            self.wfile.write(data)
        except (ConnectionError, socket.timeout, OSError):
            self.close_connection = True
            raise _ClientGone()

    def _head(self, code, length=None, headers=(), close=False):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in headers:
            self.send_header(name, value)
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

    def _simple(self, code, body, headers=()):
        self._head(code, len(body), headers)
        if self.command != "HEAD":
            self._send(body)

    def _not_found(self):
        self._simple(404, b"not found\n")

    def _pattern_body(self, size, start=0):
        pos = start
        while pos < size:
            take = min(size - pos, 65536)
            self._send(pattern(pos, take))
            pos += take

    # -- routes ------------------------------------------------------------

    def do_GET(self):
        try:
            self._route()
        except _ClientGone:
            self.close_connection = True

    do_HEAD = do_GET
    do_POST = do_GET

    def _route(self):
        if self.command == "POST":
            self._drain_body()
        raw = self.requestline.split()[1] if self.requestline else "/"
        target = raw
        if "://" in target.split("?", 1)[0]:
            # absolute-form request target
            target = "/" + target.split("://", 1)[1].partition("/")[2]
        path = target.split("?", 1)[0]
        parts = path.split("/")  # parts[0] == "" for "/x/y"
        route = parts[1] if len(parts) > 1 else ""
        args = parts[2:]
        handler = {
            "status": self._r_status,
            "redirect": self._r_redirect,
            "nolength": self._r_nolength,
            "empty": self._r_empty,
            "body": self._r_body,
            "slow": self._r_slow,
            "short": self._r_short,
            "reset": self._r_reset,
            "file": self._r_file,
            "unframed": self._r_unframed,
            "cookie": self._r_cookie,
            "silent": self._r_silent,
            "stall": self._r_stall,
            "loop": self._r_loop,
            "pingpong": self._r_pingpong,
            "toscheme": self._r_toscheme,
            "chunked": self._r_chunked,
            "head": self._r_head,
        }.get(route)
        if handler is None:
            self._not_found()
            return
        try:
            handler(args, path)
        except (ValueError, IndexError):
            self._simple(400, b"bad parameters\n")

    def _drain_body(self):
        length = self.headers.get("Content-Length")
        if length and length.isdigit():
            left = int(length)
            while left > 0:
                chunk = self.rfile.read(min(left, 65536))
                if not chunk:
                    break
                left -= len(chunk)

    def _r_status(self, args, path):
        code = _int(args[0], 200, 599)
        if code in (204, 304):
            self._head(code)
            return
        body = ("status %d\n" % code).encode()
        headers = []
        if code == 206:
            headers.append(("Content-Range",
                            "bytes 0-%d/%d" % (len(body) - 1, len(body) * 2)))
        if 300 <= code < 400:
            headers.append(("Location", "/status/200/from-%d" % code))
        self._simple(code, body, headers)

    def _r_redirect(self, args, path):
        hops = _int(args[0], 0, 1000)
        final = args[1]
        if final not in ("ok", "404"):
            raise ValueError(final)
        rest = "/".join(args[2:])
        if hops == 0:
            if final == "ok":
                self._simple(200, b"redirected-ok\n")
            else:
                self._not_found()
            return
        next_path = "/redirect/%d/%s/%s" % (hops - 1, final, rest)
        if hops % 2 == 1:
            host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
            location = "http://%s%s" % (host, next_path)
        else:
            location = next_path
        self._simple(302, b"redirecting\n", [("Location", location)])

    def _r_nolength(self, args, path):
        size = _int(args[0])
        self._head(200, None, close=True)
        if self.command != "HEAD":
            self._pattern_body(size)

    def _r_empty(self, args, path):
        self._simple(200, b"")

    def _r_body(self, args, path):
        size = _int(args[0])
        self._head(200, size)
        if self.command != "HEAD":
            self._pattern_body(size)

    def _r_slow(self, args, path):
        size = _int(args[0])
        chunk = _int(args[1], 1)
        delay = _int(args[2], 0, 600000) / 1000.0
        self._head(200, size)
        if self.command == "HEAD":
            return
        pos = 0
        while pos < size:
            take = min(chunk, size - pos)
            self._send(pattern(pos, take))
            pos += take
            if pos < size and delay:
                time.sleep(delay)

    def _r_short(self, args, path):
        announced = _int(args[0])
        sent = _int(args[1])
        self._head(200, announced, close=True)
        if self.command != "HEAD":
            self._pattern_body(sent)
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def _r_reset(self, args, path):
        announced = _int(args[0])
        sent = _int(args[1])
        self._head(200, announced, close=True)
        if self.command != "HEAD":
            self._pattern_body(sent)
        self.wfile.flush()
        # Give the client a moment to take what was sent, so the reset is
        # seen as a reset mid-body rather than racing the data.
        time.sleep(0.05)
        sock = self.connection
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                            struct.pack("ii", 1, 0))
            # Closing the descriptor ourselves: the server would otherwise
            # shut down the write side first and the client would see a FIN.
            os.close(sock.detach())
        except OSError:
            pass

    def _r_file(self, args, path):
        data = self._www_file("/file/", path)
        if data is not None:
            self._simple(200, data)

    def _r_unframed(self, args, path):
        data = self._www_file("/unframed/", path)
        if data is not None:
            self._head(200, None, close=True)
            self._send(data)

    def _r_cookie(self, args, path):
        rest = path[len("/cookie/"):]
        self._head(302, 0, headers=(("Location", "/status/200/" + rest),
                                     ("Set-Cookie", "probe=1; Path=/")))

    def _www_file(self, prefix, path):
        """The bytes of the file under --www that path names after prefix, or
        None after answering 404."""
        raw = path[len(prefix):]
        rel = urllib.parse.unquote_to_bytes(raw)
        root = os.path.realpath(os.fsencode(self.server.www))
        full = os.path.realpath(os.path.join(root, rel.lstrip(b"/")))
        if (not rel or b"\0" in rel
                or not (full == root or full.startswith(root + b"/"))
                or not os.path.isfile(full)):
            self._not_found()
            return None
        try:
            with open(full, "rb") as f:
                data = f.read()
        except OSError:
            self._not_found()
            return None
        return data


    # -- routes for misbehaving servers -----------------------------------

    def _hold(self):
        """Sends nothing more until the client hangs up (or HOLD_SECONDS)."""
        try:
            self.wfile.flush()
        except OSError:
            raise _ClientGone()
        deadline = time.time() + HOLD_SECONDS
        while time.time() < deadline:
            ready, _, _ = select.select([self.connection], [], [], 0.5)
            if ready:
                try:
                    if not self.connection.recv(65536):
                        break
                except OSError:
                    break
        self.close_connection = True

    def _close_after(self, data):
        """Sends raw bytes, then a clean close (FIN)."""
        self._send(data)
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def _location(self, path):
        host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        return "http://%s%s" % (host, path)

    def _r_silent(self, args, path):
        self._hold()

    def _r_stall(self, args, path):
        size = _int(args[0])
        sent = min(_int(args[1]), size)
        self._head(200, size)
        self._pattern_body(sent)
        self._hold()

    def _r_loop(self, args, path):
        self._simple(302, b"again\n", [("Location", path)])

    def _r_pingpong(self, args, path):
        other = {"a": "b", "b": "a"}[args[0]]
        rest = "/".join(args[1:])
        self._simple(302, b"over\n",
                     [("Location", self._location("/pingpong/%s/%s" % (other, rest)))])

    def _r_toscheme(self, args, path):
        scheme = args[0]
        if not scheme.isalnum():
            raise ValueError(scheme)
        host = self.headers.get("Host") or "127.0.0.1"
        self._simple(302, b"elsewhere\n",
                     [("Location", "%s://%s/status/200/x" % (scheme, host))])

    @staticmethod
    def _chunks(data, first=0):
        out = []
        for pos in range(first, len(data), 1000):
            piece = data[pos:pos + 1000]
            out.append(b"%x\r\n" % len(piece) + piece + b"\r\n")
        return out

    def _r_chunked(self, args, path):
        size = _int(args[0], 1, 1 << 30)
        mode = args[1]
        head = (b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                b"Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n")
        if mode == "whole":
            self._send(head)
            for pos in range(0, size, 1 << 20):
                self._send(b"".join(self._chunks(pattern(pos, min(1 << 20, size - pos)))))
            self._close_after(b"0\r\n\r\n")
            return
        data = pattern(0, size)
        chunks = self._chunks(data)
        if mode == "cut":
            body = b"".join(chunks[:max(1, len(chunks) // 2)])
        elif mode == "mid":
            body = chunks[0] + b"%x\r\n" % 1000 + data[1000:1500]
        elif mode == "zz":
            body = chunks[0] + b"zz\r\n" + data[1000:1100] + b"\r\n0\r\n\r\n"
        elif mode == "neg":
            body = chunks[0] + b"-10\r\n" + data[1000:1016] + b"\r\n0\r\n\r\n"
        else:
            raise ValueError(mode)
        self._close_after(head + body)

    def _r_head(self, args, path):
        mode = args[0]
        size = _int(args[1], 1, 1 << 24)
        data = pattern(0, size)
        status = b"HTTP/1.1 200 OK\r\n"
        common = b"Content-Type: application/octet-stream\r\nConnection: close\r\n"
        if mode == "statusonly":
            self._close_after(status)
            return
        if mode == "cutinhead":
            self._close_after(status + b"Content-Type: application/oct")
            return
        if mode == "badlength":
            head = b"Content-Length: abc\r\n"
        elif mode == "twolengths":
            head = b"Content-Length: %d\r\nContent-Length: %d\r\n" % (size, size // 2)
        elif mode == "hugelength":
            head = b"Content-Length: %d\r\n" % ((1 << 32) + size)
        elif mode == "gzip":
            data = gzip.compress(data)
            head = b"Content-Encoding: gzip\r\nContent-Length: %d\r\n" % len(data)
        elif mode == "lengthandchunked":
            head = b"Content-Length: %d\r\nTransfer-Encoding: chunked\r\n" % size
            data = b"".join(self._chunks(data)) + b"0\r\n\r\n"
        else:
            raise ValueError(mode)
        self._close_after(status + common + head + b"\r\n" + data)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, address, log_path, www, verbose=False):
        self.request_log = RequestLog(log_path)
        self.www = www
        self.verbose = verbose
        super().__init__(address, Handler)

    def server_bind(self):
        # Skip HTTPServer's reverse name lookup: it is not needed and can stall.
        socketserver.TCPServer.server_bind(self)
        host, port = self.server_address[:2]
        self.server_name = host
        self.server_port = port

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, socket.timeout, _ClientGone)):
            return
        if self.verbose or not isinstance(exc, OSError):
            super().handle_error(request, client_address)


def _hold_mute(connection):
    """Reads and drops what comes, answers nothing, closes after MUTE_SECONDS."""
    deadline = time.monotonic() + MUTE_SECONDS
    with connection:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([connection], [], [], 0.2)
            if ready:
                try:
                    if not connection.recv(4096):
                        return
                except OSError:
                    return


def _serve_mute(listener):
    while True:
        try:
            connection, _ = listener.accept()
        except OSError:
            return
        threading.Thread(target=_hold_mute, args=(connection,), daemon=True).start()


def _write_port(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--www", required=True)
    parser.add_argument("--port-file")
    parser.add_argument("--mute-port-file")
    parser.add_argument("--verbose", action="store_true",
                        help="print the bound port and requests")
    opts = parser.parse_args(argv)

    server = Server(("127.0.0.1", opts.port), opts.log,
                    os.path.abspath(opts.www), opts.verbose)
    port = server.server_address[1]
    if opts.mute_port_file:
        mute = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        mute.bind(("127.0.0.1", 0))
        mute.listen(64)
        threading.Thread(target=_serve_mute, args=(mute,), daemon=True).start()
        _write_port(opts.mute_port_file, mute.getsockname()[1])
    if opts.port_file:
        _write_port(opts.port_file, port)
    if opts.verbose:
        print("listening on 127.0.0.1:%d" % port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
