"""The automation driver itself: a stuck run ends with a clear message and the
child is killed; a run without windows stays quiet."""
import os
import unittest

from harness import BUILD, WineTestCase, drive, wine_processes


def running_standins():
    return len(wine_processes("orvexa_standin.exe"))


class Driver(WineTestCase):
    def test_timeout_kills_the_child(self):
        before = running_standins()
        run = drive(os.path.join(BUILD, "orvexa_standin.exe"), ["quiet:300", "wait"], timeout=3)
        self.assertEqual(run.returncode, 3, run.raw)
        last = run.events[-1]
        self.assertEqual(last["event"], "timeout")
        self.assertEqual(last["step"], "wait")
        self.assertIn("killed", last["message"])
        self.assertEqual(run.windows, [])
        # A start that Wine's loader dropped is tried again, and says so
        # first; the child then starts once.
        starts = [event["event"] for event in run.events if event["event"].startswith("start")]
        self.assertEqual(starts[-1], "started", run.raw)
        self.assertTrue(all(event == "start-retried" for event in starts[:-1]), run.raw)
        self.assertEqual(running_standins(), before)

    def test_unknown_button_is_a_failed_step(self):
        run = drive(os.path.join(BUILD, "orvexa_standin.exe"), ["press:Nothing"], timeout=10)
        self.assertEqual(run.returncode, 2, run.raw)
        self.assertEqual(run.events[-1]["event"], "error")


if __name__ == "__main__":
    unittest.main()
