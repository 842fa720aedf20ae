#!/usr/bin/env python3
"""The setup page and a browser client in a real headless Chromium.

The program runs on the demo camera with its own runtime folder, code file
and ports. Usage: browser_test.py --program PATH [--runner PATH] --docs DIR
--artifacts DIR [--screenshot NAME] [unittest arguments]

With --runner (the Wine wrapper) the program is a Windows one: the runner
starts it, and a second copy run with --quit ends it.
"""
import argparse
import functools
import http.server
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from outside_programs import missing_programs  # noqa: E402

MISSING = missing_programs("chromium", "chromedriver")
if MISSING:
    sys.exit(MISSING.rstrip())

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.options import Options  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

ARGS = None
CODE = "s3cret"


def wait_for(condition, timeout=15.0, step=0.1):
    """The first true value of condition(), or None after timeout seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(step)
    return None


def program_command(*options):
    return ([ARGS.runner] if ARGS.runner else []) + [ARGS.program] + list(options)


class Program:
    """The tessary program on the demo camera, ports chosen by the system
    unless `options` say otherwise."""

    def __init__(self, folder, options=("--web-port", "0"), page_line=True):
        code_file = os.path.join(folder, "code.dat")
        with open(code_file, "w") as f:
            f.write(CODE)
        self.env = dict(os.environ, XDG_RUNTIME_DIR=folder, XDG_CONFIG_HOME=folder)
        self.errors = open(os.path.join(folder, "stderr.txt"), "w+")
        self.process = subprocess.Popen(
            program_command("--camera", "demo", "--port", "0", "--headless", "--code-file", code_file,
                            *options),
            stdout=subprocess.PIPE, stderr=self.errors, env=self.env)
        self.output = b""
        # A Windows program's first start in a fresh Wine prefix is slow.
        listening = self.line(60)
        page = self.line(10) if page_line else ""
        if " listening on port " not in listening or (page_line and "http://" not in page):
            errors = self.error_output()
            self.stop()
            raise RuntimeError("no start-up lines: %r %r %s" % (listening, page, errors))
        self.port = int(listening.rsplit(" ", 1)[1])
        if page_line:
            self.url = page[page.index("http://"):].strip()
            self.web_port = int(self.url.rstrip("/").rsplit(":", 1)[1])

    def error_output(self):
        self.errors.flush()
        self.errors.seek(0)
        return self.errors.read()

    def line(self, timeout):
        """The next line of standard output; empty when none comes in time."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.output:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self.process.stdout], [], [], max(left, 0))
            chunk = os.read(self.process.stdout.fileno(), 4096) if ready else b""
            if not chunk:
                return ""
            self.output += chunk
        line, self.output = self.output.split(b"\n", 1)
        return line.decode()

    def stop(self):
        if ARGS.runner:
            # No termination signals on Windows: the program's own --quit.
            subprocess.run(program_command("--quit"), env=self.env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        else:
            self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.errors.close()


class StaticFiles:
    """This checkout's files over HTTP on loopback: browsers load no modules
    from file: pages."""

    def __init__(self, root):
        handler = functools.partial(QuietFileHandler, directory=root)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()


class QuietFileHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".mjs": "text/javascript"})

    def log_message(self, *args):
        pass


class TcpClient:
    """A client of the command language over TCP; messages are NUL-ended texts."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.pending = b""

    def send(self, text):
        self.sock.sendall(text.encode() + b"\0")

    def message(self, timeout):
        self.sock.settimeout(timeout)
        while b"\0" not in self.pending:
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                return None
            if not data:
                return None
            self.pending += data
        text, self.pending = self.pending.split(b"\0", 1)
        return text.decode(errors="replace")

    def close(self):
        self.sock.close()


def status_line(address, port, request):
    """The first line of the server's answer to a raw HTTP request."""
    with socket.create_connection((address, port), timeout=10) as sock:
        sock.sendall(request.encode())
        answer = b""
        while b"\r\n" not in answer:
            data = sock.recv(4096)
            if not data:
                break
            answer += data
    return answer.split(b"\r\n", 1)[0].decode(errors="replace")


def make_browser(folder):
    options = Options()
    options.binary_location = shutil.which("chromium")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1280,720",
                 "--user-data-dir=" + os.path.join(folder, "chromium")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


class BrowserTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tessary-browser-")
        self.program = Program(self.folder)
        self.browser = make_browser(self.folder)

    def tearDown(self):
        self.browser.quit()
        self.program.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def zone_rows(self):
        """The zone table's rows by zone name: their data attributes, read at once."""
        rows = self.browser.execute_script(
            "return [...document.querySelectorAll('#zones tr')].map((row) => ({...row.dataset}));")
        return {row["zone"]: row for row in rows}

    def test_setup_page_draws_the_zones_and_flashes_the_moving_one(self):
        client = TcpClient(self.program.port)
        client.send("set_data_type(commands);login(%s);display_size(320,240);"
                    "add(band,40,100,240,40);add(still,40,4,240,40);"
                    "add(idle,0,180,60,40);idle.activate(false);add(rest,100,180,60,40);rest.pause(600)" % CODE)
        self.assertEqual(client.message(10), "login=successful;")

        self.browser.get(self.program.url)
        names = wait_for(lambda: set(self.zone_rows()) >= {"band", "still", "idle", "rest"} and self.zone_rows())
        self.assertTrue(names, "the page lists no zones")
        self.assertTrue(wait_for(lambda: int(self.browser.find_element(By.ID, "picture")
                                             .get_attribute("data-frames")) > 20),
                        "the picture does not move")
        # The band zone flashes on its hits; a screenshot while it does.
        self.assertTrue(wait_for(lambda: self.zone_rows()["band"]["flashing"] == "true", step=0.02))
        screenshot = os.path.join(ARGS.artifacts, ARGS.screenshot)
        self.browser.save_screenshot(screenshot)
        rows = wait_for(lambda: int(self.zone_rows()["band"]["flashes"]) >= 5 and self.zone_rows())
        self.assertTrue(rows, "the band zone does not flash again and again")
        self.assertEqual(rows["still"]["flashes"], "0")
        self.assertEqual(rows["still"]["hits"], "0")
        self.assertEqual(rows["still"]["state"], "active")
        self.assertEqual(rows["idle"]["state"], "inactive")
        self.assertEqual(rows["rest"]["state"], "paused")
        self.assertIn("TCP client, logged in", self.browser.find_element(By.ID, "client").text)
        # The hits reached the TCP client too.
        self.assertEqual(wait_for(lambda: client.message(5)), "band.hit();")

        # The client goes: its zones go with it, the page keeps watching.
        client.close()
        self.assertTrue(wait_for(lambda: not self.zone_rows()), "the zones outlive their client")
        self.assertTrue(os.path.getsize(screenshot) > 10000)

    def test_a_browser_page_is_a_client_and_holds_the_seat(self):
        # The page served from another origin (the checkout over HTTP) may
        # not be the client: any site could then take the seat.
        files = StaticFiles(os.path.dirname(os.path.abspath(ARGS.docs)))
        self.addCleanup(files.stop)
        foreign = files.url + "/docs/web-client.html"
        self.browser.get("%s?port=%d&code=%s" % (foreign, self.program.web_port, CODE))
        state = self.browser.find_element(By.ID, "state")
        self.assertTrue(wait_for(lambda: state.text.startswith("cannot connect")), state.text)

        # The same page served by Tessary is.
        example = self.program.url + "web-client.html"
        self.browser.get("%s?code=%s" % (example, CODE))
        door = self.browser.find_element(By.ID, "door")
        self.assertTrue(wait_for(lambda: int(door.get_attribute("data-hits")) >= 3),
                        "no hits: " + self.browser.find_element(By.ID, "log").text)
        self.assertEqual(self.browser.find_element(By.ID, "state").text, "logged in")

        # The setup page shows a browser client's zones as it shows a TCP client's.
        example_tab = self.browser.current_window_handle
        self.browser.switch_to.new_window("tab")
        self.browser.get(self.program.url)
        self.assertTrue(wait_for(lambda: "door" in self.zone_rows()), "the page lists no zone")
        self.assertTrue(wait_for(lambda: int(self.zone_rows()["door"]["hits"]) > 0))
        self.assertIn("WebSocket client, logged in", self.browser.find_element(By.ID, "client").text)
        self.browser.close()
        self.browser.switch_to.window(example_tab)

        # One client at a time: a TCP client waits unanswered meanwhile.
        waiting = TcpClient(self.program.port)
        waiting.send("whoareyou()")
        self.assertIsNone(waiting.message(1.5))
        # The browser leaves; the TCP client is served, and must log in anew.
        self.browser.get("about:blank")
        self.assertTrue(waiting.message(10).startswith("<string content="))
        waiting.send("check_data_type()")
        self.assertEqual(waiting.message(10), "<error content=\"Command unavailable, please login.\">")
        waiting.close()

        # A wrong code: the page says so.
        self.browser.get("%s?code=wrong" % example)
        state = self.browser.find_element(By.ID, "state")
        self.assertTrue(wait_for(lambda: state.text == "wrong code"), state.text)

    def test_the_server_serves_the_client_module_its_pages_import(self):
        with urllib.request.urlopen(self.program.url + "clients/js/tessary.mjs", timeout=10) as answer:
            self.assertEqual(answer.headers["Content-Type"], "text/javascript; charset=utf-8")
            module = answer.read()
        with open(os.path.join(os.path.dirname(os.path.abspath(ARGS.docs)), "clients", "js",
                               "tessary.mjs"), "rb") as f:
            self.assertEqual(module, f.read())


class WebRulesTest(unittest.TestCase):
    """The web server's address and port rules on the running program (its
    answers to bad input are the server's own tests')."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tessary-web-")
        self.program = None

    def tearDown(self):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, *options, page_line=True):
        self.program = Program(self.folder, options, page_line)
        return self.program

    def stop(self):
        if self.program:
            self.program.stop()
            self.program = None

    def assert_tcp_served(self, port):
        client = TcpClient(port)
        client.send("whoareyou()")
        self.assertTrue((client.message(10) or "").startswith("<string content="))
        client.close()

    def test_listen_address_a_taken_port_and_off(self):
        # --listen narrows the web server as it does the TCP link.
        program = self.start("--web-port", "0", "--listen", "127.0.0.2")
        self.assertTrue(program.url.startswith("http://127.0.0.2:"), program.url)
        self.assertEqual(status_line("127.0.0.2", program.web_port,
                                     "GET / HTTP/1.1\r\nHost: 127.0.0.2:%d\r\n\r\n" % program.web_port),
                         "HTTP/1.1 200 OK")
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", program.web_port), timeout=5).close()
        self.stop()

        # A port another program holds: one line says so, TCP clients are
        # served all the same.
        with socket.socket() as holder:
            holder.bind(("127.0.0.1", 0))
            holder.listen(1)
            taken = holder.getsockname()[1]
            program = self.start("--web-port", str(taken), page_line=False)
            expected = "cannot serve the setup page on port %d: " % taken
            self.assertTrue(wait_for(lambda: expected in program.error_output(), timeout=10),
                            program.error_output())
            self.assertIn("; running without it (try --web-port 0)", program.error_output())
            self.assertEqual(program.line(1), "")
            self.assert_tcp_served(program.port)
            self.stop()

        # off: no web server and no line for it.
        program = self.start("--web-port", "off", page_line=False)
        self.assertEqual(program.line(2), "")
        self.assert_tcp_served(program.port)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--runner")
    parser.add_argument("--screenshot", default="setup_page.png")
    parser.add_argument("--docs", required=True)
    parser.add_argument("--artifacts", required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.artifacts, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
