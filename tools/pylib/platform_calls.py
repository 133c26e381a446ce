"""Reads platform/platform_calls.def, the table of every platform call, for the
programs that are not compiled with it: the fault sweep and the executable's import check."""
import collections
import os
import re

TABLE = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "platform",
                     "platform_calls.def")

# name as the machine spells it; dll such as "kernel32.dll", None when not imported; made by the
# product (else only by tests and tools); counted by the fault setting; the natural error (0 for
# a call not counted).
PlatformCall = collections.namedtuple("PlatformCall", "name dll product counted error")

ROW = re.compile(r"^PLATFORM_(CALL|METHOD)\(([^)]*)\)")


def read(path=TABLE):
    """Every row of the table, in its order."""
    calls = []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        m = ROW.match(line)
        if not m:
            if line.startswith("PLATFORM_"):
                raise ValueError("%s:%d: not a row: %s" % (path, number, line.strip()))
            continue
        cells = [cell.strip() for cell in m.group(2).split(",")]
        if m.group(1) == "METHOD":
            cells[0:2] = ["%s::%s" % (cells[0], cells[1])]
        name, dll, user, fault, error = cells
        if user not in ("PRODUCT", "TESTS") or fault not in ("COUNTED", "UNCOUNTED"):
            raise ValueError("%s:%d: %s: user is %s, fault %s" % (path, number, name, user, fault))
        calls.append(PlatformCall(name, None if dll == "NOT_IMPORTED" else dll + ".dll",
                                  user == "PRODUCT", fault == "COUNTED", int(error, 0)))
    return calls


def natural_errors(path=TABLE):
    """{call: error} for every counted call: what it fails with in the fault sweep."""
    return {call.name: call.error for call in read(path) if call.counted}


def imports(path=TABLE):
    """{dll: {function}} of every imported call."""
    found = {}
    for call in read(path):
        if call.dll is not None:
            found.setdefault(call.dll, set()).add(call.name)
    return found
