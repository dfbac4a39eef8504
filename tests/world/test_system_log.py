"""What Setup leaves in the system log: its version first, every printed line, and how the run
ended and how long it took; no piece of a registration token in shell syntax, with bash as /bin/sh
as on a Mac; and all of it when stdout's reader has gone. The world's /dev/log is a socket served
by a recorder. How each failed command is logged and masked is the engine's unit tests' business."""

import itertools

from talvo_world import SystemLogRecorder
from worldcase import BY_WORDS, PRODUCT, RESTARTED, SETUP, USERS, SetupTestCase, agent_command

WITHHELD = "; output withheld, the command carries a secret"
# Tokens whose tail a shell runs as a program of its own, reads as the next command, or cannot
# parse; bash then repeats the whole command line.
SHELL_SYNTAX_TOKENS = ["tok-abc;SECRETTAIL42", "tok-line-one\nSECONDLINE99", "tok(ENTIRETOKEN77"]
# Runs the command with a stdout whose reader has already gone, and prints its exit status.
WITHOUT_READER = ("import os, subprocess, sys\n"
                  "reading, writing = os.pipe()\n"
                  "os.close(reading)\n"
                  "print(subprocess.run(sys.argv[1:], stdout=writing).returncode)\n")
# A security ahead of the world's on a normal user's PATH, that notes which signals it ignores.
IGNORED_SIGNALS = "/var/world/ignored-signals"
NOTING_SECURITY = ("/var/world/probe/security", f"#!/bin/sh\ngrep ^SigIgn /proc/self/status "
                   f'>>{IGNORED_SIGNALS}\nexec /opt/world/bin/security "$@"\n')
PIPE_SIGNAL_BIT = 1 << (13 - 1)


class SystemLogTest(SetupTestCase):
    def test_no_piece_of_a_token_in_shell_syntax_is_logged(self):
        # A token reaches the agent's setup unquoted, from a profile. A normal user's privileged
        # run keeps no output of its commands at all.
        for user, token in itertools.product(USERS, SHELL_SYNTAX_TOKENS):
            with self.subTest(user=user, token=token):
                world = self.new_world()
                with open("/bin/bash", "rb") as bash:
                    world.write("/bin/sh", bash.read())
                world.host_path("/bin/sh").chmod(0o755)
                world.make_read_only("/bin/sh")
                world.set_profile({"reg-token": token})
                recorder = SystemLogRecorder(world)
                session = self.setup(world, user=user, expect_launch=False)
                entries = recorder.entries()
                uid = 0 if user == "root" else 501
                self.assertRegex(entries[0], rf"^Setup \d+\.\d+\.\d+ started by uid {uid}$")
                self.assertRegex(entries[-1], rf"^Setup ended with exit status {session.status} "
                                              r"after \d+\.\d{3} s$")
                self.assertEqual([entry for entry in entries if entry in session.lines],
                                 session.lines)
                failures = [entry for entry in entries if agent_command() in entry]
                self.assertEqual(len(failures), 1, entries)
                self.assertTrue(failures[0].endswith(agent_command("-reg-token=********")
                                                     + WITHHELD * (user == "root")), failures[0])
                # No six characters in a row of the token: its long runs of letters and digits
                # keep six in a row whatever else the shell makes of them (splits, runs, repeats).
                logged = "\n".join(entries)
                for start in range(len(token) - 5):
                    self.assertNotIn(token[start:start + 6], logged, f"{token!r} in {entries}")

    def test_a_reader_gone_from_stdout_ends_nothing_halfway(self):
        # The daemons are taken down before the first line is printed; the run must go on to
        # start them again, and what it printed reaches the log all the same. The commands a
        # normal user's run starts itself end with their reader, as ever.
        for user in USERS:
            with self.subTest(user=user):
                world = self.new_world()
                world.write(*NOTING_SECURITY)
                world.host_path(NOTING_SECURITY[0]).chmod(0o755)
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
                self.assertEqual(self.launchctl(world), RESTARTED)
                masks = world.read(IGNORED_SIGNALS).decode().split()[1::2]
                self.assertEqual([int(mask, 16) & PIPE_SIGNAL_BIT for mask in masks],
                                 [] if user == "root" else [0])
