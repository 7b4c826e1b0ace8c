#!/usr/bin/env python3
"""Independent model of how a job cuts n items over T threads.

Usage: job_split.py MAX_N T1 T2 ...
For every T and every n in 1..MAX_N prints one line: "T n end0 end1 ...".
The step n / T and each sum are single-precision floats (numpy.float32); each
end is rounded half away from zero (floor(x + 0.5), all values are positive)
and capped at n; the last end is n.
"""
import math
import sys

import numpy as np


def ends(n, t):
    t = max(1, min(n, t))
    step = np.float32(n) / np.float32(t)
    out = []
    first = 0
    for i in range(t):
        if i == t - 1:
            end = n
        else:
            x = float(np.float32(first) + step)
            end = min(n, int(math.floor(x + 0.5)))
        out.append(end)
        first = end
    return out


def main():
    max_n = int(sys.argv[1])
    lines = []
    for t in (int(a) for a in sys.argv[2:]):
        for n in range(1, max_n + 1):
            lines.append(" ".join(str(v) for v in [t, n] + ends(n, t)))
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
