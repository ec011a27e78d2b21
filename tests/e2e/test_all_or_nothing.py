"""All or nothing, end to end: a copy that fails part way, a disk that fills
up, and a run that is killed mid-copy each leave the installation folder as it
was before the run, with the reason in the log and the failure report."""
import glob
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

from harness import (BUILD, FULL_MESSAGES, PREFIX, WINE, Package, WineTestCase, config_xml, drive, log_lines,
                     program_processes, snapshot, standard_package, system_text, texts, wait_for_file,
                     winpath)

ERROR_INVALID_DATA = 13
ERROR_SHARING_VIOLATION = 32
ERROR_DISK_FULL = 112
ERROR_INSTALL_ALREADY_RUNNING = 1618
JOURNAL = ".RIZezuvu-journal"
ROLLED_BACK = "Rollback complete: the installation is as it was before the update."

TWO_GROUPS = """<Upgrade>
    <Product id='000000'>
      <Firmware dir=''><File name='fw.bin'/></Firmware>
      <Group dir=''><File name='player.dll'/><File name='added.dat'/></Group>
      {second}
    </Product>
  </Upgrade>"""


class AllOrNothing(WineTestCase):
    def old_installation(self, install_dir):
        """Files the update replaces or removes, one read-only, one hidden."""
        with open(os.path.join(install_dir, "player.dll"), "wb") as f:
            f.write(b"old player")
        os.chmod(os.path.join(install_dir, "player.dll"), 0o444)
        with open(os.path.join(install_dir, "old.bin"), "wb") as f:
            f.write(b"old firmware")
        subprocess.run([WINE, "cmd", "/c", "attrib", "+h", winpath(os.path.join(install_dir, "old.bin"))],
                       check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(os.path.join(install_dir, "locked.dat"), "wb") as f:
            f.write(b"old locked")

    def package(self, second, **extra_files):
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES, TWO_GROUPS.format(second=second)))
        package.add_file("fw.bin", b"new firmware")
        package.add_file("player.dll", b"new player")
        package.add_file("added.dat", b"added")
        package.add_file("locked.dat", b"new locked")
        for name, content in extra_files.items():
            package.add_file(name, content)
        return package

    def run_to_failure(self, package):
        run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"], timeout=90)
        self.assertEqual(run.returncode, 0, run.raw)
        return run

    def test_failures_mid_copy_leave_the_installation_as_it_was(self):
        cases = [
            ("target held open by another process", "<Group dir=''><File name='locked.dat'/></Group>",
             ERROR_SHARING_VIOLATION, "Copy file failed locked.dat..."),
            ("bad entry after good ones", "<Group><File name='locked.dat'/></Group>", ERROR_INVALID_DATA,
             "Invalid configuration at line 9 (group Group of Product '000000'): no dir attribute"),
        ]
        install_dir = self.installation.add()
        self.old_installation(install_dir)
        log = os.path.join(install_dir, "RIZezuvu.log")
        holder = self.start_process(os.path.join(BUILD, "hold_file.exe"),
                                    winpath(os.path.join(install_dir, "locked.dat")))
        before = snapshot(install_dir)
        self.assertIn("old.bin", before)
        for name, second, code, failure_line in cases:
            with self.subTest(name):
                if os.path.exists(log):
                    os.remove(log)
                run = self.run_to_failure(self.package(second))
                consent, status, report = run.windows
                self.assertFailureReport(report, see_log=True)
                self.assertEqual(snapshot(install_dir), before)
                lines = log_lines(log)
                self.assertEqual(lines[:4], ["Update tool 1.6.0.0 started.", "Updated file fw.bin",
                                             "Updated file player.dll", "Updated file added.dat"])
                self.assertIn(failure_line, lines)
                base = "C:\\Program Files (x86)\\Orvexa\\"
                rollback = lines[lines.index(failure_line) + 1:]
                self.assertEqual(rollback[:5], [f"Rollback: removed {base}added.dat",
                                                f"Rollback: restored {base}player.dll",
                                                f"Rollback: removed {base}fw.bin",
                                                f"Rollback: restored {base}old.bin",
                                                ROLLED_BACK])
                self.assertEqual(rollback[5], "System Error: " + system_text(code)[:-2] + "\r")
        holder.stop()

    def test_settings_without_product_id_say_why(self):
        install_dir = self.installation.add()
        with open(os.path.join(install_dir, "RAZoro.ini"), "w") as f:
            f.write("[Main]\r\nProductID=\r\n")
        package = self.package("")
        run = self.run_to_failure(package)
        self.assertFailureReport(run.windows[2], see_log=True)
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log"))[1:3], [
            "No product id: RAZoro.ini in C:\\Program Files (x86)\\Orvexa\\ has no ProductID in section Main",
            "System Error: " + system_text(ERROR_INVALID_DATA)[:-2] + "\r",
        ])

    def test_a_full_disk_leaves_the_old_files_and_an_honest_report(self):
        mount = tempfile.mkdtemp(prefix="rzv-tmpfs-", dir=BUILD)
        self.addCleanup(shutil.rmtree, mount, True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", mount],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if mounted.returncode != 0:
            self.skipTest(f"a small tmpfs can't be mounted here: {mounted.stdout.strip()}")
        self.addCleanup(subprocess.run, ["umount", "-l", mount])
        drive_link = os.path.join(PREFIX, "dosdevices", "r:")
        if os.path.lexists(drive_link):
            os.remove(drive_link)
        os.symlink(mount, drive_link)
        self.addCleanup(os.remove, drive_link)

        self.installation.add(location_value="R:\\Orvexa\\")
        install_dir = os.path.join(mount, "Orvexa")
        os.makedirs(install_dir)
        with open(os.path.join(install_dir, "RAZoro.ini"), "w") as f:
            f.write("[Main]\r\nProductID=123456\r\n")
        self.old_installation(install_dir)
        with open(os.path.join(install_dir, "big.dat"), "wb") as f:
            f.write(b"o" * 300_000)
        before = snapshot(install_dir)
        # The new big.dat is larger than what is left on the drive.
        package = self.package("<Group dir=''><File name='big.dat'/></Group>", **{"big.dat": b"n" * 3_000_000})
        run = self.run_to_failure(package)
        report = run.windows[2]
        self.assertEqual(snapshot(install_dir), before)
        self.assertFalse(os.path.exists(os.path.join(install_dir, JOURNAL)))
        full = system_text(ERROR_DISK_FULL)
        lines = log_lines(os.path.join(install_dir, "RIZezuvu.log"))
        # The box sends the user to the log only when the reason is there.
        (text,) = texts(report)
        if "RIZezuvu.log" in text:
            self.assertIn("System Error: " + full[:-2] + "\r", lines)
        else:
            self.assertFailureReport(report, system_text=full)

    def test_a_killed_run_is_rolled_back_by_the_next(self):
        install_dir = self.installation.add()
        self.old_installation(install_dir)
        with open(os.path.join(install_dir, "added.dat"), "wb") as f:
            f.write(b"old added, replaced before the kill")
        before = snapshot(install_dir)
        big = b"0123456789abcdef" * (1 << 16)  # 1 MiB
        package = self.package("<Group dir=''><File name='huge.dat'/></Group>")
        with open(os.path.join(package.folder, "huge.dat"), "wb") as f:
            for _ in range(768):
                f.write(big)
        target = os.path.join(install_dir, "huge.dat")
        record = os.path.join(install_dir, JOURNAL, "journal.txt")

        killed_at = []

        def kill_mid_copy():
            # The large file is copied whole into the journal before it
            # takes its name: kill while that copy grows.
            deadline = time.time() + 60
            while time.time() < deadline:
                for fresh in glob.glob(os.path.join(install_dir, JOURNAL, "*", "*.new")):
                    try:
                        size = os.path.getsize(fresh)
                    except OSError:
                        continue
                    if 1 << 20 < size < 768 << 20:
                        for pid in program_processes("RIZezuvu.exe", naming=package.exe):
                            os.kill(pid, signal.SIGKILL)
                        killed_at.append((size, os.path.exists(target)))
                        return
                time.sleep(0.002)

        killer = threading.Thread(target=kill_mid_copy)
        killer.start()
        drive(package.exe, ["wait", "press:OK", "wait", "exit"], timeout=90)
        killer.join()
        self.assertTrue(killed_at, "the copy of the large file was never seen in progress")
        self.assertFalse(killed_at[0][1], "a part of the large file was seen under its name")
        self.assertFalse(os.path.exists(target))
        self.assertTrue(os.path.exists(record), "the killed run left no journal")
        self.assertNotEqual(snapshot(install_dir), before)

        run = drive(package.exe, ["wait", "press:Cancel", "exit"], timeout=60)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(texts(run.windows[0]), [FULL_MESSAGES["askuser"]])
        self.assertEqual(snapshot(install_dir), before)
        lines = log_lines(os.path.join(install_dir, "RIZezuvu.log"))
        self.assertEqual(lines[-1], "An interrupted update was rolled back.")
        self.assertIn("Rollback: restored C:\\Program Files (x86)\\Orvexa\\added.dat", lines)
        self.assertNotIn("Rollback: removed C:\\Program Files (x86)\\Orvexa\\huge.dat", lines)

    def test_a_journal_that_cannot_be_undone_stops_the_run_until_it_can(self):
        install_dir = self.installation.add()
        with open(os.path.join(install_dir, "new.dat"), "wb") as f:
            f.write(b"left by a killed run")
        journal = os.path.join(install_dir, JOURNAL)
        os.makedirs(journal)
        with open(os.path.join(journal, "journal.txt"), "wb") as f:
            f.write(f"RIZezuvu journal 3\nproduct {self.installation.product_code(install_dir)}\n"
                    "folder C:\\Program Files (x86)\\Orvexa\\\nadded 1 new.dat\n".encode())
        # The killed run had put new.dat in place: its mark says so.
        os.makedirs(os.path.join(journal, "0"))
        open(os.path.join(journal, "0", "1.adding"), "wb").close()
        holder = self.start_process(os.path.join(BUILD, "hold_file.exe"),
                                    winpath(os.path.join(install_dir, "new.dat")))
        package = self.package("")
        run = drive(package.exe, ["wait", "press:OK", "exit"], timeout=60)
        self.assertEqual(len(run.windows), 1,
                         "\n".join(log_lines(os.path.join(install_dir, "RIZezuvu.log"))))
        self.assertFailureReport(run.windows[0], see_log=True)
        lines = log_lines(os.path.join(install_dir, "RIZezuvu.log"))
        self.assertTrue(lines[0].startswith("Rollback: could not restore C:\\Program Files (x86)\\Orvexa\\new.dat"),
                        lines)
        self.assertTrue(lines[1].startswith("Rollback incomplete:"), lines)
        self.assertTrue(os.path.exists(os.path.join(install_dir, "new.dat")))
        self.assertTrue(os.path.exists(journal))

        holder.stop()
        run = drive(package.exe, ["wait", "press:Cancel", "exit"], timeout=60)
        self.assertEqual(texts(run.windows[0]), [FULL_MESSAGES["askuser"]])
        self.assertFalse(os.path.exists(os.path.join(install_dir, "new.dat")))
        self.assertFalse(os.path.exists(journal))
        self.assertEqual(log_lines(os.path.join(install_dir, "RIZezuvu.log"))[-2:], [
            "Rollback: removed C:\\Program Files (x86)\\Orvexa\\new.dat",
            "An interrupted update was rolled back.",
        ])

    def run_quiet(self, package):
        run = drive(package.exe, ["exit"], args="/quiet", timeout=90)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.windows, [], run.raw)
        return run.exit_code

    def test_the_same_update_twice_succeeds_both_times(self):
        # The usual case: update.bin replaced by a newer update.bin, which the
        # Firmware group purges first.
        install_dir = self.install()
        with open(os.path.join(install_dir, "update.bin"), "wb") as f:
            f.write(b"firmware v1")
        package = standard_package(self.root)
        self.assertEqual(self.run_quiet(package), 0)
        after_first = snapshot(install_dir)
        self.assertEqual(self.run_quiet(package), 0)
        self.assertEqual(snapshot(install_dir, skip=lambda name: name == "RIZezuvu.log"),
                         {k: v for k, v in after_first.items() if k != "RIZezuvu.log"})
        with open(os.path.join(install_dir, "update.bin"), "rb") as f:
            self.assertEqual(f.read(), b"firmware v2")
        self.assertFalse(os.path.exists(os.path.join(install_dir, JOURNAL)))
        # And interactively, as a user who runs it again would.
        run = drive(package.exe, ["wait", "press:OK", "wait", "gone", "wait", "press:OK", "exit"], timeout=90)
        self.assertEqual(run.exit_code, 0, run.raw)
        self.assertEqual(texts(run.windows[2]), [FULL_MESSAGES["ovinstallsuccess"]])

    @staticmethod
    def end_first_run(exe):
        """Kills the run of `exe` that holds the lock, and its driver's long wait."""
        for name in ("RIZezuvu.exe", "uidriver.exe"):
            for pid in program_processes(name, naming=exe):
                os.kill(pid, signal.SIGKILL)

    def test_a_second_run_at_once_ends_with_1618_and_touches_nothing(self):
        install_dir = self.install()
        package = standard_package(self.root)
        log = os.path.join(install_dir, "RIZezuvu.log")
        # The first run holds the installation while its consent box is up;
        # the test ends it when done.
        first = []
        holder = threading.Thread(target=lambda: first.append(
            drive(package.exe, ["wait", "sleep:300000", "exit"], timeout=330)))
        holder.start()
        self.addCleanup(holder.join)
        self.addCleanup(self.end_first_run, package.exe)
        self.assertTrue(wait_for_file(log, 60), "the first run never opened its log")
        before = snapshot(install_dir)

        self.assertEqual(self.run_quiet(package), ERROR_INSTALL_ALREADY_RUNNING)
        run = drive(package.exe, ["wait", "press:OK", "exit"], timeout=60)
        self.assertEqual(run.exit_code, ERROR_INSTALL_ALREADY_RUNNING, run.raw)
        (box,) = run.windows
        self.assertEqual(box["title"], FULL_MESSAGES["title"])
        self.assertEqual(texts(box), [system_text(ERROR_INSTALL_ALREADY_RUNNING)[:-2]])
        self.assertEqual(snapshot(install_dir), before)

        # The first run dies holding the lock: the next run goes ahead.
        self.end_first_run(package.exe)
        holder.join()
        self.assertEqual(self.run_quiet(package), 0)
        with open(os.path.join(install_dir, "common.dat"), "rb") as f:
            self.assertEqual(f.read(), b"common v2")


if __name__ == "__main__":
    unittest.main()
