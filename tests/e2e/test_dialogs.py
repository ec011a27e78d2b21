"""The message dialog and the status window on their own, opened by
dialog_viewer.exe with a message table and checked through the driver."""
import os
import shutil
import unittest

from harness import (BUILD, LINK_WAIT, WineTestCase, config_xml, drive, has_icon, marker_lines, texts,
                     visible_buttons, winpath)

IDOK = 1
IDCANCEL = 2

MESSAGES = {
    "title": "Orvexa Update",
    "ovnotinstalled": "Orvexa is not installed on this computer.",
    "downloadcaption": "Get Orvexa",
    "helpcaption": "Online help",
    "status": "Updating, please wait...",
}


class Viewer:
    """dialog_viewer.exe in a folder with its OVConfig.xml and two link markers."""

    def __init__(self, root, messages):
        self.folder = os.path.join(root, "viewer")
        os.makedirs(self.folder)
        self.exe = os.path.join(self.folder, "dialog_viewer.exe")
        shutil.copyfile(os.path.join(BUILD, "dialog_viewer.exe"), self.exe)
        table = dict(messages)
        for kind in ("download", "help"):
            marker = os.path.join(self.folder, f"{kind}_marker.exe")
            shutil.copyfile(os.path.join(BUILD, "link_marker.exe"), marker)
            table.setdefault(f"{kind}link", winpath(marker))
        with open(os.path.join(self.folder, "OVConfig.xml"), "w", newline="\r\n") as f:
            f.write(config_xml(table))

    def opened(self, kind, wait=LINK_WAIT):
        return len(marker_lines(os.path.join(self.folder, f"{kind}_marker.exe.started"), wait)) > 0

    def message(self, download, help, steps, text_key="ovnotinstalled"):
        return drive(self.exe, ["wait", *steps, "exit"], args=f"msg {int(download)} {int(help)} {text_key}")


class MessageDialog(WineTestCase):
    def test_buttons_by_mode(self):
        cases = [
            ((True, False), ["OK", "Get Orvexa"]),
            ((False, True), ["OK", "Online help"]),
            ((False, False), ["OK"]),
            ((True, True), ["OK", "Get Orvexa"]),
        ]
        viewer = Viewer(self.root, MESSAGES)
        for (download, help), buttons in cases:
            with self.subTest(download=download, help=help):
                run = viewer.message(download, help, ["press:OK"])
                self.assertEqual(run.returncode, 0, run.raw)
                (window,) = run.windows
                self.assertEqual(window["class"], "#32770")
                self.assertEqual(window["title"], "Orvexa Update")
                self.assertEqual(texts(window), [MESSAGES["ovnotinstalled"]])
                self.assertTrue(has_icon(window))
                self.assertEqual(visible_buttons(window), buttons)
                self.assertTrue(window["topmost"])
                self.assertTrue(window["foreground"])
                self.assertCentred(window)
                self.assertEqual(run.exit_code, IDOK)
        self.assertFalse(viewer.opened("download", wait=0.3))
        self.assertFalse(viewer.opened("help", wait=0.3))

    def test_enter_escape_and_close_box_open_nothing(self):
        viewer = Viewer(self.root, MESSAGES)
        for step, result in (("enter", IDOK), ("escape", IDCANCEL), ("close", IDCANCEL)):
            with self.subTest(step):
                run = viewer.message(True, False, [step])
                self.assertEqual(run.returncode, 0, run.raw)
                self.assertEqual(run.exit_code, result)
        self.assertFalse(viewer.opened("download", wait=0.5))

    def test_download_button_opens_the_download_link(self):
        viewer = Viewer(self.root, MESSAGES)
        run = viewer.message(True, True, ["press:Get Orvexa"])
        self.assertEqual(run.exit_code, IDOK, run.raw)
        self.assertTrue(viewer.opened("download"))
        self.assertFalse(viewer.opened("help", wait=0.3))

    def test_help_button_opens_the_help_link(self):
        viewer = Viewer(self.root, MESSAGES)
        run = viewer.message(False, True, ["press:Online help"])
        self.assertEqual(run.exit_code, IDOK, run.raw)
        self.assertTrue(viewer.opened("help"))
        self.assertFalse(viewer.opened("download", wait=0.3))

    def test_missing_captions_and_title(self):
        messages = {"ovnotinstalled": "Text only."}
        viewer = Viewer(self.root, messages)
        for download, help, button_id in ((True, False, 1002), (False, True, 57670)):
            with self.subTest(download=download):
                run = viewer.message(download, help, ["press:OK"])
                (window,) = run.windows
                self.assertEqual(window["title"], "")
                shown = [b for b in window["buttons"] if b["visible"]]
                self.assertEqual([(b["id"], b["text"]) for b in shown], [(1, "OK"), (button_id, "")])


class StatusWindow(WineTestCase):
    def show(self, messages):
        viewer = Viewer(self.root, messages)
        return drive(viewer.exe, ["wait", "gone", "exit"], args="status 1000")

    def test_status_text_beside_the_icon(self):
        run = self.show(MESSAGES)
        self.assertEqual(run.returncode, 0, run.raw)
        (window,) = run.windows
        self.assertEqual(texts(window), [MESSAGES["status"]])
        self.assertTrue(has_icon(window))
        self.assertFalse(window["titlebar"])
        self.assertTrue(window["toolwindow"])
        self.assertEqual(window["buttons"], [])
        self.assertCentred(window)
        # The driver's clock starts before the program does, so however late
        # it notices the window's end this bound holds.
        self.assertGreaterEqual(run.gone()[0]["t"], 995)
        self.assertEqual(run.exit_code, 0)

    def test_missing_status_text_leaves_the_line_empty(self):
        run = self.show({"title": "x"})
        (window,) = run.windows
        self.assertEqual(texts(window), [])
        self.assertTrue(has_icon(window))


if __name__ == "__main__":
    unittest.main()
