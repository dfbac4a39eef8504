"""The admins' example profile from profiles/, installed as an MDM server installs it, acts as the
kit describes: every key reaches the agent's setup, the seed file or the keychain, and the profile
wins over the command line's words."""

import plistlib
import unittest
from pathlib import Path

from talvo_world import SEED_FILE
from worldcase import ADD, BY_PROFILE, DELETE, FIND, Row, SetupTestCase

EXAMPLE = Path(__file__).resolve().parents[2] / "profiles" / "example.mobileconfig"
DOMAIN = "com.talvo.backup.agent"


def example_settings():
    """The managed-preferences payload's settings for the domain, as the device receives them."""
    profile = plistlib.loads(EXAMPLE.read_bytes())
    payloads = [payload for payload in profile["PayloadContent"]
                if payload["PayloadType"] == "com.apple.ManagedClient.preferences"]
    assert len(payloads) == 1, payloads
    forced = payloads[0]["PayloadContent"][DOMAIN]["Forced"]
    assert len(forced) == 1, forced
    return forced[0]["mcx_preference_settings"]


class ExampleProfileTest(SetupTestCase):
    def test_every_key_of_the_example_acts_over_every_word(self):
        settings = example_settings()
        self.assertEqual(set(settings), {"reg-token", "reg-service", "encryption-key",
                                         "seed-path", "seed-config", "clean-up"})
        seed = "\n".join(f"{key} = {value}" for key, value in settings["seed-config"].items())
        # Configured, with a key stored: the clean-up is what installs it again.
        arrange = lambda world: (world.configure_agent(), world.store_key(b"earlier secret"),
                                 world.write(world.profile_path(),
                                             plistlib.dumps(settings, sort_keys=False)))
        self.check_rows([Row(
            "the example", ("REG_TOKEN=word-token", "REG_SERVICE=https://word.example",
                            "ENCRYPTION_KEY=word passphrase", "SEED_PATH=/tmp/word.conf",
                            "CLEAN_INSTALL=no"),
            arrange=arrange, lines=BY_PROFILE, seed=seed.encode(),
            registered=(f"-reg-token={settings['reg-token']}",
                        f"-reg-service={settings['reg-service']}",
                        f"-seed-path={settings['seed-path']}", "-clean-up"),
            key=settings["encryption-key"], security=[FIND, DELETE, ADD])])


if __name__ == "__main__":
    unittest.main()
