"""The real Setup refuses the root tool's marker, before anything else happens, unless the system
starts it as the tool; and root's commands, run through a normal user's privileged shell, get the
system's umask and folder, not their caller's."""

import stat
import unittest

from talvo_world import DATABASE, SUPPORT
from worldcase import PRODUCT, SETUP, SetupTestCase

MARKER = "--talvo-root-tool"


class RootToolTest(SetupTestCase):
    def test_any_other_start_with_the_marker_is_refused_before_anything_happens(self):
        world = self.new_world()
        world.configure_agent()
        session = self.run_in(world, [SETUP, MARKER, "/bin/sh", "-c", "id"], user="root",
                              product=PRODUCT, applications=["agent"], expect_launch=False)
        self.assertEqual((session.status, session.stdout, session.stderr),
                         (64, "", f"{MARKER} is only for the system's privileged start\n"))
        self.assertTrue(session.still_running("agent"))
        self.assertEqual(world.calls(), [])


class RootCommandsTest(SetupTestCase):
    def test_a_users_umask_and_folder_do_not_reach_roots_commands(self):
        # pkexec passes on its caller's umask and folder. As root, Setup's own starts set both;
        # through pkexec only the privileged shell can, and the agent creates root's files there.
        world = self.new_world()
        world.remove(SUPPORT)
        command = f"umask 000; cd /tmp; exec {SETUP} REG_TOKEN=t"
        session = self.run_in(world, ["/bin/sh", "-c", command], user="501", product=PRODUCT)
        self.assertEqual(session.status, 0, session.stdout)
        self.assert_registered(world, "-reg-token=t")
        modes = [stat.S_IMODE(world.host_path(path).stat().st_mode)
                 for path in (SUPPORT, DATABASE)]
        self.assertEqual(modes, [0o755, 0o644])


if __name__ == "__main__":
    unittest.main()
