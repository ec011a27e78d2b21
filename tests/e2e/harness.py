"""Helpers for the end-to-end tests: the real RIZezuvu.exe under Wine, real
MSI installations, real package folders, driven by tests/helpers/uidriver.cpp (uidriver.exe).

The tests expect the environment of tools/run_tests.sh: WINEPREFIX and a
running Wine server, RIZEZUVU_BUILD (the Windows build folder) and
RIZEZUVU_SOURCE (the source tree).
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

# What the benchmarks share with these tests lives in tools/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "tools"))
from wine_harness import (BUILD, FULL_MESSAGES, MSI_CACHE, PREFIX, PROGRAM_FILES_X86, SOURCE, WINE,  # noqa: E402,F401
                          Installation, LINK_WAIT, Package, Run, RunningProcess, build_msi, config_xml, drive,
                          marker_lines, program_processes, wait_for_file, wine, wine_processes, winpath, xml_attribute)

STAMP = re.compile(
    r"^[0-3][0-9], (January|February|March|April|May|June|July|August|September|October|"
    r"November|December) [0-9]{4}, [0-2][0-9]:[0-5][0-9]:[0-5][0-9]: ")

FAILURE_CAPTION = "Orvexa Upgrade"
NO_LOG_HEAD = "Orvexa upgrade failed.\nUnable to generate log file.\nSystem Error:"
NO_LOG_TAIL = "Please reinstall Orvexa application."
SEE_LOG_TEXT = ("Orvexa upgrade failed.\nThe operation failed to complete. Please refer to "
                "'RIZezuvu.log' located in Orvexa directory for more information.")


def visible_buttons(window):
    return [b["text"] for b in window["buttons"] if b["visible"]]


def texts(window):
    """The non-empty texts of a window's static controls (not its icons)."""
    return [s["text"] for s in window["statics"] if s["text"] and not s.get("icon")]


def has_icon(window):
    return any(s.get("icon") for s in window["statics"])


def log_lines(path):
    """The text of each line after its time stamp; asserts every stamp's form."""
    with open(path, "rb") as f:
        data = f.read().decode("latin-1")
    lines = data.split("\r\n")
    assert lines[-1] == "", f"log does not end with CR LF: {data!r}"
    out = []
    for line in lines[:-1]:
        match = STAMP.match(line)
        out.append(line[match.end():] if match else ("<unstamped>" + line if line else ""))
    return out


UPGRADE = """<Upgrade>
    <Product id='000000'>
      <Group dir='Skins'><File name='Skins\\default.skin'/></Group>
      <Group dir=''><File name='common.dat'/></Group>
    </Product>
    <Product id='123456'>
      <Firmware dir=''><File name='Firmware\\123456\\update.bin'/></Firmware>
    </Product>
    <Product id='654321'>
      <Group dir=''><File name='other.dat'/></Group>
    </Product>
  </Upgrade>"""



def standard_package(root, messages=None, upgrade=UPGRADE, exe_name="RIZezuvu.exe", **versions):
    """The usual package: every message, UPGRADE's entries and their files;
    the links open link_marker.exe. `exe_name` is the build's program that
    the package holds as its RIZezuvu.exe."""
    package = Package(root, exe_name)
    table = dict(FULL_MESSAGES if messages is None else messages)
    if "downloadlink" in table:
        table["downloadlink"] = package.link
    if "helplink" in table:
        table["helplink"] = package.link
    package.write_config(config_xml(table, upgrade, **versions))
    package.add_file("Skins\\default.skin", b"skin v2")
    package.add_file("common.dat", b"common v2")
    package.add_file("Firmware\\123456\\update.bin", b"firmware v2")
    package.add_file("other.dat", b"not for this product")
    return package


class WineTestCase(unittest.TestCase):
    """A test with a temporary folder, an installation helper and clean-up."""

    def setUp(self):
        if not BUILD or not PREFIX:
            self.skipTest("run through tools/run_tests.sh (RIZEZUVU_BUILD and WINEPREFIX unset)")
        self.root = tempfile.mkdtemp(prefix="rzv-e2e-", dir=BUILD)
        self.installation = Installation()
        self.processes = []
        self.addCleanup(self._clean)

    def _clean(self):
        for process in self.processes:
            process.stop()
        self.installation.remove_all()
        shutil.rmtree(self.root, ignore_errors=True)

    def install(self, skins=True, **kwargs):
        """An Orvexa installation (Installation.add's arguments), with the
        Skins folder that the usual package's default entry copies into."""
        install_dir = self.installation.add(**kwargs)
        if skins:
            os.makedirs(os.path.join(install_dir, "Skins"), exist_ok=True)
        return install_dir

    def start_afresh(self):
        """Ends what the test started so far and gives it a new folder (for
        one case of a table)."""
        self._clean()
        self.processes = []
        self.root = tempfile.mkdtemp(prefix="rzv-e2e-", dir=BUILD)

    def start_process(self, exe, *args, ready=None):
        process = RunningProcess(exe, *args, ready=ready)
        self.processes.append(process)
        return process

    def assertCentred(self, window):
        """Centred on the work area, to the pixel allowing for rounding."""
        left, top, right, bottom = window["rect"]
        area_left, area_top, area_right, area_bottom = window["workarea"]
        self.assertLessEqual(abs((left + right) - (area_left + area_right)), 2, window)
        self.assertLessEqual(abs((top + bottom) - (area_top + area_bottom)), 2, window)

    def assertFailureReport(self, window, see_log=False, system_text=None):
        self.assertEqual(window["class"], "#32770")
        self.assertEqual(window["title"], FAILURE_CAPTION)
        self.assertEqual(visible_buttons(window), ["OK"])
        self.assertEqual(window["owner"], "0x0")
        self.assertTrue(has_icon(window))
        (text,) = texts(window)
        if see_log:
            self.assertEqual(text, SEE_LOG_TEXT)
        else:
            self.assertTrue(text.startswith(NO_LOG_HEAD), text)
            self.assertTrue(text.endswith("\r\n" + NO_LOG_TAIL), text)
            if system_text is not None:
                self.assertEqual(text[len(NO_LOG_HEAD):-len(NO_LOG_TAIL)], system_text)
        return text


def snapshot(folder, skip=lambda relative: False):
    """Every file and folder under `folder` but RIZezuvu.log: its bytes, its
    mode and its DOS attributes (Wine keeps hidden and system in an extended
    attribute), so that two snapshots are equal when nothing changed."""
    entries = {}
    for here, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(here, name)
            relative = os.path.relpath(path, folder)
            if os.path.basename(relative).lower() == "rizezuvu.log" or skip(relative):
                continue
            try:
                dos = os.getxattr(path, "user.DOSATTRIB")
            except OSError:
                dos = b""
            info = os.lstat(path)
            if os.path.isdir(path):
                entries[relative + "/"] = (oct(info.st_mode), dos)
            else:
                digest = hashlib.sha256()
                with open(path, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        digest.update(block)
                entries[relative] = (oct(info.st_mode), dos, digest.hexdigest())
    return entries


def system_text(code):
    """The system's message text for an error code, as FormatMessageA gives it."""
    result = subprocess.run([WINE, os.path.join(BUILD, "error_text.exe"), str(code)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60, check=True)
    return result.stdout.decode("latin-1")
