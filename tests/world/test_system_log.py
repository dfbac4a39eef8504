"""What Setup leaves in the system log: its version first, every printed line, a failed command
with its secrets masked, its status and its output's last line, and how the run ended and how
long it took; no piece of the passphrase or the registration token, with dash or bash as /bin/sh.
The world's /dev/log is a socket served by a recorder."""

import os
import random
import re
import socket
import string
import tempfile
import threading
import unittest
from pathlib import Path

from test_secrets_and_outcomes import PASSPHRASES, as_in_a_double_quoted_word
from test_setup_e2e import (CHECKING, INSTALLING_USER, NO_MDM, USERS, SetupTestCase,
                            command_error)

IDENTIFIER = "talvo-setup"
ENTRY = re.compile(r"^<\d+>.*? " + IDENTIFIER + r"\[\d+\]: (.*)$", re.DOTALL)
TOKEN = "tok-credential-0042"
AGENT = '"/Applications/Talvo Backup Agent.app/Contents/MacOS/TalvoBackupAgent" daemon --init'
WITHHELD = "; output withheld, the command carries a secret"
SHELLS = ("dash", "bash")

# Tokens whose tail a shell runs as a program of its own, reads as the next command, or cannot
# parse; bash then repeats the whole command line.
SHELL_SYNTAX_TOKENS = ["tok-abc;SECRETTAIL42", "tok-line-one\nSECONDLINE99", "tok(ENTIRETOKEN77"]


def random_secret(rng):
    """Runs of letters and digits between bits of shell syntax, quoting, line breaks and combining
    marks. Each run starts with a digit, so that the shell never finds a program by its name."""
    syntax = list(";()$`\"'\\|&<>*?#~!{}[]= \t\n") + ["e\u0301", "\U0001F511", "$(", "${"]
    pieces = []
    for _ in range(rng.randint(3, 5)):
        pieces.append(rng.choice(string.digits) +
                      "".join(rng.choices(string.ascii_letters + string.digits,
                                          k=rng.randint(7, 11))))
        pieces.append("".join(rng.choices(syntax, k=rng.randint(1, 2))))
    return "".join(pieces)


def bash_as_sh(world):
    """/bin/sh in the world is bash, as on a Mac (bash then runs in its POSIX mode)."""
    with open("/bin/bash", "rb") as bash:
        world.write("/bin/sh", bash.read())
    world.host_path("/bin/sh").chmod(0o755)
    world.make_read_only("/bin/sh")


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
        """No six characters in a row of the secret, as given or double-quoted. The secrets' long
        runs of letters and digits keep six in a row whatever else the shell makes of them
        (splits, unquotes, expands)."""
        logged = "\n".join(entries)
        for form in {secret, as_in_a_double_quoted_word(secret)}:
            for start in range(len(form) - 5):
                self.assertNotIn(form[start:start + 6], logged, f"{secret!r} in {entries}")

    def test_a_failed_agent_setup_is_logged_with_its_context_and_no_secret(self):
        for user in USERS:
            for token in (TOKEN, None):
                with self.subTest(user=user, token=token):
                    world = self.new_world()
                    world.set_agent_init_status(3)
                    words = [f"ENCRYPTION_KEY={PASSPHRASES[1]}"]
                    if token:
                        words.append(f"REG_TOKEN={token}")
                    session, entries = self.logged_run(world, *words, user=user)
                    self.assertEqual(session.status, 3)
                    self.assertEqual(session.lines,
                                     [CHECKING, NO_MDM, INSTALLING_USER, command_error(3)])
                    self.assert_framed(entries, session, 0 if user == "root" else 501)
                    failure = entries[entries.index(command_error(3)) - 1]
                    command = AGENT + (" -reg-token=********" if token else "")
                    if user != "root":
                        self.assertEqual(failure,
                                         f"Privileged command failed (exit status 3): {command}")
                    elif token:
                        self.assertEqual(failure, "Command failed with exit status 3: sudo "
                                                  f"{command}{WITHHELD}")
                    else:
                        self.assertEqual(failure, "Command failed with exit status 3: sudo "
                                                  f"{command}; last output line: "
                                                  "TalvoBackupAgent: registration failed")
                    self.assert_nowhere(entries, TOKEN)
                    self.assert_nowhere(entries, PASSPHRASES[1])

    def test_no_piece_of_a_token_in_shell_syntax_is_logged(self):
        seed = random.randrange(2**32)
        rng = random.Random(seed)
        for shell in SHELLS:
            for user in USERS:
                # A normal user's privileged run keeps no output of its commands at all.
                tokens = SHELL_SYNTAX_TOKENS if user == "root" else []
                for token in [*tokens, random_secret(rng)]:
                    with self.subTest(shell=shell, user=user, token=token, seed=seed):
                        world = self.new_world()
                        if shell == "bash":
                            bash_as_sh(world)
                        world.set_profile({"reg-token": token})
                        session, entries = self.logged_run(world, user=user,
                                                           expect_launch=False)
                        self.assert_framed(entries, session, 0 if user == "root" else 501)
                        # A random token may leave a command the shell runs with success (one
                        # that ends in "&", say); those above never do.
                        self.assert_nowhere(entries, token)
                        failures = [entry for entry in entries if AGENT in entry]
                        if token in SHELL_SYNTAX_TOKENS:
                            self.assertEqual(len(failures), 1, entries)
                        for failure in failures:
                            self.assertTrue(failure.endswith(
                                f"{AGENT} -reg-token=********"
                                + (WITHHELD if user == "root" else "")), failure)

    def test_a_key_that_could_not_be_stored_is_logged_masked(self):
        seed = random.randrange(2**32)
        rng = random.Random(seed)
        for shell in SHELLS:
            for user in USERS:
                # Quoted and escaped, the passphrase reaches either shell alike.
                passphrases = PASSPHRASES if shell == "dash" else []
                for passphrase in [*passphrases, random_secret(rng)]:
                    with self.subTest(shell=shell, user=user, passphrase=passphrase, seed=seed):
                        world = self.new_world()
                        if shell == "bash":
                            bash_as_sh(world)
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
