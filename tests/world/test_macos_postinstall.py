"""The macOS package's postinstall script, run in the world as Installer runs it (as root, with the
package path, install location and target volume), over the Linux Setup laid where the package's
payload puts it: it passes the package's words through one per line (without a byte-order mark or
CR line ends) and returns Setup's status; and it stays plain POSIX sh."""

import shutil
import subprocess
from pathlib import Path

from worldcase import (AGENT_APP_EXECUTABLE, BY_WORDS, CHECKING, NO_MDM, PRODUCT, SetupTestCase,
                       command_error)

POSTINSTALL = Path(__file__).resolve().parents[2] / "packaging" / "macos" / "postinstall"
PAYLOAD_SETUP = "/Library/Application Support/Talvo Backup Agent/Installer/Setup"
SCRIPTS = "/var/world/package/scripts"
# Stands in for Setup where the words themselves are looked at: one bracketed word a line.
WORDS_ECHO = b"#!/bin/sh\nprintf '[%s]\\n' \"$@\"\n"
BOM = "\ufeff"


class PostinstallTest(SetupTestCase):
    def package_world(self, words=None, setup_program=None):
        """A world with the package's payload installed and its scripts unpacked."""
        world = self.new_world()
        setup = world.host_path(PAYLOAD_SETUP)
        setup.parent.mkdir(parents=True, exist_ok=True)
        if setup_program is None:
            shutil.copyfile(PRODUCT, setup)
        else:
            setup.write_bytes(setup_program)
        setup.chmod(0o755)
        script = world.host_path(f"{SCRIPTS}/postinstall")
        script.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(POSTINSTALL, script)
        script.chmod(0o755)
        if words is not None:
            world.write(f"{SCRIPTS}/setup.words", words)
        return world

    def postinstall(self, world, user="root", **options):
        session = self.run_in(world, [f"{SCRIPTS}/postinstall", "/var/world/package/Talvo.pkg",
                                      "/", "/"], user=user, **options)
        self.assertFalse(session.timed_out, session.stdout)
        return session

    def test_words_reach_setup_whole_and_its_status_is_returned(self):
        # Values keep their inner spaces and shell characters; comments and blank lines are no
        # words; the last line needs no line feed.
        world = self.package_world(
            "# written by the admin\n"
            "REG_TOKEN=tok-123\n"
            "\n"
            "REG_SERVICE=https://backup.example/reg\n"
            "ENCRYPTION_KEY=correct horse  battery * $HOME")
        session = self.postinstall(world)
        self.assertEqual((session.lines, session.status), (BY_WORDS, 0))
        self.assert_registered(world, "-reg-token=tok-123",
                               "-reg-service=https://backup.example/reg")
        self.assert_key(world, "correct horse  battery * $HOME")
        self.assertEqual(session.launched_executables(), [AGENT_APP_EXECUTABLE])

        cases = [
            # name, words, the agent's setup status, user, Setup's or the script's own status
            ("failed agent setup", "REG_TOKEN=t\nENCRYPTION_KEY=long enough key\n", 9, "root", 9,
             [*BY_WORDS, command_error(9)]),
            ("no words", None, 0, "root", 0, [CHECKING, NO_MDM]),
            ("a normal user", "REG_TOKEN=t\n", 0, "501", 77, []),
        ]
        for name, words, agent_status, user, status, lines in cases:
            with self.subTest(name):
                world = self.package_world(words)
                world.set_agent_init_status(agent_status)
                session = self.postinstall(world, user=user, expect_launch=status != 9)
                self.assertEqual((session.lines, session.status), (lines, status))
                if user != "root":
                    self.assertIn("must run as root", session.stderr)
                    self.assertEqual(world.calls(), [])

    def test_a_byte_order_mark_and_cr_lf_line_ends_are_no_part_of_the_words(self):
        # As editors on other systems save the file; other spaces stay for Setup to judge.
        expected = "[ENCRYPTION_KEY= correct horse ]\n[REG_TOKEN=tok-123]\n"
        for name, words in [
                ("mark", BOM + "ENCRYPTION_KEY= correct horse \nREG_TOKEN=tok-123\n"),
                ("CR LF", "ENCRYPTION_KEY= correct horse \r\n\r\nREG_TOKEN=tok-123\r\n"),
                ("mark, comment, CR LF, no last line feed",
                 BOM + "# admin\r\nENCRYPTION_KEY= correct horse \r\nREG_TOKEN=tok-123\r"),
        ]:
            with self.subTest(name):
                world = self.package_world(words, setup_program=WORDS_ECHO)
                session = self.postinstall(world, expect_launch=False)
                self.assertEqual((session.stdout, session.status), (expected, 0))

    def test_is_plain_posix_sh(self):
        # macOS runs it with /bin/sh, which is not the shell the world's tests run it with.
        check = subprocess.run(["shellcheck", "--shell=sh", str(POSTINSTALL)],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
