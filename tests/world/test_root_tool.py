"""The real Setup as the root tool in the world: it serves only when started as the system starts
it (real user 501, effective user root), runs what it is sent with a fixed environment, umask and
folder whatever its caller handed it, and refuses the marker otherwise. And the privileged shell
of a normal user's run gives root's files the system's usual modes."""

import json
import stat
import unittest

from talvo_world import DATABASE, SUPPORT
from test_setup_e2e import SetupTestCase
from worldcase import PRODUCT

MARKER = "--talvo-root-tool"
SETUP = "/usr/local/bin/Setup"
REFUSAL = f"{MARKER} is only for the system's privileged start\n"
FIXED_ENVIRONMENT = {"PATH": "/usr/bin:/bin:/usr/sbin:/sbin", "HOME": "/var/root",
                     "USER": "root", "LOGNAME": "root", "SHELL": "/bin/sh"}

# What the program that the tool runs sees, written as JSON to the file named by its argument.
REPORTER = r"""
import json, os, sys
fds = sorted(int(fd) for fd in os.listdir("/proc/self/fd"))  # the last is the listing's own
# As it was started: Python itself may add to os.environ.
environment = open("/proc/self/environ", "rb").read().decode().split("\0")[:-1]
json.dump({"environment": dict(entry.split("=", 1) for entry in environment),
           "umask": os.umask(0), "folder": os.getcwd(), "fds": fds[:-1],
           "uids": os.getresuid(), "gids": os.getresgid(), "groups": os.getgroups()},
          open(sys.argv[1], "w"))
"""

# Starts Setup as the tool from a hostile caller (its own PATH first, an exported function,
# start-up files, odd IFS and CDPATH, umask 000, a folder of its own, an extra descriptor) and
# speaks the tool's protocol: the greeting, then one request per command, each answered with its
# exit status. Prints what came back as JSON.
DRIVER = r"""
import json, os, socket, struct, subprocess, sys
setup, commands = sys.argv[1], json.loads(sys.argv[2])
evil = "/tmp/evil"
os.makedirs(evil, exist_ok=True)
for name in ("security", "startup"):
    with open(f"{evil}/{name}", "w") as script:
        script.write(f"#!/bin/sh\ntouch {evil}/ran-{name}\n")
    os.chmod(f"{evil}/{name}", 0o755)
hostile = {"PATH": f"{evil}:/usr/bin:/bin", "BASH_FUNC_x%%": f"() {{ touch {evil}/ran-x; }}",
           "ENV": f"{evil}/startup", "BASH_ENV": f"{evil}/startup", "IFS": "/",
           "CDPATH": evil, "DYLD_INSERT_LIBRARIES": f"{evil}/x.dylib", "HOME": "/Users/staff1"}
extra = os.open("/etc/hostname", os.O_RDONLY)
ours, tools = socket.socketpair()
tool = subprocess.Popen(["setpriv", "--ruid", "501", "--euid", "0", "--", setup,
                         "--talvo-root-tool"], stdin=tools, stdout=tools, env=hostile, cwd=evil,
                        umask=0, pass_fds=[extra])
tools.close()

def answer(number):
    frame = b""
    while len(frame) < 12:
        piece = ours.recv(12 - len(frame))
        if not piece:
            return None
        frame += piece
    tag, got, value = frame[:4], *struct.unpack(">II", frame[4:])
    return value if tag == b"TRT1" and got == number else None

def field(data):
    return struct.pack(">I", len(data)) + data

result = {"greeted": answer(0) == tool.pid, "statuses": []}
for number, words in enumerate(commands, 1):
    encoded = [word.encode() for word in words]
    ours.sendall(b"TRT1" + struct.pack(">II", number, len(encoded))
                 + b"".join(field(word) for word in encoded) + field(b""))
    result["statuses"].append(answer(number))
ours.close()
result["exit"] = tool.wait()
result["ran"] = sorted(name for name in os.listdir(evil) if name.startswith("ran-"))
print(json.dumps(result))
"""


class RootToolTest(SetupTestCase):
    def test_started_as_the_system_starts_it_setup_runs_commands_cleanly(self):
        world = self.new_world()
        report = "/var/world/report.json"
        commands = [["/usr/bin/python3", "-I", "-c", REPORTER, report],
                    ["/bin/sh", "-c", "security; exit 3"],
                    ["/bin/bash", "-c", "x"]]
        session = self.run_in(world, ["/usr/bin/python3", "-I", "-c", DRIVER, SETUP,
                                      json.dumps(commands)], product=PRODUCT, expect_launch=False)
        self.assertEqual(session.status, 0, session.stderr)
        self.assertEqual(json.loads(session.stdout),
                         {"greeted": True, "statuses": [0, 3, 127], "exit": 0, "ran": []})
        seen = json.loads(world.read(report))
        self.assertEqual(seen["environment"], FIXED_ENVIRONMENT)
        self.assertEqual((seen["umask"], seen["folder"], seen["fds"]), (0o022, "/", [0, 1, 2]))
        self.assertEqual((seen["uids"], seen["gids"], seen["groups"]), ([0] * 3, [0] * 3, [0]))
        self.assert_not_registered(world)

    def test_any_other_start_with_the_marker_is_refused_before_anything_happens(self):
        starts = {
            "root": ("root", [SETUP, MARKER, "/bin/sh", "-c", "id"]),
            "root, the marker alone": ("root", [SETUP, MARKER]),
            "a user": ("501", [SETUP, MARKER]),
            "more words": ("root", ["setpriv", "--ruid", "501", "--euid", "0", "--", SETUP,
                                    MARKER, "/bin/sh"]),
        }
        for name, (user, command) in starts.items():
            with self.subTest(name):
                world = self.new_world()
                world.configure_agent()
                session = self.run_in(world, command, user=user, product=PRODUCT,
                                      applications=["agent"], expect_launch=False)
                self.assertEqual((session.status, session.stdout, session.stderr),
                                 (64, "", REFUSAL))
                self.assertTrue(session.still_running("agent"))
                self.assertEqual(world.calls(), [])


class RootCommandsTest(SetupTestCase):
    def test_a_root_callers_path_functions_umask_and_folder_do_not_reach_roots_commands(self):
        world = self.new_world()
        hostile = (
            "mkdir -p /tmp/evil && for name in security launchctl killall ps grep; do "
            "printf '#!/bin/sh\\ntouch /tmp/evil/ran-%s\\n' $name >/tmp/evil/$name; "
            "chmod +x /tmp/evil/$name; done; umask 000; cd /tmp/evil; "
            "env PATH=/tmp/evil:$PATH 'BASH_FUNC_security%%=() { touch /tmp/evil/ran-function; }' "
            f"{SETUP} REG_TOKEN=t 'ENCRYPTION_KEY=correct horse'; status=$?; "
            "echo ran: $(cd /tmp/evil && ls ran-* 2>/dev/null); exit $status")
        session = self.run_in(world, ["/bin/sh", "-c", hostile], product=PRODUCT)
        self.assertEqual((session.status, session.lines[-1]), (0, "ran:"), session.stdout)
        self.assert_registered(world, "-reg-token=t")
        self.assert_key(world, "correct horse")
        self.assert_daemons_started(world, session)


class PrivilegedShellTest(SetupTestCase):
    def test_a_users_umask_and_folder_do_not_reach_the_root_commands(self):
        world = self.new_world()
        world.remove(SUPPORT)
        session = self.run_in(world, ["/bin/sh", "-c",
                                      f"umask 000; cd /tmp && exec {SETUP} REG_TOKEN=t"],
                              user="501", product=PRODUCT)
        self.assertEqual(session.status, 0, session.stdout)
        self.assert_registered(world, "-reg-token=t")
        modes = [stat.S_IMODE(world.host_path(path).stat().st_mode) for path in (SUPPORT, DATABASE)]
        self.assertEqual(modes, [0o755, 0o644])


if __name__ == "__main__":
    unittest.main()
