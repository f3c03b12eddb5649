#include "view/view_events.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "contacts/contact_mask.h"
#include "recognition/movement_track.h"

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// JSON has no NaN nor infinity, which a glove record may hold: those are null.
std::string number(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::string milliseconds(int64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(micros) / 1000.0);
  return text;
}

template <typename Iterator>
std::string list(Iterator first, Iterator last) {
  std::string text = "[";
  for (; first != last; ++first) text += (text.size() > 1 ? "," : "") + number(static_cast<double>(*first));
  return text + "]";
}

template <typename Values>
std::string list(const Values& values) {
  return list(std::begin(values), std::end(values));
}

// The length of the well-formed UTF-8 character at the start of text, or 0.
size_t validCharacter(std::string_view text) {
  const auto byte = [&](size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 0 || text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t index = 2; index < length; ++index)
    if ((byte(index) & 0xC0) != 0x80) return 0;
  return length;
}

// The glove's fields, as "position", "angles" and "bends".
std::string gloveFields(const float position[3], const float angles[3], const float bends[5]) {
  return "\"position\":" + list(position, position + 3) + ",\"angles\":" + list(angles, angles + 3) +
         ",\"bends\":" + list(bends, bends + 5);
}

std::string handshapeName(HandshapeCode code) {
  std::string name = handshapeText(code);
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string quoted = "\"";
  for (size_t index = 0; index < text.size();) {
    const auto c = static_cast<unsigned char>(text[index]);
    if (c >= 0x80) {
      const size_t length = validCharacter(text.substr(index));
      quoted += length ? text.substr(index, length) : kReplacementCharacter;
      index += length ? length : 1;
      continue;
    }
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
    ++index;
  }
  return quoted + "\"";
}

std::string setupEvent(std::string_view source) {
  std::string pads = "[";
  for (const PadLabel& pad : kPadLabels) {
    std::string name = pad.label;
    name.pop_back();  // its trailing underscore
    pads += (pads.size() > 1 ? "," : "") + std::string("{\"name\":") + jsonString(name) +
            ",\"mask\":" + std::to_string(pad.bit) + "}";
  }
  return "{\"kind\":\"setup\",\"source\":" + jsonString(source) +
         ",\"bendThresholds\":" + list(kHandshapeBendThresholds) + ",\"pads\":" + pads + "],\"trackSamples\":" +
         std::to_string(kTrackSamples) + ",\"windowSamples\":" + std::to_string(kWindowSamples) + "}";
}

std::string screenEvent(const ConsoleScreen& screen, std::string_view caption, bool ended) {
  std::string words = "[";
  for (const std::string& word : screen.words) words += (words.size() > 1 ? "," : "") + jsonString(word);
  return "{\"kind\":\"screen\",\"page\":" + jsonString(screen.page) + ",\"words\":" + words +
         "],\"caption\":" + jsonString(caption) + ",\"ended\":" + (ended ? "true" : "false") + "}";
}

std::string gloveEvent(int64_t atMicros, const GloveRecord& record) {
  const float position[3] = {record.x, record.y, record.z};
  float bends[5];
  std::copy(std::begin(record.bend), std::end(record.bend), bends);
  std::string buttons = "[";
  for (uint8_t button : record.buttons) buttons += (buttons.size() > 1 ? "," : "") + std::to_string(button ? 1 : 0);
  return "{\"kind\":\"glove\",\"ms\":" + milliseconds(atMicros) + "," + gloveFields(position, record.orient, bends) +
         ",\"buttons\":" + buttons + "]}";
}

std::string sampleEvent(int64_t atMicros, const SeenSample& sample) {
  const float* channel = sample.channel;
  const float angles[3] = {channel[kChannelOrient1], channel[kChannelOrient2], channel[kChannelOrient3]};
  return "{\"kind\":\"sample\",\"ms\":" + milliseconds(atMicros) + "," +
         gloveFields(channel + kChannelX, angles, channel + kChannelThumb) + ",\"slots\":" +
         list(channel + kChannelSlot0, channel + kChannelSlot0 + kPacketSlots) +
         ",\"groups\":" + std::to_string(sample.groups) + ",\"window\":" + std::to_string(sample.window) +
         ",\"index\":" + std::to_string(sample.indexInWindow) + "}";
}

std::string windowEvent(int64_t atMicros, int window, bool still, HandshapeCode handshape) {
  return "{\"kind\":\"window\",\"ms\":" + milliseconds(atMicros) + ",\"window\":" + std::to_string(window) +
         ",\"still\":" + (still ? "true" : "false") + ",\"handshape\":" + std::to_string(handshape) +
         ",\"name\":" + jsonString(handshapeName(handshape)) + "}";
}

std::string consoleEvent(const ConsolePiece& piece) {
  if (piece.clear) return "{\"kind\":\"clear\"}";
  return "{\"kind\":\"console\",\"text\":" + jsonString(piece.text) + "}";
}

std::string wordEvent(std::string_view word) { return "{\"kind\":\"word\",\"text\":" + jsonString(word) + "}"; }

std::string signerEvent(int64_t atMicros, std::string_view caption) {
  return "{\"kind\":\"signer\",\"ms\":" + milliseconds(atMicros) + ",\"text\":" + jsonString(caption) + "}";
}

std::string endEvent(int64_t atMicros, int exitStatus) {
  return "{\"kind\":\"end\",\"ms\":" + milliseconds(atMicros) + ",\"status\":" + std::to_string(exitStatus) + "}";
}
