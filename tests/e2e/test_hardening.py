"""The elevated program can't be turned against its user: DLLs planted beside
it are never loaded, and a hostile configuration can't make it write or read
outside its folders."""
import os
import shutil

from harness import (BUILD, LINK_WAIT, PREFIX, WineTestCase, drive, log_lines, marker_lines, snapshot,
                     standard_package, system_text, texts)

PLANTED = ["msi", "uxtheme", "dwmapi", "cryptbase", "profapi", "userenv", "winmm"]
SUCCESS_STEPS = ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"]


def native_first(names):
    """The environment with Wine told to prefer a DLL of these names found on
    the search path over its own (as Windows does for any DLL that is not a
    KnownDLL)."""
    env = dict(os.environ)
    overrides = env.get("WINEDLLOVERRIDES", "")
    env["WINEDLLOVERRIDES"] = ";".join(filter(None, [overrides, ",".join(names) + "=n,b"]))
    return env


class PlantedDlls(WineTestCase):
    def plant(self, package, names):
        for name in names:
            shutil.copyfile(os.path.join(BUILD, "planted_dll.dll"), os.path.join(package.folder, name + ".dll"))
        return [os.path.join(package.folder, name + ".dll.loaded") for name in names]

    def test_planted_dlls_are_never_loaded(self):
        install_dir = self.install()
        package = standard_package(self.root)
        markers = self.plant(package, PLANTED)
        run = drive(package.exe, SUCCESS_STEPS, env=native_first(PLANTED), timeout=60)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.exit_code, 0, run.raw)
        self.assertEqual(texts(run.windows[2]), ["The update is complete."])
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log"))[-1], "Update tool 1.6.0.0 finished.")
        self.assertEqual([m for m in markers if os.path.exists(m)], [])

    def test_version_dll_is_wines_own_exception(self):
        # Wine 8's own user32 imports version.dll (Windows' doesn't), so Wine
        # resolves it while the process starts, before any code of the
        # program runs. The image's DependentLoadFlags ask for System32 only;
        # Wine 8 does not honour them, and this test says so (and fails once
        # a Wine that does arrives, so that the README can be brought up to
        # date). It also shows that the marker DLL works when it is loaded.
        self.install()
        package = standard_package(self.root)
        (marker,) = self.plant(package, ["version"])
        run = drive(package.exe, SUCCESS_STEPS, env=native_first(["version"]), timeout=60)
        loaded = os.path.exists(marker)
        print(f"\n    version.dll planted beside the program: {'loaded' if loaded else 'not loaded'} by Wine"
              f" (DependentLoadFlags {'not honoured' if loaded else 'honoured'})", flush=True)
        self.assertEqual(run.exit_code, 0, run.raw)
        self.assertTrue(loaded, "Wine now honours DependentLoadFlags: update the README's note")


class HostileConfiguration(WineTestCase):
    def test_nothing_outside_the_installation_changes(self):
        install_dir = self.installation.add()
        drive_c = os.path.join(PREFIX, "drive_c")
        volatile = ("users" + os.sep, "windows" + os.sep + "temp")

        def skip(relative):
            return relative.lower().startswith(volatile)

        before = snapshot(drive_c, skip)
        package = standard_package(self.root, upgrade="""<Upgrade><Product id='000000'>
            <Group dir=''><File name='common.dat'/></Group>
            <Group dir='..\\..\\windows'><File name='common.dat'/></Group>
          </Product></Upgrade>""")
        with open(os.path.join(self.root, "stolen.dat"), "wb") as f:
            f.write(b"outside the package")
        for upgrade in (None, """<Upgrade><Product id='000000'>
            <Group dir=''><File name='..\\stolen.dat'/></Group></Product></Upgrade>""",
                        """<Upgrade><Product id='000000'>
            <Group dir='C:\\windows'><File name='common.dat'/></Group></Product></Upgrade>"""):
            if upgrade is not None:
                package = standard_package(self.root, upgrade=upgrade)
            run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"], timeout=60)
            self.assertEqual(run.exit_code, 1603, run.raw)
            self.assertFailureReport(run.windows[2], see_log=True)
            self.assertIn("System Error: " + system_text(13)[:-2] + "\r", log_lines(os.path.join(install_dir, "RIZezuvu.log")))
        self.assertEqual(snapshot(drive_c, skip), before)


class Links(WineTestCase):
    def test_a_link_is_opened_by_the_desktop_shell_not_by_the_program(self):
        # An elevated program would start the browser elevated; the desktop's
        # shell starts it at the user's level.
        package = standard_package(self.root)
        run = drive(package.exe, ["wait", "press:Download Orvexa", "exit"])
        self.assertEqual(run.exit_code, 1605, run.raw)
        lines = marker_lines(package.marker, LINK_WAIT)
        self.assertEqual(len(lines), 1, (lines, run.raw))
        self.assertTrue(lines[0].lower().endswith(" by explorer.exe\r\n"), lines)
