"""The WinINet client under Wine against the test server: complete and
incomplete downloads, the temporary file and the target, the progress
events, the abort flag set by a window procedure during the download, URL
forms and the size query. Driven through tests/support/http_fetch.exe."""
import calendar
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

    def serve(self, name, size):
        data = random.Random(size).randbytes(size)
        path = self.www / name
        path.write_bytes(data)
        t = calendar.timegm(STAMP + (0, 0, 0))
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
        # The probe's own session comes first, then the download's.
        self.assertEqual(seen, [("/setup.bin", "HTTP_Connect_2"),
                                ("/setup.bin", "HTTP_Connect_3")])
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
        self.assertEqual(r["last-text"], "45/45 Bytes")

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
        self.assertEqual(self.leftovers("mid.bin"), [temporary])
        self.assertEqual((self.out / temporary).read_bytes(), data[:100000])

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
            self.assertEqual(self.leftovers("big.bin"), [temporary.name])
            partial = temporary.read_bytes()
            self.assertTrue(0 < len(partial) < len(data) // 2, len(partial))
            self.assertEqual(partial, data[:len(partial)])

            # Any left-over temporary file of the target goes before the next try.
            (self.out / "big.bin.999").write_bytes(b"stale")
            r = self.fetch(srv.url + "/big.bin", target)
        self.assertEqual((r["code"], r["error"]), (0, ""))
        self.assertEqual(target.read_bytes(), data)
        self.assertEqual(self.leftovers("big.bin"), [])

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
            sizes = [self.fetch(url, None, "--size")["size"]
                     for url in (srv.url + "/setup.bin", "HTTP://" + host + "/setup.bin",
                                 srv.url + "/_nolength/setup.bin", host + "/setup.bin")]
        self.assertEqual(sizes, ["100000", "100000", "-1", "-1"])

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
