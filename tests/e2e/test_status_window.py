"""The status window during a large update, end to end: it answers every
message at once while the copy runs, its bar only moves forward, and a close
request does not end it."""
import os

from harness import FULL_MESSAGES, Package, WineTestCase, config_xml, drive, snapshot, texts

IDC_STATUS_PROGRESS = 1003
LARGE = 150 << 20


class StatusWindow(WineTestCase):
    def large_update(self):
        install_dir = self.install()
        upgrade = ("<Upgrade><Product id='000000'><Group dir=''>"
                   + "".join(f"<File name='big{i}.dat'/>" for i in range(4))
                   + "</Group></Product></Upgrade>")
        package = Package(self.root)
        package.write_config(config_xml(FULL_MESSAGES, upgrade))
        block = bytes(range(256)) * 4096  # 1 MiB
        for i in range(4):
            with open(os.path.join(package.folder, f"big{i}.dat"), "wb") as f:
                for _ in range(LARGE >> 20):
                    f.write(block)
            with open(os.path.join(install_dir, f"big{i}.dat"), "wb") as f:
                f.write(b"old")
        return install_dir, package

    def ping_during_copy(self, steps_after_status):
        install_dir, package = self.large_update()
        run = drive(package.exe, ["wait", "press:OK", "wait", *steps_after_status, f"ping:{IDC_STATUS_PROGRESS}",
                                  "wait", "press:OK", "exit"], timeout=300)
        self.assertEqual(run.exit_code, 0, run.raw[-3000:])
        (ping,) = [e for e in run.events if e.get("event") == "ping"]
        consent, status, result = run.windows
        self.assertEqual(texts(status), [FULL_MESSAGES["status"]])
        self.assertEqual(texts(result), [FULL_MESSAGES["ovinstallsuccess"]])
        for i in range(4):
            self.assertEqual(os.path.getsize(os.path.join(install_dir, f"big{i}.dat")), LARGE)
        return ping

    def test_the_window_answers_at_once_and_its_bar_only_moves_forward(self):
        ping = self.ping_during_copy([])
        # The pause and a 600 MB copy: many answers, each measured around
        # the call that waited for it.
        self.assertGreater(ping["answers"], 10, ping)
        self.assertLess(ping["longest_ms"], 250, ping)
        self.assertEqual(ping["range"], 1000, ping)
        positions = ping["positions"]
        self.assertEqual(positions, sorted(positions), ping)
        self.assertGreater(len(set(positions)), 2, ping)

    def test_a_close_request_during_the_copy_ends_nothing(self):
        ping = self.ping_during_copy(["close"])
        self.assertGreater(ping["answers"], 10, ping)
