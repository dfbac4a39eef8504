"""The real Setup in worlds that push back: a local user's many programs each from a bundle of its
own with a large Info.plist, and a command whose output outgrows the memory Setup may use."""

import os
import shutil
import unittest

from talvo_world import AGENT_EXECUTABLE
from worldcase import (APP_STUB, BY_WORDS, CHECKING, NO_MDM, PRODUCT, SANITIZED, OpenCounter,
                       SetupTestCase)

OUT_OF_MEMORY = 'Error Domain=InternalError Code=71 "Out of memory"'


class ManyBundlesTest(SetupTestCase):
    # The sanitizer build reads a property list about a hundred times slower.
    BUNDLES = 30 if SANITIZED else 300
    FOLDER = "/Applications/Downloaded"

    def test_each_bundle_of_a_users_programs_is_read_once(self):
        # Many programs of a local user, each from a bundle of its own whose Info.plist (one file,
        # linked into every bundle) holds just under the 256 KiB that Setup reads of one. No agent
        # application runs, so Setup looks at every one of them, for both of the agent's
        # applications at once. The folder stands where the test can watch the file from outside
        # the world.
        world = self.new_world()
        folder = world.host_path(self.FOLDER)
        padding = "<string>padding</string>" * 10500
        world.write(f"{self.FOLDER}/Info.plist",
                    "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>org.example"
                    "</string><key>CFBundleExecutable</key><string>B</string><key>Padding</key>"
                    f"<array>{padding}</array></dict></plist>")
        shutil.copy(APP_STUB, folder / "B")
        for number in range(self.BUNDLES):
            executables = folder / f"B{number}.app/Contents/MacOS"
            executables.mkdir(parents=True)
            os.link(folder / "Info.plist", executables.parent / "Info.plist")
            os.link(folder / "B", executables / "B")
        counter = OpenCounter(folder / "Info.plist")
        session = self.run_in(world, ["/bin/sh", "-c", f"""
            setpriv --reuid=501 --regid=20 --clear-groups /bin/sh -c '
                for bundle in {self.FOLDER}/B*.app; do
                    "$bundle/Contents/MacOS/B" </dev/null >/dev/null 2>&1 &
                done'
            until [ "$(pgrep -cx B)" -eq {self.BUNDLES} ]; do sleep 0.05; done
            exec /usr/local/bin/Setup
        """], product=PRODUCT, timeout=120)
        self.assertEqual((session.lines, session.status), ([CHECKING, NO_MDM], 0))
        self.assertEqual(counter.opens(), self.BUNDLES)


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
