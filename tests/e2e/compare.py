"""Comparison of expected and actual texts for the end-to-end runner, with readable diffs."""

import difflib
import re

MATCHER = re.compile(r"(%NUM%|%ANY%)")
MATCHER_REGEX = {"%NUM%": r"[0-9]+(?:\.[0-9]+)?", "%ANY%": r"[^\n]*"}



def show_lines(text):
    """Lines for a diff, with a missing final line end made visible."""
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    elif lines:
        lines[-1] += "\\ (no line end)"
    return lines


def diff(expected, actual):
    return "\n".join(difflib.unified_diff(show_lines(expected), show_lines(actual), "expected",
                                          "actual", lineterm=""))


def line_regex(line):
    return "".join(MATCHER_REGEX.get(part, re.escape(part)) for part in MATCHER.split(line))


def compare_text(expected, actual, matchers, in_order=True):
    """None when `actual` matches, else a diff. With `matchers`, %NUM% and %ANY% in `expected`
    match a number and the rest of a line; the diff then shows the matched lines as they are.
    Without `in_order`, the lines of both sides are compared as sorted lists."""
    if not in_order:
        return compare_sorted(expected, actual, matchers)
    if not matchers or not MATCHER.search(expected):
        return None if expected == actual else diff(expected, actual)
    exp_lines = expected.splitlines(True)
    act_lines = actual.splitlines(True)
    ok = len(exp_lines) == len(act_lines) and all(
        re.fullmatch(line_regex(e), a) for e, a in zip(exp_lines, act_lines))
    if ok:
        return None
    # For the diff, a line with a matcher is shown as the actual line it matches, looking ahead
    # from the last line paired, so that lines shifted by a real difference don't show as changed.
    shown = []
    next_actual = 0
    for line in exp_lines:
        regex = line_regex(line)
        hit = next((j for j in range(next_actual, len(act_lines))
                    if re.fullmatch(regex, act_lines[j])), None)
        shown.append(line if hit is None else act_lines[hit])
        if hit is not None:
            next_actual = hit + 1
    return diff("".join(shown), actual)


def compare_sorted(expected, actual, matchers):
    """Lines in any order: literal lines are paired first, then each line with a matcher takes
    the first unpaired actual line it matches."""
    act_lines = sorted(actual.splitlines(True))
    left = list(act_lines)
    shown, patterns = [], []
    ok = True
    for line in sorted(expected.splitlines(True)):
        if matchers and MATCHER.search(line):
            patterns.append(line)
            continue
        if line in left:
            left.remove(line)
        else:
            ok = False
        shown.append(line)
    for line in patterns:
        hit = next((a for a in left if re.fullmatch(line_regex(line), a)), None)
        if hit is None:
            ok = False
            shown.append(line)
        else:
            left.remove(hit)
            shown.append(hit)
    if ok and not left:
        return None
    return diff("".join(sorted(shown)), "".join(act_lines))


def normal_handles(text):
    lines = []
    for line in text.splitlines():
        line = re.sub(r"^((?:get|set|run|callback|close) )h[0-9]+", r"\1hN", line)
        if line.startswith("create "):
            line = re.sub(r" h[0-9]+$", " hN", line)
        lines.append(line + "\n")
    return "".join(sorted(lines))
