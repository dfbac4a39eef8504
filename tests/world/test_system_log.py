"""What Setup leaves in the system log: its version first, every printed line, a failed command
with its secrets masked, its status and its output's last line, and how the run ended and how
long it took; no piece of the passphrase or the registration token, with dash or bash as /bin/sh.
The world's /dev/log is a socket served by a recorder."""

import random
import string
import unittest

from test_secrets_and_outcomes import PASSPHRASES, as_in_a_double_quoted_word
from talvo_world import SystemLogRecorder
from worldcase import (ADD, BY_WORDS, FIND, PRODUCT, RESTARTED, SETUP, USERS, SetupTestCase,
                       command_error)

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


# Runs the command with a stdout whose reader has already gone, and prints its exit status.
WITHOUT_READER = ("import os, subprocess, sys\n"
                  "reading, writing = os.pipe()\n"
                  "os.close(reading)\n"
                  "print(subprocess.run(sys.argv[1:], stdout=writing).returncode)\n")
# A security ahead of the world's on a normal user's PATH, that notes which signals it ignores.
IGNORED_SIGNALS = "/var/world/ignored-signals"
NOTING_SECURITY = (f"#!/bin/sh\ngrep ^SigIgn /proc/self/status >>{IGNORED_SIGNALS}\n"
                   'exec /opt/world/bin/security "$@"\n').encode()
PIPE_SIGNAL_BIT = 1 << (13 - 1)


def bash_as_sh(world):
    """/bin/sh in the world is bash, as on a Mac (bash then runs in its POSIX mode)."""
    with open("/bin/bash", "rb") as bash:
        world.write("/bin/sh", bash.read())
    world.host_path("/bin/sh").chmod(0o755)
    world.make_read_only("/bin/sh")


class SystemLogTest(SetupTestCase):
    def logged_run(self, world, user, *words, **options):
        """Setup's run and its log entries, which must frame what it printed."""
        recorder = SystemLogRecorder(world)
        session = self.setup(world, *words, user=user, **options)
        entries = recorder.entries()
        uid = 0 if user == "root" else 501
        self.assertRegex(entries[0], rf"^Setup \d+\.\d+\.\d+ started by uid {uid}$")
        self.assertRegex(entries[-1],
                         rf"^Setup ended with exit status {session.status} after \d+\.\d{{3}} s$")
        self.assertEqual([entry for entry in entries if entry in session.lines], session.lines)
        return session, entries

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
                    words = [f"REG_TOKEN={token}"] if token else []
                    session, entries = self.logged_run(world, user, *words,
                                                       f"ENCRYPTION_KEY={PASSPHRASES[1]}")
                    self.assertEqual((session.lines, session.status),
                                     ([*BY_WORDS, command_error(3)], 3))
                    command = AGENT + (" -reg-token=********" if token else "")
                    expected = (f"Privileged command failed (exit status 3): {command}"
                                if user != "root" else
                                f"Command failed with exit status 3: sudo {command}" +
                                (WITHHELD if token else
                                 "; last output line: TalvoBackupAgent: registration failed"))
                    self.assertEqual(entries[entries.index(command_error(3)) - 1], expected)
                    self.assert_nowhere(entries, TOKEN)
                    self.assert_nowhere(entries, PASSPHRASES[1])

    def test_a_dismissed_add_of_the_key_is_logged_masked(self):
        world = self.new_world()
        world.set_pkexec_answers("allow", "dismiss", "allow")
        session, entries = self.logged_run(world, "501", f"ENCRYPTION_KEY={PASSPHRASES[1]}")
        failure = entries[entries.index(command_error(126)) - 1]
        self.assertTrue(failure.startswith("Privileged command failed (authentication dismissed, "
                                           "status 126): security add-generic-password "), failure)
        self.assertIn(' -w "********" ', failure)
        self.assert_nowhere(entries, PASSPHRASES[1])

    def test_no_piece_of_a_secret_in_shell_syntax_is_logged(self):
        # A token reaches the agent's setup from a profile; a passphrase fails to be stored in a
        # read-only keychain. A normal user's privileged run keeps no output of its commands at
        # all, and quoted and escaped, the passphrase reaches either shell alike.
        seed = random.randrange(2**32)
        rng = random.Random(seed)
        for shell in SHELLS:
            for user in USERS:
                tokens = SHELL_SYNTAX_TOKENS if user == "root" else []
                passphrases = PASSPHRASES[:3] if shell == "dash" else []
                secrets = [("token", token) for token in [*tokens, random_secret(rng)]] + \
                          [("passphrase", key) for key in [*passphrases, random_secret(rng)]]
                for kind, secret in secrets:
                    with self.subTest(shell=shell, user=user, kind=kind, secret=secret, seed=seed):
                        world = self.new_world()
                        if shell == "bash":
                            bash_as_sh(world)
                        if kind == "token":
                            world.set_profile({"reg-token": secret})
                            session, entries = self.logged_run(world, user, expect_launch=False)
                            # A random token may leave a command the shell runs with success
                            # (one that ends in "&", say); those above never do.
                            failures = [entry for entry in entries if AGENT in entry]
                            if secret in SHELL_SYNTAX_TOKENS:
                                self.assertEqual(len(failures), 1, entries)
                            ending = f"{AGENT} -reg-token=********" + WITHHELD * (user == "root")
                        else:
                            world.make_read_only("/Library/Keychains")
                            session, entries = self.logged_run(
                                world, user, "REG_TOKEN=t", f"ENCRYPTION_KEY={secret}")
                            self.assertNotEqual(session.status, 0)
                            failures = [entry for entry in entries
                                        if "add-generic-password" in entry]
                            self.assertEqual(len(failures), 1, entries)
                            self.assertIn(' -w "********" ', failures[0])
                            ending = ""
                        for failure in failures:
                            self.assertTrue(failure.endswith(ending), failure)
                        self.assert_nowhere(entries, secret)

    def test_a_reader_gone_from_stdout_ends_nothing_halfway(self):
        # The daemons are taken down before the first line is printed; the run must go on to
        # start them again, and what it printed reaches the log all the same.
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.write("/var/world/probe/security", NOTING_SECURITY)
                world.host_path("/var/world/probe/security").chmod(0o755)
                world.write(IGNORED_SIGNALS, b"")
                world.host_path(IGNORED_SIGNALS).chmod(0o666)
                recorder = SystemLogRecorder(world)
                session = self.run_in(
                    world, ["env", "PATH=/var/world/probe:/opt/world/bin:/usr/bin:/bin",
                            "/usr/bin/python3", "-c", WITHOUT_READER, SETUP, "REG_TOKEN=t",
                            "ENCRYPTION_KEY=passphrase1"],
                    product=PRODUCT, user=user, daemons=True)
                entries = recorder.entries()
                self.assertEqual(session.stdout, "0\n", entries)
                self.assertEqual([entry for entry in entries if entry in BY_WORDS], BY_WORDS)
                self.assertRegex(entries[-1], r"^Setup ended with exit status 0 after ")
                self.assert_registered(world, "-reg-token=t")
                self.assert_key(world, "passphrase1")
                self.assertEqual(self.launchctl(world), RESTARTED)
                self.assertEqual([call["argv"][0] for call in world.calls("security")],
                                 [FIND, ADD])
                # The commands a normal user's run starts itself end with their reader, as ever.
                noted = world.read(IGNORED_SIGNALS).decode().split()
                self.assertEqual(len(noted), 2 if user != "root" else 0, noted)
                for mask in noted[1::2]:
                    self.assertEqual(int(mask, 16) & PIPE_SIGNAL_BIT, 0, noted)


if __name__ == "__main__":
    unittest.main()
