"""Start-up of the real program: finding and loading OVConfig.xml, and the
failure report when it can't."""
import os
import unittest

from harness import (FULL_MESSAGES, Package, WineTestCase, config_xml, drive, system_text, texts,
                     visible_buttons)

ERROR_FILE_NOT_FOUND = 2
ERROR_INVALID_DATA = 13
ERROR_NO_UNICODE_TRANSLATION = 1113


class StartUp(WineTestCase):
    def run_package(self, package, cwd=None):
        return drive(package.exe, ["wait", "sleep:300", "press:OK", "exit"], cwd=cwd or package.folder)

    def assertNoLogAnywhere(self, package):
        for folder in (package.folder, self.root, os.path.join(os.environ["WINEPREFIX"], "drive_c")):
            self.assertFalse(os.path.exists(os.path.join(folder, "RIZezuvu.log")), folder)

    def test_a_folder_the_code_page_cant_hold_names_the_real_cause(self):
        # The prefix's ANSI code page is 1252: it holds no Chinese.
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES))
        folder = os.path.join(self.root, "\u66f4\u65b0")
        os.rename(package.folder, folder)
        exe = os.path.join(folder, "RIZezuvu.exe")
        run = drive(exe, ["wait", "sleep:300", "press:OK", "exit"], cwd=folder)
        self.assertEqual(run.exit_code, 1603, run.raw)
        (report,) = run.windows
        self.assertFailureReport(report, system_text=system_text(ERROR_NO_UNICODE_TRANSLATION))
        quiet = drive(exe, ["exit"], cwd=folder, args="/quiet")
        self.assertEqual((quiet.windows, quiet.exit_code), ([], 1603), quiet.raw)

    def test_missing_configuration_from_another_working_folder(self):
        package = Package(self.root)
        elsewhere = os.path.join(self.root, "elsewhere")
        os.makedirs(elsewhere)
        # A valid configuration in the working folder must not be used.
        with open(os.path.join(elsewhere, "OVConfig.xml"), "w") as f:
            f.write(config_xml(FULL_MESSAGES))
        run = self.run_package(package, cwd=elsewhere)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertFailureReport(run.windows[0], system_text=system_text(ERROR_FILE_NOT_FOUND))
        self.assertEqual(run.exit_code, 1603)  # ERROR_INSTALL_FAILURE
        self.assertNoLogAnywhere(package)
        self.assertFalse(os.path.exists(os.path.join(elsewhere, "RIZezuvu.log")))

    def test_unusable_configurations(self):
        cases = {
            "malformed": "<OVConfig><Version min='1'></OVConfig>",
            "without Version": config_xml(FULL_MESSAGES, min_version=None),
            "without messages": "<OVConfig><Version min='1' max='2'/><Messages><Message/></Messages></OVConfig>",
            # Past the limits that guard the parser: shown at once, not a
            # crash (deep nesting) or a stall (many attributes).
            "nested 10000 deep": config_xml(FULL_MESSAGES, "<x>" * 10000 + "</x>" * 10000),
            "160000 attributes": config_xml(FULL_MESSAGES, "<x " + " ".join(f"a{i}='v'" for i in range(160000)) + "/>"),
            "over 1 MiB": config_xml(FULL_MESSAGES, "<!--" + "c" * (1 << 20) + "-->"),
        }
        for name, text in cases.items():
            with self.subTest(name):
                package = Package(os.path.join(self.root, name.replace(" ", "_")))
                package.write_config(text)
                run = self.run_package(package)
                self.assertEqual(run.returncode, 0, run.raw)
                self.assertEqual(len(run.windows), 1, run.raw)
                self.assertFailureReport(run.windows[0], system_text=system_text(ERROR_INVALID_DATA))
                self.assertNoLogAnywhere(package)

    def test_valid_configuration_goes_on_to_the_product_search(self):
        # No product is installed: the program gets past loading and shows the
        # not-installed dialog, not the failure report.
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES))
        run = drive(package.exe, ["wait", "press:OK", "exit"], cwd=self.root)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertEqual(run.windows[0]["title"], "Orvexa Update")
        self.assertEqual(texts(run.windows[0]), [FULL_MESSAGES["ovnotinstalled"]])
        self.assertEqual(visible_buttons(run.windows[0]), ["OK", "Download Orvexa"])
        self.assertNoLogAnywhere(package)


if __name__ == "__main__":
    unittest.main()
