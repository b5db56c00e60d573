// Values from texts: one token into its value, and colour texts in the
// function notation (rgb(...), rgb-icc(...)) and the SVG notation
// (keywords and #hex, each optionally followed by icc-color(...)).
#include <vector>

#include <unicode/locid.h>

#include "quarnel/builtin_names.h"
#include "quarnel/color.h"
#include "quarnel/tokenizer.h"
#include "quarnel/value.h"

namespace ObraCommon {

namespace {

UnicodeString wholeText(const UnicodeString& text) { return text.isBogus() ? UnicodeString() : text; }

bool isValueToken(int kind) {
  return kind == ZelTokenizer::TOKEN_NUMBER || kind == ZelTokenizer::TOKEN_COLOR ||
         kind == ZelTokenizer::TOKEN_STRING || kind == ZelTokenizer::TOKEN_NAME;
}

// Result bits of reading the arguments of an ICC colour.
enum IccFlags : int {
  ICC_READ = 1,
  ICC_SEPARATION = 2,
  ICC_TINT = 4,
  ICC_CMYK = 8,
};

float plain(const ZelValue& value) { return value.getRealValue(UNIT_NUMBER); }

// A character token is an integer of its own unit, not a number.
bool allNumeric(const std::vector<ZelValue>& values, size_t from, size_t count) {
  if (values.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (!values[i].isNumericalValue()) return false;
  return true;
}

// The arguments after "icc-color(" or after the sRGB part of "rgb-icc(",
// up to the closing ")" that must end the text, applied to color. Answers
// the IccFlags read, or 0 when the text is no such colour.
int readIccArguments(ZelTokenizer& tokens, ZelColor& color) {
  tokens.skipSeparator(u',');
  // "#CMYK" would otherwise read as a hexadecimal colour.
  bool hash = tokens.skipSeparator(u'#');
  UnicodeString profile = tokens.nextTokenValue().toString();
  if (hash) profile.insert(0, u'#');
  std::vector<ZelValue> args;
  for (int i = 0; i < 6; ++i) {
    tokens.skipSeparator(u',');
    int kind = tokens.nextToken();
    tokens.pushBack();
    if (kind == u')') break;
    args.push_back(tokens.nextTokenValueSigned());
  }
  if (tokens.nextToken() != u')' || tokens.nextToken() != ZelTokenizer::TOKEN_END) return 0;
  profile.toUpper(icu::Locale::getRoot());

  if (profile == u"#CMYK") {
    if (!allNumeric(args, 0, 4)) return 0;
    color = ZelColor(color, plain(args[0]), plain(args[1]), plain(args[2]), plain(args[3]));
    return ICC_READ;
  }
  if (profile == u"#GRAYSCALE") {
    if (!allNumeric(args, 0, 1)) return 0;
    color = ZelColor(color, plain(args[0]));
    return ICC_READ;
  }
  size_t tintAt = 0;
  UnicodeString name;
  if (profile == u"#SEPARATION") {
    // The registration colour is written "#SEPARATION" and its tint with no
    // name before it; a name is always written in quotes, so a bare number
    // here is that tint.
    if (!(args.empty() || args[0].isNumericalValue())) {
      name = args[0].toString();
      tintAt = 1;
    }
  } else if (profile != u"#REGISTRATION") {
    return 0;
  }
  ZelValue tint = tintAt < args.size() ? args[tintAt] : ZelValue();
  if (!tint.isNumericalValue()) {
    color = ZelColor(color, name, 1.0f);
    return ICC_READ | ICC_SEPARATION;
  }
  if (allNumeric(args, tintAt + 1, 4)) {
    color = ZelColor(color, name, plain(tint), plain(args[tintAt + 1]), plain(args[tintAt + 2]),
                     plain(args[tintAt + 3]), plain(args[tintAt + 4]));
    return ICC_READ | ICC_SEPARATION | ICC_TINT | ICC_CMYK;
  }
  color = ZelColor(color, name, plain(tint));
  return ICC_READ | ICC_SEPARATION | ICC_TINT;
}

void takeSeparationFlags(ZelColor& color, int flags, bool rgbGiven) {
  if ((flags & ICC_SEPARATION) != 0) color.adjustSeparationFlags(rgbGiven, (flags & ICC_TINT) != 0, (flags & ICC_CMYK) != 0);
}

// An icc-color(...) after a colour of the SVG notation replaces it when it
// reads; anything else leaves the colour as it is.
void readIccSuffix(ZelTokenizer& tokens, ZelColor& color) {
  tokens.nextTokenValueSigned();
  if (tokens.getTokenType() != ZelTokenizer::TOKEN_NAME || tokens.getTokenText() != u"icc-color") return;
  if (tokens.nextToken() != u'(') return;
  ZelColor copy(color);
  int flags = readIccArguments(tokens, copy);
  if (flags == 0) return;
  takeSeparationFlags(copy, flags, true);
  color = copy;
}

// Three channels, commas between them optional; a percentage is of 255.
// Answers false unless all three are numbers.
bool readChannels(ZelTokenizer& tokens, unsigned int& rgb) {
  rgb = 0;
  bool numeric = true;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) tokens.skipSeparator(u',');
    ZelValue channel = tokens.nextTokenValueSigned();
    if (!channel.isNumericalValue()) {
      numeric = false;
      continue;
    }
    if (channel.isPercentage()) channel = ZelValue(channel.getRealValue(UNIT_NUMBER) * 255.0f, UNIT_NUMBER);
    int level = channel.getIntegerValue();
    level = level < 0 ? 0 : level > 255 ? 255 : level;
    rgb = (rgb << 8) | static_cast<unsigned int>(level);
  }
  return numeric;
}

}  // namespace

ZelValue ZelValue::parse(const UnicodeString& text) {
  ZelTokenizer tokens(text);
  ZelValue value = tokens.nextTokenValueSigned();
  if (!value.isNull() && isValueToken(tokens.getTokenType()) && tokens.nextToken() == ZelTokenizer::TOKEN_END)
    return value;
  return ZelValue(wholeText(text), UNIT_NONE);
}

ZelValue ZelValue::parseNonNumeric(const UnicodeString& text) {
  ZelTokenizer tokens(text);
  ZelValue value = tokens.nextTokenValue();
  int kind = tokens.getTokenType();
  if ((kind == ZelTokenizer::TOKEN_STRING || kind == ZelTokenizer::TOKEN_NAME) &&
      tokens.nextToken() == ZelTokenizer::TOKEN_END)
    return value;
  return ZelValue(wholeText(text), UNIT_NONE);
}

ZelValue ZelValue::parseColor(const UnicodeString& text, bool svg) {
  const ZelValue failure(wholeText(text), UNIT_NONE);
  ZelTokenizer tokens(text);
  ZelValue first = tokens.nextTokenValueSigned();
  if (first.isNull()) return failure;
  ZelColor color;
  switch (tokens.getTokenType()) {
    case ZelTokenizer::TOKEN_COLOR:
      if (tokens.nextToken() == ZelTokenizer::TOKEN_END) return first;
      if (!svg) return failure;
      color = first.getColorValue();
      tokens.pushBack();
      readIccSuffix(tokens, color);
      return ZelValue(color);
    case ZelTokenizer::TOKEN_STRING:
    case ZelTokenizer::TOKEN_NUMBER:
      return tokens.nextToken() == ZelTokenizer::TOKEN_END ? first : failure;
    case ZelTokenizer::TOKEN_NAME:
      break;
    default:
      return failure;
  }

  UnicodeString function = tokens.getTokenText();
  int next = tokens.nextToken();
  if (next == ZelTokenizer::TOKEN_END) return first;
  if (next != u'(') {
    if (!svg) return failure;
    color = ZelColor(ZelName(first));
    if (color.isInvalid()) return failure;
    tokens.pushBack();
    readIccSuffix(tokens, color);
    return ZelValue(color);
  }

  unsigned int rgb = 0;
  if (function == u"icc-color") {
    if (!svg) return failure;
    int flags = readIccArguments(tokens, color);
    if (flags == 0) return failure;
    takeSeparationFlags(color, flags, false);
    return ZelValue(color);
  }
  if (function == u"rgb") {
    if (!readChannels(tokens, rgb) || tokens.nextToken() != u')') return failure;
    color = ZelColor(rgb);
    if (!svg) return tokens.nextToken() == ZelTokenizer::TOKEN_END ? ZelValue(color) : failure;
    readIccSuffix(tokens, color);
    return ZelValue(color);
  }
  if (function == u"rgb-icc") {
    bool given = false;
    if (!tokens.scanSeparator(u'#')) {
      given = readChannels(tokens, rgb);
      tokens.skipSeparator(u',');
      if (given) color = ZelColor(rgb);
    }
    int flags = readIccArguments(tokens, color);
    if (flags == 0) return failure;
    takeSeparationFlags(color, flags, given);
    return ZelValue(color);
  }
  return failure;
}

}  // namespace ObraCommon
