"""The real Setup in worlds that push back: the agent's daemon running from inside the agent's
bundle, a command whose output outgrows the memory Setup may use, and seed temporaries left by
earlier runs that were killed."""

import os
import shutil
import time
import unittest

from talvo_world import AGENT_EXECUTABLE, SEED_FILE, SUPPORT
from test_setup_e2e import (AGENT_APP_EXECUTABLE, AGENT_RUNNING, CHECKING, DAEMON_PLISTS,
                            INSTALLING_MDM, INSTALLING_USER, NO_MDM, SetupTestCase)
from worldcase import APP_STUB, PRODUCT

SANITIZED = os.environ.get("TALVO_SANITIZED") == "1"
OUT_OF_MEMORY = 'Error Domain=InternalError Code=71 "Out of memory"'


class DaemonInsideTheBundleTest(SetupTestCase):
    """On a configured Mac the agent's daemon always runs, from the agent bundle's Contents/MacOS
    but not as the bundle's own executable. Here it is a real process under that path, so that
    the running-applications scan meets it as it would on the Mac."""

    def new_world_with_daemon_process(self):
        world = self.new_world()
        shutil.copyfile(APP_STUB, world.host_path(AGENT_EXECUTABLE))
        os.chmod(world.host_path(AGENT_EXECUTABLE), 0o755)
        world.configure_agent()
        return world

    def assert_daemons_restarted(self, world, session):
        self.assertEqual(self.launchctl(world),
                         [*(("bootout", p, 0) for p in DAEMON_PLISTS),
                          *(("bootstrap", p, 0) for p in DAEMON_PLISTS)])
        self.assertIn(AGENT_APP_EXECUTABLE, session.launched_executables())

    def test_the_daemon_is_not_taken_for_the_agent_application(self):
        world = self.new_world_with_daemon_process()
        session = self.setup(world, daemons=True)
        self.assertEqual(session.lines, [CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assert_daemons_restarted(world, session)

    def test_the_agent_application_beside_the_daemon_is_still_stopped(self):
        world = self.new_world_with_daemon_process()
        session = self.setup(world, daemons=True, applications=["agent"])
        self.assertEqual(session.lines, [AGENT_RUNNING, CHECKING, NO_MDM])
        self.assertEqual(session.status, 0)
        self.assertFalse(session.still_running("agent"))
        self.assert_daemons_restarted(world, session)


class OutputBeyondMemoryTest(SetupTestCase):
    @unittest.skipIf(SANITIZED, "AddressSanitizer reserves more address space at start than "
                                "any limit that still lets a command's output exhaust it")
    def test_running_out_of_memory_ends_in_one_line_and_its_own_status(self):
        world = self.new_world()
        # The agent's setup prints a gigabyte; Setup may use a quarter of that.
        world.write(AGENT_EXECUTABLE, "#!/bin/sh\nexec head -c 1073741824 /dev/zero\n")
        os.chmod(world.host_path(AGENT_EXECUTABLE), 0o755)
        session = self.run_in(world, ["/bin/sh", "-c", """
            ulimit -v 262144
            exec /usr/local/bin/Setup REG_TOKEN=t
        """], product=PRODUCT, expect_launch=False, timeout=60)
        self.assertFalse(session.timed_out)
        self.assertEqual(session.lines, [CHECKING, NO_MDM, INSTALLING_USER, OUT_OF_MEMORY])
        self.assertEqual(session.status, 71)
        self.assertEqual(session.stderr, "")
        # The command was stopped and reaped, not left printing into a pipe nobody reads.
        self.assertNotIn("head -c", session.processes)
        self.assertNotIn("<defunct>", session.processes)
        self.assertEqual(self.launchctl(world), [])
        self.assert_app_not_opened(session)


class StaleSeedTemporaryTest(SetupTestCase):
    def test_temporaries_of_killed_runs_are_removed_and_others_kept(self):
        world = self.new_world()
        world.set_profile({"reg-token": "t", "seed-config": {"a": "x"}})
        support = world.host_path(SUPPORT)
        abandoned = support / ".seed.conf.k1LLed"
        young = support / ".seed.conf.Wr1t1n"
        others = [support / "seed.conf.k1LLed", support / ".seed.conf.k1LLed.bak"]
        for path in [abandoned, young, *others]:
            path.write_bytes(b"a = half")
        an_hour_ago = time.time() - 3600
        for path in [abandoned, *others]:
            os.utime(path, (an_hour_ago, an_hour_ago))
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(world.read(SEED_FILE), b"a = x")
        self.assertFalse(abandoned.exists())
        for path in [young, *others]:
            self.assertTrue(path.exists(), path)


if __name__ == "__main__":
    unittest.main()
