"""A small HTTP server for the download tests: serves the files of one
folder on 127.0.0.1 and misbehaves on request, chosen by the URL path.

    with TestServer(root) as srv:
        fetch(srv.url + "/_slow/20000/setup.exe")
        srv.requests  # [{"method": ..., "path": ..., "headers": {lower-case name: value},
                      #   "status": code, "sent": body bytes written}]

URL paths (the rest of the path names a file under the root, URL-decoded;
names leaving the root get 404):

    /NAME                the file, with Content-Length, Last-Modified and an
                         ETag (TestServer.etag); honours "Range: bytes=N-"
                         (206 with the rest; 416 past the end) unless an
                         If-Range names neither the ETag nor the date;
                         404 with a small HTML page when it is missing
    /_noetag/NAME        the same without ETag
    /_noranges/NAME      the same, ignoring Range: always 200 and the whole
    /_nolength/NAME      200 without Content-Length, closed at the end
    /_zerolength/NAME    200 with Content-Length: 0 and no body (any NAME)
    /_html404/NAME       200 with an HTML "404 Not Found" page (any NAME),
                         as some servers answer for a missing file
    /_slow/BPS/NAME      the file at about BPS bytes per second
    /_slownolength/BPS/NAME  the same without Content-Length
    /_drop/N/NAME        full Content-Length, closed after N body bytes
    /_status/CODE/NAME   status CODE with a small plain-text body (any NAME),
                         as a server answers an error without an HTML page
    /_redirect/N/NAME    302 to /_redirect/N-1/NAME, and at 0 the file
    /_loop/NAME          302 to itself, for ever
    /_endless/NAME       200 without Content-Length and a body without end
                         (zeros, until the client leaves or a bound stops it)
    /_trickle/S/NAME     the file's headers, then one byte every S seconds
    /_nohead/NAME        the file, but 405 to a HEAD request

Plain files and /_noranges/ answer a GET or HEAD whose If-None-Match names
the ETag, or whose If-Modified-Since is not before the file's date, with 304
and no body.

Setting srv.cut_at = N makes the transfers of those three routes stop at
file offset N and close, as a connection that breaks (None: whole again).

Every response closes its connection. The server is bounded: after
max_requests requests or max_seconds it stops serving, so a test that goes
wrong cannot leave it running.

Standalone (benchmarks, the demo):
    python3 http_server.py ROOT [--port P] [--port-file F]
prints the URL and serves until killed or a bound is reached."""
import argparse
import email.utils
import os
import re
import signal
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024

NOT_FOUND_PAGE = (b"<html><head><title>404 Not Found</title></head>"
                  b"<body><h1>Not Found</h1><p>The requested URL was not found on this "
                  b"server.</p></body></html>\n")


class _Server(ThreadingHTTPServer):
    daemon_threads = True
    # Stopping must not wait for a slow transfer still running.
    block_on_close = False
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that hangs up early is normal here (drop and slow tests).
        if isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            return
        super().handle_error(request, client_address)


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestServer/1"
    owner = None  # the TestServer, set per server class

    def log_message(self, fmt, *args):
        if self.owner.verbose:
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def do_GET(self):
        self._serve(body=True)

    def do_HEAD(self):
        self._serve(body=False)

    # --- the modes

    def _serve(self, body):
        self.close_connection = True
        self._record = self.owner._admit(self.command, self.path, self.headers)
        if not self._record:
            self._record = {"sent": 0}
            self._simple(503, b"server bounds reached\n", "text/plain", body)
            return
        parts = urllib.parse.urlsplit(self.path).path.lstrip("/").split("/")
        mode = parts[0] if parts and parts[0].startswith("_") else ""
        rest = parts[1:] if mode else parts
        number = None
        if mode in ("_slow", "_slownolength", "_drop", "_status", "_redirect", "_trickle"):
            if not rest or not rest[0].isdigit():
                self._simple(400, b"bad number\n", "text/plain", body)
                return
            number = int(rest[0])
            rest = rest[1:]
        elif mode not in ("", "_nolength", "_zerolength", "_html404", "_noetag", "_noranges",
                          "_loop", "_endless", "_nohead"):
            self._simple(404, NOT_FOUND_PAGE, "text/html", body)
            return

        if mode == "_redirect" and number > 0:
            self._redirect("/_redirect/%d/%s" % (number - 1, "/".join(rest)))
            return
        if mode == "_loop":
            self._redirect(urllib.parse.urlsplit(self.path).path)
            return
        if mode == "_nohead" and not body:
            self._simple(405, b"HEAD not allowed\n", "text/plain", body)
            return
        if mode == "_endless":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self._end_headers()
            if body:
                self._send_endless()
            return
        if mode == "_status":
            self._simple(number, b"error %d: this is not the file\n" % number, "text/plain", body)
            return
        if mode == "_zerolength":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "0")
            self._end_headers()
            return
        if mode == "_html404":
            self._simple(200, NOT_FOUND_PAGE, "text/html", body)
            return

        path = self.owner._resolve("/".join(rest))
        if path is None:
            self._simple(404, NOT_FOUND_PAGE, "text/html", body)
            return
        try:
            f = open(path, "rb")
        except OSError:
            self._simple(404, NOT_FOUND_PAGE, "text/html", body)
            return
        with f:
            st = os.fstat(f.fileno())
            size = st.st_size
            date = email.utils.formatdate(st.st_mtime, usegmt=True)
            etag = None if mode == "_noetag" else TestServer.etag(path)
            start = self._range_start(size, etag, date) if mode in ("", "_noetag") else 0
            if start is None:
                self._unsatisfiable(size, body)
                return
            if mode in ("", "_noranges") and self._not_modified(etag, st.st_mtime):
                self.send_response(304)
                self.send_header("ETag", etag)
                self.send_header("Last-Modified", date)
                self._end_headers()
                return
            self.send_response(206 if start else 200)
            self.send_header("Content-Type", "application/octet-stream")
            if mode not in ("_nolength", "_slownolength"):
                self.send_header("Content-Length", str(size - start))
            if start:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))
            self.send_header("Last-Modified", date)
            if etag:
                self.send_header("ETag", etag)
            self._end_headers()
            if not body:
                return
            f.seek(start)
            if mode == "_trickle":
                self._send_slowly(f, 1, chunk=1, per_second=1 / max(1, number))
            elif mode in ("_slow", "_slownolength"):
                self._send_slowly(f, max(1, number))
            elif mode == "_drop":
                self._send(f, number)
            elif self.owner.cut_at is not None:
                self._send(f, max(0, self.owner.cut_at - start))
            else:
                self._send(f, size - start)

    def _redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self._end_headers()

    def _not_modified(self, etag, mtime):
        """The request's conditions say the client holds the file as it is."""
        match = self.headers.get("If-None-Match")
        if match is not None:
            return etag in [m.strip() for m in match.split(",")] or match.strip() == "*"
        since = self.headers.get("If-Modified-Since")
        if since is None:
            return False
        try:
            return int(mtime) <= email.utils.parsedate_to_datetime(since).timestamp()
        except (TypeError, ValueError):
            return False

    def _send_endless(self):
        zeros = bytes(CHUNK)
        while not self.owner._stopping.is_set():
            self.wfile.write(zeros)
            self._record["sent"] += len(zeros)

    def _range_start(self, size, etag, date):
        """Where the body starts: 0 for the whole, the N of "bytes=N-" when
        the If-Range (if any) names the file as it is, None past the end."""
        asked = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", "").strip())
        if not asked:
            return 0
        condition = self.headers.get("If-Range")
        if condition is not None and condition.strip() not in (etag, date):
            return 0
        start = int(asked.group(1))
        return start if start < size else None

    def _unsatisfiable(self, size, body):
        self.send_response(416)
        self.send_header("Content-Range", "bytes */%d" % size)
        self.send_header("Content-Length", "0")
        self._end_headers()

    def send_response(self, code, message=None):
        self._record["status"] = code
        super().send_response(code, message)

    def _end_headers(self):
        self.send_header("Connection", "close")
        self.end_headers()

    def _simple(self, code, payload, content_type, body):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(payload)))
        self._end_headers()
        if body:
            self.wfile.write(payload)
            self._record["sent"] += len(payload)

    def _send(self, f, limit):
        """Up to `limit` bytes of the file, in chunks."""
        left = limit
        while left > 0 and not self.owner._stopping.is_set():
            data = f.read(min(CHUNK, left))
            if not data:
                break
            self.wfile.write(data)
            self._record["sent"] += len(data)
            left -= len(data)

    def _send_slowly(self, f, bps, chunk=None, per_second=None):
        # About ten writes a second, paced by the clock so the rate holds
        # whatever each write costs.
        if per_second is not None:  # `chunk` bytes `per_second` times a second
            bps = chunk * per_second
        chunk = chunk or max(1, min(CHUNK, bps // 10))
        start = time.monotonic()
        sent = 0
        while not self.owner._stopping.is_set():
            data = f.read(chunk)
            if not data:
                break
            self.wfile.write(data)
            self._record["sent"] += len(data)
            sent += len(data)
            delay = start + sent / bps - time.monotonic()
            if delay > 0:
                self.owner._stopping.wait(delay)


class TestServer:
    """A bounded threaded HTTP server on 127.0.0.1 for the folder `root`."""

    __test__ = False  # not a test case, whatever a collector thinks of the name

    def __init__(self, root, max_requests=200, max_seconds=300, port=0, verbose=False):
        self.root = os.path.realpath(root)
        self.max_requests = max_requests
        self.max_seconds = max_seconds
        self.verbose = verbose
        self.requests = []
        self.cut_at = None
        self._lock = threading.Lock()
        self._admitted = 0
        self._stopping = threading.Event()  # cut transfers still running
        self._limit = threading.Event()  # stop accepting
        self._closed = threading.Event()  # no longer listening
        handler = type("Handler", (_Handler,), {"owner": self})
        self._server = _Server(("127.0.0.1", port), handler)
        self.port = self._server.server_address[1]
        self.url = "http://127.0.0.1:%d" % self.port
        self._threads = []

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        self._threads = [
            threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.1},
                             daemon=True),
            threading.Thread(target=self._guard, daemon=True),
        ]
        for t in self._threads:
            t.start()

    def stop(self):
        """Stops serving; transfers still running are cut. May be called
        more than once."""
        self._stopping.set()
        self._limit.set()
        if not self._threads:
            self._server.server_close()
        for t in self._threads:
            t.join(timeout=5)

    def wait(self):
        """Blocks until a bound is reached or stop() is called."""
        # In short steps: a signal handler only runs between them.
        while not self._closed.wait(0.2):
            pass

    @staticmethod
    def etag(path):
        """The ETag the server gives a file: from its time and size, so a
        rewritten file gets a new one."""
        st = os.stat(path)
        return '"%x-%x"' % (st.st_mtime_ns, st.st_size)

    # --- internals

    def _guard(self):
        # The lifetime bound cuts running transfers too; the request bound
        # only closes the door, so the last admitted request is answered.
        if not self._limit.wait(self.max_seconds):
            self._stopping.set()
        self._server.shutdown()
        self._server.server_close()
        self._closed.set()

    # --- used by the handler

    def _admit(self, method, path, headers):
        with self._lock:
            if self._admitted >= self.max_requests or self._stopping.is_set():
                return None
            self._admitted += 1
            record = {"method": method, "path": path, "headers": {k.lower(): v for k, v in headers.items()},
                      "status": None, "sent": 0}
            self.requests.append(record)
            if self._admitted >= self.max_requests:
                # This request is still answered; the next ones find the
                # server closed.
                self._limit.set()
            return record

    def _resolve(self, name):
        """The file under the root for a URL-encoded name, or None."""
        rel = urllib.parse.unquote(name)
        if not rel or "\0" in rel:
            return None
        path = os.path.realpath(os.path.join(self.root, rel))
        if os.path.commonpath([self.root, path]) != self.root or not os.path.isfile(path):
            return None
        return path


def main(argv=None):
    ap = argparse.ArgumentParser(description="Serve a folder for download tests.")
    ap.add_argument("root", help="folder to serve")
    ap.add_argument("--port", type=int, default=0, help="port (default: a free one)")
    ap.add_argument("--port-file", help="write the port number to this file once listening")
    ap.add_argument("--max-requests", type=int, default=200)
    ap.add_argument("--max-seconds", type=float, default=300)
    ap.add_argument("-v", "--verbose", action="store_true", help="log each request on stderr")
    args = ap.parse_args(argv)
    if not os.path.isdir(args.root):
        ap.error("no such folder: " + args.root)

    srv = TestServer(args.root, max_requests=args.max_requests, max_seconds=args.max_seconds,
                     port=args.port, verbose=args.verbose)
    signal.signal(signal.SIGTERM, lambda *_: srv._limit.set())
    srv.start()
    if args.port_file:
        # Written whole under another name first: a reader never sees half.
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % srv.port)
        os.replace(tmp, args.port_file)
    print(srv.url, flush=True)
    try:
        srv.wait()
    except KeyboardInterrupt:
        pass
    srv.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
