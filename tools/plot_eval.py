#!/usr/bin/python3
"""Draws signglove-eval's CSV as pictures, each as SVG and as PNG.

    tools/plot_eval.py eval.csv [--out DIR] [--where COLUMN=VALUE ...]

Prints the headline table (accuracy against noise and tempo, as Markdown) and writes into
DIR (default: beside the CSV), each as .svg and .png:
  eval-accuracy                 accuracy against each knob, the others clean, one line per family
  eval-noise-tempo              accuracy against noise and tempo together, one panel per family
  eval-confusion-FAMILY         what each handshape, movement and word was taken for, as a heatmap

--where keeps only the trials whose COLUMN has VALUE (for example --where tempo=1) for the
confusion heatmaps; the accuracy pictures always use the knob sweeps in the CSV.
"""

import argparse
import collections
import csv
import os
import sys

# signglove's version, which --version gives; the build checks that it is the project's.
VERSION = "1.0.0"


class UsageFormatter(argparse.RawDescriptionHelpFormatter):
    """Help that starts "Usage:", as every signglove tool's does."""

    def add_usage(self, usage, actions, groups, prefix=None):
        super().add_usage(usage, actions, groups, "Usage: " if prefix is None else prefix)


plt = None  # matplotlib.pyplot, loaded once there is something to draw


def load_matplotlib():
    """matplotlib, loaded once there is something to draw, or a plain word on what is
    missing (so that --help and --version need no matplotlib)."""
    try:
        import matplotlib
    except ImportError:
        sys.exit(f"plot_eval.py needs matplotlib, which {sys.executable} does not have: install Debian's "
                 "python3-matplotlib (apt-get install python3-matplotlib) and run the script with the "
                 "system's Python 3, /usr/bin/python3 tools/plot_eval.py ...")
    matplotlib.use("Agg")  # files only, no display needed
    # Text stays text and the files carry no date or random ids, so that the same CSV
    # always gives the same, small SVG.
    matplotlib.rcParams["svg.fonttype"] = "none"
    matplotlib.rcParams["svg.hashsalt"] = "signglove"
    import matplotlib.pyplot
    return matplotlib.pyplot

SVG_METADATA = {"Date": None, "Creator": None}

FAMILIES = ["handshape", "movement", "word"]
KNOBS = [  # column, axis label, the clean value
    ("noise", "position and angle noise (glove units)", 0.0),
    ("bend_noise", "bend noise", 0.0),
    ("tempo", "signer tempo (2: twice as long)", 1.0),
    ("scan_ms", "controller scan time (ms)", 2.0),
    ("refresh_ms", "glove refresh period (ms, 0: every poll)", 0.0),
]
CLEAN = {column: clean for column, _, clean in KNOBS}


def read_trials(path):
    with open(path, newline="") as file:
        rows = list(csv.DictReader(file))
    for row in rows:
        for column, _, _ in KNOBS:
            row[column] = float(row[column])
        row["correct"] = row["correct"] == "1"
    return rows


def accuracy(rows):
    return 100.0 * sum(row["correct"] for row in rows) / len(rows) if rows else None


def others_clean(row, knob):
    return all(row[column] == CLEAN[column] for column, _, _ in KNOBS if column != knob)


def save(figure, stem):
    """Writes the figure as STEM.svg and STEM.png."""
    figure.savefig(stem + ".svg", metadata=SVG_METADATA, bbox_inches="tight")
    figure.savefig(stem + ".png", dpi=100, bbox_inches="tight")
    plt.close(figure)
    print(stem + ".svg", stem + ".png", file=sys.stderr)


def plot_accuracy(rows, out):
    figure, axes = plt.subplots(1, len(KNOBS), figsize=(4 * len(KNOBS), 3.6), sharey=True)
    for axis, (knob, label, _) in zip(axes, KNOBS):
        sweep = [row for row in rows if others_clean(row, knob)]
        for family in FAMILIES:
            by_value = collections.defaultdict(list)
            for row in sweep:
                if row["family"] == family:
                    by_value[row[knob]].append(row)
            values = sorted(by_value)
            if values:
                axis.plot(values, [accuracy(by_value[v]) for v in values], marker="o", label=family + "s")
        if knob == "tempo":
            axis.set_xscale("log", base=2)
        axis.set_xlabel(label)
        axis.set_ylim(-5, 105)
        axis.grid(alpha=0.3)
    axes[0].set_ylabel("recognised (%)")
    axes[0].legend(loc="lower left")
    figure.suptitle("Accuracy against each knob, the others clean")
    save(figure, os.path.join(out, "eval-accuracy"))


def plot_noise_tempo(rows, out):
    cross = [row for row in rows if all(row[k] == CLEAN[k] for k in ("bend_noise", "scan_ms", "refresh_ms"))]
    noises = sorted({row["noise"] for row in cross})
    tempos = sorted({row["tempo"] for row in cross})
    if len(noises) < 2 or len(tempos) < 2:
        return
    figure, axes = plt.subplots(1, len(FAMILIES), figsize=(5 * len(FAMILIES), 4), sharey=True)
    for axis, family in zip(axes, FAMILIES):
        cells = collections.defaultdict(list)
        for row in cross:
            if row["family"] == family:
                cells[(row["tempo"], row["noise"])].append(row)
        grid = [[accuracy(cells.get((t, n), [])) for n in noises] for t in tempos]
        shown = [[float("nan") if v is None else v for v in line] for line in grid]
        image = axis.imshow(shown, vmin=0, vmax=100, cmap="viridis", aspect="auto", origin="lower")
        for y, line in enumerate(grid):
            for x, value in enumerate(line):
                if value is not None:
                    axis.text(x, y, f"{value:.0f}", ha="center", va="center", fontsize=7,
                              color="white" if value < 60 else "black")
        axis.set_xticks(range(len(noises)), [f"{n:g}" for n in noises])
        axis.set_yticks(range(len(tempos)), [f"{t:g}" for t in tempos])
        axis.set_xlabel("position and angle noise")
        axis.set_title(family + "s")
    axes[0].set_ylabel("tempo")
    figure.colorbar(image, ax=axes, label="recognised (%)")
    save(figure, os.path.join(out, "eval-noise-tempo"))


def headline_table(rows):
    """Accuracy against noise (rows) and tempo (columns), handshapes / movements / words in each cell, as Markdown."""
    cross = [row for row in rows if all(row[k] == CLEAN[k] for k in ("bend_noise", "scan_ms", "refresh_ms"))]
    cells = collections.defaultdict(list)
    for row in cross:
        cells[(row["noise"], row["tempo"], row["family"])].append(row)
    noises = sorted({row["noise"] for row in cross})
    # A tempo run at clean noise only belongs to the knob sweeps, not to this table.
    tempos = sorted(t for t in {row["tempo"] for row in cross}
                    if len(noises) == 1 or any(cells.get((n, t, f)) for n in noises[1:] for f in FAMILIES))
    lines = ["| noise \\ tempo | " + " | ".join(f"{t:g}" for t in tempos) + " |",
             "|---" * (len(tempos) + 1) + "|"]
    for noise in noises:
        entries = []
        for tempo in tempos:
            shares = [accuracy(cells.get((noise, tempo, f), [])) for f in FAMILIES]
            entries.append(" / ".join("-" if a is None else f"{a:.0f}" for a in shares))
        lines.append(f"| {noise:g} | " + " | ".join(entries) + " |")
    return "\n".join(lines)


def plot_confusion(rows, family, out):
    rows = [row for row in rows if row["family"] == family]
    if not rows:
        return
    signed = list(dict.fromkeys(row["item"] for row in rows))
    printed = signed + sorted({row["response"] for row in rows} - set(signed) - {"nothing"}) + ["nothing"]
    counts = collections.Counter((row["item"], row["response"]) for row in rows)
    totals = collections.Counter(row["item"] for row in rows)
    share = [[100.0 * counts[(s, p)] / totals[s] for p in printed] for s in signed]
    size = 0.22 * len(printed) + 2.5
    figure, axis = plt.subplots(figsize=(size + 1, 0.22 * len(signed) + 2))
    image = axis.imshow(share, vmin=0, vmax=100, cmap="Blues")
    if len(printed) <= 12:
        for y, line in enumerate(share):
            for x, value in enumerate(line):
                if value >= 0.5:
                    axis.text(x, y, f"{value:.0f}", ha="center", va="center", fontsize=7,
                              color="white" if value > 60 else "black")
    axis.set_xticks(range(len(printed)), printed, rotation=90, fontsize=7)
    axis.set_yticks(range(len(signed)), signed, fontsize=7)
    axis.set_xlabel("printed")
    axis.set_ylabel("signed")
    axis.set_title(f"What each {family} was taken for ({len(rows)} trials)", fontsize=9)
    figure.colorbar(image, ax=axis, label="% of its trials", shrink=0.8)
    save(figure, os.path.join(out, f"eval-confusion-{family}"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=UsageFormatter)
    parser.add_argument("csv", help="the CSV signglove-eval wrote")
    parser.add_argument("--out", help="directory for the pictures (default: the CSV's)")
    parser.add_argument("--where", action="append", default=[], metavar="COLUMN=VALUE",
                        help="keep only these trials for the confusion heatmaps")
    parser.add_argument("--version", action="version", version=f"%(prog)s {VERSION}")
    arguments = parser.parse_args()
    global plt
    plt = load_matplotlib()
    rows = read_trials(arguments.csv)
    if not rows:
        sys.exit(f"{arguments.csv}: no trials")
    out = arguments.out or os.path.dirname(os.path.abspath(arguments.csv))
    os.makedirs(out, exist_ok=True)

    print("Recognised (%), handshapes / movements / words:\n")
    print(headline_table(rows) + "\n")
    plot_accuracy(rows, out)
    plot_noise_tempo(rows, out)
    chosen = rows
    for condition in arguments.where:
        column, _, value = condition.partition("=")
        if column not in rows[0]:
            sys.exit(f"--where {condition}: no column {column!r}")
        chosen = [row for row in chosen
                  if (row[column] == float(value) if column in CLEAN else row[column] == value)]
    for family in FAMILIES:
        plot_confusion(chosen, family, out)


if __name__ == "__main__":
    main()
