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
import re
import shutil
import statistics
import string
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


# The report's words: tools/bench/benchmarks.md.in. This script supplies the
# figures, formatted; the template says what they mean.
TEMPLATE = os.path.join(SOURCE, "tools", "bench", "benchmarks.md.in")


class ReportTemplate:
    """The page and its pieces, each after a "%% NAME" line of the template."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            parts = re.split(r"^%% (\w+)\n", f.read(), flags=re.M)
        self.pieces = {name: text.rstrip("\n") for name, text in zip(parts[1::2], parts[2::2])}

    def fill(self, piece, /, **values):
        return string.Template(self.pieces[piece]).substitute(values)


def stats_values(name, stats, scale=1, digits=0):
    """NAME, NAME_min and NAME_max: a figure's median and spread."""
    return {name: f"{stats.median / scale:.{digits}f}", f"{name}_min": f"{stats.min / scale:.{digits}f}",
            f"{name}_max": f"{stats.max / scale:.{digits}f}"}


def operations_table(template, ops):
    kinds = list(next(iter(ops.values())).keys())
    rows = [template.fill("operations_row", name=name, counts=" | ".join(f"{counts[k]:.2f}" for k in kinds))
            for name, counts in ops.items()]
    return template.fill("operations", kinds=" | ".join(kinds), kind_rules="---|" * len(kinds),
                         rows="\n".join(rows))


def check_cost(template, ms, size):
    if ms <= 0:
        return template.fill("check_cost_unmeasurable")
    return template.fill("check_cost", ms=f"{ms:.0f}", rate=f"{size / 1e6 / (ms / 1000):.0f}")


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


def tmpfs_section(template, bench, tmpfs):
    """The same copies with the installation folder on a tmpfs (nothing without them)."""
    if tmpfs is None:
        return ""
    rows = []
    for name in ("copy", "scale-1000"):
        net, _, bare, _, count, size = tmpfs.results[name]
        flushed = tmpfs.flush_results[name][0]
        ahead = tmpfs.write_ahead_results[name]
        rows.append(template.fill(
            "tmpfs_row", count=f"{count:,}", size=f"{size:,}", copy=f"{net.median:.0f}",
            loop=f"{bare.median:.0f}", flushed=f"{flushed.median:.0f}",
            to_flushed=f"{net.median / flushed.median:.2f}", write_ahead=f"{ahead.median:.0f}",
            to_write_ahead=f"{net.median / ahead.median:.2f}",
            nsis=f"{tmpfs.nsis_results[name].median:.0f}", msi=f"{tmpfs.msi_results[name].median:.0f}"))
    return "\n" + template.fill("tmpfs", file_system=bench.file_system, rows="\n".join(rows)) + "\n"


def report_text(bench, tmpfs=None, template_path=TEMPLATE):
    """docs/benchmarks.md for these figures, and the per-file points of its chart."""
    template = ReportTemplate(template_path)
    r = bench.results
    values = {
        "quick": " " + template.fill("quick") if bench.quick else "",
        "date": datetime.date.today().isoformat(),
        "cores": os.cpu_count(),
        "cpu": cpu_model(),
        "wine": wine_version(),
        "file_system": bench.file_system,
        "start_runs": bench.runs * 3,
        "copy_runs": bench.runs,
    }
    start, bare_start = r["start"]
    values.update(stats_values("start", start))
    values.update(stats_values("floor_start", r["start-floor"]))
    values.update(stats_values("bare_start", bare_start))
    values["start_to_floor"] = f"{start.median / r['start-floor'].median:.2f}"
    values["start_to_bare"] = f"{start.median / bare_start.median:.2f}"
    messages, messages_count = r["messages"]
    values["messages_count"] = f"{messages_count:,}"
    values.update(stats_values("messages", messages))
    values["limit_rows"] = "\n".join(
        template.fill("limit_row", name=name, median=f"{stats.median:.0f}", min=f"{stats.min:.0f}",
                      max=f"{stats.max:.0f}")
        for name, stats in r["limits"].items())
    checker, checker_files = r["checker"]
    values["checker_files"] = f"{checker_files:,}"
    values.update(stats_values("checker", checker))

    net, idle, bare, host, count, size = r["copy"]
    flushed, flushes = bench.flush_results["copy"]
    write_ahead = bench.write_ahead_results["copy"]
    values.update(copy_count=f"{count:,}", copy_size=f"{size:,}", copy_mb=f"{count * size / 1e6:.0f}")
    for name, stats in (("idle", idle), ("copy", net), ("loop", bare), ("flushed", flushed), ("flushes", flushes),
                        ("write_ahead", write_ahead), ("nsis", bench.nsis_results["copy"]),
                        ("msi", bench.msi_results["copy"]), ("host", host)):
        values.update(stats_values(name, stats))
    values.update(
        copy_to_flushed=f"{net.median / flushed.median:.2f}", copy_to_loop=f"{net.median / bare.median:.2f}",
        copy_to_nsis=f"{net.median / bench.nsis_results['copy'].median:.2f}",
        copy_to_msi=f"{net.median / bench.msi_results['copy'].median:.2f}",
        write_ahead_to_flushed=f"{write_ahead.median / flushed.median:.2f}",
        copy_to_write_ahead=f"{net.median / write_ahead.median:.2f}")
    values["copy_operations"] = operations_table(template, bench.ops_results["copy"])

    sealed_net, sealed_start, unsealed_start, sealed_count, sealed_size = r["sealed"]
    values.update(sealed_count=f"{sealed_count:,}", sealed_size=f"{sealed_size:,}")
    values.update(stats_values("sealed_copy", sealed_net))
    values.update(stats_values("unsealed_start", unsealed_start))
    values.update(stats_values("sealed_start", sealed_start))
    values["sealed_to_unsealed"] = f"{sealed_net.median / net.median:.2f}"
    values["check_cost"] = check_cost(template, sealed_start.median - unsealed_start.median,
                                      sealed_count * sealed_size)
    values["sha_extensions"] = template.fill("sha_extensions" if sha_extensions() else "no_sha_extensions")

    points = []
    rows = []
    for n in bench.scaling_sizes:
        net_n, _, bare_n, _, count_n, _ = r[f"scale-{n}"]
        per_program = net_n.median / count_n
        per_bare = bare_n.median / count_n
        points.append((count_n, per_program, per_bare))
        flushed_n = bench.flush_results[f"scale-{n}"][0]
        rows.append(template.fill(
            "scaling_row", files=f"{count_n:,}", program=f"{per_program:.2f}", loop=f"{per_bare:.2f}",
            to_loop=f"{net_n.median / bare_n.median:.2f}", flushed=f"{flushed_n.median / count_n:.2f}",
            to_flushed=f"{net_n.median / flushed_n.median:.2f}",
            nsis=f"{bench.nsis_results[f'scale-{n}'].median / count_n:.2f}",
            msi=f"{bench.msi_results[f'scale-{n}'].median / count_n:.2f}"))
    values["scaling_rows"] = "\n".join(rows)
    values["operations_files"] = f"{bench.scaling_sizes[-2]:,}"
    values["scaling_operations"] = operations_table(template,
                                                    bench.ops_results[f"scale-{bench.scaling_sizes[-2]}"])

    program_memory, bare_memory = r["memory"]
    values["exe_kib"] = f"{os.path.getsize(os.path.join(BUILD, 'RIZezuvu.exe')) / 1024:.0f}"
    values["bare_exe_kib"] = f"{os.path.getsize(os.path.join(BUILD, 'bare_box.exe')) / 1024:.0f}"
    values.update(stats_values("memory", program_memory, scale=1024, digits=1))
    values["bare_memory"] = f"{bare_memory.median / 1024:.1f}"
    values["floor_memory"] = f"{r['memory-floor'].median / 1024:.1f}"
    values["memory_to_floor"] = f"{program_memory.median / r['memory-floor'].median:.2f}"
    values["tmpfs"] = tmpfs_section(template, bench, tmpfs)
    return template.fill("page", **values) + "\n", points


def write_report(bench, out_dir, tmpfs=None):
    text, points = report_text(bench, tmpfs)
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "benchmarks.md"), "w") as f:
        f.write(text)
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
    print(text)


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
