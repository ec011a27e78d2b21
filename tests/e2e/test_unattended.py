"""Unattended runs, end to end: every outcome's exit code with and without
/quiet, no window at all under /quiet, only the status window under
/passive, the /log copy of the log, the restart switches, Windows
Installer's spellings, and a bad command line that shows nothing when no
window may be shown."""
import os
import subprocess

from harness import (WINE, FULL_MESSAGES, WineTestCase, drive, log_lines, snapshot, standard_package, system_text,
                     texts, visible_buttons, winpath)

UPDATED, DECLINED, FAILED, NOT_INSTALLED, RUNNING, BAD_COMMAND_LINE, VERSION = 0, 1602, 1603, 1605, 1618, 1639, 1642
LOG_FAILURE = 1622  # ERROR_INSTALL_LOG_FAILURE
ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED = 3, 5


class Unattended(WineTestCase):
    def run_quiet(self, package, args="/quiet"):
        """A quiet run through the driver, which reports any window it sees."""
        run = drive(package.exe, ["exit"], args=args, timeout=60)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.windows, [], run.raw)
        return run.exit_code

    def test_every_outcome_has_its_exit_code(self):
        # (name, set-up, the steps of an interactive run, expected code)
        def nothing():
            return standard_package(self.root)

        def running():
            install_dir = self.install()
            self.start_process(os.path.join(install_dir, "Orvexa.exe"))
            return standard_package(self.root)

        def old_version():
            self.install()
            return standard_package(self.root, min_version="1.6.00.13")

        def missing_source():
            self.install()
            package = standard_package(self.root)
            os.remove(os.path.join(package.folder, "common.dat"))
            return package

        def good():
            self.install()
            return standard_package(self.root)

        copy_steps = ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"]
        cases = [
            ("not installed", nothing, ["wait", "press:OK", "exit"], NOT_INSTALLED),
            ("running", running, ["wait", "press:OK", "exit"], RUNNING),
            ("version out of range", old_version, ["wait", "press:OK", "exit"], VERSION),
            ("copy fails and is rolled back", missing_source, copy_steps, FAILED),
            ("updated", good, copy_steps, UPDATED),
        ]
        for name, set_up, steps, code in cases:
            for quiet in (False, True):
                with self.subTest(name, quiet=quiet):
                    self.start_afresh()
                    package = set_up()
                    if quiet:
                        self.assertEqual(self.run_quiet(package), code)
                        log = os.path.join(self.installation.folders()[0], "RIZezuvu.log") \
                            if self.installation.folders() else None
                        if log and os.path.getsize(log) > 0:
                            self.assertTrue(log_lines(log)[-1].endswith(f"(exit code {code})"), log_lines(log))
                    else:
                        run = drive(package.exe, steps, timeout=60)
                        self.assertEqual(run.returncode, 0, run.raw)
                        self.assertEqual(run.exit_code, code)

    def test_declining_and_the_command_line(self):
        self.install()
        package = standard_package(self.root)
        run = drive(package.exe, ["wait", "press:Cancel", "exit"])
        self.assertEqual(run.exit_code, DECLINED)

        run = drive(package.exe, ["wait", "press:OK", "exit"], args="/bogus")
        (usage,) = run.windows
        self.assertEqual(usage["title"], "Orvexa Upgrade")
        self.assertTrue(texts(usage)[0].startswith("Unknown argument: /bogus"), texts(usage))
        self.assertEqual(run.exit_code, BAD_COMMAND_LINE)
        self.assertEqual(self.run_quiet(package, "/bogus /q"), BAD_COMMAND_LINE)

        run = drive(package.exe, ["wait", "press:OK", "exit"], args="/?")
        self.assertIn("/quiet", texts(run.windows[0])[0])
        self.assertEqual(run.exit_code, UPDATED)
        self.assertEqual(self.run_quiet(package, "-HELP /Q"), UPDATED)

    def test_a_switch_is_never_the_log_path_and_the_log_is_never_a_file_of_the_update(self):
        install_dir = self.install()
        package = standard_package(self.root)
        before = snapshot(install_dir)
        # "/log /quiet": /log lacks its path, and the run is quiet all the same.
        self.assertEqual(self.run_quiet(package, "/log /quiet"), BAD_COMMAND_LINE)
        run = drive(package.exe, ["wait", "press:OK", "exit"], args="/log")
        self.assertTrue(texts(run.windows[0])[0].startswith("Unknown argument: /log"), texts(run.windows[0]))
        self.assertEqual(run.exit_code, BAD_COMMAND_LINE)
        self.assertFalse(os.path.exists(os.path.join(package.folder, "-quiet")))
        # The installation's own log, and a file the update replaces (under
        # any spelling): refused before anything is touched.
        windows_dir = "C:\\Program Files (x86)\\Orvexa"
        for target in (f"{windows_dir}\\RIZezuvu.log", f"{windows_dir}\\COMMON.DAT",
                       f"{windows_dir}\\Skins\\..\\common.dat"):
            with self.subTest(target):
                self.assertEqual(self.run_quiet(package, f'/quiet "/log:{target}"'), BAD_COMMAND_LINE)
                self.assertEqual(snapshot(install_dir), before)
        run = drive(package.exe, ["wait", "press:OK", "exit"], args=f'"/log:{windows_dir}\\common.dat"')
        self.assertTrue(texts(run.windows[0])[0].startswith("The /log file is one that the update writes"),
                        texts(run.windows[0]))
        self.assertEqual(run.exit_code, BAD_COMMAND_LINE)
        self.assertEqual(snapshot(install_dir), before)

    def test_exit_code_without_the_driver(self):
        # As a deployment script sees it: start /wait, then %ERRORLEVEL%.
        package = standard_package(self.root)
        result = subprocess.run([WINE, "cmd", "/c", f"start /wait {winpath(package.exe)} /quiet & echo %ERRORLEVEL%"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=60)
        self.assertEqual(result.stdout.strip().splitlines()[-1], str(NOT_INSTALLED))

    def test_passive_shows_only_the_status_window(self):
        install_dir = self.install()
        package = standard_package(self.root)
        run = drive(package.exe, ["wait", "gone", "exit"], args="/passive", timeout=60)
        self.assertEqual(run.returncode, 0, run.raw)
        (status,) = run.windows
        self.assertEqual(texts(status), [FULL_MESSAGES["status"]])
        self.assertEqual(visible_buttons(status), [])
        self.assertEqual(run.exit_code, UPDATED)
        with open(os.path.join(install_dir, "common.dat"), "rb") as f:
            self.assertEqual(f.read(), b"common v2")

    def test_the_log_copy_gets_every_line(self):
        install_dir = self.install()
        package = standard_package(self.root)
        copy = os.path.join(self.root, "collected.log")
        self.assertEqual(self.run_quiet(package, f"/quiet /log:{winpath(copy)}"), UPDATED)
        lines = log_lines(os.path.join(install_dir, "RIZezuvu.log"))
        self.assertEqual(lines, self.UPDATED_LINES)
        self.assertEqual(log_lines(copy), lines)

        # With no installation there is no installation log; the copy still
        # tells the outcome (and the /log PATH form appends to it).
        self.installation.remove_all()
        self.assertEqual(self.run_quiet(package, f"/q /log \"{winpath(copy)}\""), NOT_INSTALLED)
        self.assertEqual(log_lines(copy)[len(lines):], [
            "Outcome: Orvexa is not installed, or installed more than once (exit code 1605)"])

    def test_a_log_file_that_cant_be_opened_ends_with_1622_before_anything_changes(self):
        install_dir = self.install()
        package = standard_package(self.root)
        a_folder = os.path.join(self.root, "a folder")
        os.makedirs(a_folder)
        before = snapshot(install_dir)
        # (name, the /log path, the system's code for the failed open)
        cases = [
            ("its folder is missing", os.path.join(self.root, "no such folder", "x.log"), ERROR_PATH_NOT_FOUND),
            ("the path is a folder", a_folder, ERROR_ACCESS_DENIED),
        ]
        for name, path, code in cases:
            for quiet in (True, False):
                with self.subTest(name, quiet=quiet):
                    if quiet:
                        self.assertEqual(self.run_quiet(package, f'/quiet "/log:{winpath(path)}"'), LOG_FAILURE)
                    else:
                        run = drive(package.exe, ["wait", "press:OK", "exit"], args=f'"/log:{winpath(path)}"')
                        self.assertEqual(run.exit_code, LOG_FAILURE, run.raw)
                        # The failure report, and nothing before it: no consent was asked.
                        (report,) = run.windows
                        self.assertFailureReport(report, system_text=system_text(code))
                    self.assertEqual(snapshot(install_dir), before)
                    self.assertFalse(os.path.exists(os.path.join(install_dir, "RIZezuvu.log")))
                    self.assertFalse(os.path.exists(os.path.dirname(cases[0][1])))
                    self.assertEqual(os.listdir(a_folder), [])

    # The lines of one successful run of the usual package.
    UPDATED_LINES = [
        "Update tool 1.6.0.0 started.",
        "Updated file default.skin",
        "Updated file common.dat",
        "Updated file update.bin",
        "Update tool 1.6.0.0 finished.",
        "Outcome: updated (exit code 0)",
    ]

    def test_restart_switches_are_taken_and_logged_once_the_log_is_open(self):
        install_dir = self.install()
        package = standard_package(self.root)
        log = os.path.join(install_dir, "RIZezuvu.log")
        cases = [
            ("/norestart", "Restart: /norestart given; the computer will not be restarted."),
            ("-PromptRestart", "Restart: /promptrestart given; the user would be asked before a restart."),
            ("/FORCERESTART", "Restart: /forcerestart given, but nothing needs a restart; the computer will "
                              "not be restarted."),
        ]
        for switch, line in cases:
            with self.subTest(switch):
                before = len(log_lines(log)) if os.path.exists(log) else 0
                self.assertEqual(self.run_quiet(package, f"/quiet {switch}"), UPDATED)
                self.assertEqual(log_lines(log)[before:], [line] + self.UPDATED_LINES)

    def test_windows_installer_spellings(self):
        install_dir = self.install()
        package = standard_package(self.root)
        with open(os.path.join(install_dir, "common.dat"), "wb") as f:
            f.write(b"common v1")
        # /qn is /quiet: no window at all.
        self.assertEqual(self.run_quiet(package, "/qn /norestart"), UPDATED)
        with open(os.path.join(install_dir, "common.dat"), "rb") as f:
            self.assertEqual(f.read(), b"common v2")
        # /qb is /passive: the status window and nothing else.
        run = drive(package.exe, ["wait", "gone", "exit"], args="/qb", timeout=60)
        self.assertEqual(run.returncode, 0, run.raw)
        (status,) = run.windows
        self.assertEqual(texts(status), [FULL_MESSAGES["status"]])
        self.assertEqual(run.exit_code, UPDATED)
        # /l*v PATH is /log PATH.
        copy = os.path.join(self.root, "verbose.log")
        self.assertEqual(self.run_quiet(package, f'/quiet /l*v "{winpath(copy)}"'), UPDATED)
        self.assertEqual(log_lines(copy), self.UPDATED_LINES)
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log"))[-len(self.UPDATED_LINES):],
                         self.UPDATED_LINES)

    def test_a_bad_command_line_shows_no_window_when_none_may_be_shown(self):
        install_dir = self.install()
        package = standard_package(self.root)
        before = snapshot(install_dir)
        # The driver would see the usage box, and wait for it to its time-out.
        for args in ("/passive /bogus", "/qb /norestart /qf", "/quiet /bogus"):
            with self.subTest(args):
                self.assertEqual(self.run_quiet(package, args), BAD_COMMAND_LINE)
        # The usage goes to the /log file, and to standard error.
        copy = os.path.join(self.root, "collected.log")
        self.assertEqual(self.run_quiet(package, f"/passive /bogus /l*v {winpath(copy)}"), BAD_COMMAND_LINE)
        lines = log_lines(copy)
        self.assertEqual(lines[0], "Unknown argument: /bogus")
        self.assertIn("  /passive (or /qb, /qb-, /qb!, /qr)   Only the progress window; no questions, no result box.",
                      lines)
        self.assertEqual(lines[-1], "Outcome: the command line was not understood (exit code 1639)")
        result = subprocess.run([WINE, package.exe, "/passive", "/bogus"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(result.returncode, BAD_COMMAND_LINE % 256)
        self.assertIn(b"Unknown argument: /bogus\r\n\r\nRIZezuvu updates", result.stderr)
        self.assertIn(b"1639 bad command line", result.stderr)
        # A /log file that the update writes gets nothing, on a bad command
        # line as on a good one; under /passive the refusal shows no box.
        windows_dir = "C:\\Program Files (x86)\\Orvexa"
        for args in (f'/passive /bogus "/log:{windows_dir}\\common.dat"',
                     f'/qb /l*v "{windows_dir}\\RIZezuvu.log" /bogus',
                     f'/passive "/log:{windows_dir}\\common.dat"'):
            with self.subTest(args):
                self.assertEqual(self.run_quiet(package, args), BAD_COMMAND_LINE)
                self.assertEqual(snapshot(install_dir), before)
        self.assertFalse(os.path.exists(os.path.join(install_dir, "RIZezuvu.log")))


class QuietLoading(WineTestCase):
    def test_a_quiet_run_loads_no_common_controls(self):
        # A quiet run shows no window: the common controls would only cost
        # its start. Wine's loader trace names every library as it is
        # loaded. Wine's own msi.dll imports the common controls, so they
        # come with it in every run: the program's own load is the one
        # before msi.dll's imports start (cabinet.dll is the first of them).
        install_dir = self.install()
        package = standard_package(self.root)
        environment = dict(os.environ, WINEDEBUG="+loaddll")
        loads = {}
        for args in ("/quiet", "/passive"):
            result = subprocess.run([WINE, package.exe, args], env=environment, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, text=True, errors="replace", timeout=120)
            self.assertEqual(result.returncode, UPDATED, result.stderr[-2000:])
            loaded = [line.lower() for line in result.stderr.splitlines() if "build_module loaded" in line.lower()]
            names = [line.split("\\\\")[-1].split('"')[0] for line in loaded]
            self.assertIn("msi.dll", names, loaded)
            self.assertIn("cabinet.dll", names, loaded)
            loads[args] = names
        with open(os.path.join(install_dir, "common.dat"), "rb") as f:
            self.assertEqual(f.read(), b"common v2")
        quiet, passive = loads["/quiet"], loads["/passive"]
        self.assertNotIn("comctl32.dll", quiet[:quiet.index("cabinet.dll")], quiet)
        self.assertIn("comctl32.dll", passive[:passive.index("cabinet.dll")], passive)
