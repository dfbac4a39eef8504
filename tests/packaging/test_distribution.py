"""packaging/macos/distribution.xml: the distribution package around what build-pkg builds."""
import os
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

PACKAGING = Path(os.environ.get("TALVO_PACKAGING",
                                Path(__file__).resolve().parents[2] / "packaging" / "macos"))
ROOT = ElementTree.parse(PACKAGING / "distribution.xml").getroot()


class DistributionTest(unittest.TestCase):
    def test_every_choice_is_outlined_and_installs_the_component_build_pkg_builds(self):
        build_pkg = (PACKAGING / "build-pkg").read_text()
        identifier = re.search(r"--identifier (\S+)", build_pkg)[1]
        component = re.search(r'"\$work/packages/([^"]+\.pkg)"', build_pkg)[1]
        refs = [(ref.get("id"), ref.text, ref.get("version")) for ref in ROOT.findall("pkg-ref")]
        self.assertEqual(refs, [(identifier, component, "@VERSION@")])
        choices = {choice.get("id"): {ref.get("id") for ref in choice.iter("pkg-ref")}
                   for choice in ROOT.findall("choice")}
        self.assertEqual(choices, {line.get("choice"): {identifier} for line in ROOT.iter("line")})
        # build-pkg runs only on a Mac.
        subprocess.run(["sh", "-n", PACKAGING / "build-pkg"], check=True)

    def test_installs_on_the_system_volume_of_supported_macs_only(self):
        self.assertEqual(ROOT.find("domains").attrib, {"enable_localSystem": "true",
                                                       "enable_currentUserHome": "false",
                                                       "enable_anywhere": "false"})
        self.assertEqual(ROOT.find("options").get("hostArchitectures"), "arm64,x86_64")
        self.assertEqual(ROOT.find("volume-check/allowed-os-versions/os-version").get("min"),
                         "13.5")


if __name__ == "__main__":
    unittest.main()
