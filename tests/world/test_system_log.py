"""What Setup leaves in the system log: its version first, every printed line, a failed command
with its secrets masked, its status and its output's last line, and how the run ended and how
long it took; the passphrase nowhere. The world's /dev/log is a socket served by a recorder."""

import os
import re
import socket
import tempfile
import threading
import unittest
from pathlib import Path

from test_secrets_and_outcomes import PASSPHRASES, as_in_a_double_quoted_word
from test_setup_e2e import CHECKING, INSTALLING_USER, NO_MDM, SetupTestCase, command_error

IDENTIFIER = "talvo-setup"
ENTRY = re.compile(r"^<\d+>.*? " + IDENTIFIER + r"\[\d+\]: (.*)$", re.DOTALL)
TOKEN = "tok-credential-0042"


class SystemLogRecorder:
    """A datagram socket that receives what syslog(3) sends, kept short of the socket path
    limit in a folder of its own and linked into the world."""

    def __init__(self, world):
        self.folder = Path(tempfile.mkdtemp(prefix="talvo-log-"))
        self.folder.chmod(0o755)
        path = self.folder / "log"
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(str(path))
        path.chmod(0o666)
        self.socket.settimeout(0.2)
        os.symlink(path, world.root / "syslog.sock")
        self.messages = []
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._receive, daemon=True)
        self.thread.start()

    def _receive(self):
        while not self.stopping.is_set():
            try:
                self.messages.append(self.socket.recv(65536).decode("utf-8", "surrogateescape"))
            except socket.timeout:
                continue

    def entries(self):
        """Setup's entries so far, in order, without syslog's header."""
        self.stopping.set()
        self.thread.join()
        self.socket.close()
        (self.folder / "log").unlink()
        self.folder.rmdir()
        return [match.group(1) for match in map(ENTRY.match, self.messages) if match]


class SystemLogTest(SetupTestCase):
    def logged_run(self, world, *words, **options):
        recorder = SystemLogRecorder(world)
        session = self.setup(world, *words, **options)
        return session, recorder.entries()

    def assert_framed(self, entries, session, uid):
        self.assertRegex(entries[0], rf"^Setup \d+\.\d+\.\d+ started by uid {uid}$")
        self.assertRegex(entries[-1],
                         rf"^Setup ended with exit status {session.status} after \d+\.\d{{3}} s$")
        printed = [entry for entry in entries if entry in session.lines]
        self.assertEqual(printed, session.lines)

    def assert_nowhere(self, entries, secret):
        logged = "\n".join(entries)
        for form in {secret, as_in_a_double_quoted_word(secret)}:
            for line in form.split("\n"):
                for length in range(6, len(line) + 1):
                    self.assertNotIn(line[:length], logged)
                    self.assertNotIn(line[-length:], logged)

    def test_a_failed_agent_setup_is_logged_with_its_context_and_no_secret(self):
        for user in ("root", "501"):
            with self.subTest(user=user):
                world = self.new_world()
                world.set_agent_init_status(3)
                session, entries = self.logged_run(world, f"REG_TOKEN={TOKEN}",
                                                   f"ENCRYPTION_KEY={PASSPHRASES[1]}", user=user)
                self.assertEqual(session.status, 3)
                self.assertEqual(session.lines,
                                 [CHECKING, NO_MDM, INSTALLING_USER, command_error(3)])
                self.assert_framed(entries, session, 0 if user == "root" else 501)
                failure = entries[entries.index(command_error(3)) - 1]
                agent = ('"/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent"'
                         " daemon --init -reg-token=********")
                if user == "root":
                    self.assertEqual(failure, f"Command failed with exit status 3: sudo {agent}; "
                                              "last output line: TalvoBackupAgent: registration "
                                              "failed")
                else:
                    self.assertEqual(failure,
                                     f"Privileged command failed (exit status 3): {agent}")
                self.assert_nowhere(entries, TOKEN)
                self.assert_nowhere(entries, PASSPHRASES[1])

    def test_a_key_that_could_not_be_stored_is_logged_masked(self):
        for user in ("root", "501"):
            for passphrase in PASSPHRASES:
                with self.subTest(user=user, passphrase=passphrase):
                    world = self.new_world()
                    world.make_read_only("/Library/Keychains")
                    session, entries = self.logged_run(
                        world, "REG_TOKEN=t", f"ENCRYPTION_KEY={passphrase}", user=user)
                    self.assertNotEqual(session.status, 0)
                    self.assert_framed(entries, session, 0 if user == "root" else 501)
                    failures = [entry for entry in entries if "add-generic-password" in entry]
                    self.assertEqual(len(failures), 1, entries)
                    self.assertIn(' -w "********" ', failures[0])
                    self.assert_nowhere(entries, passphrase)


if __name__ == "__main__":
    unittest.main()
