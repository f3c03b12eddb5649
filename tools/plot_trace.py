#!/usr/bin/python3
"""Draws a signglove-sim trace (--trace FILE) as a picture a person reads at a glance.

    python3 tools/plot_trace.py TRACE.csv -o PICTURE.png|.svg [--from MS] [--to MS] [--title TEXT]

One time axis for everything, top to bottom: what the virtual signer starts doing and
what the program prints; the hand's position; its three angles; the five finger bends;
the six contact slots the program holds. Every window of three samples is shaded:
green while still, orange while moving; the program sees nothing else.
"""

import argparse
import csv
import sys


CHANNELS = ["x", "y", "z", "orient3", "orient2", "orient1",
            "slot0", "slot1", "slot2", "slot3", "slot4", "slot5",
            "thumb", "index", "middle", "ring", "little"]
STILL_COLOUR = "#d8f0d8"
MOVING_COLOUR = "#ffd9a8"
SIGNER_COLOUR = "#1f4e9a"
PROGRAM_COLOUR = "#a0282c"
LABEL_LENGTH = 34  # longer texts are cut, so that labels stay readable


def read_trace(path):
    with open(path, newline="") as handle:
        reader = csv.DictReader(handle)
        missing = {"ms", "kind", "groups", "window", "still", "text"} - set(reader.fieldnames or [])
        if missing:
            sys.exit(f"{path}: not a signglove-sim trace (no column {', '.join(sorted(missing))})")
        rows = list(reader)
    for row in rows:
        row["ms"] = float(row["ms"])
    return rows


def windows_of(samples):
    """(start ms, end ms, still) for every window: from its first sample to the next
    window's first sample, or one sample period past its last when none follows soon."""
    spans = {}
    for row in samples:
        if not row["window"]:
            continue
        start, end, _ = spans.get(row["window"], (row["ms"], row["ms"], row["still"]))
        spans[row["window"]] = (min(start, row["ms"]), max(end, row["ms"]), row["still"])
    windows = sorted(spans.values())
    joined = []
    for index, (start, end, still) in enumerate(windows):
        period = (end - start) / 2
        following = windows[index + 1][0] if index + 1 < len(windows) else None
        close = following is not None and following - end <= 2 * period
        joined.append((start, following if close else end + period, still))
    return joined


def shade(axes, windows):
    for start, end, still in windows:
        axes.axvspan(start, end, color=STILL_COLOUR if still == "1" else MOVING_COLOUR, linewidth=0, zorder=0)


def short(text):
    return text if len(text) <= LABEL_LENGTH else text[: LABEL_LENGTH - 1] + "…"


def draw_events(axes, rows, first, last):
    """The signer's actions in the upper lane, the program's output in the lower one."""
    axes.set_ylim(0, 2)
    axes.set_yticks([0.5, 1.5], ["program\nprints", "signer\ndoes"])
    axes.tick_params(axis="y", length=0)
    for side in ("top", "right", "left"):
        axes.spines[side].set_visible(False)
    labels = {}  # (lane, ms) -> texts; things at the same moment share one label
    for row in rows:
        if not first <= row["ms"] <= last:
            continue
        if row["kind"] == "signer":
            lane, text = "signer", row["text"]
        elif row["kind"] == "console":
            lane, text = "program", row["text"].replace("\\n", " ")
        elif row["kind"] == "clear":
            lane, text = "program", "(screen cleared)"
        else:
            continue
        labels.setdefault((lane, row["ms"]), []).append(short(text))
    for (lane, ms), texts in labels.items():
        base, colour = (1.05, SIGNER_COLOUR) if lane == "signer" else (0.05, PROGRAM_COLOUR)
        axes.axvline(ms, ymin=base / 2, ymax=base / 2 + 0.08, color=colour, linewidth=1.2)
        axes.text(ms, base + 0.2, " / ".join(texts), rotation=30, fontsize=8, color=colour,
                  ha="left", va="bottom", rotation_mode="anchor", clip_on=True,
                  fontweight="bold" if lane == "program" else "normal")


def draw_lines(axes, samples, names, label):
    times = [row["ms"] for row in samples]
    for name in names:
        axes.plot(times, [float(row[name]) for row in samples], label=name, linewidth=1,
                  drawstyle="steps-post")
    axes.set_ylabel(label)
    axes.legend(loc="upper left", fontsize=7, ncol=len(names), frameon=False)


def draw_slots(axes, samples):
    """One lane a slot; a bar where it holds a group, labelled with the group's mask.
    Slots the latest reply did not fill keep an earlier group: pale, since the program
    records them in every sample but its handshape tests look only at the filled ones."""
    axes.set_ylim(-0.5, 5.5)
    axes.set_yticks(range(6), [f"slot{slot}" for slot in range(6)])
    axes.invert_yaxis()
    for slot in range(6):
        name = f"slot{slot}"
        def state(row):
            return int(float(row[name])), slot < int(row["groups"] or 0)

        start = None
        for index, row in enumerate(samples):
            value, filled = state(row)
            following = state(samples[index + 1]) if index + 1 < len(samples) else None
            if start is None:
                start = row["ms"]
            if following != (value, filled):
                end = samples[index + 1]["ms"] if following is not None else row["ms"]
                if value:
                    axes.broken_barh([(start, end - start)], (slot - 0.35, 0.7), color="#7a5ea8",
                                     alpha=0.75 if filled else 0.18)
                    axes.text(start, slot, f" 0x{value:04X}", fontsize=7, va="center", clip_on=True,
                              alpha=1 if filled else 0.5)
                start = None
    axes.set_ylabel("contact\nslots")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("trace", help="CSV written by signglove-sim --trace")
    parser.add_argument("-o", "--output", required=True, help="picture to write: .png or .svg")
    parser.add_argument("--from", dest="first", type=float, help="start, in virtual ms")
    parser.add_argument("--to", dest="last", type=float, help="end, in virtual ms")
    parser.add_argument("--title", help="title above the picture")
    options = parser.parse_args()

    rows = read_trace(options.trace)
    if not rows:
        sys.exit(f"{options.trace}: no rows")
    first = options.first if options.first is not None else rows[0]["ms"]
    last = options.last if options.last is not None else rows[-1]["ms"]
    samples = [row for row in rows if row["kind"] == "sample" and first <= row["ms"] <= last]
    if not samples:
        sys.exit(f"{options.trace}: the program took no samples between {first:g} and {last:g} ms")

    import matplotlib  # only once there is something to draw: it takes a while to load

    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt

    plt.rcParams["svg.fonttype"] = "none"  # text stays text in an SVG: smaller, searchable
    figure, axes = plt.subplots(5, 1, sharex=True, figsize=(12, 9),
                                gridspec_kw={"height_ratios": [1.6, 1, 1, 1, 1]})
    events, position, angles, bends, slots = axes
    draw_events(events, rows, first, last)
    draw_lines(position, samples, ["x", "y", "z"], "position")
    draw_lines(angles, samples, ["orient1", "orient2", "orient3"], "angles")
    draw_lines(bends, samples, ["thumb", "index", "middle", "ring", "little"], "bends")
    draw_slots(slots, samples)
    windows = windows_of(samples)
    for panel in (position, angles, bends, slots):
        shade(panel, windows)
        panel.grid(axis="x", color="#dddddd", linewidth=0.5)
    slots.set_xlabel("virtual time (ms)  —  windows shaded: green still, orange moving")
    slots.set_xlim(first, last)
    figure.suptitle(options.title or options.trace, fontsize=11)
    figure.tight_layout()
    figure.savefig(options.output, dpi=80)


if __name__ == "__main__":
    main()
