"""scripts/test-on-mac run as it stands in the sandbox world, the Linux Setup and the world's
fakes of launchctl, security and log standing in for the Mac's (only the workflow has those)."""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "world"))
from talvo_world import RUN_IN_WORLD, SystemLogRecorder  # noqa: E402

SETUP = os.environ.get("TALVO_SETUP")
WORLD = Path(os.environ.get("TALVO_WORLDS", "/tmp/talvo-worlds")) / "test-on-mac"
PATH = "/var/world/mac-fakes:/opt/world/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
APP = WORLD / "Applications/Talvo Backup Agent.app"
KEYCHAIN = WORLD / "Library/Keychains/System.keychain"
SCRIPT = "/var/world/scripts/test-on-mac"


class LogRecord(list):
    """The system log's datagrams, each with the time it arrived, to the file fakes/log reads."""

    def append(self, datagram):
        with open(WORLD / "world/log/system-log.jsonl", "a", encoding="utf-8",
                  errors="surrogateescape") as f:
            f.write(json.dumps({"time": time.time(), "datagram": datagram}) + "\n")


class TestOnMacDryRun(unittest.TestCase):
    def setUp(self):
        """A Mac without the agent: its folders, an empty System keychain, the script, the log."""
        self.assertTrue(SETUP and Path(SETUP).is_file(), "TALVO_SETUP must name Setup")
        shutil.rmtree(WORLD, ignore_errors=True)
        for folder in ("Applications", "Library/LaunchDaemons", "Library/Keychains",
                       "Library/Application Support", "world/mac-fakes", "world/scripts"):
            (WORLD / folder).mkdir(parents=True)
        KEYCHAIN.write_text('{"items": []}\n')
        shutil.copy(HERE.parent.parent / "scripts/test-on-mac", WORLD / "world/scripts")
        shutil.copytree(HERE / "on-mac", WORLD / "world/tests/mac/on-mac")
        shutil.copy(HERE / "fakes" / "log", WORLD / "world/mac-fakes")

    def state(self):
        """The agent's places on this computer: what is there, and the System keychain's items."""
        places = [WORLD / top for top in ("Applications", "Library", "world/launchd")]
        return ({str(path.relative_to(WORLD)) for place in places for path in place.rglob("*")},
                json.loads(KEYCHAIN.read_text())["items"])

    def run_script(self, product=SETUP, shell=("bash", "--posix"), sent=None):
        """The Mac's /bin/sh is bash in its POSIX mode; dash holds the script to POSIX alone. A
        signal goes to the script's shell once it has installed its stand-in and stored a key."""
        (WORLD / "syslog.sock").unlink(missing_ok=True)
        recorder = SystemLogRecorder(SimpleNamespace(root=WORLD))
        recorder.messages = LogRecord()
        self.addCleanup(recorder.entries)
        process = subprocess.Popen(
            [str(RUN_IN_WORLD), "--world", str(WORLD), "--product", str(product), "--",
             "env", f"PATH={PATH}", *shell, SCRIPT, "/usr/local/bin/Setup"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.addCleanup(process.kill)
        deadline = time.monotonic() + 60
        while sent and not json.loads(KEYCHAIN.read_text())["items"]:
            self.assertLess(time.monotonic(), deadline, "the script did not install its stand-in")
            time.sleep(0.05)
        if sent:  # to the oldest process running the script: the others are its subshells
            os.kill(int(subprocess.run(["pgrep", "-o", "-f", f"^(bash --posix|dash) {SCRIPT} "],
                                       capture_output=True, check=True).stdout), sent)
        output = process.communicate(timeout=300)[0]
        return process.returncode, output

    def test_it_leaves_the_computer_as_it_found_it_and_counts_every_check(self):
        found = self.state()
        info = APP / "Contents" / "Info.plist"
        info.parent.mkdir(parents=True)
        info.write_text("the real agent")
        status, output = self.run_script()
        self.assertEqual((status, info.read_text()), (2, "the real agent"), output)
        self.assertIn("nothing was changed", output)
        shutil.rmtree(APP)
        status, output = self.run_script(shell=("dash",), sent=signal.SIGTERM)
        self.assertEqual((status, self.state()), (143, found), output)
        # A killed run leaves its stand-in, which the next run removes first.
        self.run_script(sent=signal.SIGKILL)
        # The real Setup, but refusing its root tool's marker with another status than 64.
        shutil.copy(SETUP, WORLD / "world/real-Setup")
        product = WORLD / "failing-setup"
        product.write_text('#!/bin/sh\n/var/world/real-Setup "$@"\nstatus=$?\n'
                           '[ "$1" = --talvo-root-tool ] && exit 70\nexit $status\n')
        product.chmod(0o755)
        status, output = self.run_script(product=product, shell=("dash",))
        self.assertEqual((status, output.count("\n== "), self.state()), (1, 8, found), output)
        self.assertEqual(re.findall(r"FAILED: .*", output), ["FAILED: exit status 64"], output)
        self.assertRegex(output.splitlines()[-1], r"^[1-9]\d* passed, 1 failed$")


if __name__ == "__main__":
    unittest.main()
