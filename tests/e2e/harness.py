"""Helpers for the end-to-end tests: the real RIZezuvu.exe under Wine, real
MSI installations, real package folders, driven by tools/driver (uidriver.exe).

The tests expect the environment of tools/run_tests.sh: WINEPREFIX and a
running Wine server, RIZEZUVU_BUILD (the Windows build folder) and
RIZEZUVU_SOURCE (the source tree).
"""
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("RIZEZUVU_BUILD", "")
SOURCE = os.environ.get("RIZEZUVU_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
PREFIX = os.environ.get("WINEPREFIX", "")
# The loader tools/wine_env.sh chose for this prefix.
WINE = os.environ.get("WINE", "wine")
PROGRAM_FILES_X86 = os.path.join(PREFIX, "drive_c", "Program Files (x86)")
MSI_CACHE = os.path.join(BUILD, "e2e-msi")

STAMP = re.compile(
    r"^[0-3][0-9], (January|February|March|April|May|June|July|August|September|October|"
    r"November|December) [0-9]{4}, [0-2][0-9]:[0-5][0-9]:[0-5][0-9]: ")

FAILURE_CAPTION = "Orvexa Upgrade"
NO_LOG_HEAD = "Orvexa upgrade failed.\nUnable to generate log file.\nSystem Error:"
NO_LOG_TAIL = "Please reinstall Orvexa application."
SEE_LOG_TEXT = ("Orvexa upgrade failed.\nThe operation failed to complete. Please refer to "
                "'RIZezuvu.log' located in Orvexa directory for more information.")


def winpath(path):
    """The Windows form of a Linux path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, timeout=120, check=True):
    result = subprocess.run([WINE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout, text=True, errors="replace")
    if check and result.returncode != 0:
        raise AssertionError(f"wine {' '.join(args)} exited {result.returncode}: {result.stderr[-400:]}")
    return result


class Run:
    """A transcript of one driver run."""

    def __init__(self, events, returncode, raw):
        self.events = events
        self.returncode = returncode
        self.raw = raw

    @property
    def windows(self):
        return [e for e in self.events if e.get("event") == "window"]

    @property
    def exit_code(self):
        exits = [e for e in self.events if e.get("event") == "exit"]
        return exits[-1]["code"] if exits else None

    def gone(self):
        return [e for e in self.events if e.get("event") == "gone"]


def drive(exe, steps, cwd=None, args=None, timeout=40, env=None):
    command = [WINE, os.path.join(BUILD, "uidriver.exe"), "--timeout", str(timeout)]
    if cwd:
        command += ["--cwd", winpath(cwd)]
    if args:
        command += ["--args", args]
    command += [winpath(exe), *steps]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            errors="replace", timeout=timeout + 30, env=env)
    events = []
    for line in result.stdout.splitlines():
        line = line.strip()
        if line.startswith("{"):
            events.append(json.loads(line))
    return Run(events, result.returncode, result.stdout)


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


def build_msi(version, folder, location="backslash", product_id="123456", location_value=None):
    """An Orvexa stand-in package (cached per arguments; each build has a fresh product code).
    `location_value` records that text as InstallLocation instead."""
    os.makedirs(MSI_CACHE, exist_ok=True)
    tag = location if location_value is None else re.sub(r"[^A-Za-z0-9]", "_", location_value)
    name = f"orvexa-{version}-{folder}-{tag}-{product_id}.msi"
    path = os.path.join(MSI_CACHE, name)
    if not os.path.exists(path):
        extra = [] if location_value is None else ["--location-value", location_value]
        subprocess.run(["python3", os.path.join(SOURCE, "tools", "make_fixture_msi.py"), "--out", path,
                        "--version", version, "--folder", folder, "--location", location,
                        "--product-id", product_id, "--standin",
                        os.path.join(BUILD, "orvexa_standin.exe"), *extra], check=True)
    return path


class Installation:
    """Installs stand-in packages with msiexec; removes all of them together."""

    def __init__(self):
        self.packages = []

    def add(self, version="1.6.12", folder="Orvexa", location="backslash", product_id="123456",
            location_value=None):
        package = build_msi(version, folder, location, product_id, location_value)
        folder_path = os.path.join(PROGRAM_FILES_X86, folder)
        shutil.rmtree(folder_path, ignore_errors=True)
        wine("msiexec", "/i", winpath(package), "/qn")
        self.packages.append((package, folder_path))
        return folder_path

    def folders(self):
        return [folder for _, folder in self.packages]

    def remove_all(self):
        for package, folder_path in self.packages:
            wine("msiexec", "/x", winpath(package), "/qn", check=False)
            # What the tests added (logs, copied content) is not the installer's to remove.
            shutil.rmtree(folder_path, ignore_errors=True)
        self.packages = []


def wine_processes(exe_name):
    """The pids of running Windows programs of that name in this run's prefix:
    Wine runs each as a Linux process whose command line names its exe (a
    run of another clone, in another prefix, is left alone)."""
    found = subprocess.run(["pgrep", "-f", exe_name], stdout=subprocess.PIPE, text=True).stdout
    pids = []
    for pid in found.split():
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if f"WINEPREFIX={PREFIX}".encode() in environment:
            pids.append(int(pid))
    return pids


def program_processes(exe_name):
    """The Wine processes that run `exe_name` itself (not a driver that names it)."""
    found = []
    for pid in wine_processes(exe_name):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                program = f.read().split(b"\0")[0].decode("latin-1")
        except OSError:
            continue
        if program.replace("/", "\\").lower().endswith("\\" + exe_name.lower()):
            found.append(pid)
    return found


def wait_for_file(path, wait):
    """True once `path` exists, polling for at most `wait` seconds."""
    deadline = time.time() + wait
    while time.time() < deadline and not os.path.exists(path):
        time.sleep(0.1)
    return os.path.exists(path)


class RunningProcess:
    """A real process under Wine, ended when the test ends."""

    def __init__(self, exe, *args, ready=None):
        self.process = subprocess.Popen([WINE, exe, *args], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        # Wine runs the Windows process as a Linux process named after its exe;
        # wait until it is there (and whatever else `ready` asks), not a fixed time.
        name = os.path.basename(exe)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.pid in wine_processes(name) and (ready is None or ready()):
                break
            time.sleep(0.1)
        time.sleep(0.3)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait(timeout=20)


FULL_MESSAGES = {
    "title": "Orvexa Update",
    "askuser": "Orvexa will now be updated. Continue?",
    "status": "Updating, please wait...",
    "ovrunning": "Please close Orvexa and run the update again.",
    "ovnotinstalled": "Orvexa is not installed on this computer.",
    "versionerror": "This update does not apply to the installed version.",
    "ovinstallsuccess": "The update is complete.",
    "updatestart": "Update tool %s started.",
    "updatefile": "Updated file %s",
    "updatecomplete": "Update tool %s finished.",
    "downloadcaption": "Download Orvexa",
    "downloadlink": "",
    "helpcaption": "Help",
    "helplink": "",
}


def xml_attribute(value):
    return (value.replace("&", "&amp;").replace("'", "&apos;").replace("<", "&lt;")
            .replace("\n", "&#10;"))


def config_xml(messages, upgrade="", min_version="1.6.00.1", max_version="1.6.00.999"):
    attributes = " ".join(f"{k}='{xml_attribute(v)}'" for k, v in messages.items())
    version = "" if min_version is None else f"<Version min='{min_version}' max='{max_version}'/>"
    return (f"<?xml version='1.0'?>\n<OVConfig>\n  {version}\n  <Messages><Message {attributes}/></Messages>\n"
            f"  {upgrade}\n</OVConfig>\n")


class Package:
    """An update package folder: RIZezuvu.exe, OVConfig.xml and content files."""

    def __init__(self, root, exe_name="RIZezuvu.exe"):
        self.folder = os.path.join(root, "package")
        os.makedirs(self.folder, exist_ok=True)
        self.exe = os.path.join(self.folder, "RIZezuvu.exe")
        shutil.copyfile(os.path.join(BUILD, exe_name), self.exe)
        shutil.copyfile(os.path.join(BUILD, "link_marker.exe"), os.path.join(self.folder, "link_marker.exe"))
        self.marker = os.path.join(self.folder, "link_marker.exe.started")

    @property
    def link(self):
        return winpath(os.path.join(self.folder, "link_marker.exe"))

    def write_config(self, text):
        with open(os.path.join(self.folder, "OVConfig.xml"), "w", encoding="latin-1", newline="\r\n") as f:
            f.write(text)

    def add_file(self, name, content):
        path = os.path.join(self.folder, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)

    def links_opened(self, wait=2.0):
        if not wait_for_file(self.marker, wait):
            return 0
        with open(self.marker, "rb") as f:
            return f.read().count(b"started")


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



def standard_package(root, messages=None, upgrade=UPGRADE, **versions):
    """The usual package: every message, UPGRADE's entries and their files;
    the links open link_marker.exe."""
    package = Package(root)
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
    result = subprocess.run([WINE, os.path.join(BUILD, "tests", "error_text.exe"), str(code)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60, check=True)
    return result.stdout.decode("latin-1")
