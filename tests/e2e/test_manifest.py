"""The application manifest as Windows finds it in both built stubs: the
resource RT_MANIFEST (24) with id 1, read from the PE file's resource
section the way the loader does (no Wine needed)."""
import struct
import unittest

from harness import STUB32, STUB64

RT_MANIFEST = 24


def _resource_section(data):
    """(bytes of the image, rva -> file offset) for the resource directory."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise AssertionError("no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            vsize, vaddr, rsize, raw = struct.unpack_from("<8xIIII", data, table + 40 * i)
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return raw + rva - vaddr
        raise AssertionError(f"RVA {rva:#x} lies in no section")

    return resource_rva, offset


def find_resource(path, kind, ident):
    """The bytes of resource (kind, ident), first language; None if absent."""
    data = path.read_bytes()
    root_rva, offset = _resource_section(data)
    if root_rva == 0:
        return None
    root = offset(root_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<12xHH", data, directory)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            yield name, target

    def child(directory, want):
        for name, target in entries(directory):
            if not name & 0x80000000 and name == want:
                return target
        return None

    by_kind = child(root, kind)
    if by_kind is None or not by_kind & 0x80000000:
        return None
    by_id = child(root + (by_kind & 0x7FFFFFFF), ident)
    if by_id is None or not by_id & 0x80000000:
        return None
    language = next(entries(root + (by_id & 0x7FFFFFFF)))[1]
    data_rva, size = struct.unpack_from("<II", data, root + language)
    start = offset(data_rva)
    return data[start:start + size]


class ManifestTest(unittest.TestCase):
    def test_both_stubs_carry_the_manifest(self):
        for stub in (STUB32, STUB64):
            with self.subTest(stub=str(stub)):
                if not stub.exists():
                    self.fail(f"{stub} is not built: run scripts/build.sh")
                manifest = find_resource(stub, RT_MANIFEST, 1)
                self.assertIsNotNone(manifest, "no RT_MANIFEST resource with id 1")
                text = manifest.decode("utf-8")
                self.assertIn('<requestedExecutionLevel level="asInvoker"', text)
                self.assertRegex(text, r'name="Microsoft\.Windows\.Common-Controls" '
                                       r'version="6\.0\.0\.0"')
                self.assertIn("6595b64144ccf1df", text)
                # Vista, 7, 8, 8.1 and 10/11.
                for os_id in ("e2011457-1546-43c5-a5fe-008deee3d3f0",
                              "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                              "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                              "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                              "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
                    self.assertIn("{" + os_id + "}", text)
                self.assertRegex(text, r"<dpiAware[^>]*>true</dpiAware>")
                # The version resource (RT_VERSION, id 1), older than the
                # manifest, is found the same way.
                self.assertIn("Vantor".encode("utf-16-le"), find_resource(stub, 16, 1))


if __name__ == "__main__":
    unittest.main()
