"""The real Setup against files it must read but cannot trust: a user's own application bundle
whose Info.plist is a FIFO or a huge sparse file, a managed profile that is a FIFO, profiles
nested far too deep, profiles in the other encodings a Mac reads, files that are no property list
at all, and values that cannot arrive exactly (U+0000 in a text, integers beyond 64 bits) or only
just can (the widest integers, dates far from today)."""

import datetime
import os
import plistlib
import random
import shutil
import struct
import unittest

from talvo_world import SEED_FILE
from test_setup_e2e import (AGENT_APP_EXECUTABLE, AGENT_RUNNING, CHECKING, INSTALLING_MDM,
                            INSTALLING_USER, NO_MDM, SetupTestCase)
from worldcase import APP_STUB, PRODUCT

SANITIZED = os.environ.get("TALVO_SANITIZED") == "1"
# Generous for Setup and the tools it runs, far below what reading a 1 GiB file would need.
MEMORY_LIMIT_KIB = 262144
# A Setup that hangs on a file is killed after this; a sound one needs a second or two.
HANG_SECONDS = 15
EVIL = "/tmp/Evil.app/Contents"
STORED_STUB = "/var/world/evil-stub"
FIFO = "/var/world/profile-fifo"


def refused(reason):
    return f'Error Domain=InputError Code=-1 "Managed preferences refused: {reason}."'


def binary_plist(objects, top):
    """A binary property list from already encoded objects, with 4-byte offsets and references
    (plistlib cannot write one nested deeper than Python's recursion allows)."""
    data = bytearray(b"bplist00")
    offsets = []
    for encoded in objects:
        offsets.append(len(data))
        data += encoded
    table = len(data)
    data += b"".join(struct.pack(">I", offset) for offset in offsets)
    data += bytes(6) + bytes([4, 4]) + struct.pack(">QQQ", len(objects), top, table)
    return bytes(data)


def deeply_nested_binary(levels):
    """{"reg-token": "t", "seed-config": [[[...]]]} with the given number of arrays."""
    objects = [b"\x59reg-token", b"\x5bseed-config", b"\x51t",
               b"\xd2" + struct.pack(">IIII", 0, 1, 2, 4)]
    for _ in range(levels - 1):
        objects.append(b"\xa1" + struct.pack(">I", len(objects) + 1))
    objects.append(b"\xa0")
    return binary_plist(objects, 3)


def deeply_nested_xml(levels):
    return (b'<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>'
            b"<key>reg-token</key><string>t</string><key>seed-config</key>"
            + b"<array>" * levels + b"</array>" * levels + b"</dict></plist>")


def xml_with(settings, replacements=()):
    """The settings as plistlib writes XML, then text swapped in that plistlib refuses to write
    (U+0000, integers beyond 64 bits)."""
    text = plistlib.dumps(settings).decode()
    for old, new in replacements:
        text = text.replace(old, new)
    return text


def as_utf16(text, byte_order):
    declared = text.replace('encoding="UTF-8"', 'encoding="UTF-16"')
    mark = "\ufeff".encode(f"utf-16-{byte_order}")
    return mark + declared.encode(f"utf-16-{byte_order}")


class HostileProfileCase(SetupTestCase):
    def assert_refused(self, world, session, reason, seed_before=None):
        """One error line right after the check, status 65, and nothing of the profile acted
        on: no registration, no keychain change, nothing privileged, no seed file written."""
        self.assertEqual(session.lines, [CHECKING, refused(reason)])
        self.assertEqual(session.status, 65)
        self.assertEqual(session.stderr, "")
        self.assert_not_registered(world)
        self.assert_no_key(world)
        self.assertEqual(world.calls("pkexec"), [])
        self.assert_no_daemons(world, session)
        if seed_before is None:
            self.assertFalse(world.exists(SEED_FILE))
        else:
            self.assertEqual(world.read(SEED_FILE), seed_before)
        self.assert_app_opened(session)

    def assert_words_installed(self, world, session, token, first_lines=(CHECKING, NO_MDM)):
        self.assertEqual(session.lines, [*first_lines, INSTALLING_USER])
        self.assertEqual(session.status, 0)
        self.assert_registered(world, f"-reg-token={token}")
        self.assert_daemons_started(world, session)


class BlockingFilesTest(HostileProfileCase):
    def evil_bundle_command(self, world, make_info_plist):
        """As root: a local user's own bundle in /tmp, its executable running as that user, then
        Setup under a memory limit (not under AddressSanitizer, which reserves more at start)."""
        shutil.copyfile(APP_STUB, world.host_path(STORED_STUB))
        limit = "" if SANITIZED else f"ulimit -v {MEMORY_LIMIT_KIB}"
        return ["/bin/sh", "-c", f"""
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
        """]

    def test_a_users_bundle_with_an_unreadable_info_plist_is_passed_over(self):
        info_plists = {
            "fifo": f"mkfifo {EVIL}/Info.plist",
            "sparse 1 GiB": f"truncate -s 1G {EVIL}/Info.plist",
        }
        for name, make_info_plist in info_plists.items():
            with self.subTest(name):
                world = self.new_world()
                command = self.evil_bundle_command(world, make_info_plist)
                session = self.run_in(world, command, product=PRODUCT,
                                      applications=["agent"], timeout=HANG_SECONDS)
                self.assertFalse(session.timed_out, f"Setup did not end:\n{session.stdout}")
                self.assertEqual(session.stderr, "")
                # The agent application beside it was still found and stopped.
                self.assert_words_installed(world, session, "t",
                                            first_lines=(AGENT_RUNNING, CHECKING, NO_MDM))
                self.assertFalse(session.still_running("agent"))
                self.assertIn(f"{EVIL}/MacOS/Evil", session.processes,
                              "the user's own application is none of Setup's business")
                opened = [path for path in session.launched_executables()
                          if not path.startswith("/tmp/")]
                self.assertEqual(opened, [AGENT_APP_EXECUTABLE])

    def test_a_profile_that_is_a_fifo_counts_as_no_profile(self):
        cases = [
            # name, user, link the computer-wide path to the FIFO, a per-user profile
            ("fifo", "root", False, None),
            ("symlink to a fifo", "501", True, None),
            ("fifo before a per-user profile", "501", False, {"reg-token": "per-user"}),
        ]
        for name, user, linked, per_user in cases:
            with self.subTest(name):
                world = self.new_world()
                profile = world.host_path(world.profile_path())
                profile.parent.mkdir(parents=True, exist_ok=True)
                if linked:
                    os.mkfifo(world.host_path(FIFO))
                    os.symlink(FIFO, profile)
                else:
                    os.mkfifo(profile)
                if per_user is not None:
                    world.set_profile(per_user, user="staff1")
                session = self.setup(world, "REG_TOKEN=words", user=user, timeout=HANG_SECONDS)
                if per_user is None:
                    self.assert_words_installed(world, session, "words")
                else:
                    self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                    self.assertEqual(session.status, 0)
                    self.assert_registered(world, "-reg-token=per-user")


class RefusedProfileTest(HostileProfileCase):
    """Profiles whose values cannot arrive exactly stop the run: neither the per-user profile
    nor the words stand in for them, and an earlier seed file is left as it was."""

    def refused_run(self, content, reason, user="root"):
        world = self.new_world()
        world.write(world.profile_path(), content)
        world.set_profile({"reg-token": "per-user", "seed-config": {"a": "b"}},
                          user="root" if user == "root" else "staff1")
        world.write(SEED_FILE, b"old = 1")
        session = self.setup(world, "REG_TOKEN=words", "ENCRYPTION_KEY=words passphrase",
                             user=user, timeout=HANG_SECONDS)
        self.assert_refused(world, session, reason, seed_before=b"old = 1")

    def test_nesting_far_beyond_the_limit(self):
        forms = {"binary": deeply_nested_binary(100_000), "xml": deeply_nested_xml(100_000)}
        for name, content in forms.items():
            with self.subTest(name):
                self.refused_run(content, "the profile nests deeper than 512 levels")

    def test_u0000_inside_the_passphrase(self):
        settings = {"reg-token": "t", "encryption-key": "abcdefgh\0ijkl"}
        xml = xml_with({**settings, "encryption-key": "abcdefgh-NUL-ijkl"},
                       [("-NUL-", "\0")])
        forms = [
            ("binary", "501", plistlib.dumps(settings, fmt=plistlib.FMT_BINARY)),
            ("utf-16 little-endian", "root", as_utf16(xml, "le")),
            ("utf-16 big-endian", "501", as_utf16(xml, "be")),
        ]
        for name, user, content in forms:
            with self.subTest(name, user=user):
                self.refused_run(content, "the text at encryption-key holds U+0000", user=user)

    def test_integer_below_the_64_bit_range(self):
        xml = xml_with({"reg-token": "t", "seed-config": {"low": 7}},
                       [("<integer>7</integer>", "<integer>-99999999999999999999999</integer>")])
        self.refused_run(xml.encode(), "the integer at seed-config/low is out of range")


class NotAPropertyListTest(HostileProfileCase):
    """Bytes that are no property list at all are no profile, whatever they hold: U+0000 refuses
    only a file that is otherwise read as one."""

    def test_garbage_with_nul_bytes_leaves_the_per_user_profile_or_the_words(self):
        contents = {"garbage and bytes 0 and 1": b"garbage\0\1",
                    "4 KiB of random bytes": random.Random(1).randbytes(4096)}
        for name, content in contents.items():
            for per_user in (True, False):
                with self.subTest(name, per_user=per_user):
                    world = self.new_world()
                    world.write(world.profile_path(), content)
                    if per_user:
                        world.set_profile({"reg-token": "per-user"}, user="staff1")
                    session = self.setup(world, "REG_TOKEN=words", user="501",
                                         timeout=HANG_SECONDS)
                    if per_user:
                        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                        self.assertEqual(session.status, 0)
                        self.assert_registered(world, "-reg-token=per-user")
                    else:
                        self.assert_words_installed(world, session, "words")


class ProfileEncodingTest(HostileProfileCase):
    def test_marked_wide_and_latin1_profiles_are_read_and_win_over_the_words(self):
        settings = {"reg-token": "t-\u00fc", "encryption-key": "caf\u00e9 passphrase",
                    "seed-config": {"name": "B\u00fcro Mac"}}
        xml = xml_with(settings)
        forms = {
            "utf-8 with a byte-order mark": b"\xef\xbb\xbf" + xml.encode(),
            "utf-16 little-endian": as_utf16(xml, "le"),
            "utf-16 big-endian": as_utf16(xml, "be"),
            "declared iso-8859-1": xml.replace('encoding="UTF-8"', 'encoding="ISO-8859-1"')
                                      .encode("latin-1"),
        }
        for name, content in forms.items():
            with self.subTest(name):
                world = self.new_world()
                world.write(world.profile_path(), content)
                session = self.setup(world, "REG_TOKEN=words")
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assertEqual(session.status, 0)
                self.assert_registered(world, "-reg-token=t-\u00fc", f"-seed-path={SEED_FILE}")
                self.assert_key(world, "caf\u00e9 passphrase")
                self.assertEqual(world.read(SEED_FILE), "name = B\u00fcro Mac".encode())


class ExactValuesTest(HostileProfileCase):
    def test_widest_integers_and_far_dates_reach_the_seed_file_exactly(self):
        seed = {"max": 2**64 - 1, "half": 2**63, "min": -2**63,
                "old": datetime.datetime(1900, 1, 1),
                "late": datetime.datetime(2100, 12, 31, 23, 59, 59)}
        expected = ["max = 18446744073709551615", "half = 9223372036854775808",
                    "min = -9223372036854775808", "old = 1900-01-01T00:00:00Z",
                    "late = 2100-12-31T23:59:59Z"]
        for binary in (True, False):
            with self.subTest(binary=binary):
                world = self.new_world()
                world.set_profile({"seed-config": seed}, binary=binary)
                session = self.setup(world)
                self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
                self.assertEqual(session.status, 0)
                self.assertCountEqual(world.read(SEED_FILE).decode().split("\n"), expected)
                self.assert_registered(world, f"-seed-path={SEED_FILE}")


if __name__ == "__main__":
    unittest.main()
