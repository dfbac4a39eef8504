"""The real Setup in a world that pushes back: a command whose output outgrows the memory Setup may
use."""

import os
import unittest

from talvo_world import AGENT_EXECUTABLE
from worldcase import BY_WORDS, PRODUCT, SANITIZED, SetupTestCase

OUT_OF_MEMORY = 'Error Domain=InternalError Code=71 "Out of memory"'


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
        self.assertEqual((session.lines, session.status, session.stderr),
                         ([*BY_WORDS, OUT_OF_MEMORY], 71, ""))
        # The command was stopped and reaped, not left printing into a pipe nobody reads.
        self.assertNotIn("head -c", session.processes)
        self.assertNotIn("<defunct>", session.processes)
        self.assertEqual((self.launchctl(world), session.launched_executables()), ([], []))


if __name__ == "__main__":
    unittest.main()
