"""The real Setup, run in the world as root and as uid 501: what it prints, its exit status, and
what the world looks like afterwards (the agent's registration, the keychain, the daemons, the
seed file, the applications)."""

import os
import plistlib
import unittest
from pathlib import Path

from talvo_world import AGENT_EXECUTABLE, KEYCHAIN, SEED_FILE
from worldcase import (ADD, AGENT_APP_EXECUTABLE, AGENT_RUNNING, BOOTED_OUT, BOOTSTRAPPED,
                       BY_PROFILE, BY_WORDS, CHECKING, DELETE, FIND, NO_MDM, PRODUCT,
                       RESTARTED, SANITIZED, SHORT_KEY, STATUS_RUNNING, UNREADABLE, Row,
                       SetupTestCase, agent_command, bootstrap_commands, command_error)

MDM_SETTINGS = {"reg-token": "mdm", "reg-service": "https://mdm.example",
                "encryption-key": "mdm passphrase"}
# Every kind of value's one-line form is the unit tests' business; here the agent reads the file
# that Setup wrote as root.
SEED = {"server": "https://backup.example", "port": 8443, "name": "B\u00fcro Mac",
        "nested": {"k": "v"}}
# In the file's order, which is plistlib's sorted one; no line feed after the last.
SEED_TEXT = "\n".join(["name = B\u00fcro Mac", 'nested = {"k":"v"}', "port = 8443",
                       "server = https://backup.example"]).encode()
EXAMPLE = Path(__file__).resolve().parents[2] / "profiles" / "example.mobileconfig"
# launchd keeps both jobs while their processes are taken away; then the shell gives way to Setup,
# so that its own command line, which names the agent, is not in the list that Setup searches.
WITHOUT_AGENT_PROCESSES = ("/bin/sh", "-c", """
    jobs='^/bin/sh .*/TalvoBackupAgent (daemon|updater)$'
    /opt/world/bin/as-root pkill -f "$jobs"
    while pgrep -f "$jobs" >/dev/null; do sleep 0.02; done
    exec "$@"
""", "sh")
OUT_OF_MEMORY = 'Error Domain=InternalError Code=71 "Out of memory"'


def configured(world, old_key=None):
    world.configure_agent()
    if old_key:
        world.store_key(old_key)


def profiles(*placed, fifo=False):
    """Places (settings, owners, binary) profiles, for each owner (None: computer-wide); the
    computer-wide one may be a FIFO, which must neither block Setup nor count as a profile."""
    def arrange(world):
        if fifo:
            world.host_path(world.profile_path()).parent.mkdir(parents=True, exist_ok=True)
            os.mkfifo(world.host_path(world.profile_path()))
        for settings, owners, binary in placed:
            for owner in owners:
                world.set_profile(settings, binary=binary, user=owner)
        world.write(SEED_FILE, b"old = 1")
    return arrange


def example_settings():
    """The admins' example profile's settings for the domain, as the device receives them."""
    [payload] = [payload for payload in plistlib.loads(EXAMPLE.read_bytes())["PayloadContent"]
                 if payload["PayloadType"] == "com.apple.ManagedClient.preferences"]
    [forced] = payload["PayloadContent"]["com.talvo.backup.agent"]["Forced"]
    return forced["mcx_preference_settings"]


class WordsTest(SetupTestCase):
    def test_rows(self):
        self.check_rows([
            Row("first install", ("REG_TOKEN=tok-123", "REG_SERVICE=https://backup.example/reg",
                                  "ENCRYPTION_KEY=correct horse battery"),
                registered=("-reg-token=tok-123", "-reg-service=https://backup.example/reg"),
                key="correct horse battery", security=[FIND, ADD]),
            Row("only unknown words", ("--help",), registered=()),
            Row("no words, no profile", lines=[CHECKING, NO_MDM], daemons=[]),
            Row("no words, no profile, configured", lines=[CHECKING, NO_MDM],
                arrange=configured),
            Row("configured, words without clean-up", ("REG_TOKEN=x", "ENCRYPTION_KEY=short7c",
                                                       "CLEAN_INSTALL=no"),
                lines=[CHECKING, NO_MDM], arrange=lambda w: configured(w, b"old secret"),
                key="old secret"),
            Row("configured, clean install", ("CLEAN_INSTALL=YES", "REG_TOKEN=t",
                                              "ENCRYPTION_KEY=new passphrase"),
                arrange=lambda w: configured(w, b"old secret"),
                registered=("-reg-token=t", "-clean-up"), key="new passphrase",
                security=[FIND, DELETE, ADD]),
            Row("short key", ("REG_TOKEN=t", "ENCRYPTION_KEY=1234567"), privileged=[],
                lines=[*BY_WORDS, SHORT_KEY], status=65, daemons=[]),
        ])


class ProfileTest(SetupTestCase):
    def test_rows(self):
        settings = example_settings()
        seed = "\n".join(f"{key} = {value}" for key, value in settings["seed-config"].items())
        self.check_rows([
            Row("root's and staff1's binary profiles behind a FIFO",
                arrange=profiles((MDM_SETTINGS, ["root", "staff1"], True), fifo=True),
                lines=BY_PROFILE, key="mdm passphrase", security=[FIND, ADD],
                registered=("-reg-token=mdm", "-reg-service=https://mdm.example")),
            Row("configured, profile without clean-up", ("CLEAN_INSTALL=yes",), users=("root",),
                arrange=lambda w: (w.configure_agent(), w.set_profile(MDM_SETTINGS)),
                lines=[CHECKING]),
            # Configured, with a key stored: the example's clean-up is what installs it again,
            # and every key of it wins over every word.
            Row("the admins' example", ("REG_TOKEN=word-token", "REG_SERVICE=https://w.example",
                                        "ENCRYPTION_KEY=word passphrase",
                                        "SEED_PATH=/tmp/word.conf", "CLEAN_INSTALL=no"),
                arrange=lambda w: (w.configure_agent(), w.store_key(b"earlier secret"),
                                   w.write(w.profile_path(),
                                           plistlib.dumps(settings, sort_keys=False))),
                lines=BY_PROFILE, seed=seed.encode(), key=settings["encryption-key"],
                registered=(f"-reg-token={settings['reg-token']}",
                            f"-reg-service={settings['reg-service']}",
                            f"-seed-path={settings['seed-path']}", "-clean-up"),
                security=[FIND, DELETE, ADD]),
            # Values that cannot arrive exactly stop the run: neither the per-user profile nor
            # the words stand in, and the earlier seed file stays as it was.
            Row("U+0000 in a binary passphrase beside a seed", ("REG_TOKEN=words",),
                users=("501",), arrange=profiles(
                    ({"reg-token": "t", "encryption-key": "abcdefgh\0ijkl",
                      "seed-config": {"a": "x"}}, [None], True),
                    ({"reg-token": "per-user"}, ["staff1"], False)),
                lines=[CHECKING, 'Error Domain=InputError Code=-1 "Managed preferences refused: '
                                 'the text at encryption-key holds U+0000."'],
                status=65, daemons=[], privileged=[], seed=b"old = 1"),
            Row("seed values, read by the agent", seed=SEED_TEXT,
                arrange=profiles(({"reg-token": "t", "seed-config": SEED}, [None], True)),
                lines=BY_PROFILE, registered=("-reg-token=t", f"-seed-path={SEED_FILE}")),
            Row("empty seed-config", users=("root",), lines=BY_PROFILE, seed=b"",
                arrange=profiles(({"seed-config": {}}, [None], False)),
                registered=(f"-seed-path={SEED_FILE}",)),
            Row("seed-config that is no dictionary", users=("root",), lines=BY_PROFILE,
                arrange=profiles(({"seed-config": "server = elsewhere"}, [None], False)),
                seed=b"old = 1", registered=()),
        ])


class FailureTest(SetupTestCase):
    def test_rows(self):
        self.check_rows([
            Row("agent setup fails", ("REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"),
                arrange=lambda w: w.set_agent_init_status(3), lines=[*BY_WORDS, command_error(3)],
                status=3, app=False, daemons=[], registered=("-reg-token=t",), database=False),
            *(Row(f"authentication {answer}", ("REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"),
                  users=("501",), arrange=lambda w, a=answer: w.set_pkexec_answers(a),
                  lines=[*BY_WORDS, command_error(status)], status=status, app=False,
                  daemons=[], privileged=[agent_command("-reg-token=t")])
              for answer, status in [("dismiss", 126), ("deny", 127)]),
            Row("no authentication tool", ("REG_TOKEN=t",), users=("501",),
                arrange=lambda w: w.remove_pkexec(), lines=[*BY_WORDS, command_error(127)],
                status=127, app=False, daemons=[], privileged=[]),
            Row("refused later steps", ("REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"),
                users=("501",), arrange=lambda w: w.set_pkexec_answers("allow", "dismiss"),
                lines=[*BY_WORDS, *[command_error(126)] * 3], status=126,
                registered=("-reg-token=t",), security=[FIND], daemons=[]),
            # Whatever the caller leaves Setup: no standard streams, few descriptors, a token of
            # more command line than the system takes. Never a failure read as success.
            Row("standard streams closed", ("REG_TOKEN=t", "ENCRYPTION_KEY=long enough key"),
                prefix=("/bin/sh", "-c", 'exec "$@" <&- >&- 2>&-', "sh"), lines=[],
                registered=("-reg-token=t",), key="long enough key", security=[FIND, ADD]),
            *(Row(f"few descriptors, {user}", ("REG_TOKEN=t",), users=(user,),
                  prefix=("/bin/sh", "-c", 'ulimit -n 6; exec "$@"', "sh"), status=status,
                  lines=[*BY_WORDS, command_error(status)], app=False, daemons=[])
              for user, status in [("root", 1), ("501", 127)]),
            *(Row(f"a token beyond the command line's limit, {user}", users=(user,),
                  arrange=profiles(({"reg-token": "t" * (3 << 20)}, [None], False)),
                  status=status, lines=[*BY_PROFILE, command_error(status)], app=False, daemons=[])
              for user, status in [("root", 127), ("501", 126)]),
            # Not found would be 44 and silent; 49 is reported, and the add is still tried.
            Row("unreadable keychain", ("ENCRYPTION_KEY=long enough key",), key=UNREADABLE,
                arrange=lambda w: w.write(KEYCHAIN, b"\x00not a keychain"),
                lines=[*BY_WORDS, command_error(49), command_error(49)], status=49,
                registered=(), security=[FIND, ADD]),
        ])

    @unittest.skipIf(SANITIZED, "AddressSanitizer reserves more address space at start than "
                                "any limit that still lets a command's output exhaust it")
    def test_output_beyond_memory_ends_in_one_line_and_its_own_status(self):
        world = self.new_world()
        # The agent's setup prints a gigabyte; Setup may use a quarter of that.
        world.write(AGENT_EXECUTABLE, "#!/bin/sh\nexec head -c 1073741824 /dev/zero\n")
        os.chmod(world.host_path(AGENT_EXECUTABLE), 0o755)
        session = self.setup(world, "REG_TOKEN=t", expect_launch=False, timeout=60,
                             prefix=("/bin/sh", "-c", 'ulimit -v 262144; exec "$@"', "sh"))
        self.assertEqual((session.lines, session.status, session.stderr),
                         ([*BY_WORDS, OUT_OF_MEMORY], 71, ""))
        # The command was stopped and reaped, not left printing into a pipe nobody reads.
        self.assertNotIn("head -c", session.processes)
        self.assertNotIn("<defunct>", session.processes)
        self.assertEqual((self.launchctl(world), session.launched_executables()), ([], []))


class RunningAgentTest(SetupTestCase):
    def test_rows(self):
        self.check_rows([
            Row("both applications running", ("REG_TOKEN=t",),
                run=dict(applications=["agent", "status"], daemons=True),
                lines=[AGENT_RUNNING, STATUS_RUNNING, *BY_WORDS], registered=("-reg-token=t",),
                daemons=RESTARTED,
                privileged=[*bootstrap_commands("bootout"), agent_command("-reg-token=t"),
                            *bootstrap_commands("bootstrap")]),
            # Unconfigured and without words: the daemons go down and stay down.
            Row("only the status application running", users=("root",),
                run=dict(applications=["status"], daemons=True),
                lines=[STATUS_RUNNING, CHECKING, NO_MDM], daemons=BOOTED_OUT),
            # ps cuts its lines to COLUMNS when that is set; the daemon's line names the agent
            # only after its long bundle path, well past column 80.
            Row("a running daemon under COLUMNS=80", prefix=("env", "COLUMNS=80"),
                arrange=configured, run=dict(daemons=True), lines=[CHECKING, NO_MDM],
                daemons=RESTARTED),
            # Loading the daemons again fails; that is printed and ends nothing.
            Row("loaded daemons without an agent process", prefix=WITHOUT_AGENT_PROCESSES,
                arrange=configured, run=dict(daemons=True),
                lines=[CHECKING, NO_MDM, command_error(5), command_error(5)],
                daemons=[("bootstrap", plist, 5) for _, plist, _ in BOOTSTRAPPED]),
        ])

    def test_output_ends_with_setup_and_a_second_run_stops_what_the_first_started(self):
        # Whoever reads Setup's output through a pipe must see it end when Setup ends, even
        # though the agent application it opened goes on running. Setup does not wait for the
        # application it opens, so the script waits for each launch.
        world = self.new_world()
        session = self.run_in(world, ["/bin/sh", "-c", f"""
            launched() {{ grep -c '{AGENT_APP_EXECUTABLE}$' /var/world/log/launches 2>/dev/null; }}
            /usr/local/bin/Setup REG_TOKEN=t 2>&1 | cat; echo "== $?"
            until [ "$(launched)" = 1 ]; do sleep 0.02; done
            /usr/local/bin/Setup; echo "== $?"
            until [ "$(launched)" = 2 ]; do sleep 0.02; done
        """], product=PRODUCT, timeout=20)
        self.assertFalse(session.timed_out)
        self.assertEqual(session.lines, [*BY_WORDS, "== 0", AGENT_RUNNING, CHECKING, NO_MDM,
                                         "== 0"])
        self.assertEqual(self.launchctl(world), [*BOOTSTRAPPED, *RESTARTED])
        self.assertEqual(len(session.launched), 2)
        running = [line for line in session.processes.splitlines()
                   if line.endswith(AGENT_APP_EXECUTABLE)]
        self.assertEqual(len(running), 1, session.processes)
