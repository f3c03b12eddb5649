#!/usr/bin/python3
"""Draws a signglove-sim trace (--trace FILE) as a picture a person reads at a glance.

    /usr/bin/python3 tools/plot_trace.py TRACE.csv -o PICTURE.png|.svg [--from MS] [--to MS] [--title TEXT]

By default the picture spans what the program sampled, from the page or banner shown
just before its first sample to its last sample; --from and --to choose another span (the whole run: --from 0). Stretches inside
it in which the program sampled nothing (a menu, a wait for Enter) are greyed.

One time axis for everything, top to bottom: what the virtual signer starts doing and
what the program prints; the hand's position; its three angles; the five finger bends;
the six contact slots the program holds. Every window of three samples is shaded:
green while still, orange while moving; the program sees nothing else.
"""

import argparse
import csv
import sys

# signglove's version, which --version gives; the build checks that it is the project's.
VERSION = "1.0.0"


class UsageFormatter(argparse.HelpFormatter):
    """Help that starts "Usage:", as every signglove tool's does."""

    def add_usage(self, usage, actions, groups, prefix=None):
        super().add_usage(usage, actions, groups, "Usage: " if prefix is None else prefix)


CHANNELS = ["x", "y", "z", "orient3", "orient2", "orient1",
            "slot0", "slot1", "slot2", "slot3", "slot4", "slot5",
            "thumb", "index", "middle", "ring", "little"]
STILL_COLOUR = "#d8f0d8"
MOVING_COLOUR = "#ffd9a8"
SIGNER_COLOUR = "#1f4e9a"
PROGRAM_COLOUR = "#a0282c"
UNSAMPLED_COLOUR = "#eeeeee"
LABEL_LENGTH = 34  # longer texts are cut, so that labels stay readable
LABEL_FONT_SIZE = 8
LABEL_ROW_INCHES = 0.17  # one level of labels in the top panel
UNSAMPLED_GAP_MS = 100   # sampling never pauses this long while a mode runs


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


def event_labels(rows, first, last):
    """{lane: [(ms, text)]}: the signer's actions and the program's output in the span;
    things at the same moment in one lane share a label."""
    labels = {"signer": {}, "program": {}}
    for row in rows:
        if not first <= row["ms"] <= last:
            continue
        if row["kind"] == "signer":
            lane, text = "signer", row["text"]
        elif row["kind"] == "console":
            lane, text = "program", row["text"].replace("\\n", " ").strip()
        elif row["kind"] == "clear":
            lane, text = "program", "(screen cleared)"
        else:
            continue
        if text:
            labels[lane].setdefault(row["ms"], []).append(short(text))
    return {lane: sorted((ms, " / ".join(texts)) for ms, texts in found.items()) for lane, found in labels.items()}


def stack_labels(axes, renderer, labels, first, last):
    """Places each label on the lowest level of its lane where it overlaps no other,
    extending right from its moment, or left where it would run past the span's end.
    Returns [(ms, text, level, align)] and the number of levels used."""
    to_data = axes.transData.inverted()
    gap = (last - first) * 0.004
    ends = []  # per level, where its last label ends (in ms)
    placed = []
    for ms, text in labels:
        probe = axes.text(ms, 0, text, fontsize=LABEL_FONT_SIZE)
        box = probe.get_window_extent(renderer)
        probe.remove()
        width = to_data.transform((box.width, 0))[0] - to_data.transform((0, 0))[0]
        align = "left" if ms + width <= last else "right"
        start, end = (ms, ms + width) if align == "left" else (ms - width, ms)
        level = next((index for index, taken in enumerate(ends) if taken + gap < start), len(ends))
        if level == len(ends):
            ends.append(end)
        ends[level] = end
        placed.append((ms, text, level, align))
    return placed, len(ends)


def draw_events(axes, renderer, rows, first, last):
    """The signer's actions in the upper lane, the program's output in the lower one,
    each label on a level of its own where it would overlap another. Returns the number
    of text rows the panel holds."""
    axes.set_xlim(first, last)
    lanes = event_labels(rows, first, last)
    program, program_levels = stack_labels(axes, renderer, lanes["program"], first, last)
    signer, signer_levels = stack_labels(axes, renderer, lanes["signer"], first, last)
    program_levels, signer_levels = max(program_levels, 1), max(signer_levels, 1)
    top = program_levels + signer_levels + 1
    axes.set_ylim(0, top)
    axes.set_yticks([program_levels / 2, program_levels + 1 + signer_levels / 2],
                    ["program\nprints", "signer\ndoes"])
    axes.tick_params(axis="y", length=0)
    axes.axhline(program_levels + 0.5, color="#dddddd", linewidth=0.5)
    for side in ("top", "right", "left"):
        axes.spines[side].set_visible(False)
    for placed, base, colour, weight in ((program, 0, PROGRAM_COLOUR, "bold"),
                                         (signer, program_levels + 1, SIGNER_COLOUR, "normal")):
        for ms, text, level, align in placed:
            y = base + level + 0.5
            axes.plot([ms, ms], [base, y], color=colour, linewidth=0.8, alpha=0.6)
            axes.text(ms, y, (" " + text) if align == "left" else (text + " "), fontsize=LABEL_FONT_SIZE,
                      color=colour, ha=align, va="center", fontweight=weight, clip_on=False)
    return top


def shade_unsampled(axes, samples, first, last):
    """Greys the stretches longer than UNSAMPLED_GAP_MS in which the program took no sample."""
    times = [first] + [row["ms"] for row in samples] + [last]
    for before, after in zip(times, times[1:]):
        if after - before > UNSAMPLED_GAP_MS:
            axes.axvspan(before, after, color=UNSAMPLED_COLOUR, linewidth=0, zorder=0)


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
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0], formatter_class=UsageFormatter)
    parser.add_argument("trace", help="CSV written by signglove-sim --trace")
    parser.add_argument("-o", "--output", help="picture to write: .png or .svg (required)")
    parser.add_argument("--from", dest="first", type=float, help="start, in virtual ms")
    parser.add_argument("--to", dest="last", type=float, help="end, in virtual ms")
    parser.add_argument("--title", help="title above the picture")
    parser.add_argument("--version", action="version", version=f"%(prog)s {VERSION}")
    options = parser.parse_args()
    if not options.output:  # checked here, so that an unknown option is named first
        parser.error("the following arguments are required: -o/--output")

    rows = read_trace(options.trace)
    if not rows:
        sys.exit(f"{options.trace}: no rows")
    sampled = [row["ms"] for row in rows if row["kind"] == "sample"]
    # By default from the mode's banner (printed just before its first sample) to the last sample.
    shown = [row["ms"] for row in rows if row["kind"] in ("console", "clear") and sampled and row["ms"] <= sampled[0]]
    start = shown[-1] if shown else (sampled[0] if sampled else rows[0]["ms"])
    first = options.first if options.first is not None else start
    last = options.last if options.last is not None else (sampled[-1] if sampled else rows[-1]["ms"])
    samples = [row for row in rows if row["kind"] == "sample" and first <= row["ms"] <= last]
    if not samples:
        sys.exit(f"{options.trace}: the program took no samples between {first:g} and {last:g} ms")
    if last <= first:
        sys.exit(f"{options.trace}: the span from {first:g} to {last:g} ms is empty")

    plt = load_matplotlib()
    plt.rcParams["svg.fonttype"] = "none"  # text stays text in an SVG: smaller, searchable
    figure, axes = plt.subplots(5, 1, sharex=True, figsize=(12, 9),
                                gridspec_kw={"height_ratios": [1.6, 1, 1, 1, 1]})
    events, position, angles, bends, slots = axes
    draw_lines(position, samples, ["x", "y", "z"], "position")
    draw_lines(angles, samples, ["orient1", "orient2", "orient3"], "angles")
    draw_lines(bends, samples, ["thumb", "index", "middle", "ring", "little"], "bends")
    draw_slots(slots, samples)
    windows = windows_of(samples)
    for panel in (position, angles, bends, slots):
        shade_unsampled(panel, samples, first, last)
        shade(panel, windows)
        panel.grid(axis="x", color="#dddddd", linewidth=0.5)
    slots.set_xlabel("virtual time (ms)  —  windows shaded: green still, orange moving; grey: no sampling")
    slots.set_xlim(first, last)
    figure.suptitle(options.title or options.trace, fontsize=11)
    figure.tight_layout()
    # The label panel grows with the levels its labels need; its width, which decides
    # where labels overlap, stays as laid out.
    levels = draw_events(events, figure.canvas.get_renderer(), rows, first, last)
    events_inches = max(1.6, levels * LABEL_ROW_INCHES)
    figure.set_size_inches(12, 7.4 + events_inches)
    figure.axes[0].get_gridspec().set_height_ratios([events_inches, 1.85, 1.85, 1.85, 1.85])
    figure.tight_layout()
    figure.savefig(options.output, dpi=80)


def load_matplotlib():
    """matplotlib, loaded once there is something to draw (it takes a while), or a plain
    word on what is missing."""
    try:
        import matplotlib
    except ImportError:
        sys.exit(f"plot_trace.py needs matplotlib, which {sys.executable} does not have: install Debian's "
                 "python3-matplotlib (apt-get install python3-matplotlib) and run the script with the "
                 "system's Python 3, /usr/bin/python3 tools/plot_trace.py ...")
    matplotlib.use("Agg")  # files only, no display needed
    import matplotlib.pyplot as plt
    return plt


if __name__ == "__main__":
    main()
