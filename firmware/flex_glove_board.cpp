#include "firmware/flex_glove_board.h"

#include <iterator>

#include "firmware/flex_divider.h"
#include "firmware/glove_pins.h"

extern "C" {
#include <avr_adc.h>
#include <avr_extint.h>
#include <avr_ioport.h>
#include <sim_avr.h>
#include <sim_io.h>
#include <sim_irq.h>
}

namespace {

constexpr uint32_t kSupplyMillivolts = static_cast<uint32_t>(kGloveSupplyVolts * 1000);
constexpr uint8_t kButtonPins = ((1u << GLOVE_BUTTONS) - 1) << GLOVE_FIRST_BUTTON_PIN;
constexpr uint8_t kExternalInterruptsOnButtons[] = {0, 1};  // INT0 and INT1 are PD2 and PD3: buttons A and B

constexpr int64_t kSampleStepMicros = 10;
constexpr int64_t kLongestSampleMicros = 2000;  // five conversions take 520 us

// True while the firmware has sensors of a sample still to convert: it reads them in
// order, thumb to little finger, and has not started on the little finger's yet.
bool sampling(const FlexGloveBoard& board) { return board.lastConvertedFinger != GLOVE_FINGERS - 1; }

// A conversion starts: the real chip holds its input's voltage from then on (its
// sample-and-hold), where simavr would take the voltage at the moment the firmware
// reads the result. So the finger's voltage goes to the input now, as it is now.
void onConversionStart(avr_irq_t*, uint32_t value, void* param) {
  FlexGloveBoard& board = *static_cast<FlexGloveBoard*>(param);
  union {
    avr_adc_mux_t mux;
    uint32_t bits;
  } started{};
  started.bits = value;
  const int finger = static_cast<int>(started.mux.src) - GLOVE_FIRST_FLEX_CHANNEL;
  if (started.mux.kind != ADC_MUX_SINGLE || finger < 0 || finger >= GLOVE_FINGERS) return;
  board.lastConvertedFinger = finger;
  if (finger == 0) ++board.samplesStarted;
  avr_raise_irq(board.flexInputs[finger], simavrMillivoltsFor(flexGloveReading(board.hand.bend[finger])));
}

static_assert(GLOVE_FINGERS == std::size(GloveHand{}.bend) && GLOVE_BUTTONS == std::size(GloveHand{}.buttons));

// Hands the buttons to the chip (the fingers' voltages go as each conversion starts). A
// pressed button holds its pin low; an open one leaves it to the pull-up. The port's
// input defaults follow, so that the firmware's own writes to the port never flash
// another level onto a pin.
void deliverHand(FlexGloveBoard& board) {
  uint8_t levels = kButtonPins;
  for (int button = 0; button < GLOVE_BUTTONS; ++button) {
    if (!board.hand.buttons[button]) continue;
    levels &= static_cast<uint8_t>(~(1u << (GLOVE_FIRST_BUTTON_PIN + button)));
  }
  avr_ioport_external_t external{};
  external.name = static_cast<unsigned>(GLOVE_BUTTONS_PORT_LETTER) & 0x7F;
  external.mask = kButtonPins;
  external.value = levels;
  avr_ioctl(board.chip.avr, AVR_IOCTL_IOPORT_SET_EXTERNAL(GLOVE_BUTTONS_PORT_LETTER), &external);
  for (int button = 0; button < GLOVE_BUTTONS; ++button)
    avr_raise_irq(board.buttonPins[button], (levels >> (GLOVE_FIRST_BUTTON_PIN + button)) & 1u);
}

}  // namespace

int flexGloveReading(uint8_t bend) { return adcReadingOf(flexPinVolts(flexOhmsAtDegrees(flexDegrees(bend)))); }

bool flexGloveBoardStart(FlexGloveBoard& board, const std::string& elfPath, std::string& error) {
  if (!avrBoardLoad(board.chip, elfPath, error)) return false;
  avr_t* avr = board.chip.avr;
  avr->vcc = avr->avcc = avr->aref = kSupplyMillivolts;
  for (int finger = 0; finger < GLOVE_FINGERS; ++finger)
    board.flexInputs[finger] = avr_io_getirq(avr, AVR_IOCTL_ADC_GETIRQ, GLOVE_FIRST_FLEX_CHANNEL + finger);
  for (int button = 0; button < GLOVE_BUTTONS; ++button)
    board.buttonPins[button] =
        avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(GLOVE_BUTTONS_PORT_LETTER), GLOVE_FIRST_BUTTON_PIN + button);
  if (!board.flexInputs[GLOVE_FINGERS - 1] || !board.buttonPins[GLOVE_BUTTONS - 1]) {
    error = "the emulated chip has no ADC or no port D";
    return false;
  }
  // simavr looks at a pin held low every few cycles in case its external interrupt is
  // set off by the low level, enabled or not: a pressed button would make the
  // emulation ten times as slow. The firmware enables neither.
  for (uint8_t interrupt : kExternalInterruptsOnButtons) avr_extint_set_strict_lvl_trig(avr, interrupt, 0);
  avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_OUT_TRIGGER), onConversionStart, &board);
  deliverHand(board);
  return avrBoardSetUp(board.chip, error);
}

std::vector<GloveLine> flexGloveBoardRun(FlexGloveBoard& board, int64_t micros) {
  std::vector<GloveLine> lines;
  avrBoardRunFor(board.chip, micros);
  for (BoardByte taken; avrBoardTakeByte(board.chip, taken);) {
    if (board.partLine.empty()) board.partLineStartCycle = taken.startCycle;
    if (taken.byte != '\n') {
      board.partLine += static_cast<char>(taken.byte);
      continue;
    }
    lines.push_back({board.partLineStartCycle, std::move(board.partLine)});
    board.partLine.clear();
  }
  return lines;
}

void flexGloveBoardSetHand(FlexGloveBoard& board, const GloveHand& hand) {
  board.hand = hand;
  deliverHand(board);
}

bool flexGloveBoardSetHandBetweenSamples(FlexGloveBoard& board, const GloveHand& hand) {
  for (int64_t waited = 0; sampling(board) && waited < kLongestSampleMicros; waited += kSampleStepMicros)
    if (!avrBoardRunFor(board.chip, kSampleStepMicros)) return false;
  flexGloveBoardSetHand(board, hand);
  return true;
}
