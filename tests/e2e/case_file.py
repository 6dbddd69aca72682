"""The end-to-end case file: its sections and placeholders (tests/e2e/FILEFORMAT.md)."""

import importlib
import os
import re
import shlex
import sys

# The plug-ins and their helpers are imported by their plain names, so that a scenario's own
# `import hubsvc` finds the very module the runner loaded.
PLUGINS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "plugins")
if PLUGINS not in sys.path:
    sys.path.insert(0, PLUGINS)

ONCE = {"info", "needs", "engine", "env", "script", "argv0", "args", "program", "stdin", "closed",
        "timeout", "exit", "seconds", "stdout", "stderr", "log", "python"}
REPEATED = {"mkdir", "file", "symlink", "binfile", "copy", "sh", "check", "report", "absent", "exists",
            "log sorted", "log grep", "log count"}
SETUP = {"mkdir", "file", "symlink", "binfile", "copy", "sh"}
NO_ARGS = {"info", "env", "script", "args", "exit", "log", "sh", "check", "python"}
# A scenario (--- python) drives the programs itself: these sections would mean nothing there.
RUN_ONLY = {"engine", "script", "argv0", "args", "program", "stdin", "closed", "timeout", "exit",
            "seconds", "stdout", "stderr", "log", "log sorted", "log grep", "log count"}
FLAGS = {"stdin": ("nonl",), "stdout": ("nonl", "sorted"), "stderr": ("nonl", "sorted")}

PLACEHOLDER = re.compile(r"%(TMP|BIN|PROG|PROGDIR|SRC)%")


class CaseError(Exception):
    """The case file itself is wrong."""


class Failed(Exception):
    """An expectation of a scenario does not hold (the plug-ins' failures derive from it)."""


class Skipped(Exception):
    """The case cannot run here, for the reason given (CTest shows it as skipped)."""


def load_plugins(sections):
    """The plug-in modules that `--- needs` names, in its order (tests/e2e/plugins/<name>.py)."""
    needs = [s for s in sections if s.kind == "needs"]
    names = needs[0].rest.split() if needs else []
    plugins = []
    for name in names:
        if not re.fullmatch(r"[a-z][a-z0-9_]*", name) or \
                not os.path.isfile(os.path.join(PLUGINS, name + ".py")):
            raise CaseError("%s: no plug-in '%s' in tests/e2e/plugins" % (needs[0].where(), name))
        plugin = importlib.import_module(name)
        if not any(hasattr(plugin, hook) for hook in ("start", "skip_reason")):
            raise CaseError("%s: '%s' is a helper, not a plug-in" % (needs[0].where(), name))
        plugins.append(plugin)
    return plugins


class Section:
    def __init__(self, kind, rest, body, line):
        self.kind = kind  # "stdout", "log grep", ...
        self.rest = rest  # the header after the kind
        self.body = body
        self.line = line

    def where(self):
        return "line %d (--- %s)" % (self.line, self.kind)


def parse_case(text):
    """Splits a case into sections. Lines before the first header are comments."""
    sections = []
    current = None
    for number, line in enumerate(text.split("\n"), 1):
        if line == "---" or line.startswith("--- "):
            words = line[4:].split(None, 1)
            if not words:
                raise CaseError("line %d: section header without a name" % number)
            kind, rest = words[0], (words[1] if len(words) > 1 else "")
            if kind == "log" and rest.split(None, 1)[:1] in (["sorted"], ["grep"], ["count"]):
                sub = rest.split(None, 1)
                kind, rest = "log " + sub[0], (sub[1] if len(sub) > 1 else "")
            current = Section(kind, rest, [], number)
            sections.append(current)
        elif current is not None:
            current.body.append(line[1:] if line.startswith("\\---") else line)
    # The text after the last line feed is no line; a file without a final line feed still ends
    # its last line.
    for s in sections:
        if s.body and s.body[-1] == "" and s is sections[-1] and text.endswith("\n"):
            s.body.pop()
        s.body = "".join(line + "\n" for line in s.body)
    return sections


class Case:
    """A parsed case with its placeholders resolved."""

    def __init__(self, sections, places, plugins=()):
        self.places = places
        self.plugins = list(plugins)
        self.single = {}
        self.ordered = []  # every section, in file order
        once, repeated = set(ONCE), set(REPEATED)
        for p in self.plugins:
            once |= set(getattr(p, "ONCE", ()))
            repeated |= set(getattr(p, "REPEATED", ()))
        for s in sections:
            if s.kind not in once and s.kind not in repeated:
                raise CaseError("%s: unknown section" % s.where())
            if s.kind in NO_ARGS and s.rest.strip():
                raise CaseError("%s: takes no arguments" % s.where())
            if s.kind in FLAGS and not set(s.rest.split()) <= set(FLAGS[s.kind]):
                raise CaseError("%s: takes no argument but %s" % (s.where(),
                                                                " or ".join(FLAGS[s.kind])))
            if s.kind in once:
                if s.kind in self.single:
                    raise CaseError("%s: section given twice" % s.where())
                self.single[s.kind] = s
            self.ordered.append(s)
        self.scenario = "python" in self.single
        if self.scenario:
            for s in self.ordered:
                if s.kind in RUN_ONLY:
                    raise CaseError("%s: a --- python case runs its programs itself" % s.where())
        elif "exit" not in self.single:
            raise CaseError("the case has no --- exit section")
        self.validate()

    def validate(self):
        """Checks what can be checked before anything runs, so that a broken case is reported as
        such even when the program is missing."""
        if not self.scenario:
            want = self.single["exit"].body.strip()
            if not re.fullmatch(r"[0-9]+", want) or int(want) > 255:
                raise CaseError("%s: expected a decimal exit code 0..255" %
                                self.single["exit"].where())
        if "seconds" in self.single:
            s = self.single["seconds"]
            words = s.rest.split()
            if len(words) != 2 or not all(re.fullmatch(r"[0-9]+(\.[0-9]+)?", w) for w in words) \
                    or float(words[0]) > float(words[1]) or s.body:
                raise CaseError("%s: expected --- seconds <low> <high> and no body" % s.where())
        for p in self.plugins:
            if hasattr(p, "validate"):
                p.validate(self)
        for s in self.ordered:
            if s.kind == "log count":
                words = s.rest.rsplit(None, 1)
                if len(words) != 2 or not re.fullmatch(r"[0-9]+", words[1]) or s.body:
                    raise CaseError("%s: expected --- log count <regex> <n> and no body" %
                                    s.where())
                compile_regex(words[0], s)
            elif s.kind == "log grep" and not s.rest.strip():
                raise CaseError("%s: expected --- log grep <regex>" % s.where())
            elif s.kind in ("log grep", "log sorted") and s.rest.strip():
                compile_regex(s.rest, s)

    def sub(self, text):
        return PLACEHOLDER.sub(lambda m: self.places.get(m.group(1), m.group(0)), text)

    def args_of(self, s, count, optional=()):
        """The header words of `s` (quoting as in a shell), placeholders substituted: `count`
        positional words, then any of the `optional` key=value or flag words."""
        try:
            words = [self.sub(w) for w in shlex.split(s.rest)]
        except ValueError as e:
            raise CaseError("%s: %s" % (s.where(), e))
        if len(words) < count:
            raise CaseError("%s: expected %d argument(s)" % (s.where(), count))
        extra = {}
        for w in words[count:]:
            key = w.split("=", 1)[0]
            if key not in optional:
                raise CaseError("%s: unexpected argument '%s'" % (s.where(), w))
            extra[key] = w.split("=", 1)[1] if "=" in w else True
        return words[:count], extra

    def body(self, s, nonl_allowed=False):
        """The body with placeholders; `nonl` on the header drops its final line feed."""
        text = self.sub(s.body)
        if nonl_allowed and "nonl" in s.rest.split() and text.endswith("\n"):
            text = text[:-1]
        return text


def compile_regex(pattern, s):
    try:
        return re.compile(pattern)
    except re.error as e:
        raise CaseError("%s: bad regex: %s" % (s.where(), e))
