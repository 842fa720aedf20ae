"""The outside programs a Python test runs, checked before it starts.

tools/install-deps.sh installs them from tools/outside-programs.txt; a test
that finds one missing fails with one line naming it and its package.
"""
import os
import shutil

LIST = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "outside-programs.txt")


def missing_programs(*programs):
    """One line per program not found on PATH, or an empty string."""
    packages = {}
    with open(LIST, encoding="utf-8") as rows:
        for row in rows:
            words = row.split()
            if len(words) >= 2 and not words[0].startswith("#"):
                packages[words[0]] = words[1]
    report = ""
    for program in programs:
        if shutil.which(program) is None:
            package = packages.get(program)
            report += (f"needs {program}, from Debian's {package} (tools/install-deps.sh installs it)\n"
                       if package else f"needs {program}, which tools/outside-programs.txt does not list yet\n")
    return report
