#!/usr/bin/python3
"""Draws the contact controller's wiring as an SVG picture (Python 3 alone, no packages).

    python3 tools/wiring_diagram.py [-o docs/wiring.svg]

One pad's channel as it is built twelve times, the pins each pad goes to, and what a
bare ATmega328P needs around it. The part values are the ones the emulated board's
pad model reads right with (signglove-board --measure gives the ranges).
"""

import argparse

SERIES_OHMS = "100 \u03a9"
PULL_UP_OHMS = "10 k\u03a9"
PADS = [("PD2", "D2", "RP"), ("PD3", "D3", "RR"), ("PD4", "D4", "RM"), ("PD5", "D5", "RI"),
        ("PD6", "D6", "RT"), ("PD7", "D7", "RPm"), ("PC0", "A0", "LPm"), ("PC1", "A1", "LT"),
        ("PC2", "A2", "LI"), ("PC3", "A3", "LM"), ("PC4", "A4", "LR"), ("PC5", "A5", "LP")]
INK = "#222"
RAIL = "#a0282c"
GROUND = "#1f4e9a"


class Picture:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.items = []

    def line(self, x1, y1, x2, y2, colour=INK, width=2):
        self.items.append(f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{colour}" stroke-width="{width}"/>')

    def rect(self, x, y, w, h, fill="white", colour=INK, width=2, rounded=0):
        self.items.append(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rounded}" fill="{fill}" '
                          f'stroke="{colour}" stroke-width="{width}"/>')

    def dot(self, x, y, colour=INK):
        self.items.append(f'<circle cx="{x}" cy="{y}" r="4" fill="{colour}"/>')

    def polygon(self, points, fill=INK, colour=INK):
        joined = " ".join(f"{x},{y}" for x, y in points)
        self.items.append(f'<polygon points="{joined}" fill="{fill}" stroke="{colour}" stroke-width="2"/>')

    def text(self, x, y, content, size=14, anchor="start", weight="normal", colour=INK):
        content = content.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
        self.items.append(f'<text x="{x}" y="{y}" font-family="sans-serif" font-size="{size}" '
                          f'text-anchor="{anchor}" font-weight="{weight}" fill="{colour}">{content}</text>')

    def svg(self):
        body = "\n  ".join(self.items)
        return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.width}" height="{self.height}" '
                f'viewBox="0 0 {self.width} {self.height}">\n  <rect width="100%" height="100%" fill="white"/>\n'
                f'  {body}\n</svg>\n')


def resistor_across(picture, x1, x2, y, label):
    """A resistor (IEC box) on a horizontal wire from x1 to x2."""
    middle = (x1 + x2) / 2
    picture.line(x1, y, middle - 30, y)
    picture.rect(middle - 30, y - 10, 60, 20)
    picture.line(middle + 30, y, x2, y)
    picture.text(middle, y - 16, label, anchor="middle")


def resistor_up(picture, x, y1, y2, label):
    """A resistor on a vertical wire from y1 (below) up to y2."""
    middle = (y1 + y2) / 2
    picture.line(x, y1, x, middle + 30)
    picture.rect(x - 10, middle - 30, 20, 60)
    picture.line(x, middle - 30, x, y2)
    picture.text(x + 18, middle + 5, label)


def tvs_down(picture, x, y1, y2):
    """A bidirectional TVS diode from y1 down to ground at y2."""
    middle = (y1 + y2) / 2
    picture.line(x, y1, x, middle - 22)
    picture.polygon([(x - 12, middle - 22), (x + 12, middle - 22), (x, middle)])
    picture.polygon([(x - 12, middle + 22), (x + 12, middle + 22), (x, middle)])
    picture.line(x - 16, middle, x + 16, middle, width=3)
    picture.line(x + 16, middle, x + 20, middle - 5, width=3)
    picture.line(x - 16, middle, x - 20, middle + 5, width=3)
    picture.line(x, middle + 22, x, y2)
    picture.text(x + 26, middle + 5, "TVS, 5 V, < 50 pF")


def channel(picture, top):
    """One pad's channel: pin, series resistor, pull-up, ESD diode, connector, pad."""
    rail, wire, ground = top + 30, top + 150, top + 270
    picture.text(20, top, "Each of the twelve pads, the same:", size=16, weight="bold")
    picture.line(200, rail, 760, rail, colour=RAIL, width=3)
    picture.text(765, rail + 5, "+5 V", colour=RAIL, weight="bold")
    picture.line(200, ground, 760, ground, colour=GROUND, width=3)
    picture.text(765, ground + 5, "GND", colour=GROUND, weight="bold")
    picture.rect(20, wire - 60, 130, 120, fill="#f3f3f3", rounded=6)
    picture.text(85, wire - 30, "ATmega328P", anchor="middle", weight="bold")
    picture.text(85, wire - 10, "pad pin", anchor="middle")
    picture.text(85, wire + 10, "(input, pull-up;", anchor="middle", size=12)
    picture.text(85, wire + 26, "driven in a scan)", anchor="middle", size=12)
    resistor_across(picture, 150, 340, wire, SERIES_OHMS)
    resistor_up(picture, 420, wire, rail, PULL_UP_OHMS)
    picture.line(340, wire, 420, wire)
    picture.dot(420, wire)
    picture.dot(420, rail, colour=RAIL)
    picture.line(420, wire, 520, wire)
    tvs_down(picture, 520, wire, ground)
    picture.dot(520, wire)
    picture.dot(520, ground, colour=GROUND)
    picture.line(520, wire, 620, wire)
    picture.rect(620, wire - 12, 24, 24, fill="#ddd")
    picture.text(632, wire + 32, "connector", anchor="middle", size=12)
    picture.line(644, wire, 700, wire, width=3)
    picture.rect(700, wire - 22, 50, 44, fill="#e9c46a", rounded=10)
    picture.text(725, wire + 40, "pad", anchor="middle")
    picture.text(200, ground + 30, "All three parts sit on the board, at the connector; only the pad's lead leaves it.", size=13)
    picture.text(200, ground + 48, "Nothing else touches the pad: no ground, no other supply.", size=13)


def pin_table(picture, top):
    picture.text(20, top, "Pads and pins (the right hand on port D, the left on port C):", size=16, weight="bold")
    for index, (pin, board_pin, pad) in enumerate(PADS):
        column, row = divmod(index, 6)
        x, y = 40 + column * 380, top + 28 + row * 22
        picture.text(x, y, pin, weight="bold")
        picture.text(x + 50, y, f"({board_pin} on a Nano or Uno)")
        picture.text(x + 230, y, f"pad {pad}")


def notes(picture, top):
    lines = [
        ("On the board", True),
        ("D0/RX and D1/TX: the serial line to the host (the board's USB serial chip); D8 to D13 free, pulled up", False),
        ("by the firmware. Power from USB; the pads' 5 V is the board's 5 V.", False),
        ("A bare ATmega328P instead", True),
        ("16 MHz crystal on XTAL1/XTAL2 with 22 pF to GND on each side; 100 nF from VCC and from AVCC to GND;", False),
        ("10 k\u03a9 from RESET to +5 V; a 5 V USB serial adapter on RXD/TXD (crossed) and GND.", False),
        ("Fuses: low 0xFF, high 0xD9, extended 0xFC (16 MHz crystal, brown-out at 4.3 V): see the README.", False),
    ]
    y = top
    for content, heading in lines:
        if heading:
            y += 8
        picture.text(20, y, content, size=16 if heading else 13, weight="bold" if heading else "normal")
        y += 22 if heading else 18


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default="docs/wiring.svg")
    arguments = parser.parse_args()
    picture = Picture(840, 800)
    picture.text(420, 34, "The contact controller's wiring", size=22, anchor="middle", weight="bold")
    channel(picture, 70)
    pin_table(picture, 450)
    notes(picture, 628)
    with open(arguments.output, "w", encoding="utf-8") as handle:
        handle.write(picture.svg())


if __name__ == "__main__":
    main()
