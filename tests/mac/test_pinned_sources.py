"""cmake/PinnedSources.cmake, which the Mac's native build fetches its library sources with: a
tarball is used only when its tar stream has the pinned digest, whatever its compression or the
URL it came from; a tarball fetched once is used again without the network; a new pin replaces
the unpacked folder. The URLs here are local files."""

import bz2
import gzip
import hashlib
import io
import subprocess
import tarfile
import tempfile
import unittest
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parent.parent.parent


def tar_stream(files):
    """A tar stream with one top folder holding the files ({relative path: text})."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, text in files.items():
            data = text.encode()
            info = tarfile.TarInfo(f"pkg-1.0/{name}")
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


class PinnedSourceTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="talvo-pinned-"))
        self.addCleanup(subprocess.run, ["rm", "-rf", str(self.work)])
        self.downloads = self.work / "downloads"
        self.folder = self.work / "sources" / "pkg"
        self.stream = tar_stream({"a.txt": "first", "sub/b.txt": "second"})
        self.pin = hashlib.sha256(self.stream).hexdigest()
        self.gz = self.serve("pkg.tar.gz", gzip.compress(self.stream))
        self.bz2 = self.serve("pkg.tar.bz2", bz2.compress(self.stream))
        self.other = self.serve("other.tar.gz", gzip.compress(tar_stream({"a.txt": "evil"})))
        self.missing = (self.work / "served" / "missing.tar.gz").as_uri()

    def serve(self, name, content):
        path = self.work / "served" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        return path.as_uri()

    def fetch(self, pin, *urls):
        driver = self.work / "driver.cmake"
        driver.write_text(f"include({REPOSITORY}/cmake/PinnedSources.cmake)\n"
                          f"talvo_pinned_source({self.folder} {pin} {' '.join(urls)})\n")
        return subprocess.run(["cmake", f"-DTALVO_PINNED_DOWNLOADS={self.downloads}", "-P",
                               str(driver)], cwd=self.work, capture_output=True, text=True)

    def unpacked(self):
        if not self.folder.is_dir():
            return None
        return {str(path.relative_to(self.folder)): path.read_text()
                for path in self.folder.rglob("*") if path.is_file() and path.name[0] != "."}

    def test_only_a_tarball_with_the_pinned_stream_is_unpacked(self):
        cases = [
            ("gzip after a missing URL", [self.missing, self.gz], True),
            ("bzip2 after another stream", [self.other, self.bz2], True),
            ("only another stream", [self.other], False),
            ("nothing to fetch", [self.missing], False),
        ]
        for name, urls, used in cases:
            with self.subTest(name):
                subprocess.run(["rm", "-rf", str(self.work / "sources"), str(self.downloads)])
                result = self.fetch(self.pin, *urls)
                self.assertEqual(result.returncode == 0, used, result.stderr)
                expected = {"a.txt": "first", "sub/b.txt": "second"} if used else None
                self.assertEqual(self.unpacked(), expected)
                kept = sorted(p.name for p in self.downloads.iterdir())
                self.assertEqual(kept, [f"pkg-{self.pin}"] if used else [])
                if not used:
                    self.assertIn(self.pin, result.stderr)

    def test_a_fetched_tarball_serves_again_and_a_new_pin_replaces_the_folder(self):
        self.assertEqual(self.fetch(self.pin, self.gz).returncode, 0)
        subprocess.run(["rm", "-rf", str(self.folder)])
        result = self.fetch(self.pin, self.missing)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.unpacked(), {"a.txt": "first", "sub/b.txt": "second"})

        stream = tar_stream({"c.txt": "third"})
        newer = self.serve("newer.tar.gz", gzip.compress(stream))
        result = self.fetch(hashlib.sha256(stream).hexdigest(), newer)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.unpacked(), {"c.txt": "third"})


if __name__ == "__main__":
    unittest.main()
