# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The reading of a page's sessions, and what machine-check says of them,
on a small page made for it."""

import sys
import unittest

sys.dont_write_bytecode = True
import sessions  # noqa: E402

PAGE = """\
# A page

## 1. Listing

### Plain
Text, and a block that is only output:

    Dir: .

```
    $ spawnwait
```

    $ dirview . | sort

    $ ls build/tests/nofork

### Namespaced
    $ unshare -rm dirview /

<!-- needs: no user namespaces, sudo -->
    $ sudo unshare -m dirview /

<!-- needs: no user namespaces -->
    $ dirview /

## 2. Orphans

### Traced
    $ strace -fo /dev/null spawnlinger
    $ spawnlinger | subreaper true
    > spawnlinger
    $ (spawnlinger; spawnlinger)

And alone:

    $ spawnlinger

## 3. Apart, in no section

    $ cd "$(mktemp -d)"
""".split("\n")

EVERYTHING = dict.fromkeys(sessions.CONDITIONS, True)


def machine(**lacking):
    """A machine that has all but what is named, each _ a blank."""
    return EVERYTHING | {name.replace("_", " "): False for name in lacking}


class Reading(unittest.TestCase):
    def test_a_session_needs_what_its_commands_call_and_its_needs_line_names(self):
        found = sessions.read(PAGE, "page")
        self.assertEqual([(s.start, s.end, s.needs) for s in found], [
            (14, 17, ["dirview"]),
            (19, 20, ["user namespaces", "dirview"]),
            (22, 23, ["no user namespaces", "sudo", "dirview"]),
            (25, 26, ["no user namespaces", "dirview"]),
            (30, 34, ["strace", "spawnlinger", "subreaper"]),
            (37, 38, ["spawnlinger"]),
            (41, 42, [])])
        self.assertEqual([(s.part, s.section) for s in found[3:5]],
                         [("1. Listing", "Namespaced"), ("2. Orphans", "Traced")])

    def test_a_needs_line_that_names_no_condition_is_refused_with_its_place(self):
        with self.assertRaisesRegex(ValueError, r"^page:2: no condition is named 'user namespace'$"):
            sessions.read(["", "<!-- needs: no user namespace -->", "    $ true"], "page")


class Running(unittest.TestCase):
    def test_a_session_that_cannot_run_is_blanked_line_for_line_saying_what_it_needs(self):
        lines, left_out = sessions.blanked(PAGE, sessions.read(PAGE, "page"), machine(user_namespaces=False))
        self.assertEqual(len(lines), len(PAGE))
        self.assertEqual(lines[17:25], ["### Namespaced", "", "", "<!-- needs: no user namespaces, sudo -->",
                                        "    $ sudo unshare -m dirview /", "",
                                        "<!-- needs: no user namespaces -->", "    $ dirview /"])
        self.assertEqual(left_out, [(19, "user namespaces")])

    def test_each_section_says_whether_it_runs_as_written_in_a_form_beside_it_or_in_part(self):
        page = sessions.read(PAGE, "page")
        said = {"everything": sessions.report(page, EVERYTHING),
                "sudo": sessions.report(page, machine(user_namespaces=False)),
                "none": sessions.report(page, machine(user_namespaces=False, sudo=False)),
                "strace": sessions.report(page, machine(strace=False, spawnlinger=False))}
        self.assertEqual(said["everything"], ["", "1. Listing", f"  {'Plain':<40} runs as written",
                                              f"  {'Namespaced':<40} runs as written",
                                              "", "2. Orphans", f"  {'Traced':<40} runs as written"])
        self.assertEqual(said["sudo"][3], f"  {'Namespaced':<40} runs in the form beside it, with sudo")
        self.assertEqual(said["none"][3], f"  {'Namespaced':<40} runs in the form beside it, without user namespaces")
        self.assertEqual(said["strace"][-1], f"  {'Traced':<40} cannot run here, read it: it needs strace, spawnlinger")

    def test_without_a_form_that_runs_the_section_names_what_would_run_it(self):
        page = sessions.read(PAGE[:24], "page")
        self.assertEqual(sessions.report(page, machine(user_namespaces=False, sudo=False))[-1],
                         f"  {'Namespaced':<40} cannot run here, read it: it needs user namespaces or sudo")
        plain = sessions.read(PAGE[:20] + ["Then:", "    $ dirview /"], "page")
        self.assertEqual(sessions.report(plain, machine(user_namespaces=False))[-1],
                         f"  {'Namespaced':<40} runs in part: read the sessions that need user namespaces")


if __name__ == "__main__":
    unittest.main()
