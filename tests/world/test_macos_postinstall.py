"""The macOS package's postinstall script, run in the world as Installer runs it (with the package
path, install location and target volume), over a stand-in laid where the package's payload puts
Setup: as root it passes the package's words through one per line (without a byte-order mark or CR
line ends) and returns Setup's status, as a normal user it refuses; and it stays plain POSIX sh."""

import subprocess
from pathlib import Path

from worldcase import WorldTestCase

POSTINSTALL = Path(__file__).resolve().parents[2] / "packaging" / "macos" / "postinstall"
PAYLOAD_SETUP = "/Library/Application Support/Talvo Backup Agent/Installer/Setup"
SCRIPTS = "/var/world/package/scripts"
# Stands in for Setup: the count of its words, then one bracketed word a line, and a failure.
SETUP_STAND_IN = b"#!/bin/sh\nprintf '[%s]\\n' $# \"$@\"\nexit 9\n"
BOM = "\ufeff"


class PostinstallTest(WorldTestCase):
    needs_product = False

    def test_each_line_is_one_word_whole_and_setups_status_is_returned(self):
        # Values keep their inner spaces and shell characters; comments and blank lines are no
        # words; the last line needs no line feed. A byte-order mark and CR line ends, as editors
        # on other systems save the file, are no part of a word; other spaces stay for Setup.
        key = "ENCRYPTION_KEY= correct horse  battery * $HOME "
        passed = f"[2]\n[{key}]\n[REG_TOKEN=tok-123]\n"
        for name, words, user, stdout, status in [
                ("LF, comment, blank line, no last line feed",
                 f"# written by the admin\n{key}\n\nREG_TOKEN=tok-123", "root", passed, 9),
                ("mark, comment, CR LF, blank line, no last line feed",
                 f"{BOM}# admin\r\n{key}\r\n\r\nREG_TOKEN=tok-123\r", "root", passed, 9),
                ("no words file", None, "root", "[0]\n", 9),
                ("a normal user", "REG_TOKEN=t", "501", "", 77),
        ]:
            with self.subTest(name):
                world = self.new_world()
                for path, program in ((PAYLOAD_SETUP, SETUP_STAND_IN),
                                      (f"{SCRIPTS}/postinstall", POSTINSTALL.read_bytes())):
                    world.write(path, program)
                    world.host_path(path).chmod(0o755)
                if words is not None:
                    world.write(f"{SCRIPTS}/setup.words", words)
                session = self.run_in(world, [f"{SCRIPTS}/postinstall",
                                              "/var/world/package/Talvo.pkg", "/", "/"],
                                      user=user, expect_launch=False)
                self.assertEqual((session.stdout, session.status), (stdout, status))
                self.assertEqual("must run as root" in session.stderr, user != "root")

    def test_is_plain_posix_sh(self):
        # macOS runs it with /bin/sh, which is not the shell the world's tests run it with.
        check = subprocess.run(["shellcheck", "--shell=sh", str(POSTINSTALL)],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
