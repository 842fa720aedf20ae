"""The tessary package against the real program on the demo camera, whose
square moves only in picture rows 44 to 75."""
import asyncio
import collections
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import tessary  # noqa: E402
import tessary.aio  # noqa: E402
from program import CODE, Program  # noqa: E402


class SharedProgram(unittest.TestCase):
    """One program for the class; each test connects and closes in turn,
    since Tessary serves one client at a time."""

    @classmethod
    def setUpClass(cls):
        cls.program = Program()

    @classmethod
    def tearDownClass(cls):
        cls.program.stop()

    def connect(self, **options):
        return tessary.connect("127.0.0.1", self.program.port, code=CODE, **options)


class BlockingClientTest(SharedProgram):
    def test_the_readme_example_prints_hits_for_the_zone_in_the_band(self):
        hits = collections.Counter()
        with tessary.connect("127.0.0.1", self.program.port, code="s3cret") as c:
            c.display_size(160, 120)
            c.add("door", 20, 50, 120, 20)
            c.add("still", 0, 0, 160, 30)
            for e in c.events(timeout=3.0):
                if e.kind == "hit":
                    hits[e.zone] += 1
        self.assertGreaterEqual(hits["door"], 5)
        self.assertEqual(hits["still"], 0)

    def test_a_grid_reports_its_cells_and_motion_amounts(self):
        with self.connect() as c:
            c.status_messages("add", "delete")
            band = c.grid("band", 0, 44, 160, 32, 4, 1)
            c.motion(True)
            events = list(c.events(timeout=3.0))
            self.assertEqual(events[0], tessary.Event("status", "band", "Created"))
            hits = {e.zone for e in events if e.kind == "hit"}
            self.assertTrue(hits, events)
            self.assertTrue(hits <= {"band_0", "band_1", "band_2", "band_3"}, hits)
            amounts = [e.value for e in events if e.kind == "motion"]
            self.assertTrue(amounts)
            self.assertTrue(all(isinstance(a, int) and 1 <= a <= 100 for a in amounts), amounts)

            cell = c.check_zone("band_1")
            self.assertEqual((cell.name, cell.x, cell.y, cell.width, cell.height),
                             ("band_1", 40, 44, 40, 32))
            band.delete()
            self.assertEqual(c.check_zone("band_1").status, "Deleted")
            self.assertIsNone(c.check_zone("nothing"))
            self.assertIn(tessary.Event("status", "band", "Deleted"),
                          list(c.events(timeout=0.2)))

    def test_a_refused_command_raises_with_tessarys_text_and_the_client_goes_on(self):
        with self.connect() as c:
            door = c.add("door", 20, 50, 120, 20)
            with self.assertRaises(tessary.CommandError) as refused:
                c.add("door", 0, 0, 10, 10)
            self.assertEqual(str(refused.exception), "Duplicate zone name 'door'.")
            with self.assertRaisesRegex(tessary.CommandError,
                                        "^display_size: must be set before any zones are created$"):
                c.display_size(320, 240)
            with self.assertRaisesRegex(tessary.CommandError,
                                        "^Invalid zone or grid name 'ghost'.$"):
                c.zone("ghost").move(1, 2)
            with self.assertRaisesRegex(tessary.CommandError, "^pause: illegal parameter$"):
                door.pause(-1)
            # Two refusals in one statement, the known option applied.
            with self.assertRaises(tessary.CommandError) as options:
                c.status_messages("add", "bogus", "worse")
            self.assertEqual(options.exception.texts, ["status_messages: illegal parameter"] * 2)
            # A grid cut down is made: its text comes as an error event.
            c.grid("odd", 0, 0, 100, 100, 3, 1)
            events = list(c.events(timeout=0.3))
            self.assertIn(tessary.Event("status", "odd", "Created"), events)
            self.assertIn(tessary.Event("error", None, "Width/Height/Subdivisions don't match "
                                                       "exactly, grid truncated."), events)
            # Names that would split a statement never reach Tessary.
            with self.assertRaises(ValueError):
                c.add("a;b", 0, 0, 1, 1)
            with self.assertRaises(TypeError):
                c.add("door2", 1.5, 0, 1, 1)
            with self.assertRaisesRegex(ValueError, "cut in two"):
                c.add("x" * 3000, 0, 0, 1, 1)

            self.assertTrue(c.whoareyou().startswith("Tessary "))
            self.assertEqual(c.check_data_type(), "commands")
            self.assertEqual(c.check_sensitivity(), 50)
            self.assertEqual(c.check_threshold(), 20)
            self.assertIs(c.get_mirror(), False)
            c.mirror(True)
            self.assertIs(c.get_mirror(), True)
            c.render_area(10, 20, 100, 50)
            self.assertEqual(c.get_render_area(), (10, 20, 100, 50))
            self.assertIsInstance(c.get_lan(), list)
            # The XML form parses as well.
            c.set_data_type("xml")
            c.reduced_motion(False)
            self.assertEqual(c.check_data_type(), "xml")
            self.assertEqual(c.check_zone("door").status, "Created")
            with self.assertRaisesRegex(tessary.CommandError, "^Duplicate zone name 'door'.$"):
                c.add("door", 0, 0, 10, 10)
            self.assertIn("hit", {e.kind for e in c.events(timeout=1.5)})

    def test_a_client_waiting_for_the_seat_is_told_so_in_time(self):
        with self.connect():
            with self.assertRaisesRegex(tessary.AnswerTimeout, "^Tessary did not answer the "
                                        "login \\(another client may hold the seat\\) within 1 s"):
                tessary.connect("127.0.0.1", self.program.port, code=CODE, login_timeout=1)

    def test_a_wrong_code_raises_after_tessarys_answer(self):
        with self.assertRaisesRegex(tessary.LoginError, "wrong code"):
            tessary.connect("127.0.0.1", self.program.port, code="wrong")
        with self.connect() as c:  # the seat is free again, and a right code clears the count
            self.assertEqual(c.check_data_type(), "commands")
            with self.assertRaises(tessary.LoginError):
                c.login("wrong")
            with self.assertRaisesRegex(tessary.CommandError, "please login"):
                c.check_sensitivity()


class AsyncClientTest(SharedProgram):
    def test_the_asyncio_client_gets_hits_refusals_and_answers(self):
        async def session():
            async with tessary.aio.connect("127.0.0.1", self.program.port, code=CODE) as c:
                await c.display_size(160, 120)
                await c.add("door", 20, 50, 120, 20)
                await c.add("still", 0, 0, 160, 30)
                await c.motion(True)
                with self.assertRaisesRegex(tessary.CommandError, "^Duplicate zone name"):
                    await c.add("door", 0, 0, 1, 1)
                # Commands go on while another task reads the events; those
                # called together leave together, each refusal finding its own.
                reader = asyncio.ensure_future(_collect(c.events(timeout=2.0)))
                together = await asyncio.gather(
                    c.add("a", 0, 0, 10, 10), c.add("a", 0, 0, 10, 10), c.check_sensitivity(),
                    c.zone("ghost").delete(), c.check_zone("a"), c.status_messages("bogus"),
                    c.get_mirror(), return_exceptions=True)
                return together, await reader

        together, events = asyncio.run(session())
        self.assertEqual([str(r) if isinstance(r, Exception) else r for r in together],
                         [together[0], "Duplicate zone name 'a'.", 50,
                          "Invalid zone or grid name 'ghost'.",
                          tessary.ZoneInfo("a", "Created", 0, 0, 10, 10, 20, 50),
                          "status_messages: illegal parameter", False])
        self.assertEqual(together[0].name, "a")
        self.assertIn("door", {e.zone for e in events if e.kind == "hit"})
        self.assertNotIn("still", {e.zone for e in events})
        self.assertTrue(any(e.kind == "motion" and e.zone == "door" and e.value > 0
                            for e in events))

    def test_the_asyncio_client_refuses_a_wrong_code(self):
        async def session():
            await tessary.aio.connect("127.0.0.1", self.program.port, code="wrong")

        with self.assertRaises(tessary.LoginError):
            asyncio.run(session())


async def _collect(events):
    return [e async for e in events]


class ProgramGoesAwayTest(unittest.TestCase):
    def setUp(self):
        self.program = Program()

    def tearDown(self):
        self.program.stop()

    def test_a_silent_program_times_out_and_one_that_ends_ends_the_events(self):
        c = tessary.connect("127.0.0.1", self.program.port, code=CODE, timeout=1.0)
        c.add("door", 20, 50, 120, 20)
        self.program.signal(signal.SIGSTOP)
        started = time.monotonic()
        with self.assertRaisesRegex(tessary.AnswerTimeout, "within 1 s"):
            c.check_sensitivity()
        self.assertLess(time.monotonic() - started, 3)
        with self.assertRaisesRegex(tessary.ConnectionClosed, "no answer in time"):
            c.check_sensitivity()
        self.program.signal(signal.SIGCONT)

        c = tessary.connect("127.0.0.1", self.program.port, code=CODE)
        c.add("door", 20, 50, 120, 20)
        self.program.signal(signal.SIGKILL)
        started = time.monotonic()
        list(c.events())  # without a timeout: runs until the connection ends
        self.assertLess(time.monotonic() - started, 5)
        with self.assertRaisesRegex(tessary.ConnectionClosed, "Tessary closed the connection"):
            c.add("window", 0, 0, 10, 10)

    def test_the_asyncio_client_times_out_and_ends_its_events_when_the_program_ends(self):
        async def session():
            c = await tessary.aio.connect("127.0.0.1", self.program.port, code=CODE, timeout=1)
            await c.add("door", 20, 50, 120, 20)
            self.program.signal(signal.SIGSTOP)
            with self.assertRaisesRegex(tessary.AnswerTimeout, "within 1 s"):
                await asyncio.wait_for(c.check_sensitivity(), 3)
            self.program.signal(signal.SIGCONT)

            c = await tessary.aio.connect("127.0.0.1", self.program.port, code=CODE)
            await c.add("door", 20, 50, 120, 20)
            self.program.signal(signal.SIGTERM)
            events = await asyncio.wait_for(_collect(c.events()), 10)
            with self.assertRaisesRegex(tessary.ConnectionClosed, "closed the connection"):
                await c.check_sensitivity()
            return events

        asyncio.run(session())

    def test_no_program_is_a_clear_error(self):
        self.program.stop()
        with self.assertRaises(ConnectionRefusedError):
            tessary.connect("127.0.0.1", self.program.port, code=CODE)


class PackageTest(unittest.TestCase):
    def test_pip_installs_the_package_into_a_virtual_environment_offline(self):
        source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        with tempfile.TemporaryDirectory() as folder:
            venv = os.path.join(folder, "venv")
            made = subprocess.run([sys.executable, "-m", "venv", venv], capture_output=True,
                                  text=True)
            self.assertEqual(made.returncode, 0, "python3 -m venv failed (Debian package "
                             "python3-venv): " + made.stderr)
            python = os.path.join(venv, "bin", "python")
            installed = subprocess.run(
                [python, "-m", "pip", "install", "--no-index", "--quiet", source],
                capture_output=True, text=True)
            self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
            where = subprocess.run([python, "-c", "import tessary, tessary.aio; "
                                    "print(tessary.__file__, tessary.__version__)"],
                                   capture_output=True, text=True, cwd=folder)
            self.assertTrue(where.stdout.startswith(venv), where.stdout + where.stderr)


if __name__ == "__main__":
    unittest.main()
