"""Sealed packages, end to end: `ovpack seal` fixes the package's files into
its RIZezuvu.exe; the program installs such a package as any other, refuses
one whose files changed since (before the consent, nothing touched), rolls
back a file that changes after that check without its bytes ever lying
under the file's real name, and, built for release, runs only sealed."""
import os
import shutil
import threading
import time
import unittest

from harness import (BUILD, WineTestCase, drive, log_lines, snapshot, standard_package, system_text, wine,
                     winpath)

ERROR_INVALID_DATA = 13
UPDATED, FAILED = 0, 1603
# The build's program made with RIZEZUVU_RELEASE.
RELEASE = "RIZezuvu-release.exe"
SEALED_SINCE = "is not the file this package was sealed with"
MISSING = "is missing from the package"


class SealedPackage(WineTestCase):
    def seal(self, package):
        sealed = wine(os.path.join(BUILD, "ovpack.exe"), "seal", winpath(package.folder), check=False)
        self.assertEqual(sealed.returncode, 0, sealed.stdout + sealed.stderr)
        self.assertTrue(os.path.exists(os.path.join(package.folder, "OVManifest.txt")))
        return package

    def sealed_package(self, exe_name="RIZezuvu.exe"):
        return self.seal(standard_package(self.root, exe_name=exe_name))

    def update(self, package, args=None):
        return drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"],
                     args=args, timeout=90)

    def test_a_sealed_package_installs_as_before_twice(self):
        install_dir = self.install()
        package = self.sealed_package()
        for attempt in (1, 2):
            with self.subTest(attempt=attempt):
                run = self.update(package)
                self.assertEqual(run.exit_code, 0, run.raw)
                self.assertEqual(len(run.windows), 3, run.raw)
                with open(os.path.join(install_dir, "update.bin"), "rb") as f:
                    self.assertEqual(f.read(), b"firmware v2")
                with open(os.path.join(install_dir, "Skins", "default.skin"), "rb") as f:
                    self.assertEqual(f.read(), b"skin v2")
                # The run logs what an unsealed one does: nothing of the seal.
                self.assertFalse([line for line in log_lines(os.path.join(install_dir, "RIZezuvu.log"))
                                  if line.startswith("Package seal")])

    def test_changed_files_are_refused_before_the_consent_with_nothing_changed(self):
        def change_byte(relative):
            def change(folder):
                path = os.path.join(folder, *relative.split("\\"))
                with open(path, "r+b") as f:
                    first = f.read(1)
                    f.seek(0)
                    f.write(bytes([first[0] ^ 1]))
            return change

        def remove(relative):
            return lambda folder: os.remove(os.path.join(folder, *relative.split("\\")))

        # Whatever does not match the seal is refused with ERROR_INVALID_DATA.
        cases = [
            # name, change, the file the /log copy names, what its line says,
            # whether the installation's log is open by then
            ("a payload byte", change_byte("common.dat"), "common.dat", SEALED_SINCE, True),
            ("a payload file of another folder", change_byte("Firmware\\123456\\update.bin"),
             "Firmware\\123456\\update.bin", SEALED_SINCE, True),
            ("OVConfig.xml", change_byte("OVConfig.xml"), "OVConfig.xml", SEALED_SINCE, False),
            ("the manifest", change_byte("OVManifest.txt"), "OVManifest.txt", SEALED_SINCE, False),
            ("a sealed file removed", remove("common.dat"), "common.dat", MISSING, True),
            ("a sealed file's folder removed",
             lambda folder: shutil.rmtree(os.path.join(folder, "Firmware", "123456")),
             "Firmware\\123456\\update.bin", MISSING, True),
            ("the manifest removed", remove("OVManifest.txt"), "OVManifest.txt", MISSING, False),
        ]
        install_dir = self.install()
        before = snapshot(install_dir)
        invalid_data = system_text(ERROR_INVALID_DATA)
        for name, change, named, says, installation_log in cases:
            with self.subTest(name):
                shutil.rmtree(os.path.join(self.root, "package"), ignore_errors=True)
                package = self.sealed_package()
                change(package.folder)
                extra_log = os.path.join(self.root, "extra.log")
                if os.path.exists(extra_log):
                    os.remove(extra_log)
                run = drive(package.exe, ["wait", "press:OK", "exit"], args=f'"/log:{winpath(extra_log)}"')
                self.assertEqual(run.exit_code, FAILED, run.raw)
                # One window, the failure report: the user is never asked.
                self.assertEqual(len(run.windows), 1, run.raw)
                if installation_log:
                    self.assertFailureReport(run.windows[0], see_log=True)
                else:
                    self.assertFailureReport(run.windows[0], system_text=invalid_data)
                self.assertEqual(snapshot(install_dir), before)
                lines = log_lines(extra_log)
                seal_lines = [line for line in lines if line.startswith("Package seal: ")]
                self.assertEqual(seal_lines, [f"Package seal: {named} {says}"], lines)
                self.assertIn("System Error: " + invalid_data[:-2] + "\r", lines)
                if installation_log:
                    self.assertIn(seal_lines[0], log_lines(os.path.join(install_dir, "RIZezuvu.log")))

    def test_a_file_changed_after_the_check_is_rolled_back(self):
        # (the package file changed, how the copy writes it)
        cases = [
            ("Firmware\\123456\\update.bin", "copied into the journal, then put in place"),
            ("common.dat", "an existing file: copied into the journal, then put in place"),
        ]
        install_dir = self.install()
        with open(os.path.join(install_dir, "update.bin"), "wb") as f:
            f.write(b"firmware v1")
        with open(os.path.join(install_dir, "common.dat"), "wb") as f:
            f.write(b"common v1")
        before = snapshot(install_dir)
        for name, how in cases:
            with self.subTest(name, how=how):
                shutil.rmtree(os.path.join(self.root, "package"), ignore_errors=True)
                log = os.path.join(install_dir, "RIZezuvu.log")
                if os.path.exists(log):
                    os.remove(log)
                package = self.sealed_package()
                swapped = os.path.join(self.root, "swapped.bin")
                with open(swapped, "wb") as f:
                    f.write(b"changed after the check")
                target = os.path.join(package.folder, *name.split("\\"))
                # The package checks out before the consent; while the
                # consent box waits, a file of the copy is changed.
                run = drive(package.exe, ["wait", f"copy:{winpath(swapped)}|{winpath(target)}", "press:OK",
                                          "wait", "gone", "wait", "press:OK", "exit"], timeout=90)
                self.assertEqual(run.exit_code, FAILED, run.raw)
                self.assertEqual(run.windows[0]["title"], "Orvexa Update")  # the consent box came
                self.assertEqual(snapshot(install_dir), before)
                lines = log_lines(log)
                self.assertIn(f"Package seal: {name} {SEALED_SINCE}", lines)
                rolled_back = lines.index("Rollback complete: the installation is as it was before the update.")
                self.assertEqual(lines[rolled_back + 1],
                                 "System Error: " + system_text(ERROR_INVALID_DATA)[:-2] + "\r")

    def test_a_file_changed_during_the_copy_never_lies_under_its_final_name(self):
        # While a large file early in the order copies, a later file of the
        # package is changed. Watched from outside for the whole run, the
        # later file's final name holds its old bytes, the sealed ones or
        # nothing, never others: each payload file is checked against the
        # seal before it is put in place. The run ends 1603, the
        # installation as it was.
        # (the package file changed, its name in the log, its old bytes in the installation)
        cases = [
            ("added.dat", "added.dat", None),
            ("Firmware\\123456\\update.bin", "update.bin", b"firmware v1"),  # added after the purge
            ("readonly.dat", "readonly.dat", b"read-only v1"),
            ("replaced.dat", "replaced.dat", b"replaced v1"),  # by a complete copy made in the journal
        ]
        for name, final, old in cases:
            with self.subTest(name):
                # A file changed too late (its copy had begun) proves nothing:
                # that run is made again, at most twice more.
                for _ in range(3):
                    self.start_afresh()
                    if self.copy_with_a_file_changed_midway(name, final, old):
                        break
                else:
                    self.fail(f"{name} was never changed before its copy began")

    def copy_with_a_file_changed_midway(self, name, final, old):
        """One run of the case above; false when the change came too late."""
        large, size = 256 << 20, 48 << 20

        def content(text):
            line = text.encode() + b"\n"
            return (line * (size // len(line) + 1))[:size]

        install_dir = self.install()
        for other, bytes_ in (("update.bin", b"firmware v1"), ("readonly.dat", b"read-only v1"),
                              ("replaced.dat", b"replaced v1")):
            with open(os.path.join(install_dir, other), "wb") as f:
                f.write(bytes_)
        os.chmod(os.path.join(install_dir, "readonly.dat"), 0o444)
        before = snapshot(install_dir)
        package = standard_package(self.root, upgrade="""<Upgrade>
            <Product id='000000'><Group dir=''>
              <File name='large.dat'/><File name='added.dat'/><File name='readonly.dat'/>
              <File name='replaced.dat'/>
            </Group></Product>
            <Product id='123456'><Firmware dir=''><File name='Firmware\\123456\\update.bin'/></Firmware></Product>
          </Upgrade>""")
        with open(os.path.join(package.folder, "large.dat"), "wb") as f:
            f.truncate(large)
        for payload in ("added.dat", "readonly.dat", "replaced.dat", "Firmware\\123456\\update.bin"):
            package.add_file(payload, content(payload + " as sealed"))
        self.seal(package)
        source = os.path.join(package.folder, *name.split("\\"))
        changed = os.path.join(self.root, "changed")
        with open(changed, "wb") as f:
            f.write(content(name + " changed during the copy"))

        target = os.path.join(install_dir, final)
        allowed = {content(name + " as sealed")} | ({old} if old else set())
        wrong = []

        def look():
            try:
                with open(target, "rb") as f:
                    seen = f.read()
            except FileNotFoundError:
                return
            if seen not in allowed and len(wrong) < 5:
                wrong.append((len(seen), seen[:40]))

        log = os.path.join(install_dir, "RIZezuvu.log")

        def logged(text):
            try:
                with open(log, "rb") as f:
                    return (": " + text + "\r\n").encode() in f.read()
            except FileNotFoundError:
                return False

        runs = []
        runner = threading.Thread(
            target=lambda: runs.append(drive(package.exe, ["exit"], args="/quiet", timeout=180)))
        runner.start()
        in_time = None
        while runner.is_alive():
            look()
            if in_time is None and logged("Updated file large.dat"):
                # The large file's copy has begun, the changed file's not yet
                # (each file's line comes before its copy): change it now,
                # then make sure its copy had still not begun.
                in_time = not logged(f"Updated file {final}")
                if in_time:
                    os.replace(changed, source)
                    in_time = not logged(f"Updated file {final}")
            time.sleep(0.002)
        runner.join()
        look()
        (run,) = runs
        self.assertIsNotNone(in_time, "the copy of large.dat was never seen to begin: " + run.raw)
        if not in_time:
            return False
        self.assertEqual(run.exit_code, FAILED, run.raw)
        self.assertEqual(wrong, [], f"{final} held bytes that are neither its old nor the sealed ones (size, first bytes)")
        self.assertEqual(snapshot(install_dir), before)
        self.assertIn(f"Package seal: {name} {SEALED_SINCE}", log_lines(log))
        return True

    def test_a_release_build_runs_only_a_sealed_package(self):
        # RIZezuvu-release.exe is the program built with RIZEZUVU_RELEASE. It
        # refuses a package it was not sealed for before it reads any of
        # it: without an OVConfig.xml the reason is still the seal.
        def remove_config(folder):
            os.remove(os.path.join(folder, "OVConfig.xml"))

        install_dir = self.install()
        before = snapshot(install_dir)
        invalid_data = system_text(ERROR_INVALID_DATA)
        extra_log = os.path.join(self.root, "extra.log")
        for name, change in (("not sealed", None), ("not sealed, without OVConfig.xml", remove_config)):
            for quiet in (True, False):
                with self.subTest(name, quiet=quiet):
                    shutil.rmtree(os.path.join(self.root, "package"), ignore_errors=True)
                    package = standard_package(self.root, exe_name=RELEASE)
                    if change:
                        change(package.folder)
                    if os.path.exists(extra_log):
                        os.remove(extra_log)
                    log_switch = f'"/log:{winpath(extra_log)}"'
                    if quiet:
                        run = drive(package.exe, ["exit"], args="/quiet " + log_switch, timeout=60)
                        self.assertEqual(run.windows, [], run.raw)
                    else:
                        run = drive(package.exe, ["wait", "press:OK", "exit"], args=log_switch)
                        (report,) = run.windows
                        self.assertFailureReport(report, system_text=invalid_data)
                    self.assertEqual(run.exit_code, FAILED, run.raw)
                    self.assertEqual(snapshot(install_dir), before)
                    self.assertFalse(os.path.exists(os.path.join(install_dir, "RIZezuvu.log")))
                    lines = log_lines(extra_log)
                    self.assertEqual(lines[0], "Package seal: this release of RIZezuvu.exe runs only a sealed "
                                               "package, and it carries no seal")
                    self.assertEqual(lines[1], "System Error: " + invalid_data[:-2] + "\r")
                    self.assertEqual(lines[-1], f"Outcome: the update failed (exit code {FAILED})")

        # Sealed, the release installs; the default build installs an
        # unsealed package as it always did.
        for name, exe_name, sealed in (("a sealed release", RELEASE, True),
                                       ("the default build, not sealed", "RIZezuvu.exe", False)):
            with self.subTest(name):
                shutil.rmtree(os.path.join(self.root, "package"), ignore_errors=True)
                for path in ("common.dat", "update.bin"):
                    if os.path.exists(os.path.join(install_dir, path)):
                        os.remove(os.path.join(install_dir, path))
                package = standard_package(self.root, exe_name=exe_name)
                if sealed:
                    self.seal(package)
                run = self.update(package)
                self.assertEqual(run.exit_code, UPDATED, run.raw)
                self.assertEqual(len(run.windows), 3, run.raw)
                with open(os.path.join(install_dir, "common.dat"), "rb") as f:
                    self.assertEqual(f.read(), b"common v2")
                with open(os.path.join(install_dir, "update.bin"), "rb") as f:
                    self.assertEqual(f.read(), b"firmware v2")

if __name__ == "__main__":
    unittest.main()
