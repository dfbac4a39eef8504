"""The real Setup refuses the root tool's marker, before anything else happens, unless the system
starts it as the tool."""

import unittest

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


if __name__ == "__main__":
    unittest.main()
