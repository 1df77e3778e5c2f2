"""Counting the checks of an end-to-end test script: each failed check is
printed as it happens, and the script ends with the line
"LABEL: N passed, M failed" that scripts/test adds up. Also the loader of
another end-to-end script's helpers."""
import importlib.util
import os


def load_suite(suite):
    """tests/SUITE/run.py as a module (its main does not run)."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), suite, "run.py")
    spec = importlib.util.spec_from_file_location(suite + "_run", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Tally:
    def __init__(self, label):
        self.label = label
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL %s%s" % (name, (": " + detail) if detail else ""))

    def summary(self):
        """Prints the closing line; the script's exit status."""
        print("%s: %d passed, %d failed" % (self.label, self.passed, self.failed))
        return 0 if self.failed == 0 else 1
