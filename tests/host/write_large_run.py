"""A run large enough that its report takes a while: 2,500 variables and
equations, ITERATIONS alike iterations.

    write_large_run.py PATH ITERATIONS
"""
import json
import sys

path, iterations = sys.argv[1], int(sys.argv[2])
n = 2500
model = {"name": "m", "variables": [{"name": "X%d" % i} for i in range(n)],
         "equations": [{"name": "E%d" % i} for i in range(n)]}
iteration = {"variables": [[i, 1e20, 0] for i in range(n)], "equations": [[i + 1, 0, 0] for i in range(n)]}
doc = {"format": "tarn-vdr", "version": 1, "case": {}, "model": model, "iterations": [iteration] * iterations}
with open(path, "w") as file:
    file.write(json.dumps(doc))
