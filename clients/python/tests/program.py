"""Starts the tessary program on the demo camera for a test: its own runtime
folder (so its own single-copy guard), code file and ephemeral port."""
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

CODE = "s3cret"
REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))


def program_path():
    """TESSARY_PROGRAM, or the Release build of this checkout."""
    path = os.environ.get("TESSARY_PROGRAM") or os.path.join(
        REPOSITORY, "build", "release", "src", "shell", "tessary")
    if not os.access(path, os.X_OK):
        raise RuntimeError("the tessary program is missing at %s: build it (bash tools/run.sh "
                           "--version) or name it in TESSARY_PROGRAM" % path)
    return path


class Program:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="tessary-client-")
        code_file = os.path.join(self.folder, "code.dat")
        with open(code_file, "w") as f:
            f.write(CODE)
        env = dict(os.environ, XDG_RUNTIME_DIR=self.folder, XDG_CONFIG_HOME=self.folder)
        self.errors = open(os.path.join(self.folder, "stderr.txt"), "w+")
        self.process = subprocess.Popen(
            [program_path(), "--camera", "demo", "--headless", "--listen", "127.0.0.1",
             "--port", "0", "--web-port", "off", "--code-file", code_file],
            stdout=subprocess.PIPE, stderr=self.errors, env=env)
        line = self._line(15)
        if " listening on port " not in line:
            self.errors.seek(0)
            message = "no listening line: %r %s" % (line, self.errors.read())
            self.stop()
            raise RuntimeError(message)
        self.port = int(line.rsplit(" ", 1)[1])

    def _line(self, timeout):
        output = b""
        deadline = time.monotonic() + timeout
        while not output.endswith(b"\n"):
            ready, _, _ = select.select([self.process.stdout], [], [],
                                        max(deadline - time.monotonic(), 0))
            chunk = os.read(self.process.stdout.fileno(), 1) if ready else b""
            if not chunk:
                break
            output += chunk
        return output.decode(errors="replace").strip()

    def signal(self, number):
        self.process.send_signal(number)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGCONT)
            self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.errors.close()
        shutil.rmtree(self.folder, ignore_errors=True)
