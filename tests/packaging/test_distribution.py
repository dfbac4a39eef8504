"""The distribution package's description: well-formed, and naming what build-pkg builds."""
import os
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

PACKAGING = os.environ.get(
    "TALVO_PACKAGING", os.path.join(os.path.dirname(__file__), "..", "..", "packaging", "macos"))


def read(name):
    with open(os.path.join(PACKAGING, name), encoding="utf-8") as file:
        return file.read()


class DistributionTest(unittest.TestCase):
    def setUp(self):
        self.root = ElementTree.fromstring(read("distribution.xml").encode("utf-8"))
        self.build_pkg = read("build-pkg")

    def test_names_the_component_package_build_pkg_builds(self):
        identifier = re.search(r"--identifier (\S+)", self.build_pkg).group(1)
        component = re.search(r'"\$work/packages/([^"]+\.pkg)"', self.build_pkg).group(1)
        references = self.root.findall("pkg-ref")
        files = [ref for ref in references if (ref.text or "").strip()]
        self.assertEqual([(ref.get("id"), ref.text.strip()) for ref in files],
                         [(identifier, component)])
        self.assertEqual(files[0].get("version"), "@VERSION@")

    def test_every_choice_is_outlined_and_installs_the_package(self):
        outlined = {line.get("choice") for line in self.root.iter("line")}
        choices = {choice.get("id"): choice for choice in self.root.findall("choice")}
        self.assertEqual(outlined, set(choices))
        installed = {ref.get("id") for choice in choices.values() for ref in choice.iter("pkg-ref")}
        self.assertEqual(installed, {ref.get("id") for ref in self.root.findall("pkg-ref")})

    def test_installs_on_the_system_volume_of_supported_macs_only(self):
        self.assertEqual(self.root.tag, "installer-gui-script")
        domains = self.root.find("domains")
        self.assertEqual((domains.get("enable_localSystem"), domains.get("enable_currentUserHome"),
                          domains.get("enable_anywhere")), ("true", "false", "false"))
        self.assertEqual(self.root.find("options").get("hostArchitectures"), "arm64,x86_64")
        self.assertEqual(self.root.find("volume-check/allowed-os-versions/os-version").get("min"),
                         "13.5")

    def test_scripts_are_posix_shell(self):
        for name in ("build-pkg", "postinstall"):
            with self.subTest(name):
                subprocess.run(["sh", "-n", os.path.join(PACKAGING, name)], check=True)


if __name__ == "__main__":
    unittest.main()
