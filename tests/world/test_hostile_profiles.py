"""The real Setup against files it must read but cannot trust: a user's own application bundle
whose Info.plist is a FIFO or a huge sparse file, a managed profile that is a FIFO, nested far too
deep, over 8 MiB, holding U+0000, in the other encodings a Mac reads, or no property list at all."""

import os
import plistlib
import random
import shutil
import struct
import unittest

from talvo_world import SEED_FILE
from worldcase import (ADD, AGENT_APP_EXECUTABLE, AGENT_RUNNING, APP_STUB, BY_PROFILE, BY_WORDS,
                       CHECKING, FIND, PRODUCT, SANITIZED, Row, SetupTestCase)

# Generous for Setup and the tools it runs, far below what reading a 1 GiB file would need.
MEMORY_LIMIT_KIB = 262144
# A Setup that hangs on a file is killed after this; a sound one needs a second or two.
HANG = dict(timeout=15)
EVIL = "/tmp/Evil.app/Contents"
STORED_STUB = "/var/world/evil-stub"
FIFO = "/var/world/profile-fifo"


def binary_nested(levels):
    """{"reg-token": "t", "seed-config": [[[...]]]} with 4-byte offsets and references (plistlib
    cannot write one nested deeper than Python's recursion allows)."""
    objects = [b"\x59reg-token", b"\x5bseed-config", b"\x51t",
               b"\xd2" + struct.pack(">IIII", 0, 1, 2, 4)]
    for _ in range(levels - 1):
        objects.append(b"\xa1" + struct.pack(">I", len(objects) + 1))
    objects.append(b"\xa0")
    data, offsets = bytearray(b"bplist00"), []
    for encoded in objects:
        offsets.append(len(data))
        data += encoded
    table = len(data)
    data += b"".join(struct.pack(">I", offset) for offset in offsets)
    return bytes(data + bytes(6) + bytes([4, 4]) + struct.pack(">QQQ", len(objects), 3, table))


def xml_nested(levels):
    return (b'<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>'
            b"<key>reg-token</key><string>t</string><key>seed-config</key>"
            + b"<array>" * levels + b"</array>" * levels + b"</dict></plist>")


def as_utf16(text, byte_order):
    declared = text.replace('encoding="UTF-8"', 'encoding="UTF-16"')
    return "\ufeff".encode(f"utf-16-{byte_order}") + declared.encode(f"utf-16-{byte_order}")


def computer_wide(content, per_user=None, linked=False):
    """The computer-wide profile holds these bytes, or is a FIFO (content None), itself or behind
    a link; root's and staff1's per-user profiles hold per_user."""
    def arrange(world):
        profile = world.host_path(world.profile_path())
        profile.parent.mkdir(parents=True, exist_ok=True)
        if content is not None:
            profile.write_bytes(content)
        elif linked:
            os.mkfifo(world.host_path(FIFO))
            os.symlink(FIFO, profile)
        else:
            os.mkfifo(profile)
        for owner in ("root", "staff1") if per_user else ():
            world.set_profile(per_user, user=owner)
        world.write(SEED_FILE, b"old = 1")
    return arrange


def refused(name, content, reason, user):
    """Values that cannot arrive exactly stop the run: neither the per-user profile nor the words
    stand in, and an earlier seed file is left as it was, even when the profile holds a seed."""
    return Row(name, ("REG_TOKEN=words", "ENCRYPTION_KEY=words passphrase"), users=(user,),
               arrange=computer_wide(content, {"reg-token": "per-user", "seed-config": {"a": "b"}}),
               lines=[CHECKING, f'Error Domain=InputError Code=-1 "Managed preferences refused: '
                                f'{reason}."'],
               status=65, daemons=[], privileged=[], seed=b"old = 1", run=HANG)


UNICODE = {"reg-token": "t-\u00fc", "encryption-key": "caf\u00e9 passphrase"}
UNICODE_XML = plistlib.dumps(UNICODE).decode()
NUL_XML = plistlib.dumps({"reg-token": "t", "encryption-key": "abcdefgh-NUL-ijkl"}).decode() \
    .replace("-NUL-", "\0")
PER_USER = {"reg-token": "per-user"}


class HostileProfileTest(SetupTestCase):
    def test_rows(self):
        by_words = dict(words=("REG_TOKEN=words",), registered=("-reg-token=words",), run=HANG)
        by_per_user = dict(by_words, lines=BY_PROFILE, registered=("-reg-token=per-user",))
        by_unicode = dict(words=("REG_TOKEN=words",), lines=BY_PROFILE, security=[FIND, ADD],
                          key=UNICODE["encryption-key"], registered=("-reg-token=t-\u00fc",))
        self.check_rows([
            Row("a FIFO is no profile", users=("root",), arrange=computer_wide(None), **by_words),
            Row("a link to a FIFO is no profile", users=("501",),
                arrange=computer_wide(None, linked=True), **by_words),
            Row("a FIFO before a per-user profile", users=("501",),
                arrange=computer_wide(None, PER_USER), **by_per_user),
            # U+0000 refuses only a file that is otherwise read as a property list.
            Row("garbage and bytes 0 and 1 before a per-user profile", users=("501",),
                arrange=computer_wide(b"garbage\0\1", PER_USER), **by_per_user),
            Row("4 KiB of random bytes", users=("501",),
                arrange=computer_wide(random.Random(1).randbytes(4096)), **by_words),
            refused("binary nesting", binary_nested(100_000),
                    "the profile nests deeper than 512 levels", "root"),
            refused("XML nesting", xml_nested(100_000),
                    "the profile nests deeper than 512 levels", "501"),
            refused("a profile over 8 MiB", plistlib.dumps({"reg-token": "t"}) + bytes(9 << 20),
                    "the profile is larger than 8 MiB", "501"),
            refused("U+0000 in a binary passphrase beside a seed", plistlib.dumps(
                {"reg-token": "t", "encryption-key": "abcdefgh\0ijkl", "seed-config": {"a": "x"}},
                fmt=plistlib.FMT_BINARY), "the text at encryption-key holds U+0000", "501"),
            refused("U+0000 in a big-endian UTF-16 passphrase", as_utf16(NUL_XML, "be"),
                    "the text at encryption-key holds U+0000", "root"),
            Row("UTF-8 with a byte-order mark", users=("root",),
                arrange=computer_wide(b"\xef\xbb\xbf" + UNICODE_XML.encode()), **by_unicode),
            Row("UTF-16 little-endian", users=("501",),
                arrange=computer_wide(as_utf16(UNICODE_XML, "le")), **by_unicode),
        ])

    def test_a_users_bundle_with_an_unreadable_info_plist_is_passed_over(self):
        # As root: a local user's own bundle in /tmp, its executable running as that user, then
        # Setup under a memory limit (not under AddressSanitizer, which reserves more at start).
        limit = "" if SANITIZED else f"ulimit -v {MEMORY_LIMIT_KIB}"
        for name, make_info_plist in {"fifo": f"mkfifo {EVIL}/Info.plist",
                                      "sparse 1 GiB": f"truncate -s 1G {EVIL}/Info.plist"}.items():
            with self.subTest(name):
                world = self.new_world()
                shutil.copyfile(APP_STUB, world.host_path(STORED_STUB))
                session = self.run_in(world, ["/bin/sh", "-c", f"""
                    set -e
                    mkdir -p {EVIL}/MacOS
                    cp {STORED_STUB} {EVIL}/MacOS/Evil
                    chmod 755 {EVIL}/MacOS/Evil
                    {make_info_plist}
                    chown -R 501:20 /tmp/Evil.app
                    setpriv --reuid=501 --regid=20 --clear-groups setsid -f {EVIL}/MacOS/Evil \
                        </dev/null >/dev/null 2>&1
                    until pgrep -x Evil >/dev/null; do sleep 0.01; done
                    {limit}
                    exec /usr/local/bin/Setup REG_TOKEN=t
                """], product=PRODUCT, applications=["agent"], **HANG)
                self.assertFalse(session.timed_out, f"Setup did not end:\n{session.stdout}")
                self.assertEqual((session.lines, session.status, session.stderr),
                                 ([AGENT_RUNNING, *BY_WORDS], 0, ""))
                # The agent application beside it was still found and stopped.
                self.assertFalse(session.still_running("agent"))
                self.assert_registered(world, "-reg-token=t")
                self.assertIn(f"{EVIL}/MacOS/Evil", session.processes,
                              "the user's own application is none of Setup's business")
                self.assertEqual([path for path in session.launched_executables()
                                  if not path.startswith("/tmp/")], [AGENT_APP_EXECUTABLE])


if __name__ == "__main__":
    unittest.main()
