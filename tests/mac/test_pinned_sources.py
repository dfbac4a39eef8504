"""cmake/PinnedSources.cmake, with which the Mac's native build fetches its library sources, here
from local files."""

import bz2
import gzip
import hashlib
import io
import shutil
import subprocess
import tarfile
import tempfile
import unittest
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]


def tar_stream(files):
    """A tar stream of the files ({relative path: text}) in one top folder."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, text in files.items():
            info = tarfile.TarInfo(f"pkg-1.0/{name}")
            info.size = len(text.encode())
            archive.addfile(info, io.BytesIO(text.encode()))
    return buffer.getvalue()


class PinnedSourceTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="talvo-pinned-"))
        self.addCleanup(shutil.rmtree, self.work)
        self.folder = self.work / "sources" / "pkg"

    def url(self, name, content=None):
        """A local file's URL; without content, one that cannot be fetched."""
        if content is not None:
            (self.work / name).write_bytes(content)
        return (self.work / name).as_uri()

    def fetch(self, pin, *urls):
        """cmake's exit status and the unpacked folder's files (None without the folder)."""
        driver = self.work / "driver.cmake"
        driver.write_text(f"include({REPOSITORY}/cmake/PinnedSources.cmake)\n"
                          f"talvo_pinned_source({self.folder} {pin} {' '.join(urls)})\n")
        result = subprocess.run(["cmake", f"-DTALVO_PINNED_DOWNLOADS={self.work}/downloads",
                                 "-P", str(driver)], capture_output=True, text=True)
        self.stderr = result.stderr
        files = {str(path.relative_to(self.folder)): path.read_text()
                 for path in self.folder.rglob("*") if path.is_file() and path.name[0] != "."}
        return result.returncode, files if self.folder.is_dir() else None

    def test_only_the_pinned_stream_is_unpacked_and_kept_until_the_pin_changes(self):
        files = {"a.txt": "first", "sub/b.txt": "second"}
        stream = tar_stream(files)
        pin = hashlib.sha256(stream).hexdigest()
        other = self.url("other.tar.gz", gzip.compress(tar_stream({"a.txt": "evil"})))
        self.assertEqual(self.fetch(pin, other), (1, None), self.stderr)
        self.assertIn(pin, self.stderr)
        self.assertEqual(list((self.work / "downloads").iterdir()), [])
        # The pin holds whatever compression a URL serves.
        bzip2 = self.url("pkg.tar.bz2", bz2.compress(stream))
        self.assertEqual(self.fetch(pin, other, bzip2), (0, files), self.stderr)
        self.assertEqual([path.name for path in (self.work / "downloads").iterdir()],
                         [f"pkg-{pin}"])
        shutil.rmtree(self.folder)  # the kept tarball serves, though no URL answers
        self.assertEqual(self.fetch(pin, self.url("missing")), (0, files), self.stderr)
        newer = tar_stream({"c.txt": "third"})
        self.assertEqual(self.fetch(hashlib.sha256(newer).hexdigest(), self.url("missing"),
                                    self.url("newer.tar.gz", gzip.compress(newer))),
                         (0, {"c.txt": "third"}), self.stderr)


if __name__ == "__main__":
    unittest.main()
