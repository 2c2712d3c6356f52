#!/usr/bin/python3
"""What every desktop driver leans on in desktop_kit and tray_kit, checked without a display:
settled shots, changed points, the menu's geometry and captions, the tray icon and menu
found in a window tree, data files and the desktop's state file.
Exit status 0 = pass, 1 = fail.
"""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402


def shot(rect, colour_at):
    """A Shot of rect whose pixel at (x, y) is colour_at(x, y), made without a server."""
    made = kit.Shot.__new__(kit.Shot)
    made.rect = rect
    x0, y0, w, h = rect
    made.rows = [[colour_at(x, y) for x in range(x0, x0 + w)] for y in range(y0, y0 + h)]
    return made


WHITE, BLACK = (255, 255, 255), (0, 0, 0)


class Window:
    def __init__(self, ident):
        self.id = ident


class FakeSession:
    """A window tree as desktop_kit.XSession.windows() gives it."""

    def __init__(self, listed):
        self.listed = listed

    def windows(self):
        return self.listed


class ShotsTest(unittest.TestCase):
    def test_settled_shot_waits_for_repeats_and_accept(self):
        cases = [
            # (shots in turn, repeats, accept, index of the shot given)
            ("two equal in a row", ["a", "b", "b"], 1, lambda s: True, 2),
            ("a change starts the count again", ["a", "a", "b", "b", "b"], 2, lambda s: True, 4),
            ("an equal pair that accept refuses", ["x", "x", "y", "y"], 1, lambda s: s == "y", 3),
        ]
        for name, shots, repeats, accept, given in cases:
            with self.subTest(name):
                taken = iter(shots)
                seen = []

                def take():
                    seen.append(next(taken))
                    return seen[-1]

                result = kit.settled_shot(take, name, accept, repeats=repeats, interval=0)
                self.assertEqual(result, shots[given])
                self.assertEqual(len(seen), given + 1)

    def test_settled_shot_times_out(self):
        count = iter(range(10 ** 6))
        with self.assertRaises(kit.Failure):
            kit.settled_shot(lambda: next(count), "never settles", interval=0, timeout=0.05)

    def test_changed_points(self):
        rect = (10, 20, 6, 4)
        before = shot(rect, lambda x, y: WHITE)
        after = shot(rect, lambda x, y: BLACK if x in (11, 14) and y == 21 else WHITE)
        self.assertEqual(kit.changed_points(before, after, rect), {(11, 21), (14, 21)})
        self.assertEqual(kit.changed_points(before, after, rect, exclude=(14, 20, 2, 4)),
                         {(11, 21)})
        self.assertEqual(kit.changed_points(before, after, (12, 20, 2, 4)), set())
        self.assertEqual(kit.changed_points(before, before, rect), set())


class MenuTest(unittest.TestCase):
    def test_item_points_fall_in_their_rows(self):
        rect = (100, 200, 150, 120)  # six rows of 20 pixels
        for index in range(tray_kit.MENU_ITEMS):
            with self.subTest(index=index):
                x, y = tray_kit.item_point(rect, index)
                self.assertEqual(x, 150)
                self.assertTrue(200 + 20 * index < y < 200 + 20 * (index + 1))

    def test_menu_size(self):
        cases = [((0, 0, 120, 6 * 22), True), ((0, 0, 79, 6 * 22), False),
                 ((0, 0, 120, 6 * 14 - 1), False), ((0, 0, 120, 6 * 40 + 1), False)]
        for rect, menu in cases:
            with self.subTest(rect=rect):
                self.assertEqual(tray_kit.is_menu_size(rect), menu)

    def test_caption_lines_counts_bands_of_text(self):
        rect = (0, 0, 80, 120)
        for rows, bands in [([], 0), ([10, 11, 12], 1), ([10, 11, 30, 31, 50], 3),
                            ([10, 12, 14], 1), ([10, 15], 2)]:
            with self.subTest(rows=rows):
                menu = shot(rect, lambda x, y: BLACK if y in rows and 20 <= x < 30 else WHITE)
                self.assertEqual(tray_kit.caption_lines(menu, rect), bands)

    def test_dark_pixels_outside_the_caption_column_are_no_caption(self):
        rect = (0, 0, 80, 120)
        menu = shot(rect, lambda x, y: BLACK if y == 10 and x >= 60 else WHITE)
        self.assertEqual(tray_kit.caption_lines(menu, rect), 0)


class TrayTreeTest(unittest.TestCase):
    def test_docked_icons_only_inside_the_panel(self):
        panel, frame = Window(1), Window(2)
        listed = [
            (panel, "tint2", "Tint2", (0, 0, 1280, 30), ()),
            (Window(3), "Dalvenor", "Dalvenor", (900, 4, 22, 22), (panel,)),
            # The countdown window: named so too, but a top-level of its own.
            (Window(4), "Dalvenor", "Dalvenor", (400, 300, 403, 200), ()),
            # A small window of that name that a manager framed: no icon.
            (Window(5), "Dalvenor", "Dalvenor", (10, 10, 22, 22), (frame,)),
            # Not sized yet.
            (Window(6), "Dalvenor", "Dalvenor", (930, 4, 1, 1), (panel,)),
        ]
        session = FakeSession(listed)
        self.assertEqual(tray_kit.docked_icons(session), [(900, 4, 22, 22)])
        self.assertEqual(tray_kit.docked_icon(session), (900, 4, 22, 22))
        self.assertIsNone(tray_kit.docked_icon(FakeSession(listed[2:])))

    def test_new_menu_is_a_new_top_level_of_menu_size(self):
        root = Window(0)
        countdown = (Window(10), "Dalvenor", "Dalvenor", (400, 300, 403, 200), (root,))
        menu = (Window(11), "", "Dalvenor", (900, 600, 150, 132), (root,))
        other = (Window(12), "", "Tint2", (700, 600, 150, 132), (root,))
        nested = (Window(13), "", "Dalvenor", (900, 600, 150, 132), (root, Window(1)))
        before = tray_kit.program_top_levels(FakeSession([countdown]))
        self.assertEqual(set(before), {10})
        self.assertEqual(tray_kit.new_menu(FakeSession([countdown, menu]), before),
                         (900, 600, 150, 132))
        for name, listed in [("only the countdown", [countdown]),
                             ("another program's", [countdown, other]),
                             ("not a top-level", [countdown, nested])]:
            with self.subTest(name):
                self.assertIsNone(tray_kit.new_menu(FakeSession(listed), before))
        # A menu seen before the click is not the new one.
        self.assertIsNone(tray_kit.new_menu(FakeSession([countdown, menu]), {10: None, 11: None}))


class FilesTest(unittest.TestCase):
    def test_write_lines_and_state_value(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "countdown.ini")
            kit.write_lines(path, ["第一行", "6/7/2099"])
            with open(path, "rb") as f:
                self.assertEqual(f.read(), "第一行\r\n6/7/2099\r\n".encode("gb18030"))
            state = os.path.join(folder, "desktop.state")
            with open(state, "w", encoding="utf-8") as f:
                f.write("DISPLAY=:7\nTINT2_PID=1234\nTINT2_PID_OLD=1\n")
            self.assertEqual(kit.state_value(state, "TINT2_PID"), "1234")
            self.assertEqual(kit.state_value(state, "DISPLAY"), ":7")
            self.assertEqual(kit.state_value(state, "OPENBOX_PID"), "")

    def test_process_family_of_a_childless_process_is_empty(self):
        import subprocess
        child = subprocess.Popen([sys.executable, "-c", "import sys; sys.stdin.read()"],
                                 stdin=subprocess.PIPE)
        try:
            self.assertIn(child.pid, kit.process_family(os.getpid()))
            self.assertEqual(kit.process_family(child.pid), [])
        finally:
            child.stdin.close()
            child.wait(timeout=30)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() and not result.skipped else 1)
