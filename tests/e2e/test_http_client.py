"""The WinINet client under Wine against the test server: complete and
incomplete downloads, the temporary file and the target, continuing a
broken download or starting it over, the progress events, the abort flag set by a window procedure during the download, URL
forms and the size query. Driven through tests/support/http_fetch.exe."""
import calendar
import email.utils
import os
import random
import sys
import unittest
from pathlib import Path

from harness import ROOT, WIN_BUILD, WineTestCase, win_path, wine_output

sys.path.insert(0, str(ROOT / "tests" / "support"))
from http_server import TestServer  # noqa: E402

FETCH = WIN_BUILD / "tests" / "support" / "http_fetch.exe"

# Every served file gets this Last-Modified time; the temporary file's name
# carries its DOS date-time.
STAMP = (2024, 2, 29, 13, 45, 58)
STAMP_DOS = ((STAMP[0] - 1980) << 25 | STAMP[1] << 21 | STAMP[2] << 16 | STAMP[3] << 11
             | STAMP[4] << 5 | STAMP[5] // 2)


def download_name(route):
    return route.rsplit("/", 1)[-1]


class HttpClientTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not FETCH.exists():
            raise AssertionError(f"{FETCH} is not built: run scripts/build.sh")

    def setUp(self):
        super().setUp()
        self.www = self.dir / "www"
        self.out = self.dir / "out"
        self.www.mkdir()
        self.out.mkdir()

    def serve(self, name, size, seed=None, stamp=STAMP):
        data = random.Random(size if seed is None else seed).randbytes(size)
        path = self.www / name
        path.write_bytes(data)
        t = calendar.timegm(stamp + (0, 0, 0))
        os.utime(path, (t, t))
        return data

    def fetch(self, url, target=None, *extra):
        code, out = wine_output(FETCH, url, win_path(target) if target else "-", *extra,
                                timeout=120)
        result = dict(line.rstrip("\r").split("=", 1) for line in out.splitlines() if "=" in line)
        result["code"] = code
        return result

    def temporary_name(self, name, size):
        return f"{name}.{(size + STAMP_DOS) & 0xFFFFFFFF}"

    def leftovers(self, name):
        return sorted(p.name for p in self.out.glob(name + ".*"))

    def test_complete_download_replaces_the_target(self):
        data = self.serve("setup.bin", 100000)
        target = self.out / "setup.bin"
        target.write_bytes(b"old copy")
        with TestServer(self.www) as srv:
            r = self.fetch(srv.url + "/setup.bin", target)
            seen = [(q["path"], q["headers"].get("user-agent")) for q in srv.requests]
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(target.read_bytes(), data)
        self.assertEqual(self.leftovers("setup.bin"), [])
        # One request: the length comes from the answer itself.
        self.assertEqual(seen, [("/setup.bin", "HTTP_Connect_3")])
        # 8192-byte reads: 13 rounds with data, range ceil(100000 / 8192) + 1.
        self.assertEqual(r["range"], "1 14")
        self.assertEqual(r["texts"], "13 ends=1")
        self.assertTrue(r["last-text"].startswith("100000/100000 Bytes"), r["last-text"])

    def test_small_resource_into_text(self):
        self.serve("app.info", 45)
        with TestServer(self.www) as srv:
            r = self.fetch(srv.url + "/app.info")
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(r["content-bytes"], "45")
        # Reads of 45 div 10 = 4 bytes: 12 rounds with data, range 13.
        self.assertEqual(r["range"], "1 13")
        self.assertEqual(r["texts"], "12 ends=1")
        self.assertTrue(r["last-text"].startswith("45/45 Bytes"), r["last-text"])

    def test_response_without_length_is_complete_at_its_end(self):
        data = self.serve("setup.bin", 100000)
        target = self.out / "setup.bin"
        target.write_bytes(b"old copy")
        with TestServer(self.www) as srv:
            r = self.fetch(srv.url + "/_nolength/setup.bin", target)
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(target.read_bytes(), data)
        self.assertEqual(self.leftovers("setup.bin"), [])
        # An unknown length counts as 4294967295 bytes: megabyte texts.
        self.assertEqual(r["range"], "1 524289")
        self.assertTrue(r["last-text"].startswith("0.1/4,096.0 MB"), r["last-text"])

    def test_zero_length_is_not_found(self):
        target = self.out / "setup.bin"
        with TestServer(self.www) as srv:
            url = srv.url + "/_zerolength/setup.bin"
            r = self.fetch(url, target)
        self.assertEqual(r["code"], 1)
        self.assertEqual(r["error"], url + " --- File Not Found !")
        self.assertEqual(list(self.out.iterdir()), [])

    def test_error_status_is_an_error_and_keeps_the_target(self):
        self.serve("setup.bin", 1000)
        target = self.out / "setup.bin"
        with TestServer(self.www) as srv:
            for status in (404, 500):
                with self.subTest(status=status):
                    url = f"{srv.url}/_status/{status}/setup.bin"
                    target.write_bytes(b"old copy")
                    r = self.fetch(url, target)
                    self.assertEqual((r["code"], r["error"]), (1, f"{url} --- HTTP status {status}"))
                    self.assertEqual(target.read_bytes(), b"old copy")
                    self.assertEqual(self.leftovers("setup.bin"), [])
                    text = self.fetch(url)
                    self.assertEqual((text["code"], text["content-bytes"]), (1, "0"))
                    self.assertEqual(self.fetch(url, None, "--size")["size"], "-1")

    def test_dropped_connection_keeps_the_target(self):
        data = self.serve("mid.bin", 300000)
        target = self.out / "mid.bin"
        target.write_bytes(b"old copy")
        with TestServer(self.www) as srv:
            r = self.fetch(srv.url + "/_drop/100000/mid.bin", target)
        self.assertEqual(r["code"], 1)
        self.assertEqual(r["error"],
                         "mid.bin --- Download incomplete (received 100000 of 300000 bytes)")
        self.assertEqual(target.read_bytes(), b"old copy")
        temporary = self.temporary_name("mid.bin", 300000)
        # Beside it the note for continuing it: the route's own ETag.
        self.assertEqual(self.leftovers("mid.bin"), [temporary, temporary + ".resume"])
        self.assertEqual((self.out / temporary).read_bytes(), data[:100000])
        self.assertEqual((self.out / (temporary + ".resume")).read_text().split("\n"),
                         [srv.url + "/_drop/100000/mid.bin", "300000",
                          TestServer.etag(self.www / "mid.bin"), ""])

    def test_clean_up_takes_only_the_clients_own_temporary_files(self):
        data = self.serve("Setup", 5000)
        target = self.out / "Setup"
        others = {"Setup.log": b"a log", "Setup.ini": b"settings", "Setup.1.bak": b"backup"}
        for name, content in others.items():
            (self.out / name).write_bytes(content)
        (self.out / "Setup.77").write_bytes(b"stale")
        with TestServer(self.www) as srv:
            r = self.fetch(srv.url + "/Setup", target)
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(target.read_bytes(), data)
        self.assertEqual(sorted(p.name for p in self.out.iterdir()), sorted(["Setup", *others]))

    def test_abort_from_a_window_procedure_and_the_next_attempt(self):
        data = self.serve("big.bin", 400000)
        target = self.out / "big.bin"
        target.write_bytes(b"old copy")
        with TestServer(self.www) as srv:
            # About 10 s at 40000 bytes/s; the abort message comes after 1 s and
            # is only seen if the loop services the queue.
            r = self.fetch(srv.url + "/_slow/40000/big.bin", target, "--abort-after-ms", "1000")
            self.assertEqual((r["code"], r["error"]), (1, "Download Aborted"))
            self.assertIn("abort-latency-ms", r)
            self.assertEqual(target.read_bytes(), b"old copy")
            temporary = self.out / self.temporary_name("big.bin", 400000)
            self.assertEqual(self.leftovers("big.bin"), [temporary.name, temporary.name + ".resume"])
            partial = temporary.read_bytes()
            self.assertTrue(0 < len(partial) < len(data) // 2, len(partial))
            self.assertEqual(partial, data[:len(partial)])

            # Any left-over temporary file of the target goes before the next
            # try; a partial file of another URL is not continued.
            (self.out / "big.bin.999").write_bytes(b"stale")
            r = self.fetch(srv.url + "/big.bin", target)
            self.assertNotIn("range", srv.requests[-1]["headers"])
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(target.read_bytes(), data)
        self.assertEqual(self.leftovers("big.bin"), [])

    def downloads(self, srv):
        """(status, body bytes sent, Range, If-Range) of the download requests."""
        return [(q["status"], q["sent"], q["headers"].get("range"), q["headers"].get("if-range"))
                for q in srv.requests if q["headers"].get("user-agent") == "HTTP_Connect_3"]

    def break_off(self, srv, url, target, at):
        """A first attempt whose connection breaks after `at` bytes."""
        srv.cut_at = at
        r = self.fetch(url, target)
        srv.cut_at = None
        self.assertEqual(r["code"], 1)
        self.assertIn(f"received {at} of ", r["error"])

    def test_broken_download_continues_with_the_rest(self):
        date = email.utils.formatdate(calendar.timegm(STAMP + (0, 0, 0)), usegmt=True)
        for route, validator in (("", "etag"), ("/_noetag", date)):
            with self.subTest(route=route or "etag"):
                for leftover in self.out.iterdir():
                    leftover.unlink()
                data = self.serve("setup.bin", 300000)
                if validator == "etag":
                    validator = TestServer.etag(self.www / "setup.bin")
                target = self.out / "setup.bin"
                target.write_bytes(b"old copy")
                with TestServer(self.www) as srv:
                    url = srv.url + route + "/setup.bin"
                    self.break_off(srv, url, target, 180000)
                    self.assertEqual(target.read_bytes(), b"old copy")
                    r = self.fetch(url, target)
                    downloads = self.downloads(srv)
                self.assertEqual((r["code"], r["error"]), (0, ""))
                self.assertEqual(target.read_bytes(), data)
                self.assertEqual(self.leftovers("setup.bin"), [])
                # Only the rest came, asked for on condition of the first
                # answer's validator.
                self.assertEqual(downloads, [(200, 180000, None, None),
                                             (206, 120000, "bytes=180000-", validator)])
                # The bar starts at the bytes already there (8192-byte reads:
                # 1 + 180000 // 8192 of ceil(300000 / 8192) + 1), then 15 reads.
                self.assertEqual(r["range"], "22 38")
                self.assertEqual(r["texts"], "15 ends=1")
                self.assertTrue(r["last-text"].startswith("293.0/293.0 KB"), r["last-text"])

    def test_whole_answer_to_a_resumed_request_starts_over(self):
        cases = (("changed between the attempts", "", True),
                 ("server without ranges", "/_noranges", False))
        for case, route, change in cases:
            with self.subTest(case):
                for leftover in self.out.iterdir():
                    leftover.unlink()
                data = self.serve("setup.bin", 300000)
                target = self.out / "setup.bin"
                with TestServer(self.www) as srv:
                    url = srv.url + route + "/setup.bin"
                    self.break_off(srv, url, target, 180000)
                    asked = TestServer.etag(self.www / "setup.bin")
                    if change:  # same size, other bytes, a later date
                        data = self.serve("setup.bin", 300000, seed=7, stamp=(2024, 3, 1, 8, 0, 0))
                    r = self.fetch(url, target)
                    downloads = self.downloads(srv)
                self.assertEqual((r["code"], r["error"]), (0, ""))
                self.assertEqual(target.read_bytes(), data)
                self.assertEqual(self.leftovers("setup.bin"), [])
                self.assertEqual(downloads, [(200, 180000, None, None),
                                             (200, 300000, "bytes=180000-", asked)])
                self.assertEqual(r["range"], "1 38")

    def test_bounds_end_a_hostile_transfer_with_its_text(self):
        """Redirects, bodies and time are bounded whatever the server does."""
        data = self.serve("setup.bin", 100000)
        target = self.out / "setup.bin"
        limit = 100000 + 65536
        with TestServer(self.www, max_seconds=120) as srv:
            url = srv.url + "/_redirect/10/setup.bin"
            r = self.fetch(url, target)
            self.assertEqual((r["code"], r["error"]), (0, ""))
            self.assertEqual(target.read_bytes(), data)
            target.unlink()
            cases = [
                ("/_redirect/11/setup.bin", (), " --- Too many redirects (more than 10)", True),
                ("/_loop/setup.bin", (), " --- Too many redirects (more than 10)", True),
                ("/_endless/setup.bin", ("--expected", "100000"),
                 f"setup.bin --- Download too large (more than {limit} bytes)", False),
            ]
            for route, extra, text, prefixed in cases:
                with self.subTest(route):
                    first = len(srv.requests)
                    r = self.fetch(srv.url + route, target, *extra)
                    self.assertEqual(r["code"], 1)
                    self.assertEqual(r["error"], (srv.url + route if prefixed else "") + text)
                    self.assertFalse(target.exists())
                    if prefixed:  # the first request and ten redirects
                        self.assertEqual(len(srv.requests) - first, 11)
                    else:  # the partial file is never larger than the bound
                        sizes = [p.stat().st_size for p in self.out.glob("setup.bin.*")]
                        self.assertTrue(sizes and max(sizes) <= limit, sizes)
            # A body kept in memory stops at its cap; an announced length
            # past it is refused before the body.
            for route in ("/_endless/app.sig", "/setup.bin"):
                with self.subTest(route, cap=4096):
                    r = self.fetch(srv.url + route, None, "--cap", "4096")
                    self.assertEqual(r["error"], download_name(route) +
                                     " --- Download too large (more than 4096 bytes)")
                    self.assertLessEqual(int(r["content-bytes"]), 4096)

    def test_stalled_transfer_ends_and_a_close_is_answered_at_once(self):
        """One byte every 5 seconds: the stall bound (2 s here) ends it, and
        an abort during the wait for the next byte is taken within a second."""
        self.serve("setup.bin", 1000)
        os.environ["VANTOR_STALL_SECONDS"] = "2"
        self.addCleanup(os.environ.pop, "VANTOR_STALL_SECONDS", None)
        with TestServer(self.www, max_seconds=120) as srv:
            url = srv.url + "/_trickle/5/setup.bin"
            r = self.fetch(url, self.out / "setup.bin")
            self.assertEqual(r["error"], "setup.bin --- Download stalled (less than 1024 bytes in 2 seconds)")
            self.assertLess(int(r["download-ms"]), 5000)
            os.environ["VANTOR_STALL_SECONDS"] = "60"
            r = self.fetch(url, None, "--abort-after-ms", "1500")
        self.assertEqual(r["error"], "Download Aborted")
        self.assertLess(int(r["abort-latency-ms"]), 1000)
        self.assertFalse((self.out / "setup.bin").exists())

    def test_conditional_request_costs_no_body(self):
        data = self.serve("app.info", 2000)
        etag = TestServer.etag(self.www / "app.info")
        with TestServer(self.www) as srv:
            first = self.fetch(srv.url + "/app.info")
            same = self.fetch(srv.url + "/app.info", None, "--if-none-match", etag)
            other = self.fetch(srv.url + "/app.info", None, "--if-none-match", '"old"')
            log = [(q["status"], q["sent"]) for q in srv.requests]
        self.assertEqual((first["code"], first["etag"], first["not-modified"]), (0, etag, "0"))
        self.assertEqual((same["code"], same["error"], same["not-modified"], same["content-bytes"]),
                         (0, "", "1", "0"))
        self.assertEqual((other["not-modified"], other["content-bytes"]), ("0", str(len(data))))
        self.assertEqual(log, [(200, 2000), (304, 0), (200, 2000)])

    def test_url_forms(self):
        data = self.serve("setup.bin", 100000)
        with TestServer(self.www) as srv:
            host = srv.url[len("http://"):]
            for url in ("HTTP://" + host + "/setup.bin", host + "/setup.bin"):
                target = self.out / "setup.bin"
                target.unlink(missing_ok=True)
                r = self.fetch(url, target)
                self.assertEqual((r["code"], r["error"]), (0, ""), url)
                self.assertEqual(target.read_bytes(), data, url)
            # The size query opens the URL as given: without scheme it fails.
            # One HEAD request (redirects followed, a bounded number); a GET
            # only where the server refuses HEAD.
            cases = [(srv.url + "/setup.bin", "100000", ["HEAD"]),
                     ("HTTP://" + host + "/setup.bin", "100000", ["HEAD"]),
                     (srv.url + "/_nolength/setup.bin", "-1", ["HEAD"]),
                     (host + "/setup.bin", "-1", []),
                     (srv.url + "/_nohead/setup.bin", "100000", ["HEAD", "GET"]),
                     (srv.url + "/_redirect/2/setup.bin", "100000", ["HEAD"] * 3),
                     (srv.url + "/_loop/setup.bin", "-1", ["HEAD"] * 11)]
            for url, size, methods in cases:
                with self.subTest(url):
                    first = len(srv.requests)
                    self.assertEqual(self.fetch(url, None, "--size")["size"], size)
                    self.assertEqual([q["method"] for q in srv.requests[first:]], methods)

    def test_html_page_in_place_of_the_file(self):
        self.serve("setup.bin", 1000)
        with TestServer(self.www) as srv:
            page = self.fetch(srv.url + "/_html404/setup.exe", self.out / "setup.exe", "--html")
            plain = self.fetch(srv.url + "/setup.bin", self.out / "setup.bin", "--html")
        # The client takes the page as the file; the callers recognise it.
        self.assertEqual((page["code"], page["error"], page["html-page"]), (0, "", "1"))
        self.assertEqual((plain["code"], plain["html-page"]), (0, "0"))


if __name__ == "__main__":
    unittest.main()
