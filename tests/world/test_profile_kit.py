"""The admins' example profile from profiles/, installed as an MDM server installs it, acts as the
kit describes: every key reaches the agent's setup, the seed file or the keychain, the profile
wins over the command line's words, and clean-up counts by its mere presence."""

import copy
import plistlib
from pathlib import Path

from talvo_world import SEED_FILE
from test_setup_e2e import CHECKING, INSTALLING_MDM, SetupTestCase

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


def seed_lines(entries):
    return [f"{key} = {value}" for key, value in entries.items()]


class ExampleProfileTest(SetupTestCase):
    def run_example(self, settings, *words, configured=False, user="root"):
        world = self.new_world()
        if configured:
            world.configure_agent()
        world.set_profile(settings)
        session = self.setup(world, *words, user=user)
        self.assertEqual(session.lines, [CHECKING, INSTALLING_MDM])
        self.assertEqual(session.status, 0, session.stdout)
        return world, session

    def assert_acted_on(self, world, session, settings):
        self.assert_registered(world, f"-reg-token={settings['reg-token']}",
                               f"-reg-service={settings['reg-service']}",
                               f"-seed-path={settings['seed-path']}", "-clean-up")
        self.assertCountEqual(world.read(SEED_FILE).decode().split("\n"),
                              seed_lines(settings["seed-config"]))
        self.assert_key(world, settings["encryption-key"])
        self.assert_daemons_started(world, session)
        self.assert_app_opened(session)

    def test_every_key_of_the_example_acts(self):
        settings = example_settings()
        self.assertEqual(set(settings), {"reg-token", "reg-service", "encryption-key",
                                         "seed-path", "seed-config", "clean-up"})
        for user in ("root", "501"):
            with self.subTest(user=user):
                world, session = self.run_example(settings, user=user)
                self.assert_acted_on(world, session, settings)

    def test_the_profile_wins_over_every_word(self):
        settings = example_settings()
        world, session = self.run_example(
            settings, "REG_TOKEN=word-token", "REG_SERVICE=https://word.example",
            "ENCRYPTION_KEY=word passphrase", "SEED_PATH=/tmp/word.conf", "CLEAN_INSTALL=no")
        self.assert_acted_on(world, session, settings)

    def test_clean_up_counts_by_presence_even_when_false(self):
        settings = copy.deepcopy(example_settings())
        settings["clean-up"] = False
        world, session = self.run_example(settings, configured=True)
        self.assertEqual(self.registrations(world)[0].argv[-1], "-clean-up")

    def test_without_clean_up_a_configured_agent_is_left_alone(self):
        settings = copy.deepcopy(example_settings())
        del settings["clean-up"]
        world = self.new_world()
        world.configure_agent()
        world.set_profile(settings)
        session = self.setup(world)
        self.assertEqual(session.lines, [CHECKING])
        self.assertEqual(session.status, 0)
        self.assert_not_registered(world)

    def test_without_seed_path_the_agent_reads_the_written_seed_file(self):
        settings = copy.deepcopy(example_settings())
        del settings["seed-path"]
        world, _ = self.run_example(settings)
        call = self.registrations(world)[0]
        self.assertIn(f"-seed-path={SEED_FILE}", call.argv)
        self.assertCountEqual(call.seed.decode().split("\n"), seed_lines(settings["seed-config"]))
