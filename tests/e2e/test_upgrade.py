"""The whole upgrade, end to end: the real program under Wine against real
installations, real package folders and real installation folders."""
import os
import re
import time
import unittest
from datetime import datetime

from harness import (BUILD, FULL_MESSAGES, PROGRAM_FILES_X86, STAMP, UPGRADE, WineTestCase, drive, has_icon,
                     log_lines, standard_package, system_text, texts, visible_buttons, wine, winpath)

ERROR_FILE_NOT_FOUND = 2
ERROR_INVALID_DATA = 13
ERROR_SHARING_VIOLATION = 32
ERROR_MORE_DATA = 234
MB_SETFOREGROUND = 0x10000


class Upgrade(WineTestCase):
    def make_package(self, messages=None, upgrade=UPGRADE, **versions):
        return standard_package(self.root, messages, upgrade, **versions)

    def assertNotInstalledDialog(self, window, caption="Orvexa Update"):
        self.assertEqual(window["class"], "#32770")
        self.assertEqual(window["title"], caption)
        self.assertEqual(texts(window), [FULL_MESSAGES["ovnotinstalled"]])
        self.assertEqual(visible_buttons(window), ["OK", "Download Orvexa"])
        self.assertTrue(window["topmost"])
        self.assertEqual(window["owner"], "0x0")

    def assertRefusal(self, window, text, caption="Orvexa Update"):
        self.assertEqual(window["class"], "#32770")
        self.assertEqual(window["title"], caption)
        self.assertEqual(texts(window), [text] if text else [])
        self.assertEqual(visible_buttons(window), ["OK"])
        self.assertTrue(has_icon(window))
        self.assertTrue(window["foreground"])

    def assertConsentBox(self, window):
        self.assertEqual(window["class"], "#32770")
        self.assertEqual(window["title"], "Orvexa Update")
        self.assertEqual(texts(window), [FULL_MESSAGES["askuser"]])
        self.assertEqual(visible_buttons(window), ["OK", "Cancel"])
        self.assertEqual(window["owner"], "0x0")
        self.assertTrue(window["foreground"])

    # --- not installed -------------------------------------------------------

    def test_no_product_offers_the_download(self):
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:Download Orvexa", "exit"])
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertNotInstalledDialog(run.windows[0])
        self.assertEqual(package.links_opened(), 1, run.raw)
        self.assertFalse(os.path.exists(os.path.join(package.folder, "RIZezuvu.log")))

    def test_two_products_offer_the_download_and_log_nothing(self):
        first = self.install(folder="OrvexaA")
        second = self.install(folder="OrvexaB")
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertNotInstalledDialog(run.windows[0])
        self.assertEqual(package.links_opened(wait=0.5), 0)
        for folder in (first, second, PROGRAM_FILES_X86):
            self.assertFalse(os.path.exists(os.path.join(folder, "RIZezuvu.log")), folder)

    # --- failures before the log ---------------------------------------------

    def test_install_location_not_readable(self):
        self.install(location="long")
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertFailureReport(run.windows[0], system_text=system_text(ERROR_MORE_DATA))

    def test_log_held_by_another_process(self):
        install_dir = self.install()
        log = os.path.join(install_dir, "RIZezuvu.log")
        self.start_process(os.path.join(BUILD, "hold_file.exe"), winpath(log),
                           ready=lambda: os.path.exists(log))
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertFailureReport(run.windows[0], system_text=system_text(ERROR_SHARING_VIOLATION))
        self.assertEqual(os.path.getsize(log), 0)

    # --- refusals ------------------------------------------------------------

    def test_product_running(self):
        install_dir = self.install()
        self.start_process(os.path.join(install_dir, "Orvexa.exe"))
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertRefusal(run.windows[0], FULL_MESSAGES["ovrunning"])
        log = os.path.join(install_dir, "RIZezuvu.log")
        self.assertTrue(os.path.exists(log))
        self.assertEqual(os.path.getsize(log), 0)

    def test_missing_running_text_shows_the_shared_text_so_far(self):
        # Nothing was looked up into the shared text before on this path.
        install_dir = self.install()
        self.start_process(os.path.join(install_dir, "Orvexa.exe"))
        messages = dict(FULL_MESSAGES)
        del messages["ovrunning"]
        package = self.make_package(messages)
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertRefusal(run.windows[0], "")

    def test_version_range(self):
        install_dir = self.install(version="1.6.12")
        cases = [
            ("below the minimum", "1.6.00.13", "1.6.00.999", False),
            ("above the maximum", "1.6.00.1", "1.6.00.11", False),
            ("equal to the minimum", "1.6.00.12", "1.6.00.999", True),
            ("equal to the maximum", "1.6.00.1", "1.6.00.12", True),
            ("bound not of four fields", "1.7", "1.8", True),
        ]
        for name, minimum, maximum, passes in cases:
            with self.subTest(name):
                package = self.make_package(min_version=minimum, max_version=maximum)
                run = drive(package.exe, ["wait", "press:Cancel" if passes else "press:OK", "exit"])
                self.assertEqual(len(run.windows), 1, run.raw)
                if passes:
                    self.assertConsentBox(run.windows[0])
                else:
                    self.assertRefusal(run.windows[0], FULL_MESSAGES["versionerror"])
                self.assertEqual(os.path.getsize(os.path.join(install_dir, "RIZezuvu.log")), 0)

    def test_installed_version_not_of_four_fields_passes(self):
        self.install(version="1.6")
        package = self.make_package(min_version="1.6.00.13", max_version="1.6.00.14")
        run = drive(package.exe, ["wait", "press:Cancel", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertConsentBox(run.windows[0])

    def test_unreadable_installed_version_is_refused(self):
        # Windows Installer answers VersionString from the registration's
        # DisplayVersion: empty it, then remove it.
        self.install()
        products = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products"
        listing = wine("reg", "query", products, "/s", "/reg:64").stdout
        (key,) = [line.strip() for line in listing.splitlines()
                  if line.strip().endswith("\\InstallProperties") and self._is_orvexa(line.strip())]
        package = self.make_package(min_version="0.0.00.0", max_version="99.0.00.0")
        for change in (["reg", "add", key, "/v", "DisplayVersion", "/d", "", "/f", "/reg:64"],
                       ["reg", "delete", key, "/v", "DisplayVersion", "/f", "/reg:64"]):
            with self.subTest(change[1]):
                # Wine's reg.exe has now and then ended a delete with 1 and no
                # message; what matters is the state it leaves, so ask for that.
                changed = wine(*change, check=False)
                value = wine("reg", "query", key, "/v", "DisplayVersion", "/reg:64", check=False)
                if change[1] == "add":
                    self.assertEqual(changed.returncode, 0, changed.stdout + changed.stderr)
                else:
                    self.assertNotEqual(value.returncode, 0, changed.stdout + value.stdout)
                run = drive(package.exe, ["wait", "press:OK", "exit"])
                self.assertEqual(len(run.windows), 1, run.raw)
                self.assertRefusal(run.windows[0], FULL_MESSAGES["versionerror"])

    @staticmethod
    def _is_orvexa(key):
        return "Orvexa" in wine("reg", "query", key, "/v", "DisplayName", "/reg:64", check=False).stdout

    # --- consent -------------------------------------------------------------

    def test_missing_consent_text_is_a_logged_failure(self):
        install_dir = self.install()
        messages = dict(FULL_MESSAGES)
        del messages["askuser"]
        package = self.make_package(messages)
        run = drive(package.exe, ["wait", "press:OK", "exit"])
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertFailureReport(run.windows[0], see_log=True)
        text = system_text(ERROR_INVALID_DATA)
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log")),
                         ["System Error: " + text[:-2] + "\r", "", ""])

    def test_cancel_ends_without_status_or_log(self):
        install_dir = self.install()
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:Cancel", "exit"])
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(len(run.windows), 1, run.raw)
        self.assertConsentBox(run.windows[0])
        self.assertEqual(os.path.getsize(os.path.join(install_dir, "RIZezuvu.log")), 0)
        self.assertFalse(os.path.exists(os.path.join(install_dir, "common.dat")))

    # --- the copy ------------------------------------------------------------

    def test_copy_failure_is_reported_after_the_status_window(self):
        install_dir = self.install()
        os.rmdir(os.path.join(install_dir, "Skins"))
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"])
        self.assertEqual(run.returncode, 0, run.raw)
        consent, status, report = run.windows
        self.assertConsentBox(consent)
        self.assertEqual(texts(status), [FULL_MESSAGES["status"]])
        self.assertFailureReport(report, see_log=True)
        self.assertGreaterEqual(report["t"], run.gone()[0]["t"])
        text = system_text(ERROR_FILE_NOT_FOUND)
        skins = "C:\\Program Files (x86)\\Orvexa\\Skins"
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log")), [
            "Update tool 1.6.0.0 started.",
            f"Directory not found {skins}...",
            "",
            "System Error: " + text[:-2] + "\r",
            "",
            "",
        ])
        self.assertFalse(os.path.exists(os.path.join(install_dir, "common.dat")))

    def test_successful_upgrade(self):
        install_dir = self.install()
        for name in ("old.bin", "older.BIN"):
            with open(os.path.join(install_dir, name), "wb") as f:
                f.write(b"old firmware")
        with open(os.path.join(install_dir, "common.dat"), "wb") as f:
            f.write(b"common v1")
        os.chmod(os.path.join(install_dir, "common.dat"), 0o444)
        package = self.make_package()
        run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "sleep:2500",
                                  "press:Help", "exit"])
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.exit_code, 0)
        consent, status, success = run.windows
        self.assertConsentBox(consent)

        self.assertEqual(texts(status), [FULL_MESSAGES["status"]])
        self.assertTrue(has_icon(status))
        self.assertFalse(status["titlebar"])
        self.assertTrue(status["toolwindow"])
        self.assertCentred(status)
        # The pause lies between the press of OK and the window's end, so this
        # bound holds however late the driver notices either (the pause itself
        # is timed where it happens by upgrade_app_tests).
        press = [e for e in run.events if e.get("event") == "press"][0]
        self.assertGreaterEqual(run.gone()[0]["t"] - press["t"], 995)

        self.assertEqual(success["title"], "Orvexa Update")
        self.assertEqual(texts(success), [FULL_MESSAGES["ovinstallsuccess"]])
        self.assertEqual(visible_buttons(success), ["OK", "Help"])
        self.assertTrue(success["topmost"])
        self.assertCentred(success)
        self.assertEqual(package.links_opened(), 1, run.raw)

        def installed(*parts):
            with open(os.path.join(install_dir, *parts), "rb") as f:
                return f.read()
        self.assertEqual(installed("Skins", "default.skin"), b"skin v2")
        self.assertEqual(installed("common.dat"), b"common v2")
        self.assertEqual(installed("update.bin"), b"firmware v2")
        self.assertFalse(os.path.exists(os.path.join(install_dir, "old.bin")))
        self.assertFalse(os.path.exists(os.path.join(install_dir, "older.BIN")))
        self.assertFalse(os.path.exists(os.path.join(install_dir, "other.dat")))

        log = os.path.join(install_dir, "RIZezuvu.log")
        self.assertEqual(log_lines(log), [
            "Update tool 1.6.0.0 started.",
            "Updated file default.skin",
            "Updated file common.dat",
            "Updated file update.bin",
            "Update tool 1.6.0.0 finished.",
        ])
        # The completion line is written only after the success dialog was
        # kept open for 2.5 s: its stamp is at least 2 s after the copy's.
        with open(log, encoding="latin-1") as f:
            stamps = [datetime.strptime(STAMP.match(line).group(0), "%d, %B %Y, %H:%M:%S: ")
                      for line in f.read().splitlines()]
        self.assertGreaterEqual((stamps[-1] - stamps[-2]).total_seconds(), 2)

    def test_missing_texts_leave_caption_empty_and_reuse_the_shared_text(self):
        install_dir = self.install()
        messages = dict(FULL_MESSAGES)
        del messages["title"]
        del messages["ovinstallsuccess"]
        del messages["updatecomplete"]
        package = self.make_package(messages)
        run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"])
        consent, status, success = run.windows
        self.assertEqual(consent["title"], "")
        self.assertEqual(success["title"], "")
        # The shared text still holds the start line's text.
        self.assertEqual(texts(success), [FULL_MESSAGES["updatestart"]])
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log"))[-1], "Update tool 1.6.0.0 started.")


if __name__ == "__main__":
    unittest.main()
