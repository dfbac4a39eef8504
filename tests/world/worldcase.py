"""The base of the world's test cases: a fresh world folder per world, the built programs from the
environment, and a sandbox that must start (a world that cannot start fails the test: it never
skips, so that a machine without bubblewrap cannot pass the suite by running nothing)."""

import os
import re
import shutil
import unittest
from pathlib import Path

from talvo_world import World, WorldUnavailable

PRODUCT = os.environ.get("TALVO_SETUP")
APP_STUB = os.environ.get("TALVO_APP_STUB")
WORLDS = Path(os.environ.get("TALVO_WORLDS", "/tmp/talvo-worlds"))


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

    def setup(self, world, *words, **options):
        """Runs the real Setup in the world with these words; fails clearly when the world
        itself cannot run."""
        try:
            session = world.run_setup(*words, product=PRODUCT, **options)
        except WorldUnavailable as unavailable:
            self.fail(str(unavailable))
        self.assertFalse(session.timed_out, f"Setup did not end:\n{session.stdout}")
        return session

    def run_in(self, world, command, **options):
        try:
            return world.run(command, **options)
        except WorldUnavailable as unavailable:
            self.fail(str(unavailable))
