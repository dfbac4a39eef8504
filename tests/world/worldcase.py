"""The base of the world's test cases: a fresh world folder per world, the built programs from the
environment, and a sandbox that must start (a world that cannot start fails the test: it never
skips, so that a machine without bubblewrap cannot pass the suite by running nothing). Then what
Setup prints, the command lines it hands over, and one table row's checks of a world after a
Setup session."""

import os
import re
import shutil
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable

from talvo_world import (AGENT_EXECUTABLE, APP, DAEMON_LABELS, DATABASE, KEY_ACCOUNT, KEY_SERVICE,
                         SEED_FILE, World, WorldUnavailable)

PRODUCT = os.environ.get("TALVO_SETUP")
APP_STUB = os.environ.get("TALVO_APP_STUB")
SANITIZED = os.environ.get("TALVO_SANITIZED") == "1"
WORLDS = Path(os.environ.get("TALVO_WORLDS", "/tmp/talvo-worlds"))
SETUP = "/usr/local/bin/Setup"

CHECKING = "Checking MDM..."
NO_MDM = "No MDM found..."
INSTALLING_MDM = "Installing MDM..."
INSTALLING_USER = "Installing User..."
BY_WORDS = [CHECKING, NO_MDM, INSTALLING_USER]
BY_PROFILE = [CHECKING, INSTALLING_MDM]
AGENT_RUNNING = "Talvo Backup Agent is already running."
STATUS_RUNNING = "Talvo Backup Agent Status is already running."
SHORT_KEY = 'Error Domain=InputError Code=-1 "Encryption key must be at least 8 characters long."'
USERS = ("root", "501")
DAEMON_PLISTS = [f"/Library/LaunchDaemons/{label}.plist" for label in DAEMON_LABELS]
AGENT_APP_EXECUTABLE = APP + "/Contents/MacOS/Talvo Backup Agent"

# The launchctl calls a session made, as (verb, plist, status).
BOOTSTRAPPED = [("bootstrap", plist, 0) for plist in DAEMON_PLISTS]
BOOTED_OUT = [("bootout", plist, 0) for plist in DAEMON_PLISTS]
RESTARTED = BOOTED_OUT + BOOTSTRAPPED
FIND, DELETE, ADD = "find-generic-password", "delete-generic-password", "add-generic-password"
UNREADABLE = "the keychain is not read"


def command_error(code):
    return f'Error Domain=ProcessErrorDomain Code={code} "(null)"'


def bootstrap_commands(verb):
    return [f"sudo launchctl {verb} system {plist}" for plist in DAEMON_PLISTS]


def agent_command(*options):
    return " ".join([f'"{AGENT_EXECUTABLE}" daemon --init', *options])


@dataclass
class Row:
    """One Setup session and the world it must leave. registered: the agent setup's options (None:
    it never ran); key: the one keychain item's secret (None: the keychain stays empty);
    security: the security verbs run, the lookup with the user's rights and the rest as root;
    database: whether the agent's database is there afterwards (by default when it was before or
    the agent's setup ran); privileged: a normal user's command lines through pkexec, when given;
    seed: the seed file's bytes (False: there is none), and what the agent read of it; prefix:
    the command that runs Setup, as in "env NAME=VALUE"."""

    name: str
    words: tuple = ()
    lines: list = field(default_factory=lambda: list(BY_WORDS))
    users: tuple = USERS
    arrange: Callable = lambda world: None
    prefix: tuple = ()
    run: dict = field(default_factory=dict)
    status: int = 0
    registered: tuple | None = None
    database: bool | None = None
    key: str | None = None
    security: list = field(default_factory=list)
    daemons: list = field(default_factory=lambda: list(BOOTSTRAPPED))
    privileged: list | None = None
    seed: bytes | bool | None = None
    app: bool = True


class WorldTestCase(unittest.TestCase):
    needs_product = True

    def setUp(self):
        self.assertTrue(shutil.which("bwrap"),
                        "bubblewrap (bwrap) is missing: the world cannot start")
        self.assertEqual(os.geteuid(), 0, "the world needs root on the host")
        self.assertTrue(APP_STUB and Path(APP_STUB).is_file(),
                        "TALVO_APP_STUB must name the built application stub")
        if self.needs_product:
            self.assertTrue(PRODUCT and Path(PRODUCT).is_file(),
                            "TALVO_SETUP must name the built Setup")
        self.worlds = 0

    def new_world(self, name=""):
        """A fresh world for this test; it stays on disk afterwards for a look."""
        self.worlds += 1
        label = re.sub(r"[^A-Za-z0-9_.-]", "_", f"{self.id()}.{self.worlds}{name}")
        root = WORLDS / label
        if root.exists():
            shutil.rmtree(root)
        return World.create(root, APP_STUB)

    def setup(self, world, *words, prefix=(), **options):
        """Runs the real Setup in the world with these words; fails clearly when the world
        itself cannot run."""
        session = self.run_in(world, [*prefix, SETUP, *words], product=PRODUCT, **options)
        self.assertFalse(session.timed_out, f"Setup did not end:\n{session.stdout}")
        return session

    def run_in(self, world, command, **options):
        try:
            return world.run(command, **options)
        except WorldUnavailable as unavailable:
            self.fail(str(unavailable))


class SetupTestCase(WorldTestCase):
    """Assertions about a world after a Setup session."""

    def assert_registered(self, world, *options):
        calls = world.agent_calls()
        self.assertEqual([call.argv for call in calls], [["daemon", "--init", *options]])
        self.assertEqual(calls[0].uid, 0, "the agent's setup must run as root")
        self.assertTrue(world.exists(DATABASE))

    def assert_key(self, world, passphrase):
        items = world.keychain_items()
        self.assertEqual(len(items), 1, items)
        item = items[0]
        self.assertEqual(item["secret"], passphrase.encode())
        self.assertEqual((item["account"], item["service"], item["label"]),
                         (KEY_ACCOUNT, KEY_SERVICE, KEY_SERVICE))
        self.assertEqual(item["trustedApplications"], [AGENT_EXECUTABLE])

    def launchctl(self, world):
        return [(call["argv"][0], call["argv"][2], call["status"])
                for call in world.calls("launchctl")]

    def privileged(self, world):
        """The command lines run through pkexec, each handed to one fixed /bin/sh -c script on
        its stdin."""
        calls = world.calls("pkexec")
        for call in calls:
            self.assertEqual(call["argv"][:2], ["/bin/sh", "-c"], call)
            self.assertEqual(call["argv"], calls[0]["argv"], "pkexec's command line is fixed")
        return [call["stdin"] for call in calls]

    def check_rows(self, rows):
        for row in rows:
            for user in row.users:
                with self.subTest(row.name, user=user):
                    world = self.new_world()
                    row.arrange(world)
                    configured = world.exists(DATABASE)
                    options = {"user": user, "expect_launch": row.app, **row.run}
                    session = self.setup(world, *row.words, prefix=row.prefix, **options)
                    self.check_row(world, session, row, user, configured)

    def check_row(self, world, session, row, user, configured):
        self.assertEqual((session.lines, session.status), (row.lines, row.status))
        if user == "root":
            self.assertEqual(session.stderr, "")
        calls = world.agent_calls()
        expected = [] if row.registered is None else [["daemon", "--init", *row.registered]]
        self.assertEqual([call.argv for call in calls], expected)
        self.assertTrue(all(call.uid == 0 for call in calls), "the agent's setup runs as root")
        database = configured or row.registered is not None if row.database is None \
            else row.database
        self.assertEqual(world.exists(DATABASE), database)
        if row.key != UNREADABLE:
            self.assertEqual([item["secret"] for item in world.keychain_items()],
                             [] if row.key is None else [row.key.encode()])
        uid = 0 if user == "root" else 501
        self.assertEqual([(call["argv"][0], call["uid"]) for call in world.calls("security")],
                         [(verb, uid if verb == FIND else 0) for verb in row.security])
        self.assertEqual(self.launchctl(world), row.daemons)
        loaded = any(verb == "bootstrap" for verb, _, _ in row.daemons)
        self.assertEqual(session.loaded_daemons, set(DAEMON_LABELS) if loaded else set())
        if user == "root" or row.privileged is not None:
            self.assertEqual(self.privileged(world), row.privileged if user != "root" else [])
        if row.seed is not None:
            self.assertEqual(world.read(SEED_FILE) if world.exists(SEED_FILE) else False,
                             row.seed)
            if f"-seed-path={SEED_FILE}" in (row.registered or ()):
                self.assertEqual(calls[0].seed, row.seed if row.seed is not False else None,
                                 "the agent reads the file Setup wrote")
        for application in row.run.get("applications", ()):
            self.assertFalse(session.still_running(application), application)
        self.assertEqual(session.launched_executables(),
                         [AGENT_APP_EXECUTABLE] if row.app else [])
