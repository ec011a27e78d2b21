"""The order of one update's steps on the disk, as the power-cut model test
(tests/core/content_install_test.cpp) proved it must be, seen under Wine:
the program is traced with strace, and so is the Wine server, which makes
the renames and deletes the program asks for (the program itself flushes).

A power cut keeps only what was flushed; so, in the trace:
  * the record journal.txt is flushed before the first change to the
    installation (the first rename out of it or into it);
  * every new copy (N.new) is flushed before the record is removed;
  * the journal's folder is flushed after the record is removed, before the
    result window appears (the driver copies a marker file once it sees the
    window, and the marker's creation is in the same trace).
Wine's drives report NTFS, so these are all the flushes there are.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import unittest

from harness import (BUILD, FULL_MESSAGES, PREFIX, WINE, Package, WineTestCase, config_xml, winpath)
from wine_harness import Run

UPDATE = """<Upgrade>
    <Product id='000000'>
      <Group dir=''><File name='player.dll'/><File name='added.dat'/></Group>
    </Product>
  </Upgrade>"""

SYSCALLS = "fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,openat,open,creat"
# -ttt -T: "PID SECONDS.MICRO name(arguments) = result <duration>", or split
# in an unfinished and a resumed line when another process's call comes
# between.
CALL = re.compile(r"^(\d+) +([\d.]+) (\w+)\((.*)\) += (-?\d+).*<([\d.]+)>$")
UNFINISHED = re.compile(r"^(\d+) +([\d.]+) (\w+)\((.*) <unfinished \.\.\.>$")
RESUMED = re.compile(r"^(\d+) +([\d.]+) <\.\.\. (\w+) resumed>(.*)\) += (-?\d+).*<([\d.]+)>$")
QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')
FD_PATH = re.compile(r"^-?\d+<([^>]*)>")


def wine_server_pid():
    """The Wine server of this test's prefix (tools/wine_env.sh starts it)."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
            if not os.path.basename(argv[0]).startswith(b"wineserver"):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if b"WINEPREFIX=" + os.fsencode(PREFIX) in environ:
            return int(entry)
    return None


def events(trace_path):
    """(start, end, name, paths) of each successful call."""
    pending = {}
    found = []
    with open(trace_path, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            match = CALL.match(line)
            if match:
                _, begun, name, arguments, result, took = match.groups()
                begun = float(begun)
                ended = begun + float(took)
            else:
                match = UNFINISHED.match(line)
                if match:
                    pending[match.group(1)] = (float(match.group(2)), match.group(3), match.group(4))
                    continue
                match = RESUMED.match(line)
                if not match or match.group(1) not in pending:
                    continue
                begun, name, arguments = pending.pop(match.group(1))
                arguments += match.group(4)
                result = match.group(5)
                ended = float(match.group(2))
            if int(result) < 0 or (name == "openat" and "O_CREAT" not in arguments):
                continue
            paths = [bytes(p, "utf-8").decode("unicode_escape") for p in QUOTED.findall(arguments)]
            fd = FD_PATH.match(arguments)
            if fd:
                paths.insert(0, fd.group(1))
            # The server names a file by the drive's link at times
            # (dosdevices/c:/...), by the folder itself at others.
            paths = [os.path.realpath(p) if p.startswith("/") else p for p in paths]
            found.append((begun, ended, name, paths))
    return found


def traced_by(pid):
    """The process that traces `pid` (0: none)."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("TracerPid:"):
                return int(line.split()[1])
    return 0


class PowerOrder(WineTestCase):
    def test_one_updates_flushes_come_in_the_order_a_power_cut_needs(self):
        if shutil.which("strace") is None:
            self.fail("strace is missing (tools/setup.sh installs it)")
        server = wine_server_pid()
        self.assertIsNotNone(server, "no Wine server for " + PREFIX)
        install_dir = self.installation.add()
        with open(os.path.join(install_dir, "player.dll"), "wb") as f:
            f.write(b"old player")
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES, UPDATE))
        package.add_file("player.dll", b"new player")
        package.add_file("added.dat", b"added")
        marker_source = os.path.join(self.root, "marker-source")
        marker = os.path.join(self.root, "result-window-shown")
        with open(marker_source, "wb") as f:
            f.write(b"shown")
        server_trace = os.path.join(self.root, "server-trace.txt")
        program_trace = os.path.join(self.root, "program-trace.txt")
        options = ["-f", "-qq", "-y", "-ttt", "-T", "-s", "4096", "-e", "trace=" + SYSCALLS]
        # The server runs on after the update: its trace is ended by hand,
        # once it has begun (the server shows its tracer).
        tracer = subprocess.Popen(["strace", *options, "-o", server_trace, "-p", str(server)],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: tracer.poll() is None and tracer.kill())
        while traced_by(server) != tracer.pid:
            self.assertIsNone(tracer.poll(), "strace could not attach to the Wine server")
            os.sched_yield()
        steps = ["wait", "press:OK", "wait", "gone", "wait",
                 f"copy:{winpath(marker_source)}|{winpath(marker)}", "press:OK", "exit"]
        command = ["strace", *options, "-o", program_trace, "--", WINE, os.path.join(BUILD, "uidriver.exe"),
                   "--timeout", "90", winpath(package.exe), *steps]
        try:
            result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                    errors="replace", timeout=150)
        finally:
            tracer.send_signal(signal.SIGINT)
            tracer.wait(timeout=30)
        run = Run([json.loads(line) for line in result.stdout.splitlines() if line.strip().startswith("{")],
                  result.returncode, result.stdout + result.stderr[-2000:])
        self.assertEqual(run.returncode, 0, run.raw)
        self.assertEqual(run.exit_code, 0, run.raw)
        with open(os.path.join(install_dir, "player.dll"), "rb") as f:
            self.assertEqual(f.read(), b"new player")

        calls = sorted(events(server_trace) + events(program_trace))
        install = os.path.realpath(install_dir) + "/"
        journal = install + ".RIZezuvu-journal"
        record = journal + "/journal.txt"
        flushes = [(begun, ended, paths[0]) for begun, ended, name, paths in calls
                   if name in ("fsync", "fdatasync") and paths]

        def first(predicate, what):
            for begun, ended, name, paths in calls:
                if predicate(name, paths):
                    return begun, ended
            self.fail(what + " is not in the trace: " +
                      repr([c for c in calls if c[2].startswith(("rename", "unlink"))][:20]))

        def flushed(path):
            return [f for f in flushes if f[2] == path]

        def changes_installation(name, paths):
            return name.startswith("rename") and any(
                p.startswith(install) and not p.startswith(journal) for p in paths[:2])

        first_change, _ = first(changes_installation, "a rename in the installation folder")
        record_removed = first(lambda n, p: n.startswith("unlink") and record in p, "the record's removal")
        shown, _ = first(lambda n, p: n in ("openat", "open", "creat")
                         and any(x.endswith("result-window-shown") for x in p), "the marker")
        self.assertTrue(flushed(record), "the record is never flushed")
        self.assertLess(flushed(record)[0][1], first_change)
        # Each new copy renamed into place was flushed before the record went.
        new_copies = [p[0] for _, _, n, p in calls if n.startswith("rename") and p and re.search(r"/\d+\.new$", p[0])]
        self.assertEqual(len(new_copies), 2, calls)
        for copy in new_copies:
            self.assertTrue(flushed(copy), copy + " is never flushed")
            self.assertLess(flushed(copy)[-1][1], record_removed[0], copy)
        folder = [f for f in flushed(journal) if record_removed[1] < f[0] and f[1] < shown]
        self.assertTrue(folder, f"the journal's folder flushed at {flushed(journal)}, the record removed at "
                                f"{record_removed}, the result shown at {shown}")


if __name__ == "__main__":
    unittest.main()
