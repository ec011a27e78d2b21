#!/usr/bin/env python3
"""The benchmarks behind docs/benchmarks.md (run through tools/benchmark.sh).

Each figure is measured several times, interleaved with its reference in the
same run, under one warm Wine server:
1. start: process creation to the consent box, against a bare program that
   shows one message box (both seen by the same driver);
2. copy: OK on the consent box to the result dialog, less the status window's
   pause and the rest of a run that copies nothing (measured, not assumed),
   for files replacing older ones, against a bare CopyFileA loop and cp -r;
3. scaling: the same for 100, 1,000 and 10,000 small files, and the start
   with a configuration of 10,000 messages;
4. the shipped program's size and the peak memory of a whole run.
"""
import argparse
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The fixture packages' builder lives with the other test helpers.
sys.path.insert(0, os.path.join(SOURCE, "tests", "helpers"))

import wine_harness as harness  # reads the environment benchmark.sh sets
from make_fixture_msi import build_package, product_wxs
from wine_harness import BUILD, FULL_MESSAGES, WINE, Installation, Package, config_xml, drive, winpath


class Stats:
    def __init__(self, values):
        self.values = list(values)
        self.median = statistics.median(self.values)
        self.min = min(self.values)
        self.max = max(self.values)


class PeakMemory:
    """The peak resident set (VmHWM) of the Wine processes that run `exe_name`."""

    def __init__(self, exe_name):
        self.exe_name = exe_name
        self.peak_kb = 0
        self.running = True
        self.thread = threading.Thread(target=self._watch)
        self.thread.start()

    def _watch(self):
        while self.running:
            for pid in harness.program_processes(self.exe_name):
                try:
                    with open(f"/proc/{pid}/status") as f:
                        for line in f:
                            if line.startswith("VmHWM:"):
                                self.peak_kb = max(self.peak_kb, int(line.split()[1]))
                except OSError:
                    pass
            time.sleep(0.01)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.peak_kb


def first_window_ms(run):
    if not run.windows:
        raise RuntimeError(f"no window: {run.raw}")
    return run.windows[0]["t"]


class Bench:
    def __init__(self, quick, tmpfs=False):
        self.flush_results = {}
        self.write_ahead_results = {}
        self.nsis_results = {}
        self.msi_results = {}
        self.ops_results = {}
        self.quick = quick
        self.runs = 1 if quick else 3
        self.root = tempfile.mkdtemp(prefix="bench-", dir=BUILD)
        self.installation = Installation()
        self.mount = None
        self.drive_link = os.path.join(harness.PREFIX, "dosdevices", "r:")
        self.results = {}
        if not tmpfs:
            self.install_dir = self.installation.add()
            self.install_win = "C:\\Program Files (x86)\\Orvexa"
            self.file_system = self.file_system_of(self.install_dir)
            return
        # The installation folder on a tmpfs, drive R: to Wine: what the
        # same run costs without a disk under it.
        self.mount = tempfile.mkdtemp(prefix="bench-tmpfs-", dir=BUILD)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3g", "tmpfs", self.mount], check=True)
        if os.path.lexists(self.drive_link):
            os.remove(self.drive_link)
        os.symlink(self.mount, self.drive_link)
        self.installation.add(location_value="R:\\Orvexa\\")
        self.install_dir = os.path.join(self.mount, "Orvexa")
        self.install_win = "R:\\Orvexa"
        os.makedirs(self.install_dir)
        with open(os.path.join(self.install_dir, "RAZoro.ini"), "w") as f:
            f.write("[Main]\r\nProductID=123456\r\n")
        self.file_system = self.file_system_of(self.install_dir)

    def close(self):
        self.installation.remove_all()
        shutil.rmtree(self.root, ignore_errors=True)
        if self.mount:
            if os.path.lexists(self.drive_link):
                os.remove(self.drive_link)
            subprocess.run(["umount", "-l", self.mount], check=False)
            shutil.rmtree(self.mount, ignore_errors=True)

    @staticmethod
    def file_system_of(folder):
        """The file system under `folder`, as its mount names it (statfs's
        magic number calls ext4 "ext2/ext3")."""
        found = subprocess.run(["df", "--output=fstype", folder], stdout=subprocess.PIPE, text=True)
        lines = found.stdout.split()
        return lines[-1] if len(lines) > 1 else "unknown"

    # --- packages -----------------------------------------------------------

    def package(self, name, files=(), size=0, messages=None):
        """A package whose default entry installs `files` into the installation folder."""
        package = Package(os.path.join(self.root, name))
        entries = "".join(f"<File name='{f}'/>" for f in files)
        upgrade = f"<Upgrade><Product id='000000'><Group dir=''>{entries}</Group></Product></Upgrade>"
        package.write_config(config_xml(messages or FULL_MESSAGES, upgrade))
        block = os.urandom(min(size, 1 << 16)) if size else b""
        for f in files:
            with open(os.path.join(package.folder, f), "wb") as out:
                written = 0
                while written < size:
                    chunk = block[: size - written]
                    out.write(chunk)
                    written += len(chunk)
        return package

    def restore_old(self, files, size):
        """The installation as it was: older copies of every file the update replaces."""
        for name in os.listdir(self.install_dir):
            if name.endswith(".dat") or name == "RIZezuvu.log":
                os.remove(os.path.join(self.install_dir, name))
        old = b"o" * size
        for f in files:
            with open(os.path.join(self.install_dir, f), "wb") as out:
                out.write(old)
        subprocess.run(["sync"], check=False)

    # --- measurements -------------------------------------------------------

    def program_start(self, package):
        run = drive(package.exe, ["wait", "press:Cancel", "exit"], timeout=120)
        if run.exit_code != 1602 or run.windows[0]["title"] != FULL_MESSAGES["title"]:
            raise RuntimeError(f"the consent box did not come: {run.raw[-2000:]}")
        return first_window_ms(run)

    def bare_start(self):
        run = drive(os.path.join(BUILD, "bare_box.exe"), ["wait", "press:OK", "exit"], timeout=60)
        return first_window_ms(run)

    def floor_start(self):
        """The required-steps floor (tools/bench/required_steps.cpp) to its box."""
        run = drive(os.path.join(BUILD, "required_steps.exe"), ["wait", "press:Cancel", "exit"], timeout=60)
        if run.exit_code != 0:
            raise RuntimeError(f"the floor program failed: {run.raw[-2000:]}")
        return first_window_ms(run)

    def program_copy(self, package):
        """OK on the consent box to the result dialog, as the driver saw it."""
        run = drive(package.exe, ["wait", "press:OK", "wait", "wait", "press:OK", "exit"], timeout=900)
        presses = [e for e in run.events if e.get("event") == "press"]
        if not presses or len(run.windows) < 3 or run.exit_code != 0:
            raise RuntimeError(f"the update did not complete (exit {run.exit_code}): {run.raw[-2000:]}")
        return run.windows[2]["t"] - presses[0]["t"]

    def bare_copy(self, package, files, flush=None):
        """The loop's milliseconds; with `flush`, (the loop's, the flushes' own)."""
        listing = os.path.join(self.root, "list.txt")
        with open(listing, "w") as f:
            f.write("\n".join(files) + "\n")
        result = subprocess.run([WINE, os.path.join(BUILD, "bare_copy.exe"), winpath(package.folder), self.install_win,
                                 winpath(listing), *([flush] if flush else [])],
                                stdout=subprocess.PIPE, text=True, timeout=900, check=True)
        figures = [float(line) for line in result.stdout.split()]
        return (figures[0], figures[1]) if flush in ("flush-each", "flush-volume") else figures[0]

    def nsis_installer(self, name, package, files):
        """An NSIS installer (SetCompress off, 64-bit) writing the same files
        into the installation folder, built natively by makensis."""
        folder = os.path.join(self.root, name)
        os.makedirs(folder, exist_ok=True)
        lines = ["Target amd64-unicode", "SetCompress off", "SilentInstall silent", "RequestExecutionLevel admin",
                 f'OutFile "{folder}/installer.exe"', f'InstallDir "{self.install_win}"', "Section",
                 'SetOutPath "$INSTDIR"', "SetOverwrite on"]
        lines += [f'File "{package.folder}/{f}"' for f in files] + ["SectionEnd"]
        with open(os.path.join(folder, "installer.nsi"), "w") as f:
            f.write("\n".join(lines) + "\n")
        subprocess.run(["makensis", "-V1", os.path.join(folder, "installer.nsi")], check=True,
                       stdout=subprocess.DEVNULL)
        return os.path.join(folder, "installer.exe")

    # Not Orvexa's: the benchmark's own product, removed after every run.
    MSI_UPGRADE_CODE = "{5B0E61A4-2C1D-4F7E-9A43-0F3C8D2B7E15}"

    def msi_package(self, name, package, files):
        """A Windows Installer package (wixl, the cabinet uncompressed and
        embedded) that installs the same files into the installation folder;
        with no files, one empty file into a folder of its own."""
        folder = os.path.join(self.root, name)
        os.makedirs(folder, exist_ok=True)
        sources = [(f"C{i}", f, os.path.relpath(os.path.join(package.folder, f), folder))
                   for i, f in enumerate(files)]
        install_dir = "Orvexa"
        if not files:
            open(os.path.join(folder, "empty.dat"), "wb").close()
            sources = [("C0", "empty.dat", "empty.dat")]
            install_dir = "RIZezuvu benchmark empty"
        out = os.path.join(folder, "files.msi")
        build_package(folder, product_wxs(f"RIZezuvu benchmark {name}", "1.0.0", "RIZezuvu benchmark",
                                          self.MSI_UPGRADE_CODE, install_dir, sources), out)
        return out

    def msi_copy(self, msi, replaced=None, into=None):
        """msiexec's whole installation of `msi`, in milliseconds; the
        product is removed again afterwards (not timed). `replaced`, a
        (path, size) pair, is a file that must have been replaced; `into`,
        the folder to install into (else the package's own)."""
        start = time.perf_counter()
        ran = subprocess.run([WINE, "msiexec", "/i", winpath(msi), "/qn", *([] if into is None else [f"INSTALLDIR={into}"])],
                             timeout=1800,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
        elapsed = (time.perf_counter() - start) * 1000
        if replaced and os.path.getsize(replaced[0]) != replaced[1]:
            raise RuntimeError(f"msiexec /i {msi} left {replaced[0]} as it was")
        subprocess.run([WINE, "msiexec", "/x", winpath(msi), "/qn"], timeout=1800,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if ran.returncode != 0:
            raise RuntimeError(f"msiexec /i {msi} exited {ran.returncode}: {ran.stdout[-500:]}")
        return elapsed

    def nsis_copy(self, installer):
        """The installer's whole run, in milliseconds (less an empty one's, by the caller)."""
        for attempt in range(3):
            start = time.perf_counter()
            ran = subprocess.run([WINE, installer, "/S"], timeout=900, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True, errors="replace")
            elapsed = (time.perf_counter() - start) * 1000
            if ran.returncode == 0:
                return elapsed
            # Seen now and then: an NSIS installer under Wine ends with 1
            # (its "aborted") having written nothing; a second run works.
            print(f"NSIS installer exited {ran.returncode}: {ran.stdout[-500:]}", file=sys.stderr)
        raise RuntimeError(f"the NSIS installer {installer} failed three times")

    def operations(self, command, count):
        """File-system operations a file of `command` costs: its own system
        calls and those the Wine server makes for it (which opens, renames,
        links and deletes on the program's behalf), counted by strace."""
        calls = "openat,creat,renameat2,rename,renameat,linkat,link,unlinkat,unlink,fsync,fdatasync,mkdir,rmdir"
        server = subprocess.run(["pgrep", "-f", "-n", "wineserver"], stdout=subprocess.PIPE, text=True).stdout.split()
        out_client = os.path.join(self.root, "ops-client.txt")
        out_server = os.path.join(self.root, "ops-server.txt")
        watcher = None
        if server:
            watcher = subprocess.Popen(["strace", "-c", "-f", "-e", f"trace={calls}", "-o", out_server, "-p", server[0]],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        subprocess.run(["strace", "-c", "-f", "-e", f"trace={calls}", "-o", out_client, *command],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=1800)
        totals = {}
        if watcher:
            watcher.send_signal(2)
            watcher.wait(timeout=30)
        for path in (out_client, out_server):
            if not os.path.exists(path):
                continue
            with open(path) as f:
                for line in f:
                    parts = line.split()
                    if len(parts) >= 5 and parts[-1] in calls.split(",") and parts[3].isdigit():
                        totals[parts[-1]] = totals.get(parts[-1], 0) + int(parts[3])
        kinds = {"opens": ("openat", "creat"), "renames": ("renameat2", "rename", "renameat"),
                 "links": ("linkat", "link"), "deletes": ("unlinkat", "unlink", "rmdir"),
                 "flushes": ("fsync", "fdatasync"), "folders made": ("mkdir",)}
        return {kind: sum(totals.get(c, 0) for c in names) / count for kind, names in kinds.items()}

    def host_copy(self, package, files):
        start = time.perf_counter()
        subprocess.run(["cp", *[os.path.join(package.folder, f) for f in files[:1000]], self.install_dir], check=True)
        rest = files[1000:]
        while rest:
            subprocess.run(["cp", *[os.path.join(package.folder, f) for f in rest[:1000]], self.install_dir], check=True)
            rest = rest[1000:]
        return (time.perf_counter() - start) * 1000

    # --- figures ------------------------------------------------------------

    def figure_start(self):
        package = self.package("start")
        program, bare, floor = [], [], []
        for _ in range(self.runs * 3):
            program.append(self.program_start(package))
            bare.append(self.bare_start())
            floor.append(self.floor_start())
        self.results["start"] = (Stats(program), Stats(bare))
        self.results["start-floor"] = Stats(floor)
        messages = dict(FULL_MESSAGES)
        big = self.package("messages", messages=messages)
        count = 500 if self.quick else 10000
        with open(os.path.join(big.folder, "OVConfig.xml"), "a", newline="\r\n") as f:
            pass
        text = config_xml(FULL_MESSAGES).replace(
            "</Messages>", "".join(f"<Message key{i}='text {i}'/>" for i in range(count)) + "</Messages>")
        big.write_config(text)
        many = []
        for _ in range(self.runs * 3):
            many.append(self.program_start(big))
        self.results["messages"] = (Stats(many), count)

    def figure_limits(self):
        """Configurations at each of the parser's limits: the time to the consent box."""
        base = config_xml(FULL_MESSAGES)
        deep = base.replace("</OVConfig>", "<x>" * 63 + "</x>" * 63 + "</OVConfig>")
        wide = base.replace("</Messages>", "<Message " + " ".join(f"k{i}='v'" for i in range(1024)) +
                            "/></Messages>")
        large = base.replace("</OVConfig>", "<!--  -->\n</OVConfig>")
        # CR LF line ends: the file on disk is longer than the text by one byte a line.
        on_disk = len(large.encode("latin-1")) + large.count("\n")
        large = large.replace("<!--  -->", "<!-- " + "c" * (1024 * 1024 - on_disk) + " -->")
        results = {}
        for name, text in (("64 levels deep", deep), ("1,024 attributes on one element", wide),
                           ("1 MiB", large)):
            package = self.package("limit-" + name.split()[0].replace(",", ""))
            package.write_config(text)
            results[name] = Stats(self.program_start(package) for _ in range(self.runs))
        self.results["limits"] = results

    def figure_checker(self):
        """ovpack check of a package with 10,000 files (native, no sanitizers)."""
        count = 200 if self.quick else 10000
        files = [f"c{i:05d}.dat" for i in range(count)]
        package = self.package("checker", files, 10)
        times = []
        for _ in range(self.runs):
            start = time.perf_counter()
            checked = subprocess.run([os.environ["OVPACK"], "check", package.folder], stdout=subprocess.DEVNULL)
            # 1: warnings only (the package holds the driver's link stand-in, which no File names).
            if checked.returncode not in (0, 1):
                raise RuntimeError(f"ovpack check failed with {checked.returncode}")
            times.append((time.perf_counter() - start) * 1000)
        self.results["checker"] = (Stats(times), count)

    def sealed_copy_of(self, package, name, files):
        """The same package, sealed by ovpack (its files linked, not copied)."""
        sealed = Package(os.path.join(self.root, name))
        shutil.copyfile(os.path.join(package.folder, "OVConfig.xml"), os.path.join(sealed.folder, "OVConfig.xml"))
        for f in files:
            os.link(os.path.join(package.folder, f), os.path.join(sealed.folder, f))
        subprocess.run([os.environ["OVPACK"], "seal", sealed.folder], check=True, stdout=subprocess.DEVNULL)
        return sealed

    def copy_figure(self, name, count, size, sealed_too=False):
        files = [f"f{i:05d}.dat" for i in range(count)]
        package = self.package(name, files, size)
        empty = self.package(name + "-empty")
        sealed = self.sealed_copy_of(package, name + "-sealed", files) if sealed_too else None
        program, idle, bare, flushed, flushes, host, write_ahead = [], [], [], [], [], [], []
        sealed_copy, sealed_start, unsealed_start = [], [], []
        for _ in range(self.runs if count < 10000 else max(1, self.runs // 2)):
            self.restore_old(files, size)
            program.append(self.program_copy(package))
            idle.append(self.program_copy(empty))
            if sealed:
                # The seal's cost: its check of every file before the consent
                # box, and the hashing of each copy as it is written.
                self.restore_old(files, size)
                sealed_copy.append(self.program_copy(sealed))
                sealed_start.append(self.program_start(sealed))
                unsealed_start.append(self.program_start(package))
            self.restore_old(files, size)
            bare.append(self.bare_copy(package, files))
            self.restore_old(files, size)
            total, flushing = self.bare_copy(package, files, "flush-each")
            flushed.append(total)
            flushes.append(flushing)
            self.restore_old(files, size)
            write_ahead.append(self.bare_copy(package, files, "keep-old"))
            self.restore_old(files, size)
            host.append(self.host_copy(package, files))
        # NSIS writing the same files, less an installer that writes none.
        installer = self.nsis_installer(name + "-nsis", package, files)
        empty_installer = self.nsis_installer(name + "-nsis-empty", package, [])
        nsis = []
        for _ in range(self.runs if count < 10000 else max(1, self.runs // 2)):
            self.restore_old(files, size)
            nsis.append(self.nsis_copy(installer) - self.nsis_copy(empty_installer))
        self.nsis_results[name] = Stats(nsis)
        # Windows Installer replaces an unversioned file only when it differs
        # from the one it installs: the old copies are one byte shorter.
        msi = self.msi_package(name + "-msi", package, files)
        empty_msi = self.msi_package(name + "-msi-empty", package, [])
        msis = []
        for _ in range(self.runs if count < 10000 else max(1, self.runs // 2)):
            self.restore_old(files, max(0, size - 1))
            first = (os.path.join(self.install_dir, files[0]), size)
            msis.append(self.msi_copy(msi, replaced=first, into=self.install_win + "\\") - self.msi_copy(empty_msi))
        self.msi_results[name] = Stats(msis)
        # What each file costs the file system, for each of them.
        listing = os.path.join(self.root, "list.txt")
        with open(listing, "w") as f:
            f.write("\n".join(files) + "\n")
        ops = {}
        self.restore_old(files, size)
        ops["RIZezuvu.exe (/quiet)"] = self.operations([WINE, package.exe, "/quiet"], count)
        self.restore_old(files, size)
        ops["bare CopyFileA loop, each file flushed"] = self.operations(
            [WINE, os.path.join(BUILD, "bare_copy.exe"), winpath(package.folder), self.install_win, winpath(listing),
             "flush-each"], count)
        self.restore_old(files, size)
        ops["NSIS installer"] = self.operations([WINE, installer, "/S"], count)
        self.ops_results[name] = ops
        pause = statistics.median(idle)
        net = [p - pause for p in program]
        self.results[name] = (Stats(net), Stats(idle), Stats(bare), Stats(host), count, size)
        # The program flushes every new file before its commit: the floor that
        # does the same, and what the flushes alone cost.
        self.flush_results[name] = (Stats(flushed), Stats(flushes))
        # The least an update that can be undone writes: every old byte once
        # more, flushed, before the files are rewritten in place.
        self.write_ahead_results[name] = Stats(write_ahead)
        if sealed:
            self.results["sealed"] = (Stats(p - pause for p in sealed_copy), Stats(sealed_start),
                                      Stats(unsealed_start), count, size)

    def figure_memory(self):
        files = [f"m{i:03d}.dat" for i in range(10)]
        package = self.package("memory", files, 1000)
        program, bare, floor = [], [], []
        for _ in range(self.runs):
            self.restore_old(files, 10)
            watch = PeakMemory("RIZezuvu.exe")
            self.program_copy(package)
            program.append(watch.stop())
            watch = PeakMemory("bare_box.exe")
            self.bare_start()
            bare.append(watch.stop())
            watch = PeakMemory("required_steps.exe")
            self.floor_start()
            floor.append(watch.stop())
        self.results["memory"] = (Stats(program), Stats(bare))
        self.results["memory-floor"] = Stats(floor)

    def run(self):
        self.figure_start()
        self.figure_limits()
        self.figure_checker()
        if self.quick:
            self.copy_figure("copy", 20, 10_000, sealed_too=True)
            sizes = [10, 50]
        else:
            self.copy_figure("copy", 1000, 500_000, sealed_too=True)
            sizes = [100, 1000, 10000]
        for count in sizes:
            self.copy_figure(f"scale-{count}", count, 1000)
        self.scaling_sizes = sizes
        self.figure_memory()


# What the figures above don't say by themselves: where the program's time
# goes, from bare programs that add one step at a time (kept with the report).
WHERE_THE_TIME_GOES = """## Where the time goes

Under Wine the floor itself is noisy on a shared machine (the same bare
CopyFileA loop over 1,000 small files has taken from 0.5 s to 1 s in runs an
hour apart), so read the ratios measured in one run, not the absolute times.

* Start: before its consent box the program does what the required-steps
  floor does (the common controls, `msi.dll` from System32 and its product
  search, the process list, the log) and also reads, checks and parses
  `OVConfig.xml` and looks for a journal an interrupted run left. A quiet
  run does not load the common controls at all (Wine's own `msi.dll`
  imports them, so under Wine they come with it all the same).
* Copy: every file is replaced by name, never written into (an elevated
  program must not write into a file object that a link or a second name
  shares with a file elsewhere): its new copy is made whole in the
  journal and flushed, the old file renamed into the journal, the new one
  renamed into its place, and the old copy deleted after the result. Before
  the first change the program holds every folder it writes in and checks
  where each target really lies (one open and one final-path query per
  existing target). An earlier version rewrote files of up to 4 MiB in
  place, their old bytes kept in data files first; it was faster on small
  files (its bare floor is the write-ahead column above) but could not be
  made safe against links, second names and files changed after a killed
  run, so it is gone. What the program does beyond the loop, per file: the
  new name in the journal, two renames, the old file's delete at the end,
  the look at the target before the run and again when it takes the step,
  and the log line. Reading a file's size, attributes and time through
  `GetFileInformationByHandle` costs a round trip to Wine's mount manager
  per file (the volume serial number), so the program asks only for what
  it needs; moving the status window's bar with every file repaints it, so
  it moves when the window is served, at most every 25 ms.
* The commit: the record goes (the update is final), the result is shown,
  and only then are the journal's old copies deleted, which the user no
  longer waits for.
* On a tmpfs the flushes cost next to nothing, and what is left is the
  program's and Wine's: the new names, the renames and the deletes.
* Windows Installer (Wine's own) extracts every file from the package's
  cabinet and records each component in its database: about 2 ms a small
  file and 6.5 ms a 500 KB one, well behind the program.
* NSIS writes every file from its own open archive with no source to open
  and no flush: with no durability and no undo it is the lower bound of
  what an installer can do; to pass it on small files the program would
  have to stop flushing each file (a flush of the volume at the commit
  point instead, which needs administrator rights and which Wine does not
  do) and read its sources from one archive.
* Memory: the program and the floor load the same libraries; the program
  adds its own code, the parsed configuration and the journal's buffers.
* Size: the shipped program carries no debug information.
"""


def ops_table(ops):
    kinds = list(next(iter(ops.values())).keys())
    lines = ["| per file | " + " | ".join(kinds) + " |", "|---|" + "---|" * len(kinds)]
    for name, counts in ops.items():
        lines.append(f"| {name} | " + " | ".join(f"{counts[k]:.2f}" for k in kinds) + " |")
    lines += ["", "Counted by strace in the program's process and in the Wine server, which opens, renames, links "
              "and deletes files on the program's behalf; a run's fixed costs (the log, the journal's record and "
              "folder, the libraries) are spread over its files."]
    return lines


def check_cost(ms, size):
    if ms <= 0:
        return "nothing measurable"
    return f"{ms:.0f} ms ({size / 1e6 / (ms / 1000):.0f} MB/s)"


def sha_extensions():
    try:
        with open("/proc/cpuinfo") as f:
            return " sha_ni" in f.read()
    except OSError:
        return False


def wine_version():
    return subprocess.run([WINE, "--version"], stdout=subprocess.PIPE, text=True).stdout.strip()


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def row(name, stats, unit="ms"):
    return f"| {name} | {stats.median:.0f} {unit} | {stats.min:.0f} | {stats.max:.0f} |"


def tmpfs_section(bench, tmpfs):
    """The same copies with the installation folder on a tmpfs."""
    if tmpfs is None:
        return []
    lines = [
        "## The same copies on a tmpfs",
        "",
        f"The installation folder on a tmpfs mapped as Wine's drive R: (the package stays on "
        f"{bench.file_system}): what is left when no disk is under the files shows which costs are the "
        "file system's and which are the program's and Wine's.",
        "",
        "| files | RIZezuvu.exe | bare CopyFileA loop | loop flushing each file | ratio to it | bare write-ahead | "
        "ratio to it | NSIS | Windows Installer |",
        "|---|---|---|---|---|---|---|---|---|",
    ]
    for name in ("copy", "scale-1000"):
        net, _, bare, _, count, size = tmpfs.results[name]
        flushed = tmpfs.flush_results[name][0]
        ahead = tmpfs.write_ahead_results[name]
        lines.append(f"| {count:,} × {size:,} bytes | {net.median:.0f} ms | {bare.median:.0f} ms | "
                     f"{flushed.median:.0f} ms | {net.median / flushed.median:.2f} | "
                     f"{ahead.median:.0f} ms | {net.median / ahead.median:.2f} | "
                     f"{tmpfs.nsis_results[name].median:.0f} ms | {tmpfs.msi_results[name].median:.0f} ms |")
    lines += ["", "The file-system operations per file are those counted above: the same calls, on another "
              "file system.", ""]
    return lines


def write_report(bench, out_dir, tmpfs=None):
    r = bench.results
    exe = os.path.getsize(os.path.join(BUILD, "RIZezuvu.exe"))
    bare_exe = os.path.getsize(os.path.join(BUILD, "bare_box.exe"))
    start, bare_start = r["start"]
    lines = [
        "# Benchmarks",
        "",
        f"Written by `tools/benchmark.sh`{' --quick (small sizes, one run each: not for comparison)' if bench.quick else ''} "
        f"on {datetime.date.today().isoformat()}: {os.cpu_count()} cores ({cpu_model()}), "
        f"{wine_version()}, one warm Wine server, the desktop kept up by a hidden window, the installation "
        f"folder on {bench.file_system}. "
        f"Medians of {bench.runs * 3} runs (start) or {bench.runs} runs (copies), each program interleaved "
        "with its reference; min and max beside them.",
        "",
        "## Start: process creation to the consent box",
        "",
        "| program | median | min | max |",
        "|---|---|---|---|",
        row("RIZezuvu.exe (consent box)", start),
        row("required-steps floor (tools/bench/required_steps.cpp)", r["start-floor"]),
        row("bare program (one message box)", bare_start),
        "",
        f"Ratio to the required-steps floor {start.median / r['start-floor'].median:.2f} (goal 1.05 or less); "
        f"to the bare program {start.median / bare_start.median:.2f}. The floor does only what must come before "
        "the consent box: the common controls, msi.dll from System32 with the product search and its "
        "installation folder, the process list, the log's first line, the box.",
        "",
        f"With {r['messages'][1]:,} messages in the configuration: {r['messages'][0].median:.0f} ms "
        f"(min {r['messages'][0].min:.0f}, max {r['messages'][0].max:.0f}).",
        "",
        "Configurations at the parser's limits (they are refused one step past them):",
        "",
        "| configuration | median | min | max |",
        "|---|---|---|---|",
        *[row(name, stats) for name, stats in r["limits"].items()],
        "",
        f"Goal: under 2 s to the first window at each limit.",
        "",
        f"`ovpack check` of a package with {r['checker'][1]:,} files (native, without sanitizers): "
        f"{r['checker'][0].median:.0f} ms (min {r['checker'][0].min:.0f}, max {r['checker'][0].max:.0f}); "
        "goal: well under a second.",
        "",
        "## Copy",
        "",
    ]
    net, idle, bare, host, count, size = r["copy"]
    lines += [
        f"{count:,} files of {size:,} bytes ({count * size / 1e6:.0f} MB) replacing older copies of the same files "
        "(so the journal keeps every old one). The program's time runs from OK on the consent box to the result "
        "dialog, less that of a run that copies nothing (the status window's pause, the dialogs, the journal's "
        f"start and end): that run took {idle.median:.0f} ms (min {idle.min:.0f}, max {idle.max:.0f}).",
        "",
        "| | median | min | max |",
        "|---|---|---|---|",
        row("RIZezuvu.exe", net),
        row("bare CopyFileA loop", bare),
        row("bare CopyFileA loop, each file flushed to the disk", bench.flush_results["copy"][0]),
        row("(of which the flushes)", bench.flush_results["copy"][1]),
        row("bare write-ahead: every old file into data files, flushed, then each file rewritten in place and "
            "flushed", bench.write_ahead_results["copy"]),
        row("NSIS installer (SetCompress off, /S), less an empty one", bench.nsis_results["copy"]),
        row("Windows Installer (wixl MSI, msiexec /qn), less an empty one", bench.msi_results["copy"]),
        row("host cp", host),
        "",
        f"The program takes {net.median / bench.flush_results['copy'][0].median:.2f} times the loop that flushes "
        f"each file as the program does (goal 1.10 or less), {net.median / bare.median:.2f} times the bare loop, "
        f"{net.median / bench.nsis_results['copy'].median:.2f} times NSIS (which flushes nothing) and "
        f"{net.median / bench.msi_results['copy'].median:.2f} times Windows Installer. The bare write-ahead "
        "floor, the steps alone that let an update be undone (the old bytes written once more, in data files of "
        "the journal's size, flushed before the files are rewritten; no checks, no log, no record of each step), "
        f"takes {bench.write_ahead_results['copy'].median / bench.flush_results['copy'][0].median:.2f} times the "
        f"flushing loop; the program takes {net.median / bench.write_ahead_results['copy'].median:.2f} times that "
        "floor.",
        "",
        *ops_table(bench.ops_results["copy"]),
        "",
    ]
    sealed_net, sealed_start, unsealed_start, sealed_count, sealed_size = r["sealed"]
    lines += [
        "### A sealed package",
        "",
        f"The same {sealed_count:,} files of {sealed_size:,} bytes, sealed by `ovpack seal`: the program checks "
        "every file against the seal before the consent box (one read of each, hashed), and hashes each copy "
        "again as it writes it into the journal (in the same pass as the copy).",
        "",
        "| | median | min | max |",
        "|---|---|---|---|",
        row("copy, unsealed (as above)", net),
        row("copy, sealed", sealed_net),
        row("start to the consent box, unsealed", unsealed_start),
        row("start to the consent box, sealed (the check before it)", sealed_start),
        "",
        f"The sealed copy takes {sealed_net.median / net.median:.2f} times the unsealed one; the check before "
        f"the consent box adds {check_cost(sealed_start.median - unsealed_start.median, sealed_count * sealed_size)}. "
        "SHA-256 runs on the processor's SHA extensions where it has them "
        f"({'this one does' if sha_extensions() else 'this one does not'}).",
        "",
        "## Scaling: small files (1,000 bytes each)",
        "",
        "| files | RIZezuvu.exe ms/file | CopyFileA loop ms/file | ratio | loop flushing each file ms/file | ratio to it | NSIS ms/file | Windows Installer ms/file |",
        "|---|---|---|---|---|---|---|---|",
    ]
    points = []
    for n in bench.scaling_sizes:
        net_n, _, bare_n, _, count_n, _ = r[f"scale-{n}"]
        per_program = net_n.median / count_n
        per_bare = bare_n.median / count_n
        points.append((count_n, per_program, per_bare))
        flushed_n = bench.flush_results[f"scale-{n}"][0]
        lines.append(f"| {count_n:,} | {per_program:.2f} | {per_bare:.2f} | {net_n.median / bare_n.median:.2f} | "
                     f"{flushed_n.median / count_n:.2f} | {net_n.median / flushed_n.median:.2f} | "
                     f"{bench.nsis_results[f'scale-{n}'].median / count_n:.2f} | "
                     f"{bench.msi_results[f'scale-{n}'].median / count_n:.2f} |")
    program_memory, bare_memory = r["memory"]
    lines += [
        "",
        "Goal: 1.10 or less to the flushing loop at every size. Under Wine the floor itself grows with the "
        "folder: each lookup of a name that does not exist yet reads the whole folder.",
        "",
        f"File-system operations per file at {bench.scaling_sizes[-2]:,} small files:",
        "",
        *ops_table(bench.ops_results[f"scale-{bench.scaling_sizes[-2]}"]),
        "",
        "![Time per file against the number of files](benchmarks-per-file.png)",
        "",
        "## Size and memory",
        "",
        f"* `RIZezuvu.exe` as shipped (no debug information): {exe / 1024:.0f} KiB (goal 1 MiB or less); "
        f"the bare program: {bare_exe / 1024:.0f} KiB.",
        f"* Peak resident set (VmHWM of the Wine process) of a whole successful run: {program_memory.median / 1024:.1f} MB "
        f"(min {program_memory.min / 1024:.1f}, max {program_memory.max / 1024:.1f}); the bare program: "
        f"{bare_memory.median / 1024:.1f} MB; the required-steps floor: {r['memory-floor'].median / 1024:.1f} MB; "
        f"ratio to that floor {program_memory.median / r['memory-floor'].median:.2f} (goal 1.05 or less).",
        "",
    ]
    lines += tmpfs_section(bench, tmpfs)
    lines.append(WHERE_THE_TIME_GOES)
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "benchmarks.md"), "w") as f:
        f.write("\n".join(lines))
    data = os.path.join(out_dir, "benchmarks-per-file.dat")
    with open(data, "w") as f:
        for point in points:
            f.write(f"{point[0]} {point[1]:.4f} {point[2]:.4f}\n")
    chart = os.path.join(out_dir, "benchmarks-per-file.png")
    script = (f"set terminal png size 720,420; set output '{chart}'; set logscale x; "
              "set xlabel 'File entries (1,000 bytes each)'; set ylabel 'ms per file'; set key top left; "
              "set yrange [0:*]; set grid; "
              f"plot '{data}' using 1:2 with linespoints lw 2 title 'RIZezuvu.exe', "
              f"'{data}' using 1:3 with linespoints lw 2 title 'bare CopyFileA loop'")
    subprocess.run(["gnuplot", "-e", script], check=True)
    os.remove(data)
    print("\n".join(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--only", metavar="COUNTxSIZE",
                        help="measure one copy (e.g. 1000x500000), print its figures, write no report")
    parser.add_argument("--tmpfs", action="store_true",
                        help="with --only: the installation folder on a tmpfs")
    args = parser.parse_args()
    bench = Bench(args.quick, tmpfs=args.tmpfs and bool(args.only))
    tmpfs = None
    try:
        if args.only:
            count, size = (int(n) for n in args.only.split("x"))
            bench.copy_figure("only", count, size)
            net, idle, bare, host, _, _ = bench.results["only"]
            flushed, flushes = bench.flush_results["only"]
            print(f"program {net.median:.0f} ms (idle run {idle.median:.0f}); loop {bare.median:.0f}; "
                  f"loop flushing each {flushed.median:.0f} (flushes {flushes.median:.0f}); "
                  f"ratio {net.median / bare.median:.2f}, to the flushing loop {net.median / flushed.median:.2f}; "
                  f"NSIS {bench.nsis_results['only'].median:.0f}; Windows Installer {bench.msi_results['only'].median:.0f}; "
                  f"write-ahead floor {bench.write_ahead_results['only'].median:.0f} "
                  f"({bench.write_ahead_results['only'].median / flushed.median:.2f} of the flushing loop; "
                  f"program {net.median / bench.write_ahead_results['only'].median:.2f} of it)")
            return 0
        bench.run()
        if not args.quick:
            # One installation at a time: the program refuses two.
            bench.close()
            tmpfs = Bench(False, tmpfs=True)
            try:
                tmpfs.copy_figure("copy", 1000, 500_000)
                tmpfs.copy_figure("scale-1000", 1000, 1000)
            finally:
                tmpfs.close()
    finally:
        bench.close()
    write_report(bench, os.path.join(BUILD, "bench") if args.quick else os.path.join(SOURCE, "docs"), tmpfs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
