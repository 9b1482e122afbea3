"""The download tests' HTTP server (tests/support/http_server.py): each URL
mode, the request log, the bounds and the standalone program. Plain Python,
no Wine."""
import email.utils
import http.client
import os
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

SUPPORT = Path(__file__).resolve().parents[1] / "support"
sys.path.insert(0, str(SUPPORT))

from http_server import TestServer  # noqa: E402

PAYLOAD = os.urandom(300 * 1024)  # several chunks of the server's writes


def fetch(srv, path, method="GET", headers=None):
    """(response, body bytes or the exception that cut the body)."""
    conn = http.client.HTTPConnection("127.0.0.1", srv.port, timeout=10)
    try:
        conn.request(method, path, headers=headers or {})
        resp = conn.getresponse()
        try:
            body = resp.read()
        except http.client.IncompleteRead as e:
            body = e
        return resp, body
    finally:
        conn.close()


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        base = Path(self.tmp.name)
        self.root = base / "root"
        (self.root / "sub").mkdir(parents=True)
        (self.root / "setup.exe").write_bytes(PAYLOAD)
        (self.root / "sub" / "a b.txt").write_bytes(b"spaced")
        self.mtime = 1_600_000_000
        os.utime(self.root / "setup.exe", (self.mtime, self.mtime))
        (base / "secret.txt").write_bytes(b"outside the root")
        os.symlink(base / "secret.txt", self.root / "link.txt")

    def tearDown(self):
        self.tmp.cleanup()

    def test_plain_files_head_and_not_found(self):
        with TestServer(self.root) as srv:
            self.assertRegex(srv.url, r"^http://127\.0\.0\.1:\d+$")
            resp, body = fetch(srv, "/setup.exe")
            self.assertEqual(resp.status, 200)
            self.assertEqual(body, PAYLOAD)
            self.assertEqual(resp.getheader("Content-Length"), str(len(PAYLOAD)))
            modified = email.utils.parsedate_to_datetime(resp.getheader("Last-Modified"))
            self.assertEqual(modified.timestamp(), self.mtime)

            resp, body = fetch(srv, "/setup.exe", method="HEAD")
            self.assertEqual((resp.status, body), (200, b""))
            self.assertEqual(resp.getheader("Content-Length"), str(len(PAYLOAD)))

            resp, body = fetch(srv, "/sub/a%20b.txt")
            self.assertEqual((resp.status, body), (200, b"spaced"))

            for path in ["/missing.exe", "/..%2Fsecret.txt", "/sub/%2E%2E/%2E%2E/secret.txt",
                         "/link.txt", "/_drop/3/..%2Fsecret.txt", "/sub", "/_unknown/setup.exe"]:
                with self.subTest(path=path):
                    resp, body = fetch(srv, path)
                    self.assertEqual(resp.status, 404)
                    self.assertEqual(resp.getheader("Content-Type"), "text/html")
                    self.assertIn(b"<title>404 Not Found</title>", body)
                    self.assertNotIn(b"outside", body)

    def test_misbehaving_modes(self):
        with TestServer(self.root) as srv:
            resp, body = fetch(srv, "/_nolength/setup.exe")
            self.assertEqual(resp.status, 200)
            self.assertIsNone(resp.getheader("Content-Length"))
            self.assertEqual(body, PAYLOAD)

            resp, body = fetch(srv, "/_zerolength/setup.exe")
            self.assertEqual((resp.status, resp.getheader("Content-Length"), body),
                             (200, "0", b""))

            resp, body = fetch(srv, "/_html404/setup.exe")
            self.assertEqual(resp.status, 200)
            self.assertTrue(resp.getheader("Content-Type").startswith("text/html"))
            self.assertEqual(resp.getheader("Content-Length"), str(len(body)))
            self.assertTrue(body.startswith(
                b"<html><head><title>404 Not Found</title></head><body>"), body)
            self.assertTrue(body.rstrip().endswith(b"</body></html>"), body)

            for n in (0, 1000, 200 * 1024):
                with self.subTest(drop=n):
                    resp, body = fetch(srv, "/_drop/%d/setup.exe" % n)
                    self.assertEqual(resp.getheader("Content-Length"), str(len(PAYLOAD)))
                    self.assertIsInstance(body, http.client.IncompleteRead)
                    self.assertEqual(body.partial, PAYLOAD[:n])

            # 4000 bytes at 8000 bytes a second cannot arrive in much less
            # than half a second (the pacing is by the clock).
            (self.root / "small.bin").write_bytes(PAYLOAD[:4000])
            start = time.monotonic()
            resp, body = fetch(srv, "/_slow/8000/small.bin")
            self.assertGreater(time.monotonic() - start, 0.4)
            self.assertEqual(resp.getheader("Content-Length"), "4000")
            self.assertEqual(body, PAYLOAD[:4000])

    def test_requests_are_logged_in_order_with_lower_case_headers(self):
        with TestServer(self.root) as srv:
            fetch(srv, "/setup.exe", headers={"X-Probe": "one", "User-Agent": "Probe/1"})
            fetch(srv, "/_zerolength/x?y=1", method="HEAD")
            self.assertEqual([r["path"] for r in srv.requests],
                             ["/setup.exe", "/_zerolength/x?y=1"])
            self.assertEqual(srv.requests[0]["headers"]["x-probe"], "one")
            self.assertEqual(srv.requests[0]["headers"]["user-agent"], "Probe/1")
            self.assertIn("host", srv.requests[1]["headers"])

    def test_bounds_stop_serving(self):
        with TestServer(self.root, max_requests=2) as srv:
            self.assertEqual(fetch(srv, "/setup.exe")[0].status, 200)
            # The last admitted request is still answered in full.
            resp, body = fetch(srv, "/setup.exe")
            self.assertEqual((resp.status, body), (200, PAYLOAD))
            with self.assertRaises(OSError):
                for _ in range(50):  # refused once the listener is closed
                    fetch(srv, "/setup.exe")
                    time.sleep(0.05)
            self.assertEqual(len(srv.requests), 2)

        with TestServer(self.root, max_seconds=0.3) as srv:
            with self.assertRaises(OSError):
                for _ in range(100):
                    fetch(srv, "/_zerolength/x")
                    time.sleep(0.05)

    def test_standalone_program(self):
        port_file = Path(self.tmp.name) / "port"
        proc = subprocess.Popen(
            [sys.executable, str(SUPPORT / "http_server.py"), str(self.root),
             "--port-file", str(port_file), "--max-requests", "1"],
            stdout=subprocess.PIPE, text=True)
        try:
            url = proc.stdout.readline().strip()
            port = int(port_file.read_text())
            self.assertEqual(url, "http://127.0.0.1:%d" % port)
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            conn.request("GET", "/sub/a%20b.txt")
            self.assertEqual(conn.getresponse().read(), b"spaced")
            conn.close()
            # Its one request served, it ends by itself.
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
