#!/usr/bin/env python3
"""Breaks the program one behaviour at a time and checks that the tests notice.

Copies the working tree to a scratch directory, builds signglove_tests there once,
then for every mutant below: applies it (one exact text replacement, which must
match once), rebuilds the test binary, runs it, and restores the file. A mutant is
caught when the build or the tests fail.

    tools/mutants.py [--scratch DIR] [--only SUBSTRING] [--jobs N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

# (file, text, replacement, the behaviour broken)
MUTANTS = [
    # Start-up and shut-down.
    ("control/program.cpp", "kQueueSize = 1024", "kQueueSize = 1023", "queue sizes 1024"),
    ("control/program.cpp", "serialOpen(kContactPort, kQueueSize, kQueueSize)", "serialOpen(kContactPort, 2048, kQueueSize)", "receive queue size"),
    ("control/program.cpp", "serialOpen(kContactPort, kQueueSize, kQueueSize)", "serialOpen(kContactPort, kQueueSize, 512)", "transmit queue size"),
    ("control/program.cpp", "kContactBaud = 9600", "kContactBaud = 19200", "baud 9600"),
    ("control/program.cpp", "kNoParity = 0", "kNoParity = 2", "parity code 0"),
    ("control/program.cpp", "kOneStopBit = 0", "kOneStopBit = 2", "stop-bit code 0"),
    ("control/program.cpp", "kDataBits = 8", "kDataBits = 7", "8 data bits"),
    ("control/program.cpp", "serialSetLine(kContactPort, kNoParity, kOneStopBit, kDataBits)", "serialSetLine(kContactPort, kNoParity, kOneStopBit, kContactBaud)", "line arguments in order"),
    ("control/program.cpp", "kQueueSize) >= 0 &&", "kQueueSize) >= -1 &&", "open failure ends start-up"),
    ("control/program.cpp", "kContactBaud) >= 0 &&", "kContactBaud) >= -1 &&", "baud failure ends start-up"),
    ("control/program.cpp", "kDataBits) >= 0;", "kDataBits) >= -1;", "line failure ends start-up"),
    ("control/program.cpp", "serialSetBaud(kContactPort, kContactBaud) >= 0 &&", "", "baud step made"),
    ("control/program.cpp", " &&\n         serialSetLine(kContactPort, kNoParity, kOneStopBit, kDataBits) >= 0", "", "line step made"),
    ("control/program.cpp", "gloveInit() != kGloveFound", "gloveInit() < kGloveFound", "glove init result exactly 1"),
    ("control/program.cpp", "gloveInit() != kGloveFound", "gloveInit() == 0", "glove init result exactly 1 (negative)"),
    ("control/program.cpp", "  gloveMouseOff();\n", "", "mouse emulation switched off"),
    ("control/program.cpp", "  gloveClose();\n", "", "glove library closed"),
    ("control/program.cpp", "  serialClose(kContactPort);\n", "", "port closed"),
    ("control/program.cpp", "consolePrint(\"P5 NOT DETECTED\\n\\n\");\n", "consolePrint(\"P5 NOT DETECTED\\n\\n\");\n    serialClose(kContactPort);\n", "port left open without a glove"),
    ("glove/glove_link.cpp", "kFirstDevice = 0", "kFirstDevice = 1", "mouse off for device 0"),
    ("glove/glove_link.cpp", "kMouseEmulationOff = 0", "kMouseEmulationOff = 1", "mouse state 0"),
    ("glove/glove_link.cpp", "void gloveClose() { gloveLibraryClose(); }", "void gloveClose() {}", "glove close reaches the library"),
    # The menu's waits test before they poll.
    ("control/menu.cpp", "while (!held(context, kButtonA) && !held(context, kButtonB)) pollGlove(context);",
     "do pollGlove(context); while (!held(context, kButtonA) && !held(context, kButtonB));", "A-or-B wait tests first"),
    ("control/menu.cpp", "while (!held(context, kButtonC)) mode.cycle(context);",
     "do mode.cycle(context); while (!held(context, kButtonC));", "mode tests C before its first cycle"),
    ("control/menu.cpp", "while (!(held(context, kButtonB) && held(context, kButtonC))) {",
     "for (bool first = true; first || !(held(context, kButtonB) && held(context, kButtonC)); first = false) {", "menu tests B and C before its first page"),
    # Locating the hand in the sign cycle.
    ("recognition/sign_recogniser.cpp", "  locateHand(context);  // where the sign starts; no rule depends on it yet\n", "", "first locateHand"),
    ("recognition/sign_recogniser.cpp", "  locateHand(context);  // where the sign ends; likewise unused by the table\n", "", "second locateHand"),
    ("recognition/sign_recogniser.cpp", "  if (start == kHandshapeNone) return;\n  locateHand(context);", "  locateHand(context);\n  if (start == kHandshapeNone) return;", "no locating without a start handshape"),
    ("glove/body_reference.cpp", "int locateHand(RecognitionContext& context) {\n  pollGlove(context);", "int locateHand(RecognitionContext& context) {", "locateHand polls the glove"),
    # Movement tests.
    ("recognition/movement_classifier.cpp", "return axis[0] - kCorridorHalfWidth <= axis[i]", "return axis[0] - kCorridorHalfWidth < axis[i]", "corridor inclusive below"),
    ("recognition/movement_classifier.cpp", "axis[i] <= axis[0] + kCorridorHalfWidth", "axis[i] < axis[0] + kCorridorHalfWidth", "corridor inclusive above"),
    ("recognition/movement_classifier.cpp", "kCorridorHalfWidth = 225.0f", "kCorridorHalfWidth = 224.0f", "corridor 225 (224)"),
    ("recognition/movement_classifier.cpp", "kCorridorHalfWidth = 225.0f", "kCorridorHalfWidth = 226.0f", "corridor 225 (226)"),
    ("recognition/movement_classifier.cpp", "kStepBack = 20.0f", "kStepBack = 19.0f", "step back 20 (19)"),
    ("recognition/movement_classifier.cpp", "kStepBack = 20.0f", "kStepBack = 21.0f", "step back 20 (21)"),
    ("recognition/movement_classifier.cpp", "kSideTravel = 150.0f", "kSideTravel = 149.0f", "side travel 150"),
    ("recognition/movement_classifier.cpp", "kDepthTravel = 90.0f", "kDepthTravel = 89.0f", "depth travel 90"),
    ("recognition/movement_classifier.cpp", "if (travel > 0) return axis[last] - axis[0] > travel;", "if (travel > 0) return axis[last] - axis[0] >= travel;", "travel strict (rising)"),
    ("recognition/movement_classifier.cpp", "if (travel < 0) return axis[0] - axis[last] > -travel;", "if (travel < 0) return axis[0] - axis[last] >= -travel;", "travel strict (falling)"),
    ("recognition/movement_classifier.cpp", "axes[0][i] == 0 && axes[1][i] == 0 && axes[2][i] == 0", "axes[0][i] == 0 && axes[1][i] == 0", "path end needs z at 0"),
    ("recognition/movement_classifier.cpp", "axes[0][i] == 0 && axes[1][i] == 0 && axes[2][i] == 0", "axes[0][i] == 0 && axes[2][i] == 0", "path end needs y at 0"),
    ("recognition/movement_classifier.cpp", "axes[0][i] == 0 && axes[1][i] == 0 && axes[2][i] == 0", "axes[1][i] == 0 && axes[2][i] == 0", "path end needs x at 0"),
    ("recognition/movement_classifier.cpp", "if (c3[i] == 0 && c4[i] == 0) return 0;", "if (c3[i] == 0) return 0;", "roll end needs the second angle at 0"),
    ("recognition/movement_classifier.cpp", "if (c3[i] == 0 && c4[i] == 0) return 0;", "if (c4[i] == 0) return 0;", "roll end needs the third angle at 0"),
    ("recognition/movement_classifier.cpp", "kLeftToRightPath = {{AxisRule::kRising, AxisRule::kCorridor, AxisRule::kCorridor}", "kLeftToRightPath = {{AxisRule::kRising, AxisRule::kCorridor, AxisRule::kFree}", "leftToRight z corridor"),
    ("recognition/movement_classifier.cpp", "kTowardBodyPath = {{AxisRule::kCorridor, AxisRule::kCorridor, AxisRule::kFalling}", "kTowardBodyPath = {{AxisRule::kCorridor, AxisRule::kFree, AxisRule::kFalling}", "towardBody y corridor"),
    ("recognition/movement_classifier.cpp", "kDownPath = {{AxisRule::kCorridor, AxisRule::kFalling, AxisRule::kCorridor}", "kDownPath = {{AxisRule::kCorridor, AxisRule::kFalling, AxisRule::kFree}", "down z corridor"),
    ("recognition/movement_classifier.cpp", "kAwayRightDownPath = {{AxisRule::kRising, AxisRule::kFalling, AxisRule::kRising}", "kAwayRightDownPath = {{AxisRule::kFree, AxisRule::kFalling, AxisRule::kRising}", "awayRightDown x rising"),
    ("recognition/movement_classifier.cpp", "kAwayRightUpPath = {{AxisRule::kRising, AxisRule::kRising, AxisRule::kRising}", "kAwayRightUpPath = {{AxisRule::kRising, AxisRule::kRising, AxisRule::kFree}", "awayRightUp z rising"),
    ("recognition/movement_classifier.cpp", "kRollAngleStep = 10.0f", "kRollAngleStep = 11.0f", "roll step 10"),
    ("recognition/movement_classifier.cpp", "kRollThirdAngleHigh = 100.0f", "kRollThirdAngleHigh = 101.0f", "roll third angle 100"),
    ("recognition/movement_classifier.cpp", "kFingerScanStopHigh = 100.0f", "kFingerScanStopHigh = 99.0f", "finger scan band up to 100"),
    # The handshape tree.
    ("recognition/handshape.cpp", "if (R < 25 && L < 25) return kOldSeven;", "if (R <= 25 && L < 25) return kOldSeven;", "old-seven R<25"),
    ("recognition/handshape.cpp", "if (R < 25 && L < 25) return kOldSeven;", "if (R < 25 && L < 26) return kOldSeven;", "old-seven L<25"),
    ("recognition/handshape.cpp", "    if (R > 40 && L > 40) {\n      if (I > 40", "    if (R >= 40 && L > 40) {\n      if (I > 40", "round/salt R>40"),
    ("recognition/handshape.cpp", "if (I > 40 && M > 40) return kRound;", "if (I > 40 && M >= 40) return kRound;", "round M>40"),
    ("recognition/handshape.cpp", "if (between(I, 15, 40) && between(M, 15, 40)) return kSalt;", "if (between(I, 14, 40) && between(M, 15, 40)) return kSalt;", "salt I>15"),
    ("recognition/handshape.cpp", "if (between(I, 15, 40) && between(M, 15, 40)) return kSalt;", "if (between(I, 15, 40) && between(M, 15, 41)) return kSalt;", "salt M<40"),
    ("recognition/handshape.cpp", "if (M < 10 && R < 10 && L < 10) return kOkay;", "if (M < 10 && R <= 10 && L < 10) return kOkay;", "okay R<10"),
    ("recognition/handshape.cpp", "if (M > 40 && R > 40 && L > 40) return kWrite;", "if (M > 40 && R > 40 && L > 39) return kWrite;", "write L>40"),
    ("recognition/handshape.cpp", "if (M > 40 && R > 40 && group(kThumbMiddleRing)) {", "if (M >= 40 && R > 40 && group(kThumbMiddleRing)) {", "rule 3 M>40"),
    ("recognition/handshape.cpp", "if (M > 40 && R > 40 && group(kThumbMiddleRing)) {", "if (M > 40 && R > 39 && group(kThumbMiddleRing)) {", "rule 3 R>40"),
    ("recognition/handshape.cpp", "    if (L > 40) {\n", "    if (L >= 40) {\n", "point/hook/fist L>40"),
    ("recognition/handshape.cpp", "if (I < 10) return kPoint;", "if (I <= 10) return kPoint;", "point I<10"),
    ("recognition/handshape.cpp", "if (between(I, 10, 40)) return kHook;", "if (between(I, 9, 40)) return kHook;", "hook I>10"),
    ("recognition/handshape.cpp", "if (between(I, 10, 40)) return kHook;", "if (between(I, 10, 41)) return kHook;", "hook I<40"),
    ("recognition/handshape.cpp", "if (I > 40) return kFist;", "if (I >= 40) return kFist;", "fist I>40"),
    ("recognition/handshape.cpp", "if (L >= 10) return kHandshapeNone;", "if (L > 10) return kHandshapeNone;", "animal/bad L<10"),
    ("recognition/handshape.cpp", "if (I < 10) return kAnimal;", "if (I <= 10) return kAnimal;", "animal I<10"),
    ("recognition/handshape.cpp", "if (I > 40) return kBad;", "if (I > 41) return kBad;", "bad I>40"),
    ("recognition/handshape.cpp", "if (I < 40 && R < 40 && L < 40 && !group(kMiddleRing)) return kFlick;", "if (I <= 40 && R < 40 && L < 40 && !group(kMiddleRing)) return kFlick;", "flick I<40"),
    ("recognition/handshape.cpp", "if (I < 40 && R < 40 && L < 40 && !group(kMiddleRing)) return kFlick;", "if (I < 40 && R < 40 && L < 41 && !group(kMiddleRing)) return kFlick;", "flick L<40"),
    ("recognition/handshape.cpp", "if (I < 40 && R < 40 && L < 40 && !group(kMiddleRing)) return kFlick;", "if (I < 40 && R < 40 && L < 40) return kFlick;", "flick without middle+ring"),
    ("recognition/handshape.cpp", "    if (R > 40 && L > 40) {\n      if (I < 10) return kPerth;", "    if (R > 40 && L >= 40) {\n      if (I < 10) return kPerth;", "Perth/letter-c L>40"),
    ("recognition/handshape.cpp", "if (I < 10) return kPerth;", "if (I < 11) return kPerth;", "Perth I<10"),
    ("recognition/handshape.cpp", "if (between(I, 10, 40) && M > 40) return kLetterC;", "if (between(I, 10, 40) && M >= 40) return kLetterC;", "letter-c M>40"),
    ("recognition/handshape.cpp", "if (between(I, 10, 40) && M > 40) return kLetterC;", "if (between(I, 10, 39) && M > 40) return kLetterC;", "letter-c I<40"),
    ("recognition/handshape.cpp", "if (I < 20 && M < 20) return between", "if (I < 20 && M <= 20) return between", "spoon M<20"),
    ("recognition/handshape.cpp", "between(h.angle2, -70, 0)", "between(h.angle2, -71, 0)", "letter-n A2>-70"),
    ("recognition/handshape.cpp", "between(h.angle2, -70, 0)", "between(h.angle2, -70, 1)", "letter-n A2<0"),
    ("recognition/handshape.cpp", "if (between(I, 10, 30)) return kWish;", "if (between(I, 10, 31)) return kWish;", "wish I<30"),
    ("recognition/handshape.cpp", "if (between(I, 10, 30)) return kWish;", "if (between(I, 9, 30)) return kWish;", "wish I>10"),
    ("recognition/handshape.cpp", "if (I < 15 && M < 25) return kTwo;", "if (I < 15 && M <= 25) return kTwo;", "two M<25"),
    ("recognition/handshape.cpp", "if (I < 15 && M < 25) return kTwo;", "if (I < 16 && M < 25) return kTwo;", "two I<15"),
    ("recognition/handshape.cpp", "if (I > 40 && M > 40) return kKneel;", "if (I > 40 && M >= 40) return kKneel;", "kneel M>40"),
    ("recognition/handshape.cpp", "if (I > 40 && R > 40 && L > 40) return kRude;", "if (I > 40 && R >= 40 && L > 40) return kRude;", "rude R>40"),
    ("recognition/handshape.cpp", "if (I < 20 && M < 20 && R < 20 && group(kThumbLittle)) {", "if (I < 20 && M < 20 && R <= 20 && group(kThumbLittle)) {", "three R<20"),
    ("recognition/handshape.cpp", "between(h.angle2, -90, 0)", "between(h.angle2, -91, 0)", "letter-m A2>-90"),
    ("recognition/handshape.cpp", "between(h.angle2, -90, 0)", "between(h.angle2, -90, 1)", "letter-m A2<0"),
    ("recognition/handshape.cpp", "if (T > 30 && I < 15", "if (T >= 30 && I < 15", "four T>30"),
    ("recognition/handshape.cpp", "L < 15 && !group(kFourFingers)) return kFour;", "L <= 15 && !group(kFourFingers)) return kFour;", "four L<15"),
    ("recognition/handshape.cpp", "if (T < 40 && I < 15", "if (T <= 40 && I < 15", "flat T<40"),
    ("recognition/handshape.cpp", "M < 15 && R < 15 && L < 15) return kFlat;", "M < 16 && R < 15 && L < 15) return kFlat;", "flat M<15"),
    ("recognition/handshape.cpp", "if (T > 40 && I > 40 && M > 40 && R > 40 && L > 40) return kThick;", "if (T >= 40 && I > 40 && M > 40 && R > 40 && L > 40) return kThick;", "thick T>40"),
    ("recognition/handshape.cpp", "between(R, 15, 40) && between(L, 15, 40)) return kCup;", "between(R, 14, 40) && between(L, 15, 40)) return kCup;", "cup R>15"),
    ("recognition/handshape.cpp", "between(R, 15, 40) && between(L, 15, 40)) return kCup;", "between(R, 15, 40) && between(L, 15, 41)) return kCup;", "cup L<40"),
    ("recognition/handshape.cpp", "R < 5 && L < 5) return kSpread;", "R <= 5 && L < 5) return kSpread;", "spread R<5"),
    ("recognition/handshape.cpp", "between(L, 10, 40) && !group(kThumbLittle)", "between(L, 10, 41) && !group(kThumbLittle)", "ball L<40"),
    ("recognition/handshape.cpp", "between(I, 10, 40) && between(M, 10, 40) && between(R, 10, 40)", "between(I, 11, 40) && between(M, 10, 40) && between(R, 10, 40)", "ball I>10"),
    ("recognition/handshape.cpp", "between(L, 10, 40) && !group(kThumbLittle)", "between(L, 10, 40)", "ball without thumb+little"),
    ("recognition/handshape.cpp", "if (T < 10 && I > 40 && M > 40 && R > 40 && L > 40) return kGood;", "if (T <= 10 && I > 40 && M > 40 && R > 40 && L > 40) return kGood;", "good T<10"),
    ("recognition/handshape.cpp", "R > 40 && L > 40) return kGun;", "R > 40 && L >= 40) return kGun;", "gun L>40"),
    ("recognition/handshape.cpp", "R > 15 && L > 15) return kEight;", "R >= 15 && L > 15) return kEight;", "eight R>15"),
    ("recognition/handshape.cpp", "R < 10 && L > 10) return kNine;", "R < 10 && L >= 10) return kNine;", "nine L>10"),
    ("recognition/handshape.cpp", "M > 10 && R < 10 && L < 10) return kMiddle;", "M >= 10 && R < 10 && L < 10) return kMiddle;", "middle M>10"),
    ("recognition/handshape.cpp", "L < 30) return kAmbivalent;", "L <= 30) return kAmbivalent;", "ambivalent L<30"),
    ("recognition/handshape.cpp", "if (between(I, 15, 40) && M > 40 && R > 40 && L > 40) return kSoon;", "if (between(I, 16, 40) && M > 40 && R > 40 && L > 40) return kSoon;", "soon I>15"),
    ("recognition/handshape.cpp", "R > 40 && L < 40) return kLove;", "R > 40 && L <= 40) return kLove;", "love L<40"),
    ("recognition/handshape.cpp", "kThumbIndexMiddle = 0x001C", "kThumbIndexMiddle = 0x001D", "group thumb+index+middle"),
    ("recognition/handshape.cpp", "kIndexMiddle = 0x000C", "kIndexMiddle = 0x000D", "group index+middle"),
    ("recognition/handshape.cpp", "kMiddleRing = 0x0006", "kMiddleRing = 0x0007", "group middle+ring"),
    ("recognition/handshape.cpp", "kIndexMiddleRing = 0x000E", "kIndexMiddleRing = 0x000F", "group index+middle+ring"),
]


def run(command, cwd, timeout=None):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scratch", default="/tmp/signglove-mutants")
    parser.add_argument("--only", default="")
    parser.add_argument("--jobs", default="2")
    args = parser.parse_args()

    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    scratch = args.scratch
    if not os.path.isdir(os.path.join(scratch, "build")):
        shutil.rmtree(scratch, ignore_errors=True)
        shutil.copytree(source, scratch, ignore=shutil.ignore_patterns("build*", ".git"))
    else:  # refresh the sources, keep the build
        shutil.copytree(source, scratch, ignore=shutil.ignore_patterns("build*", ".git"), dirs_exist_ok=True)
    build = os.path.join(scratch, "build")
    if run(["cmake", "-S", scratch, "-B", build, "-DCMAKE_BUILD_TYPE=Release"], scratch) != 0:
        sys.exit("configure failed")
    make = ["cmake", "--build", build, "-j", args.jobs, "--target", "signglove_tests"]
    tests = [os.path.join(build, "signglove_tests")]
    if run(make, scratch) != 0 or run(tests, scratch) != 0:
        sys.exit("the unmutated tests do not pass")

    mutants = [m for m in MUTANTS if args.only in m[3] or args.only in m[0]]
    survivors = []
    for index, (path, text, replacement, what) in enumerate(mutants, 1):
        file = os.path.join(scratch, path)
        with open(file) as f:
            original = f.read()
        if original.count(text) != 1:
            sys.exit(f"{path}: {text!r} matches {original.count(text)} times ({what})")
        with open(file, "w") as f:
            f.write(original.replace(text, replacement))
        started = time.time()
        try:
            caught = run(make, scratch) != 0 or run(tests, scratch, timeout=600) != 0
        except subprocess.TimeoutExpired:
            caught = True
        finally:
            with open(file, "w") as f:
                f.write(original)
        print(f"{index:3}/{len(mutants)} {'caught  ' if caught else 'SURVIVED'} {what} ({path}, {time.time() - started:.0f} s)",
              flush=True)
        if not caught:
            survivors.append(what)
    # The restored files must build again before the next run.
    run(make, scratch)
    print(f"{len(mutants) - len(survivors)} of {len(mutants)} mutants caught")
    for what in survivors:
        print(f"survived: {what}")
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
