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
    def postinstall(self, words, setup_program=None, agent_status=0, **options):
        """The script's run in a world with the package's payload installed and its scripts
        unpacked, setup.words holding these words (None: there is no such file)."""
        world = self.new_world()
        for path, source in ((PAYLOAD_SETUP, PRODUCT), (f"{SCRIPTS}/postinstall", POSTINSTALL)):
            target = world.host_path(path)
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(source, target)
            target.chmod(0o755)
        if setup_program is not None:
            world.write(PAYLOAD_SETUP, setup_program)
        if words is not None:
            world.write(f"{SCRIPTS}/setup.words", words)
        world.set_agent_init_status(agent_status)
        session = self.run_in(world, [f"{SCRIPTS}/postinstall", "/var/world/package/Talvo.pkg",
                                      "/", "/"], **options)
        self.assertFalse(session.timed_out, session.stdout)
        return world, session

    def test_each_line_is_one_word_whole(self):
        # Values keep their inner spaces and shell characters; comments and blank lines are no
        # words; the last line needs no line feed. A byte-order mark and CR line ends, as editors
        # on other systems save the file, are no part of a word; other spaces stay for Setup.
        key = "ENCRYPTION_KEY= correct horse  battery * $HOME "
        for name, words in [
                ("LF, comment, blank line, no last line feed",
                 f"# written by the admin\n{key}\n\nREG_TOKEN=tok-123"),
                ("mark, comment, CR LF, blank line, no last line feed",
                 f"{BOM}# admin\r\n{key}\r\n\r\nREG_TOKEN=tok-123\r"),
        ]:
            with self.subTest(name):
                _, session = self.postinstall(words, WORDS_ECHO, expect_launch=False)
                self.assertEqual((session.stdout, session.status),
                                 (f"[{key}]\n[REG_TOKEN=tok-123]\n", 0))

    def test_setup_runs_from_the_payload_and_its_status_is_returned(self):
        words = "REG_TOKEN=t\nENCRYPTION_KEY=long enough key\n"
        for name, words, agent_status, user, status, lines in [
                # the agent's setup status, the user, Setup's or the script's own status
                ("installed", words, 0, "root", 0, BY_WORDS),
                ("failed agent setup", words, 9, "root", 9, [*BY_WORDS, command_error(9)]),
                ("no words", None, 0, "root", 0, [CHECKING, NO_MDM]),
                ("a normal user", words, 0, "501", 77, []),
        ]:
            with self.subTest(name):
                world, session = self.postinstall(words, agent_status=agent_status, user=user,
                                                  expect_launch=status == 0)
                self.assertEqual((session.lines, session.status), (lines, status))
                self.assertEqual(session.launched_executables(),
                                 [AGENT_APP_EXECUTABLE] if status == 0 else [])
                if user != "root":
                    self.assertIn("must run as root", session.stderr)
                    self.assertEqual(world.calls(), [])

    def test_is_plain_posix_sh(self):
        # macOS runs it with /bin/sh, which is not the shell the world's tests run it with.
        check = subprocess.run(["shellcheck", "--shell=sh", str(POSTINSTALL)],
                               capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
