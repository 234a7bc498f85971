#!/usr/bin/env python3
"""An optimiser stand-in for the tests that follow a run as it goes: a small
blending run written through the Python writer with its progress kept
(write_progress), one iteration at a time as its driver asks on standard
input, so a test waits on what the stand-in says, never on time.

    progress_standin.py BASE [--build DIR] [--variables N]

Commands, one a line on standard input:
    next      adds the next iteration (the first is the initial point);
              prints "iteration K" (K from 0, the progress file's "iter")
              once it is in the progress file
    close     closes the run (BASE.vdr), writes its report with tarnreport
              (BASE.log) and prints "closed", then ends
    abandon   abandons the run (no BASE.vdr), prints "abandoned", then ends
It prints "ready" once the progress file holds its first line.  An end of
input without close or abandon abandons the run.  --build is the build
tree (the Python module in DIR/python, tarnreport in DIR/bin); the
default is ./build.
"""

import argparse
import os
import subprocess
import sys


def parse_arguments():
    parser = argparse.ArgumentParser(description="An optimiser stand-in driven over standard input.")
    parser.add_argument("base", help="the run's base: BASE.vdr, BASE.vdr.progress and BASE.log are written")
    parser.add_argument("--build", default="build", help="the build tree (default: ./build)")
    parser.add_argument("--variables", type=int, default=3, help="variables of the model (default 3)")
    return parser.parse_args()


def say(text):
    print(text, flush=True)


class StandIn:
    """The run: a model of `count` variables and as many equations whose
    objective and convergence settle a little with each iteration."""

    def __init__(self, td, base, count):
        self.td = td
        self.base = base
        self.count = count
        self.added = 0
        self.run = td.RunWriter(base + ".vdr")
        self.run.set_case(number=1, description="A run followed as it goes")
        self.run.set_model_name("STANDIN")
        self.variables = [self.run.add_variable(f"X{at + 1}", upper=100) for at in range(count)]
        self.equations = [self.run.add_equation(f"E{at + 1}", type=td.EquationType.LESS_EQUAL, rhs=100)
                          for at in range(count)]
        for equation, variable in zip(self.equations, self.variables):
            self.run.add_coefficient(equation, variable, 1)
        self.run.write_progress()

    def next(self):
        k = self.added
        shrink = 0.5 ** k
        infeasibility = 0 if k >= 3 else 2.0 * shrink
        self.run.add_iteration(
            variables=[(10 + at + shrink, shrink, 0.1) for at in range(self.count)],
            equations=[(shrink, 0.5, infeasibility / self.count) for _ in range(self.count)],
            nl_variables=self.count, nl_equations=self.count, feasible=infeasibility == 0,
            objective=-1000 - 100 * (1 - shrink), infeasibility=infeasibility,
            objective_convergence=0.1 * shrink, residual_convergence=0.5 * shrink,
            variable_convergence=shrink, most_infeasible="E1" if infeasibility > 0 else "")
        self.added += 1
        say(f"iteration {k}")

    def close(self, tarnreport):
        self.run.set_status(self.td.SUCCESSFUL)
        self.run.close()
        subprocess.run([tarnreport, self.base], check=True, stdout=subprocess.DEVNULL)
        say("closed")

    def abandon(self):
        self.run.abandon()
        say("abandoned")


def main():
    arguments = parse_arguments()
    build = os.path.abspath(arguments.build)
    sys.path.insert(0, os.path.join(build, "python"))
    import tarn_rundata as td  # pylint: disable=import-outside-toplevel

    stand_in = StandIn(td, arguments.base, arguments.variables)
    say("ready")
    for line in sys.stdin:
        command = line.strip()
        if command == "next":
            stand_in.next()
        elif command == "close":
            stand_in.close(os.path.join(build, "bin", "tarnreport"))
            return 0
        elif command == "abandon":
            stand_in.abandon()
            return 0
        elif command:
            print(f"progress_standin.py: unknown command {command!r} (next, close, abandon)", file=sys.stderr, flush=True)
    stand_in.abandon()
    return 0


if __name__ == "__main__":
    sys.exit(main())
