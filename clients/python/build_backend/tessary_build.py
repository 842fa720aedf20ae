"""A build backend for the tessary package with the standard library only:
pip runs it to make the wheel (or an editable wheel, or a source archive)."""
import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NAME = "tessary"


def _version():
    with open(os.path.join(HERE, NAME, "__init__.py"), encoding="utf-8") as f:
        return re.search(r'^__version__ = "([^"]+)"', f.read(), re.M).group(1)


def _metadata():
    with open(os.path.join(HERE, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    return ("Metadata-Version: 2.1\nName: %s\nVersion: %s\n"
            "Summary: Client of Tessary: motion-sensitive zones in a webcam's picture\n"
            "Requires-Python: >=3.9\nDescription-Content-Type: text/markdown\n\n%s"
            % (NAME, _version(), readme))


def _sources():
    folder = os.path.join(HERE, NAME)
    return sorted(n for n in os.listdir(folder) if n.endswith(".py"))


def _wheel(directory, files):
    """Writes a wheel of `files` (archive name -> bytes) and returns its name."""
    version = _version()
    info = "%s-%s.dist-info" % (NAME, version)
    files = dict(files)
    files[info + "/METADATA"] = _metadata().encode("utf-8")
    files[info + "/WHEEL"] = (b"Wheel-Version: 1.0\nGenerator: tessary_build\n"
                              b"Root-Is-Purelib: true\nTag: py3-none-any\n")
    record = []
    for name, data in files.items():
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        record.append("%s,sha256=%s,%d" % (name, digest, len(data)))
    record.append(info + "/RECORD,,")
    files[info + "/RECORD"] = ("\n".join(record) + "\n").encode("utf-8")
    wheel = "%s-%s-py3-none-any.whl" % (NAME, version)
    with zipfile.ZipFile(os.path.join(directory, wheel), "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files.items():
            archive.writestr(name, data)
    return wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    files = {}
    for source in _sources():
        with open(os.path.join(HERE, NAME, source), "rb") as f:
            files["%s/%s" % (NAME, source)] = f.read()
    return _wheel(wheel_directory, files)


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    return _wheel(wheel_directory, {NAME + ".pth": (HERE + "\n").encode("utf-8")})


def build_sdist(sdist_directory, config_settings=None):
    base = "%s-%s" % (NAME, _version())
    archive_name = base + ".tar.gz"
    with tarfile.open(os.path.join(sdist_directory, archive_name), "w:gz") as archive:
        for path in ["pyproject.toml", "README.md", "build_backend/tessary_build.py"] + \
                ["%s/%s" % (NAME, s) for s in _sources()]:
            archive.add(os.path.join(HERE, path), arcname="%s/%s" % (base, path))
        info = tarfile.TarInfo(base + "/PKG-INFO")
        data = _metadata().encode("utf-8")
        info.size = len(data)
        archive.addfile(info, io.BytesIO(data))
    return archive_name
