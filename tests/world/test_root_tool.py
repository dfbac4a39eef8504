"""The real Setup refuses the root tool's marker, before anything else happens, unless the system
starts it as the tool; and root's commands, run through a normal user's privileged shell, get the
system's umask and folder, not their caller's."""

import stat

from talvo_world import DATABASE, SUPPORT
from worldcase import PRODUCT, SETUP, SetupTestCase

MARKER = "--talvo-root-tool"


class RootToolTest(SetupTestCase):
    def test_any_other_start_with_the_marker_is_refused_before_anything_happens(self):
        # Setup would say first that the agent application is running, and stop it.
        session = self.run_in(self.new_world(), [SETUP, MARKER, "/bin/sh", "-c", "id"],
                              product=PRODUCT, applications=["agent"], expect_launch=False)
        self.assertEqual((session.status, session.stdout, session.stderr),
                         (64, "", f"{MARKER} is only for the system's privileged start\n"))

    def test_a_users_umask_and_folder_do_not_reach_roots_commands(self):
        # pkexec passes on its caller's umask and folder. As root, Setup's own starts set both;
        # through pkexec only the privileged shell can, and the agent creates root's files there.
        world = self.new_world()
        world.remove(SUPPORT)
        session = self.setup(world, "REG_TOKEN=t", user="501",
                             prefix=("/bin/sh", "-c", 'umask 000; cd /tmp; exec "$@"', "sh"))
        self.assertEqual(session.status, 0, session.stdout)
        self.assert_registered(world, "-reg-token=t")
        modes = [stat.S_IMODE(world.host_path(path).stat().st_mode)
                 for path in (SUPPORT, DATABASE)]
        self.assertEqual(modes, [0o755, 0o644])
