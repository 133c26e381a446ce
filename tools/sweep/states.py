"""The catalogue of machine states (states.txt): reading it, and the names its lines use.

A state is a block: a line "NAME MACHINES EXPECT [sample]" and, indented below it, the vkmachine
commands that make it (each "COMMAND ARGS", run as "vkmachine COMMAND MACHINE ARGS"), then what
is expected of the update on it ("fix:", "after:" and "keeps:" lines). See states.txt.
"""
import re
import shlex

FAMILIES = {"all": ["xp", "2000", "nt4", "98"], "nt": ["xp", "2000", "nt4"], "nt5": ["xp", "2000"]}
EXPECTED = ("complete", "refused", "not-found")
KEYS = {
    "apppaths": "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\VKTARN.EXE",
    "settings": "HKCU\\Software\\Orvane\\VkTARN",
    "service": "HKLM\\SYSTEM\\CurrentControlSet\\Services\\cdrvkvsd",
    "session": "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager",
    "shellfolders": "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
}
# The family's driver folder (spelled as vkmachine create makes it), its driver file, and the
# temporary name the driver is installed under: the 95/98/Me family, NT 4.0, NT 5.
DRIVERS = {
    "98": ("IOSUBSYS", "CDRVKVSD.VXD", "VK032.TMP"),
    "nt4": ("drivers", "CDRVKVSD.SYS", "vk037.tmp"),
    "nt5": ("drivers", "CDRVKVSD.SYS", "vk038.tmp"),
}
PAD = re.compile(r"\{pad (\d+)(?: (\S))?\}")
PLACE = re.compile(r"\{(\w+)\}")
LONGEST_NAME = 120  # filler folder names stay well inside Windows' 255 characters


class State:
    def __init__(self, name, kinds, expect, sample):
        """`sample`: the machine kind the test command runs this state on, or None."""
        self.name = name
        self.kinds = kinds
        self.expect = expect
        self.sample = sample
        self.create = []     # options added to the machine kind's create options
        self.install = []    # options added to install-product --version "3, 1, 5, 0"
        self.before = []     # commands run before install-product: part of the installed machine
        self.commands = []   # commands run after it: the state
        self.fix = []        # commands that remove the cause of a refusal
        self.after = []      # commands saying how the update leaves what the state made
        self.keeps = []      # files, folders or keys the update leaves as the state had them

    def layout(self, kind):
        """What makes the installed machine before the state's own commands."""
        return (kind, tuple(self.create), tuple(self.install), tuple(tuple(c) for c in self.before))


def words(line):
    lexer = shlex.shlex(line, posix=True)
    lexer.whitespace_split = True
    lexer.escape = ""  # backslashes are Windows separators
    return list(lexer)


def read_catalogue(path):
    states, state, seen_install = [], None, False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        text = "" if line.lstrip().startswith("#") else line.rstrip()
        if not text.strip():
            continue
        where = "%s:%d" % (path, number)
        if not text[0].isspace():
            if state is not None and not seen_install:
                state.before, state.commands = [], state.before
            head = text.split()
            sample = head[3].partition(":") if len(head) == 4 else ("sample", "", "")
            if len(head) not in (3, 4) or head[2] not in EXPECTED or sample[0] != "sample":
                raise SystemExit("%s: not a state line (NAME MACHINES EXPECT [sample[:MACHINE]]): %s" % (where, text))
            kinds = []
            for item in head[1].split(","):
                kinds += FAMILIES.get(item, [item])
            chosen = (sample[2] or kinds[0]) if len(head) == 4 else None
            if chosen is not None and chosen not in kinds:
                raise SystemExit("%s: %s is not among the state's machines" % (where, chosen))
            state, seen_install = State(head[0], kinds, head[2], chosen), False
            states.append(state)
            continue
        if state is None:
            raise SystemExit("%s: a command before the first state" % where)
        label, _, rest = text.strip().partition(": ")
        if label in ("fix", "after", "keeps"):
            parts = words(rest)
            getattr(state, label).append(parts[0] if label == "keeps" else parts)
            continue
        parts = words(text)
        if parts[0] == "create":
            state.create += parts[1:]
        elif parts[0] == "install-product":
            state.install += parts[1:]
            seen_install = True
        else:
            (state.commands if seen_install else state.before).append(parts)
    if state is not None and not seen_install:
        state.before, state.commands = [], state.before
    names = [s.name for s in states]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        raise SystemExit("%s: states named twice: %s" % (path, ", ".join(duplicates)))
    return states


def windows_length(text):
    """Characters as Windows counts them in a path: UTF-16 units."""
    return len(text.encode("utf-16-le")) // 2


def pad(text):
    """Expands "{pad N}" (or "{pad N C}"): folder names of x (or C) after the text before it,
    so that the path up to there is N characters long."""
    match = PAD.search(text)
    if not match:
        return text
    head, length, filler = text[:match.start()], int(match.group(1)), match.group(2) or "x"
    out, name = head, 0
    while windows_length(out) < length:
        if name == LONGEST_NAME and windows_length(out) + 2 <= length:
            out, name = out + "\\", 0
        out += filler
        name += 1
    return pad(out + text[match.end():])


def expand(text, places):
    """Replaces {pad ...} and the {names} of `places` (folders of the machine, keys)."""
    text = pad(text)

    def one(match):
        name = match.group(1)
        if name in places:
            return places[name]
        if name in KEYS:
            return KEYS[name]
        raise KeyError(name)
    return PLACE.sub(one, text)


def expand_all(words, places):
    return [expand(word, places) for word in words]


def driver_places(kind):
    family = "98" if kind == "98" else "nt4" if kind == "nt4" else "nt5"
    return dict(zip(("drivers", "driver", "drivertemp"), DRIVERS[family]))
