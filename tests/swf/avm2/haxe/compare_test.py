#!/usr/bin/env python3
"""Checks the trace comparator: what must match, what must not, and how it reports."""

import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402


class LineMatch(unittest.TestCase):
    def test_numbers_match_by_value_whatever_the_digits(self):
        same = [
            ("1e21", "1e+21"),
            ("0.1", "0.100000000000000006"),
            ("0.30000000000000004", "0.300000000000000044"),
            ("x = 1e-7;", "x = 1e-07;"),
            ("100000000000000000000", "1e+20"),
            ("[1.5,2,3]", "[1.5,2,3]"),
            ("5", "5.0"),
            ("0", "-0"),
            ("[NaN,-Infinity]", "[nan,neg_infinity]"),
            ("Infinity", "infinity"),
            ("-Infinity", "neg_infinity"),
            ("NaN", "nan"),
            ("pi 3.141592653589793 e 2.718281828459045", "pi 3.14159265358979312 e 2.71828182845904509"),
        ]
        for actual, expected in same:
            with self.subTest(actual=actual, expected=expected):
                self.assertTrue(compare.lines_match(actual, expected))

    def test_different_values_or_text_do_not_match(self):
        differ = [
            ("0.1", "0.2"),
            ("0.30000000000000004", "0.3"),  # one ulp apart: a real arithmetic fault
            ("1e21", "1e+22"),
            ("NaN", "0"),
            ("Infinity", "neg_infinity"),
            ("NaN", "infinity"),
            ("hello 你好", "hello 您好"),
            ("a,b", "a, b"),
            ("1,2", "1,2,3"),
            ("x=1", "y=1"),
            ("", "0"),
            ("2147483648", "-2147483648"),
            ("trailing ", "trailing"),
            ("nano", "NaNo"),  # words containing "nan" stay text
            # Digit runs that no number printer makes: compared as text.
            ("d41d8cd98f00b204e98", "d41d8cd98f0b204e98"),
            ("2432902008176640000", "2432902008176640001"),
            ("30414093201713378043612608166064768844377641568960512000000000000",
             "30414093201713378043612608166064768844377641568960512000000000001"),
            ("007", "7"),
            ("ae41e4649b9", "ae41e4648b9"),  # both overflow to infinity as numbers
            ("1e999", "Infinity"),
        ]
        for actual, expected in differ:
            with self.subTest(actual=actual, expected=expected):
                self.assertFalse(compare.lines_match(actual, expected))

    def test_words_that_contain_number_names_are_text(self):
        self.assertEqual(compare.tokens("info"), [("t", "info")])
        self.assertEqual(compare.tokens("infinity"), [("n", ("infinity", float("inf")))])
        self.assertEqual(compare.tokens("a12"), [("t", "a"), ("n", ("12", 12.0))])


class WholeOutput(unittest.TestCase):
    def test_missing_and_extra_lines_are_reported_with_their_numbers(self):
        differing, report = compare.compare(["a", "1", "c"], ["a", "1.0", "d", "e"])
        self.assertEqual(differing, 2)
        self.assertIn("line 3:", report)
        self.assertIn("line 4:", report)
        self.assertIn("  actual:   <missing>", report)

    def test_report_is_capped_but_the_count_is_not(self):
        differing, report = compare.compare([str(i) for i in range(50)], [], max_shown=3)
        self.assertEqual(differing, 50)
        self.assertEqual(len(report), 9)

    def run_cli(self, actual, expected):
        with tempfile.TemporaryDirectory() as d:
            pa, pe = os.path.join(d, "actual"), os.path.join(d, "expected")
            with open(pa, "wb") as f:
                f.write(actual)
            with open(pe, "wb") as f:
                f.write(expected)
            return subprocess.run([sys.executable, compare.__file__, pa, pe],
                                  capture_output=True, text=True)

    def test_command_line_exit_status_and_summary(self):
        ok = self.run_cli("1e21\n你好\n".encode(), "1e+21\n你好\n".encode())
        self.assertEqual(ok.returncode, 0, ok.stdout)
        self.assertIn("MATCH: 2 lines", ok.stdout)

        bad = self.run_cli(b"1\n2\n", b"1\n3\n")
        self.assertEqual(bad.returncode, 1)
        self.assertIn("line 2:", bad.stdout)
        self.assertIn("DIFFER: 1 of 2 lines differ", bad.stdout)

        # An empty run is not a pass when something was expected.
        empty = self.run_cli(b"", b"x\n")
        self.assertEqual(empty.returncode, 1)

        # Windows line ends from either side are not a difference.
        crlf = self.run_cli(b"a\r\nb\r\n", b"a\nb\n")
        self.assertEqual(crlf.returncode, 0, crlf.stdout)

    def test_unreadable_file_is_an_error_not_a_match(self):
        r = subprocess.run([sys.executable, compare.__file__, "/nonexistent/a", "/nonexistent/b"],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 2)


class RunSuite(unittest.TestCase):
    """run-suite.sh against a stand-in for reelwick that prints what it is told to."""

    def run_suite(self, trace_text, exit_status=0, frames="1"):
        here = os.path.dirname(os.path.abspath(__file__))
        with tempfile.TemporaryDirectory() as d:
            fake = os.path.join(d, "fake-reelwick")
            with open(fake, "w") as f:
                f.write("#!/bin/sh\n"
                        "echo \"$@\" > %s/args\n"
                        "cat %s/trace >&2\n"
                        "exit %d\n" % (d, d, exit_status))
            os.chmod(fake, 0o755)
            with open(os.path.join(d, "trace"), "w") as f:
                f.write(trace_text)
            out = os.path.join(d, "out")
            os.mkdir(out)
            for suffix, text in ((".swf", "x"), (".expected", "0.1\n你好\n"), (".frames", frames + "\n")):
                with open(os.path.join(out, "Prog" + suffix), "w") as f:
                    f.write(text)
            r = subprocess.run([os.path.join(here, "run-suite.sh"), fake, out],
                               capture_output=True, text=True)
            with open(os.path.join(d, "args")) as f:
                args = f.read().split()
            return r, args

    def test_matching_output_passes_and_the_frames_reach_the_player(self):
        r, args = self.run_suite("0.100000000000000006\n你好\n", frames="3")
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertIn("1 passed, 0 failed", r.stdout)
        self.assertEqual(args[0], "--export")
        self.assertEqual(args[2:4], ["--frames", "1-3"])
        self.assertEqual(args[4], "--out")

    def test_wrong_output_fails_with_the_difference_shown(self):
        r, _ = self.run_suite("0.2\n你好\n")
        self.assertEqual(r.returncode, 1)
        self.assertIn("0 passed, 1 failed", r.stdout)
        self.assertIn("line 1:", r.stdout)

    def test_a_player_that_fails_fails_the_movie_even_with_right_output(self):
        r, _ = self.run_suite("0.1\n你好\n", exit_status=3)
        self.assertEqual(r.returncode, 1)
        self.assertIn("exit status 3", r.stdout)


if __name__ == "__main__":
    unittest.main()
