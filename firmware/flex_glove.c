/* The do-it-yourself glove: an ATmega328P at 16 MHz (an Arduino Uno or Nano) reading
 * five flex sensors and four buttons (wiring in glove_pins.h) and sending one line a
 * sample, a sample every GLOVE_SAMPLE_MICROS, on its serial line at GLOVE_BAUD:
 *
 *   thumb,index,middle,ring,little,A,B,C,D\n
 *
 * each finger its sensor's resistance in hundreds of ohms (larger is more bent: 262 is
 * 26.2 kOhm), each button 1 while pressed and 0 otherwise; signglove-glove serial maps
 * the resistances onto bends with a calibration file. Nothing is ever received.
 */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/sleep.h>
#include <avr/wdt.h>
#include <stdint.h>

#include "decimal.h"
#include "flex_sensors.h"
#include "glove_pins.h"
#include "line_sender.h"
#include "serial_line.h"

#if GLOVE_BUTTONS_PORT_LETTER != 'D'
#error "the buttons are read from port D"
#endif
#if SERIAL_BAUD != GLOVE_BAUD
#error "build with -DSERIAL_BAUD=115200"
#endif

#define BUTTON_PINS_MASK ((uint8_t)(((1u << GLOVE_BUTTONS) - 1) << GLOVE_FIRST_BUTTON_PIN))

/* Timer 1 counts at 16 MHz / 64 = 250 kHz and starts a sample every 750 counts. */
#define SAMPLE_TIMER_PRESCALER_BITS (_BV(CS11) | _BV(CS10))
#define SAMPLE_TIMER_COUNTS (F_CPU / 64 / 1000 * GLOVE_SAMPLE_MICROS / 1000)

/* Each finger its digits and a comma, each button a digit and a comma or the newline. */
#define LINE_LONGEST (GLOVE_FINGERS * (FLEX_MAX_UNITS_DIGITS + 1) + GLOVE_BUTTONS * 2)

/* Unused pins are inputs with their pull-ups, so that none floats, drawing current
 * and catching noise: port B (PB6 and PB7 hold the crystal), PC5, PD6 and PD7. */
#define UNUSED_PORTB_PINS 0x3F
#define UNUSED_PORTC_PINS 0x20
#define UNUSED_PORTD_PINS 0xC0

static void pinsInit(void) {
  DDRB = 0;
  PORTB = UNUSED_PORTB_PINS;
  DDRC = 0;
  PORTC = UNUSED_PORTC_PINS; /* the sensor pins have no pull-up: it would sit beside the fixed resistor */
  DDRD &= (uint8_t) ~(BUTTON_PINS_MASK | UNUSED_PORTD_PINS);
  PORTD |= BUTTON_PINS_MASK | UNUSED_PORTD_PINS;
  MCUCR &= (uint8_t)~_BV(PUD);
}

static volatile uint8_t sampleDue;

ISR(TIMER1_COMPA_vect) { sampleDue = 1; }

static void sampleTimerInit(void) {
  TCCR1A = 0;
  OCR1A = SAMPLE_TIMER_COUNTS - 1;
  TIMSK1 = _BV(OCIE1A);
  TCCR1B = _BV(WGM12) | SAMPLE_TIMER_PRESCALER_BITS; /* clear on compare match A */
}

/* Sleeps (idle: the timer and the UART run on) until the condition holds. Interrupts
 * go on with the sleep instruction itself, so that one coming between the test and
 * the sleep still wakes the chip. */
#define SLEEP_UNTIL(condition)   \
  do {                           \
    cli();                       \
    while (!(condition)) {       \
      sleep_enable();            \
      sei();                     \
      sleep_cpu();               \
      sleep_disable();           \
      cli();                     \
    }                            \
    sei();                       \
  } while (0)

/* One sample as a line; returns its length. */
static uint8_t sampleLine(char line[LINE_LONGEST]) {
  const uint8_t buttons = (uint8_t)~PIND; /* pressed reads low */
  uint8_t length = 0;
  for (uint8_t finger = 0; finger < GLOVE_FINGERS; ++finger) {
    length += formatDecimal(line + length, flexResistance(readFlexChannel(GLOVE_FIRST_FLEX_CHANNEL + finger)));
    line[length++] = ',';
  }
  for (uint8_t button = 0; button < GLOVE_BUTTONS; ++button) {
    line[length++] = (buttons & (1u << (GLOVE_FIRST_BUTTON_PIN + button))) ? '1' : '0';
    line[length++] = button + 1 < GLOVE_BUTTONS ? ',' : '\n';
  }
  return length;
}

int main(void) {
  /* The reset cause goes first: while a watchdog reset's flag is set the watchdog
   * cannot be set up. A sample takes 3 ms; the watchdog waits 250. */
  MCUSR = 0;
  wdt_enable(WDTO_250MS);
  pinsInit();
  flexSensorsInit();
  serialInit();
  set_sleep_mode(SLEEP_MODE_IDLE);
  sampleTimerInit();
  sei();
  /* Each sample is written into the line that is not going out: the line before may
   * still be on the wire as the next sample is taken, on time. */
  static char lines[2][LINE_LONGEST];
  uint8_t next = 0;
  for (;;) {
    SLEEP_UNTIL(sampleDue);
    sampleDue = 0;
    wdt_reset();
    const uint8_t length = sampleLine(lines[next]);
    /* A line takes at most 2.8 ms on the wire and a sample comes every 3 ms: the line
     * before has gone by the time this one is written, but for its last bytes. */
    SLEEP_UNTIL(!lineSending());
    lineSend(lines[next], length);
    next ^= 1;
  }
}
