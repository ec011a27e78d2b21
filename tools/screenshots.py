#!/usr/bin/env python3
"""Takes screenshots of the program's dialogs under Xvfb with Wine's X11
driver (unmanaged windows), for the README: the message dialog in download
mode and in help mode, and the status window, at 96, 144 and 192 dpi (100,
150 and 200 % display scale, set through Wine's LogPixels).

  tools/screenshots.py BUILD_DIR OUT_DIR

Uses its own Wine prefix (BUILD_DIR/shots) so the tests' prefix keeps the
null driver. Needs Xvfb and ImageMagick (tools/setup.sh installs both).
"""
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MESSAGES = {
    "title": "Orvexa Update",
    "ovnotinstalled": "Orvexa is not installed on this computer. Download it from the Orvexa web site.",
    "ovinstallsuccess": "The update is complete. Orvexa is ready to use.",
    "downloadcaption": "Download Orvexa",
    "helpcaption": "Help",
    "status": "Updating, please wait...",
}


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def shell_env(build):
    """The environment that tools/wine_env.sh sets up in xvfb mode."""
    script = (f"source '{ROOT}/tools/wine_env.sh' '{build}/shots' xvfb && wine_prefix_init && "
              "wine_server_start >/dev/null && env -0")
    os.makedirs(os.path.join(build, "shots"), exist_ok=True)
    out = subprocess.run(["bash", "-c", script], stdout=subprocess.PIPE, check=True).stdout
    env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return env


def capture(env, build, viewer, args, steps, out_png, settle=0.8):
    driver = subprocess.Popen(
        [env.get("WINE", "wine"), os.path.join(build, "uidriver.exe"), "--args", args, winpath(viewer), "wait", *steps, "exit"],
        stdout=subprocess.PIPE, text=True, env=env)
    window = None
    for line in driver.stdout:
        event = json.loads(line)
        if event["event"] == "window":
            window = event
            break
    if window is None:
        driver.wait()
        raise SystemExit(f"no window for {args}")
    time.sleep(settle)
    left, top, right, bottom = window["rect"]
    subprocess.run(["import", "-display", env["DISPLAY"], "-window", "root",
                    "-crop", f"{right - left + 16}x{bottom - top + 16}+{max(left - 8, 0)}+{max(top - 8, 0)}",
                    "+repage", out_png], check=True)
    driver.stdout.read()
    driver.wait(timeout=60)
    print(f"wrote {out_png}")


def set_dpi(env, dpi):
    """Wine's display scale, read when its server starts."""
    wine = env.get("WINE", "wine")
    for key in (r"HKCU\Control Panel\Desktop", r"HKCC\Software\Fonts"):
        subprocess.run([wine, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                       env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-k"], env=env, check=False)
    subprocess.run(["wineserver", "-w"], env=env, check=False)


def main():
    build, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    env = shell_env(build)
    try:
        for dpi in (96, 144, 192):
            set_dpi(env, dpi)
            shoot(env, build, out, f"-{dpi}" if dpi != 96 else "")
    finally:
        subprocess.run(["bash", "-c", f"source '{ROOT}/tools/wine_env.sh' '{build}/shots' xvfb && "
                        "wineserver -k; wineserver -w; pkill -f 'Xvfb :97' || true"], env=env)
    return 0


def shoot(env, build, out, suffix):
    """The three windows at the scale in force, named with `suffix`."""
    work = os.path.join(build, "shots", "viewer")
    os.makedirs(work, exist_ok=True)
    viewer = os.path.join(work, "dialog_viewer.exe")
    shutil.copyfile(os.path.join(build, "dialog_viewer.exe"), viewer)
    attributes = " ".join(f"{k}='{v}'" for k, v in MESSAGES.items())
    with open(os.path.join(work, "OVConfig.xml"), "w") as f:
        f.write(f"<OVConfig><Version min='1' max='2'/><Messages><Message {attributes}/></Messages></OVConfig>")
    capture(env, build, viewer, "msg 1 0 ovnotinstalled", ["sleep:1500", "press:OK"],
            os.path.join(out, f"message-download{suffix}.png"))
    capture(env, build, viewer, "msg 0 1 ovinstallsuccess", ["sleep:1500", "press:OK"],
            os.path.join(out, f"message-help{suffix}.png"))
    capture(env, build, viewer, "status 2500", ["gone"], os.path.join(out, f"status{suffix}.png"),
            settle=0.5)


if __name__ == "__main__":
    sys.exit(main())
