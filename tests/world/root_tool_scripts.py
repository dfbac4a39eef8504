"""The programs the root tool test runs in the world: a reporter of what a started program
sees, and a hostile caller that starts Setup as the tool and speaks its protocol."""

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
# start-up files, odd IFS and CDPATH, umask 000, a folder of its own, an extra descriptor, every
# signal blocked and some ignored) and speaks the tool's protocol: the greeting, then one request
# per command, each answered with its exit status. Prints what came back as JSON.
DRIVER = r"""
import json, os, signal, socket, struct, subprocess, sys
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

def hand_over_signals():
    signal.pthread_sigmask(signal.SIG_SETMASK, signal.valid_signals())
    for number in (signal.SIGINT, signal.SIGCHLD):
        signal.signal(number, signal.SIG_IGN)

ours, tools = socket.socketpair()
tool = subprocess.Popen(["setpriv", "--ruid", "501", "--euid", "0", "--", setup,
                         "--talvo-root-tool"], stdin=tools, stdout=tools, env=hostile, cwd=evil,
                        umask=0, pass_fds=[extra], preexec_fn=hand_over_signals)
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
