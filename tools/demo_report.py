#!/usr/bin/env python3
"""Prints what the demonstration update showed (from the driver's transcript,
when there is one), the installation folder's files and RIZezuvu.log, and a
summary."""
import json
import os
import sys


def describe(event):
    kind = "status window" if event.get("toolwindow") else "dialog"
    lines = [f"   [{kind}] title: {event['title']!r}"]
    for static in event["statics"]:
        if static.get("icon"):
            lines.append("           (icon)")
        elif static["text"]:
            lines.append(f"           text: {static['text']!r}")
    buttons = [b["text"] for b in event["buttons"] if b["visible"]]
    if buttons:
        lines.append(f"           buttons: {', '.join(buttons)}")
    return "\n".join(lines)


def main():
    transcript, install = sys.argv[1], sys.argv[2]
    shown = []
    if transcript:
        print("== what the program showed")
        with open(transcript) as f:
            for line in f:
                event = json.loads(line)
                if event["event"] == "window":
                    shown.append(event)
                    print(describe(event))
                elif event["event"] == "press":
                    print(f"   -> pressed {event['button']}")
                elif event["event"] == "gone":
                    print(f"   (the window closed after {event['shown_ms']} ms)")
                elif event["event"] == "exit":
                    print(f"   program ended, exit code {event['code']}")
                elif event["event"] in ("error", "timeout"):
                    print(f"   driver: {event.get('message')}")
    print("== the installation folder")
    for folder, _, files in sorted(os.walk(install)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, install)
            if relative == "RIZezuvu.log":
                continue
            with open(path, "rb") as f:
                head = f.read(40)
            content = head.decode("latin-1") if name.endswith((".dat", ".skin", ".bin", ".ini")) else "(program)"
            print(f"   {relative:28} {content!r}")
    log = os.path.join(install, "RIZezuvu.log")
    print("== RIZezuvu.log")
    ok = False
    if os.path.exists(log):
        with open(log, "rb") as f:
            text = f.read().decode("latin-1")
        for line in text.split("\r\n"):
            if line:
                print(f"   {line}")
        ok = "finished." in text
    else:
        print("   (no log)")
    old_firmware_gone = not os.path.exists(os.path.join(install, "firmware-1.5.bin"))
    ok = ok and old_firmware_gone
    print("== summary")
    if ok:
        print("   The update completed: content for 000000 and 123456 installed, old firmware removed,")
        print("   every step logged.")
    else:
        print("   The update did not complete" + ("" if old_firmware_gone else " (old firmware still there)") +
              "; see above.")
    return 0 if ok or not transcript else 1


if __name__ == "__main__":
    sys.exit(main())
