"""Counts of the test command's JUnit XML, and the small JUnit files of checks
that write none themselves. Standard library only, so the host's Python runs
it without a virtual environment.

  junit_counts.py count PATH...        "passed failed skipped errors" over the
                                       files (a folder: its *.xml, recursively)
  junit_counts.py step DIR --name NAME --exit-status N [--log LOG] [--kind K]
      one step of the test command: prints its counts line, then the failed
      cases, one a line; exits 1 when the step failed. K is "tests" (default:
      the step writes its XML into DIR), "status" (it writes none, and its exit
      status is its one result) or "setup" (no results: "done" when it exits 0).
      A step that exits non-zero with no failure in DIR, or "tests" that exits 0
      with no XML, gets DIR/exit-status.xml holding one failed case, so the
      total over every step's folder counts it too.
  junit_counts.py total DIR            the verdict over every file under DIR;
                                       exits 1 when anything failed
  junit_counts.py record FILE --suite S --case C (--exit-status N [--log LOG] | --failed WHY | --skipped WHY)
      writes a JUnit file of one case, failed when N is not 0 (with the log's
      tail as its text) or with --failed, skipped with --skipped

Counts are of <testcase> elements: failed with a <failure>, an error with an
<error> (and not a failure), skipped with a <skipped> (pytest's skips and
xfails) or ctest's status="notrun" or "disabled", passed otherwise. A
<testsuite> whose failures and errors attributes say more than its cases show
has the difference counted as errors, and a file that cannot be read or
parsed (a run that died while writing it) counts as one error. In the lines
printed, errors count as failed: "N passed, M failed[, K skipped]".
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

FIELDS = ("passed", "failed", "skipped", "errors")
LOG_TAIL_LINES = 60
# Characters XML 1.0 cannot hold (terminal escapes in a log, stray bytes).
NOT_XML = re.compile("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")
TERMINAL_ESCAPE = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")


class Counts:
    def __init__(self):
        self.passed = self.failed = self.skipped = self.errors = 0
        self.failures = []  # names of the failed and erroneous cases

    def add(self, other):
        for field in FIELDS:
            setattr(self, field, getattr(self, field) + getattr(other, field))
        self.failures += other.failures

    def any(self):
        return any(getattr(self, field) for field in FIELDS)

    def bad(self):
        return self.failed + self.errors

    def line(self):
        text = f"{self.passed} passed, {self.bad()} failed"
        return text + (f", {self.skipped} skipped" if self.skipped else "")


def xml_files(paths):
    for path in map(Path, paths):
        if path.is_dir():
            yield from sorted(path.rglob("*.xml"))
        else:
            yield path  # a missing file counts as an error in count_file


def attribute(element, name):
    try:
        return int(element.get(name, 0))
    except ValueError:
        return 0


def count_file(path):
    counts = Counts()
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as error:
        counts.errors = 1
        counts.failures.append(f"{path}: unreadable JUnit XML ({error})")
        return counts
    suites = [root] if root.tag == "testsuite" else list(root.iter("testsuite"))
    # The cases of each innermost suite, or of the root when it has no suites.
    leaves = [suite for suite in suites if suite.find(".//testsuite") is None] or [root]
    for suite in leaves:
        suite_counts = Counts()
        for case in suite.iter("testcase"):
            name = "::".join(part for part in (case.get("classname"), case.get("name")) if part)
            if case.find("failure") is not None:
                suite_counts.failed += 1
                suite_counts.failures.append(name)
            elif case.find("error") is not None:
                suite_counts.errors += 1
                suite_counts.failures.append(name)
            elif case.find("skipped") is not None or case.get("status") in ("notrun", "disabled"):
                suite_counts.skipped += 1
            else:
                suite_counts.passed += 1
        unlisted = attribute(suite, "failures") + attribute(suite, "errors") - suite_counts.bad()
        if unlisted > 0:
            suite_counts.errors += unlisted
            suite_counts.failures.append(f"{path}: {unlisted} failures the suite reports without their cases")
        counts.add(suite_counts)
    return counts


def count(paths):
    counts = Counts()
    for path in xml_files(paths):
        counts.add(count_file(path))
    return counts


def log_tail(log):
    if not log:
        return ""
    try:
        lines = Path(log).read_text(encoding="utf-8", errors="replace").splitlines()
    except OSError as error:
        return f"(no log: {error})"
    return TERMINAL_ESCAPE.sub("", "\n".join(lines[-LOG_TAIL_LINES:]))


def write_case(path, suite, case, failure=None, text="", skipped=None):
    """Writes a JUnit file of one case: failed with message `failure`, skipped
    with reason `skipped`, else passed."""
    root = ET.Element("testsuites")
    suite_element = ET.SubElement(root, "testsuite", name=suite, tests="1",
                                  failures=str(int(failure is not None)), errors="0",
                                  skipped=str(int(skipped is not None)))
    case_element = ET.SubElement(suite_element, "testcase", classname=suite, name=case)
    if failure is not None:
        ET.SubElement(case_element, "failure", message=NOT_XML.sub("?", failure)).text = NOT_XML.sub("?", text)
    elif skipped is not None:
        ET.SubElement(case_element, "skipped", message=NOT_XML.sub("?", skipped))
    path = Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def step(args):
    directory = Path(args.dir)
    counts = count([directory]) if directory.is_dir() else Counts()
    failure = None
    if args.exit_status != 0 and counts.bad() == 0:
        failure = f"{args.name}: exited with status {args.exit_status}"
        if args.kind == "tests":
            failure += " and its JUnit XML shows no failure"
    elif args.kind == "tests" and args.exit_status == 0 and not counts.any():
        failure = f"{args.name}: exited 0 but left no JUnit XML in {directory}"
    if failure is not None:
        write_case(directory / "exit-status.xml", args.name, "exit status", failure=failure, text=log_tail(args.log))
        counts = count([directory])
    elif args.kind == "status":
        write_case(directory / "exit-status.xml", args.name, "exit status")
        counts = count([directory])
    print(counts.line() if counts.any() else "done")
    for name in counts.failures[:10]:
        print(f"failed: {name}")
    if len(counts.failures) > 10:
        print(f"failed: ... and {len(counts.failures) - 10} more")
    return 1 if args.exit_status != 0 or counts.bad() else 0


def main(argv):
    parser = argparse.ArgumentParser(prog="junit_counts.py", description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    count_parser = commands.add_parser("count")
    count_parser.add_argument("paths", nargs="+")
    step_parser = commands.add_parser("step")
    step_parser.add_argument("dir")
    step_parser.add_argument("--name", required=True)
    step_parser.add_argument("--exit-status", type=int, required=True)
    step_parser.add_argument("--log")
    step_parser.add_argument("--kind", choices=("tests", "status", "setup"), default="tests")
    total_parser = commands.add_parser("total")
    total_parser.add_argument("dir")
    record_parser = commands.add_parser("record")
    record_parser.add_argument("file")
    record_parser.add_argument("--suite", required=True)
    record_parser.add_argument("--case", required=True)
    outcome = record_parser.add_mutually_exclusive_group(required=True)
    outcome.add_argument("--exit-status", type=int)
    outcome.add_argument("--failed", metavar="WHY")
    outcome.add_argument("--skipped", metavar="WHY")
    record_parser.add_argument("--log")
    args = parser.parse_args(argv)

    if args.command == "count":
        counts = count(args.paths)
        print(*(getattr(counts, field) for field in FIELDS))
        return 0
    if args.command == "step":
        return step(args)
    if args.command == "total":
        counts = count([args.dir])
        print(counts.line())
        return 1 if counts.bad() else 0
    if args.skipped is not None:
        write_case(args.file, args.suite, args.case, skipped=args.skipped)
    elif args.failed is not None:
        write_case(args.file, args.suite, args.case, failure=args.failed, text=log_tail(args.log))
    elif args.exit_status != 0:
        write_case(args.file, args.suite, args.case, failure=f"{args.case}: exit status {args.exit_status}",
                   text=log_tail(args.log))
    else:
        write_case(args.file, args.suite, args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
