"""Running the real program under Wine for the end-to-end tests and the
benchmarks alike: Windows paths, the automation driver, MSI installations,
the program's processes, package folders and their OVConfig.xml.

Expects the environment of tools/wine_env.sh: WINEPREFIX and a running Wine
server, WINE (the loader), RIZEZUVU_BUILD (the Windows build folder) and
RIZEZUVU_SOURCE (the source tree).
"""
import json
import os
import re
import shutil
import signal
import subprocess
import time

BUILD = os.environ.get("RIZEZUVU_BUILD", "")
SOURCE = os.environ.get("RIZEZUVU_SOURCE", os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PREFIX = os.environ.get("WINEPREFIX", "")
# The loader tools/wine_env.sh chose for this prefix.
WINE = os.environ.get("WINE", "wine")
PROGRAM_FILES_X86 = os.path.join(PREFIX, "drive_c", "Program Files (x86)")
MSI_CACHE = os.path.join(BUILD, "e2e-msi")

def winpath(path):
    """The Windows form of a Linux path, through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(*args, timeout=120, check=True):
    result = subprocess.run([WINE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=timeout, text=True, errors="replace")
    if check and result.returncode != 0:
        raise AssertionError(f"wine {' '.join(args)} exited {result.returncode}: "
                             f"{result.stdout[-400:]} {result.stderr[-400:]}")
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
    raw = result.stdout
    if result.returncode != 0 and result.stderr.strip():
        # What Wine itself said (its loader's messages) tells a start that
        # failed in Wine from one that failed in the program.
        raw += "\n[driver's standard error]\n" + result.stderr[-2000:]
    return Run(events, result.returncode, raw)


def build_msi(version, folder, location="backslash", product_id="123456", location_value=None):
    """An Orvexa stand-in package (cached per arguments; each build has a fresh product code).
    `location_value` records that text as InstallLocation instead."""
    os.makedirs(MSI_CACHE, exist_ok=True)
    tag = location if location_value is None else re.sub(r"[^A-Za-z0-9]", "_", location_value)
    name = f"orvexa-{version}-{folder}-{tag}-{product_id}.msi"
    path = os.path.join(MSI_CACHE, name)
    if not os.path.exists(path):
        extra = [] if location_value is None else ["--location-value", location_value]
        subprocess.run(["python3", os.path.join(SOURCE, "tests", "helpers", "make_fixture_msi.py"), "--out", path,
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
        installed = wine("msiexec", "/i", winpath(package), "/qn", check=False)
        if installed.returncode != 0:
            # Seen once in a full run: msiexec ended with 1 and said nothing
            # (a package left registered by an earlier uninstall that did
            # not finish). Remove whatever of it is registered, then install
            # again; a second failure fails the test.
            wine("msiexec", "/x", winpath(package), "/qn", check=False)
            shutil.rmtree(folder_path, ignore_errors=True)
            wine("msiexec", "/i", winpath(package), "/qn")
        self.packages.append((package, folder_path))
        return folder_path

    def folders(self):
        return [folder for _, folder in self.packages]

    def product_code(self, folder_path):
        """The product code of the package installed into `folder_path`."""
        (package,) = [package for package, folder in self.packages if folder == folder_path]
        table = subprocess.run(["msiinfo", "export", package, "Property"], check=True,
                               capture_output=True, text=True).stdout
        (code,) = [line.split("\t")[1].strip() for line in table.splitlines()
                   if line.startswith("ProductCode\t")]
        return code

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


def program_processes(exe_name, naming=None):
    """The Wine processes that run `exe_name` itself (not a driver that names
    it); with `naming` (a path), only those whose command line names that
    path, so that a test never ends another test's run of the same program
    in the same prefix."""
    found = []
    for pid in wine_processes(exe_name):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                arguments = [a.decode("latin-1").replace("/", "\\").lower() for a in f.read().split(b"\0")]
        except OSError:
            continue
        if not arguments[0].endswith("\\" + exe_name.lower()):
            continue
        if naming is None or any(a in (winpath(naming).lower(), os.path.abspath(naming).replace("/", "\\").lower())
                                 for a in arguments):
            found.append(pid)
    return found


def wait_for_file(path, wait):
    """True once `path` exists, polling for at most `wait` seconds."""
    deadline = time.time() + wait
    while time.time() < deadline and not os.path.exists(path):
        time.sleep(0.1)
    return os.path.exists(path)


# How long a test waits for a link it expects to be opened. The desktop's
# shell starts the link's program in its own time, after the program that
# asked has ended; on a loaded machine a new process under Wine can take
# seconds to start. A test that expects no link passes a short wait.
LINK_WAIT = 20.0


def marker_lines(path, wait):
    """The lines that link_marker.exe has written to `path`, waiting at most
    `wait` seconds for the first whole one. A marker program that has only
    begun its line still counts as started: its part line (perhaps empty) is
    the last in the list, without the line end."""
    deadline = time.time() + wait
    while True:
        try:
            with open(path, "rb") as f:
                content = f.read().decode("latin-1")
        except FileNotFoundError:
            content = None
        if content is not None and ("\r\n" in content or time.time() >= deadline):
            *whole, rest = content.split("\r\n")
            return [line + "\r\n" for line in whole] + ([rest] if rest or not whole else [])
        if time.time() >= deadline:
            return []
        time.sleep(0.05)


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

    def links_opened(self, wait=LINK_WAIT):
        return len(marker_lines(self.marker, wait))
