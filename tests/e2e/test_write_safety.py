"""Every write of the elevated update lands where it is meant, end to end: a
link that leads out of the installation folder is refused before anything
changes, one that stays inside is followed, each name of a hard-linked file
gets its own bytes, a file another program holds (a loaded DLL, a file open
without sharing) ends the run with everything new or everything as it was,
and the recovery of a killed run puts back only what that run changed.

Each test snapshots the installation folder (and the folder outside it that
a link or a second name leads to) before and after every run and compares
the whole snapshots."""
import ctypes
import hashlib
import os
import select
import shutil
import signal
import struct
import tempfile
import threading

from harness import (BUILD, FULL_MESSAGES, PREFIX, Package, WineTestCase, config_xml, drive, log_lines,
                     program_processes, snapshot, system_text, wait_for_file, winpath)

UPDATED, FAILED = 0, 1603
ERROR_CANT_ACCESS_FILE = 1920
JOURNAL = ".rizezuvu-journal"
RECORD = "journal.txt"
INTERRUPTED_ROLLED_BACK = "An interrupted update was rolled back."
# The installation folder as the program names it in the log.
WINDOWS_BASE = "C:\\Program Files (x86)\\Orvexa\\"
# Just past 4 MiB, the size up to which an earlier version rewrote files in
# place: the program replaces every file by name now, and each case is tried
# with a small file and with one of this size.
LARGE = (4 << 20) + (64 << 10)
# How long a test waits for another program, or the program's copy, to get
# where the test needs it: a slow start under load, never a measurement.
READY_WAIT = 60


def group(folder, *names, element="Group"):
    files = "".join(f"<File name='{name}'/>" for name in names)
    return f"<{element} dir='{folder}'>{files}</{element}>"


def firmware(folder, *names):
    return group(folder, *names, element="Firmware")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def sized(text, size):
    """`text` repeated to `size` bytes: a file of that size told apart by its text."""
    return (text * (size // len(text) + 1))[:size]


def digest(data):
    return hashlib.sha256(data).hexdigest()


def in_journal(relative):
    """Whether `relative` lies in one of the journal's folders."""
    return relative.split(os.sep)[0].lower().startswith(JOURNAL)


def journal_folders(install_dir):
    return sorted(name for name in os.listdir(install_dir) if name.lower().startswith(JOURNAL))


class WriteSafety(WineTestCase):
    # A failure shows the whole difference of the snapshots.
    maxDiff = None

    def fresh(self):
        """A new installation, for one case of a table."""
        self.start_afresh()
        return self.installation.add()

    def outside_folder(self):
        """A folder beside the installation, on the same drive (so that a
        hard link can join the two)."""
        outside = tempfile.mkdtemp(prefix="rzv-outside-", dir=os.path.join(PREFIX, "drive_c"))
        self.addCleanup(shutil.rmtree, outside, True)
        return outside

    def package(self, groups, files):
        """A package whose default entry holds `groups`; `files` maps each
        name (as OVConfig.xml writes it) to its bytes."""
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES,
                                        f"<Upgrade><Product id='000000'>{''.join(groups)}</Product></Upgrade>"))
        for name, data in files.items():
            package.add_file(name, data)
        return package

    def run_quiet(self, package):
        """A /quiet run: no window at all, the outcome only in the exit code.
        The log is started afresh, so that it holds this run's lines alone."""
        log = os.path.join(self.installation.folders()[0], "RIZezuvu.log")
        if os.path.exists(log):
            os.remove(log)
        run = drive(package.exe, ["exit"], args="/quiet", timeout=120)
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.windows, [], run.raw)
        return run.exit_code, (log_lines(log) if os.path.exists(log) else [])

    def assertUpdated(self, before, after, new, lines):
        """`after` is `before` but for the files in `new` (relative path ->
        bytes), which hold exactly those bytes (their attributes are the
        copy's)."""
        self.assertEqual(sorted(after), sorted(set(before) | set(new)), lines)
        for relative, entry in before.items():
            if relative not in new:
                self.assertEqual(after[relative], entry, (relative, lines))
        for relative, data in new.items():
            self.assertEqual(after[relative][-1], digest(data), (relative, lines))

    def hold(self, how, path):
        """Another program that holds `path` (hold_open.exe: "load" as a DLL,
        "open" without sharing) until the test ends it."""
        marker = os.path.join(self.root, f"held-{len(self.processes)}")
        process = self.start_process(os.path.join(BUILD, "hold_open.exe"), how,
                                     WINDOWS_BASE + os.path.relpath(path, self.installation.folders()[0]),
                                     winpath(marker), ready=lambda: os.path.exists(marker))
        self.assertTrue(wait_for_file(marker, READY_WAIT),
                        f"hold_open.exe {how} {path} never held it (exit code {process.process.poll()})")
        return process

    def test_a_link_that_leads_outside_is_refused_before_anything_changes(self):
        # (name, the link in the installation folder, what it leads to
        # outside: a file of that size or a folder (None), the package's
        # entries and files besides common.dat, which comes first)
        cases = [
            ("a small file", "skin.ini", 20, [group("", "common.dat", "skin.ini")],
             {"skin.ini": b"skin v2"}),
            ("a file over 4 MiB", "big.dat", LARGE, [group("", "common.dat", "big.dat")],
             {"big.dat": sized(b"big v2 ", LARGE)}),
            ("a group's folder", "Skins", None, [group("", "common.dat"), group("Skins", "Skins\\default.skin")],
             {"Skins\\default.skin": b"skin v2"}),
            ("a firmware group's folder", "Firmware", None,
             [group("", "common.dat"), firmware("Firmware", "Firmware\\update.bin")],
             {"Firmware\\update.bin": b"firmware v2"}),
        ]
        for name, link, size, groups, files in cases:
            with self.subTest(name):
                install_dir, outside = self.fresh(), self.outside_folder()
                write(os.path.join(install_dir, "common.dat"), b"common v1")
                target = os.path.join(outside, "pointed")
                if size is not None:
                    # The file the update would write over.
                    write(target, sized(b"outside v1 ", size))
                    os.symlink(target, os.path.join(install_dir, link))
                else:
                    # Files the update would write over, purge or leave alone.
                    for image in ("default.skin", "update.bin", "old.bin", "notes.txt"):
                        write(os.path.join(target, image), b"outside " + image.encode())
                    # Relative, as a link made by hand often is.
                    os.symlink(os.path.relpath(target, install_dir), os.path.join(install_dir, link))
                package = self.package(groups, dict(files, **{"common.dat": b"common v2"}))
                before = (snapshot(install_dir), snapshot(outside))
                for attempt in (1, 2):
                    code, lines = self.run_quiet(package)
                    self.assertEqual((snapshot(install_dir), snapshot(outside)), before, (attempt, lines))
                    self.assertEqual(code, FAILED, (attempt, lines))
                    self.assertTrue(any((WINDOWS_BASE + link).lower() in line.lower() for line in lines),
                                    (attempt, lines))

    def test_a_log_that_is_a_link_outside_is_never_written(self):
        # The installation's RIZezuvu.log, a link to a file elsewhere, or to
        # one that is not there, or a second name of a file elsewhere:
        # nothing is written or made through it.
        for name, exists, link in (("to a file", True, os.symlink), ("to nothing", False, os.symlink),
                                   ("a second name of a file", True, os.link)):
            with self.subTest(name):
                install_dir, outside = self.fresh(), self.outside_folder()
                write(os.path.join(install_dir, "common.dat"), b"common v1")
                target = os.path.join(outside, "system.ini")
                if exists:
                    write(target, b"outside v1")
                link(target, os.path.join(install_dir, "RIZezuvu.log"))
                package = self.package([group("", "common.dat")], {"common.dat": b"common v2"})
                copy = os.path.join(self.root, f"copy-{name.replace(' ', '-')}.log")
                before = (snapshot(install_dir), snapshot(outside))
                for attempt in (1, 2):
                    run = drive(package.exe, ["exit"], args=f"/quiet /log:{winpath(copy)}", timeout=120)
                    self.assertEqual(run.exit_code, FAILED, run.raw)
                    self.assertEqual((snapshot(install_dir), snapshot(outside)), before, attempt)
                    self.assertIn("System Error: " + system_text(ERROR_CANT_ACCESS_FILE)[:-2] + "\r",
                                  log_lines(copy))

    def test_a_journal_name_that_is_a_link_is_never_followed(self):
        # Whoever can write the installation folder can put a link where the
        # journal goes, to a folder of someone else's: it is stepped around,
        # never emptied.
        install_dir, outside = self.fresh(), self.outside_folder()
        write(os.path.join(install_dir, "common.dat"), b"common v1")
        write(os.path.join(outside, "someone.txt"), b"someone's")
        os.makedirs(os.path.join(outside, "0"))
        write(os.path.join(outside, "0", "1.old"), b"someone's too")
        os.symlink(outside, os.path.join(install_dir, ".RIZezuvu-journal"))
        package = self.package([group("", "common.dat")], {"common.dat": b"common v2"})
        before = snapshot(outside)
        for attempt in (1, 2):
            code, lines = self.run_quiet(package)
            self.assertEqual(code, UPDATED, (attempt, lines))
            self.assertEqual(read(os.path.join(install_dir, "common.dat")), b"common v2")
            self.assertEqual(snapshot(outside), before, (attempt, lines))
            self.assertTrue(os.path.islink(os.path.join(install_dir, ".RIZezuvu-journal")))

    def test_a_folder_link_that_stays_inside_is_followed(self):
        for form in ("relative", "absolute"):
            with self.subTest(form):
                install_dir = self.fresh()
                themes = os.path.join(install_dir, "Themes")
                write(os.path.join(themes, "default.skin"), b"skin v1")
                write(os.path.join(themes, "other.skin"), b"not in the update")
                os.symlink("Themes" if form == "relative" else themes, os.path.join(install_dir, "Skins"))
                package = self.package([group("Skins", "Skins\\default.skin", "Skins\\added.skin")],
                                       {"Skins\\default.skin": b"skin v2", "Skins\\added.skin": b"added"})
                before = snapshot(install_dir)
                for attempt in (1, 2):
                    code, lines = self.run_quiet(package)
                    self.assertEqual(code, UPDATED, (attempt, lines))
                    # The link itself is part of the snapshot: still the same link.
                    self.assertUpdated(before, snapshot(install_dir),
                                       {"Themes/default.skin": b"skin v2", "Themes/added.skin": b"added"}, lines)
                    self.assertEqual(os.readlink(os.path.join(install_dir, "Skins")),
                                     "Themes" if form == "relative" else themes)

    def test_each_name_of_a_hard_linked_file_gets_its_own_bytes(self):
        # (name, the two names of one file of that size, each as (folder,
        # relative path), the package's entries and files: the new bytes of
        # the names inside)
        cases = [
            ("both names inside", ("install", "codec.ini"), ("install", os.path.join("Plugins", "codec.ini")), 30,
             [group("", "codec.ini"), group("Plugins", "Plugins\\codec.ini")],
             {"codec.ini": b"codec for the player", "Plugins\\codec.ini": b"codec for the plug-ins"}),
            ("one name outside", ("install", "keep.ini"), ("outside", "keep.ini"), 30,
             [group("", "keep.ini")], {"keep.ini": b"keep v2"}),
            ("one name outside, replaced by a rename", ("install", "keep.big"), ("outside", "keep.big"), LARGE,
             [group("", "keep.big")], {"keep.big": sized(b"keep v2 ", LARGE)}),
        ]
        for name, first, second, size, groups, files in cases:
            with self.subTest(name):
                install_dir, outside = self.fresh(), self.outside_folder()
                os.makedirs(os.path.join(install_dir, "Plugins"))
                folders = {"install": install_dir, "outside": outside}
                first_path = os.path.join(folders[first[0]], first[1])
                write(first_path, sized(b"shared v1 ", size))
                os.link(first_path, os.path.join(folders[second[0]], second[1]))
                package = self.package(groups, files)
                new = {key.replace("\\", os.sep): data for key, data in files.items()}
                before = (snapshot(install_dir), snapshot(outside))
                for attempt in (1, 2):
                    code, lines = self.run_quiet(package)
                    self.assertEqual(code, UPDATED, (attempt, lines))
                    self.assertUpdated(before[0], snapshot(install_dir), new, lines)
                    self.assertEqual(snapshot(outside), before[1], (attempt, lines))
                    self.assertEqual(journal_folders(install_dir), [])

    def test_a_file_another_program_holds_ends_all_new_or_all_as_it_was(self):
        dll = read(os.path.join(BUILD, "inert_dll.dll"))
        # In the order the update takes them: a large copy first, then the
        # files that may be held. The DLLs are real images, told apart by
        # what follows the image.
        old = {"common.dat": b"common v1", "big.dat": sized(b"big v1 ", LARGE),
               "small.dll": dll + b"small v1", "large.dll": dll + sized(b"large v1 ", LARGE),
               "locked.ini": b"locked v1", "locked.big": sized(b"locked v1 ", LARGE), "tail.dat": b"tail v1"}
        new = {"common.dat": b"common v2", "big.dat": sized(b"big v2 ", LARGE),
               "small.dll": dll + b"small v2", "large.dll": dll + sized(b"large v2 ", LARGE),
               "locked.ini": b"locked v2", "locked.big": sized(b"locked v2 ", LARGE), "tail.dat": b"tail v2"}
        # (name, what other programs hold: (how, file))
        cases = [
            ("a small DLL loaded", [("load", "small.dll")]),
            ("a large DLL loaded", [("load", "large.dll")]),
            ("both DLLs loaded", [("load", "small.dll"), ("load", "large.dll")]),
            ("a small target open without sharing", [("open", "locked.ini")]),
            ("a large target open without sharing", [("open", "locked.big")]),
        ]
        for name, held in cases:
            with self.subTest(name):
                install_dir = self.fresh()
                for file_name, data in old.items():
                    write(os.path.join(install_dir, file_name), data)
                package = self.package([group("", *old)], new)
                holders = [self.hold(how, os.path.join(install_dir, file_name)) for how, file_name in held]
                original = snapshot(install_dir)
                for attempt in (1, 2):
                    # A held file of the old installation may keep a
                    # finished run's journal folder (without a record) until
                    # the next run after it is let go.
                    before = snapshot(install_dir, in_journal)
                    code, lines = self.run_quiet(package)
                    after = snapshot(install_dir, in_journal)
                    self.assertIn(code, (UPDATED, FAILED), (attempt, lines))
                    if code == UPDATED:
                        self.assertUpdated(original, after, new, lines)
                    else:
                        self.assertEqual(after, before, (attempt, lines))
                    for folder in journal_folders(install_dir):
                        self.assertFalse(os.path.exists(os.path.join(install_dir, folder, RECORD)),
                                         (attempt, folder, lines))
                for holder in holders:
                    holder.stop()
                code, lines = self.run_quiet(package)
                self.assertEqual(code, UPDATED, lines)
                self.assertUpdated(original, snapshot(install_dir), new, lines)
                self.assertEqual(journal_folders(install_dir), [])

    def test_recovery_puts_back_only_what_the_killed_run_changed(self):
        # The killed run replaces first.dat and big.dat, and is killed
        # while it copies huge.dat: the kernel keeps
        # its second read of huge.dat's source waiting, so the kill lands
        # mid-copy for certain, not by a race with the disk. It never
        # reaches the last file, which its user then edits.
        # (name, the never-reached file and its size)
        cases = [("a small file", "later.ini", 40), ("a file over 4 MiB", "later.big", LARGE)]
        for name, later, size in cases:
            with self.subTest(name):
                install_dir = self.fresh()
                old = {"first.dat": b"first v1", "big.dat": sized(b"big v1 ", LARGE), later: sized(b"later v1 ", size)}
                for file_name, data in old.items():
                    write(os.path.join(install_dir, file_name), data)
                new = {"first.dat": b"first v2", "big.dat": sized(b"big v2 ", LARGE),
                       "huge.dat": sized(b"huge v2 ", LARGE), later: sized(b"later v2 ", size)}
                package = self.package([group("", "first.dat", "big.dat", "huge.dat", later)], new)
                before = snapshot(install_dir)

                self.run_killed_mid_copy(package, os.path.join(package.folder, "huge.dat"))
                self.assertTrue(any(os.path.exists(os.path.join(install_dir, folder, RECORD))
                                    for folder in journal_folders(install_dir)), "the killed run left no journal")
                self.assertEqual(read(os.path.join(install_dir, later)), old[later])

                # The user edits the file that the killed run never reached.
                edited = sized(b"edited by the user ", size)
                write(os.path.join(install_dir, later), edited)
                expected = dict(before)
                expected[later] = snapshot(install_dir)[later]

                # The next run recovers, then fails on purpose (huge.dat's
                # source is missing) and rolls its own copies back: what is
                # left is what the recovery left.
                os.remove(os.path.join(package.folder, "huge.dat"))
                code, lines = self.run_quiet(package)
                self.assertIn(INTERRUPTED_ROLLED_BACK, lines)
                self.assertEqual(read(os.path.join(install_dir, later)), edited, lines)
                self.assertEqual(snapshot(install_dir), expected, lines)
                self.assertEqual(code, FAILED, lines)
                self.assertEqual(journal_folders(install_dir), [])

                # With the package whole, the update goes through as usual.
                package.add_file("huge.dat", new["huge.dat"])
                code, lines = self.run_quiet(package)
                self.assertEqual(code, UPDATED, lines)
                self.assertUpdated(expected, snapshot(install_dir), new, lines)
                self.assertEqual(journal_folders(install_dir), [])

    def run_killed_mid_copy(self, package, source):
        """A /quiet run killed while its second read of `source` waits."""
        try:
            gate = HeldRead(source, 2)
        except OSError as error:
            self.skipTest(f"reads can't be held here (fanotify): {error}")
        self.addCleanup(gate.release)
        runs = []
        runner = threading.Thread(target=lambda: runs.append(
            drive(package.exe, ["exit"], args="/quiet", timeout=240)))
        runner.start()
        try:
            for _ in range(READY_WAIT * 10):
                if gate.held.wait(0.1) or not runner.is_alive():
                    break
            self.assertTrue(gate.held.is_set(),
                            f"the copy never read {source} twice: {runs[0].raw if runs else ''}")
        finally:
            for pid in program_processes("RIZezuvu.exe", naming=package.exe):
                os.kill(pid, signal.SIGKILL)
            runner.join()
            gate.release()


class HeldRead:
    """Keeps the `nth` read of the file at `path` (by any process), and every
    one after it, waiting in the kernel until release(): a fanotify
    permission event left unanswered. Needs Linux and root; OSError when
    they are not there."""

    _CLASS_CONTENT, _CLOEXEC, _MARK_ADD, _ACCESS_PERM, _ALLOW, _AT_FDCWD = 0x4, 0x1, 0x1, 0x20000, 0x1, -100
    _EVENT = struct.Struct("=IBBHQii")  # event_len, vers, reserved, metadata_len, mask, fd, pid

    def __init__(self, path, nth):
        libc = ctypes.CDLL(None, use_errno=True)
        libc.fanotify_mark.argtypes = [ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p]
        self.fd = libc.fanotify_init(self._CLASS_CONTENT | self._CLOEXEC, os.O_RDONLY)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "fanotify_init")
        if libc.fanotify_mark(self.fd, self._MARK_ADD, self._ACCESS_PERM, self._AT_FDCWD, os.fsencode(path)) != 0:
            code = ctypes.get_errno()
            os.close(self.fd)
            raise OSError(code, "fanotify_mark")
        self.nth = nth
        self.reads = 0
        self.waiting = []
        self.held = threading.Event()
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve)
        self.thread.start()

    def _serve(self):
        while not self.stopping.is_set():
            if not select.select([self.fd], [], [], 0.1)[0]:
                continue
            data = os.read(self.fd, 4096)
            offset = 0
            while offset + self._EVENT.size <= len(data):
                length, _, _, _, _, event_fd, _ = self._EVENT.unpack_from(data, offset)
                offset += length
                self.reads += 1
                if self.reads < self.nth:
                    os.write(self.fd, struct.pack("=iI", event_fd, self._ALLOW))
                    os.close(event_fd)
                else:
                    self.waiting.append(event_fd)
                    self.held.set()

    def release(self):
        """Lets every held read go on (closing the group answers them)."""
        if self.stopping.is_set():
            return
        self.stopping.set()
        self.thread.join()
        for event_fd in self.waiting:
            os.close(event_fd)
        os.close(self.fd)
