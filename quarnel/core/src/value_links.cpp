// Link texts into records of where they lead: a document URI with PDF open
// parameters after its "#", an XLink reference, an internal destination, a
// destination type with its coordinates, raw fragment parameters and the
// sheet and chart of a spreadsheet link.
#include <cmath>
#include <vector>

#include <unicode/locid.h>

#include "quarnel/builtin_names.h"
#include "quarnel/tokenizer.h"
#include "quarnel/uri.h"
#include "quarnel/value.h"

namespace ObraCommon {

namespace {

UnicodeString lower(const UnicodeString& text) { return UnicodeString(text).toLower(icu::Locale::getRoot()); }

UnicodeString after(const UnicodeString& text, int32_t place) { return text.tempSubString(place + 1); }

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

// A value of its own: a compound base's map is cloned, so entries set here
// never show in the caller's base (copies of a compound share their map).
ZelValue ownCopy(const ZelValue& base) {
  if (!base.isCompound()) return base;
  ZelPtr<ZelNamedValueMap> map = base.getNamedValueMap()->clone();
  ZelValue copy(map.get());
  copy.setUnitType(base.getUnitType());
  return copy;
}

// At most count items of a ","-separated list; fewer when it ends before.
std::vector<UnicodeString> listItems(const UnicodeString& text, size_t count) {
  std::vector<UnicodeString> items;
  ZelTokenizer tokens(text);
  while (items.size() < count) {
    UnicodeString item = tokens.nextSeparatedValue(u',');
    if (tokens.getTokenType() == ZelTokenizer::TOKEN_END) break;
    items.push_back(item);
  }
  return items;
}

// A length in points, else a plain number (a percentage as its fraction);
// NaN when it is neither.
float coordinate(const std::vector<UnicodeString>& items, size_t index) {
  if (index >= items.size()) return std::nanf("");
  ZelValue value = ZelValue::parse(items[index]);
  float points = value.getLengthValue();
  return std::isnan(points) ? value.getRealValue(UNIT_NUMBER) : points;
}

float orZero(float number) { return std::isnan(number) ? 0.0f : number; }

void setLength(ZelValue& target, ZelNameEnum name, float points) { target.setNamedItem(ZelName(name), ZelValue(ZelLength(points))); }

// Page 1 and the view "xyz" unless the link names a destination.
void addDefaultView(ZelValue& result) {
  ZelValue dest = result.getNamedItem(ZelName(NAME_NAMEDDEST));
  if (dest.isName() && !dest.getNameValue().isEmpty()) return;
  if (result.getNamedItem(ZelName(NAME_PAGE)).isNull()) result.setNamedItem(ZelName(NAME_PAGE), ZelValue(1));
  if (result.getNamedItem(ZelName(NAME_VIEW)).isNull()) result.setNamedItem(ZelName(NAME_VIEW), ZelValue(ZelName(NAME_XYZ)));
}

// The key (before the first "=", which must follow at least one character)
// and the value text of a parameter; false for an item without them.
bool splitParameter(const UnicodeString& item, UnicodeString& key, UnicodeString& value) {
  int32_t equals = item.indexOf(u'=');
  if (equals < 1) return false;
  key = item.tempSubString(0, equals);
  value = after(item, equals);
  return true;
}

// Every parameter of a "&"-separated list, to the end of the text; items
// without a key are passed over.
template <typename Take>
void readParameters(const UnicodeString& text, Take take) {
  ZelTokenizer items(text);
  for (;;) {
    UnicodeString item = items.nextSeparatedValue(u'&');
    if (items.getTokenType() == ZelTokenizer::TOKEN_END) return;
    UnicodeString key;
    UnicodeString valueText;
    if (splitParameter(item, key, valueText)) take(key, valueText);
  }
}

const ZelNameEnum FIT_VIEWS[] = {NAME_FIT, NAME_FITB, NAME_FITBH, NAME_FITBV, NAME_FITH, NAME_FITV};

}  // namespace

ZelValue ZelValue::parseOpenParameterList(const UnicodeString& text, const ZelValue& base, int defaultPage) {
  ZelValue work = ownCopy(base);
  ZelTokenizer items(text);
  for (;;) {
    // The first empty item ends the list, also before the end of the text.
    UnicodeString item = items.nextSeparatedValue(u'&');
    if (item.isEmpty()) break;
    UnicodeString key;
    UnicodeString valueText;
    if (!splitParameter(item, key, valueText)) continue;
    key = lower(key);
    if (key == u"page") {
      int page = parse(valueText).getIntegerValue();
      if (page > 0) work.setNamedItem(ZelName(NAME_PAGE), ZelValue(page));
    } else if (key == u"nameddest") {
      ZelName dest(parse(valueText).getStringValue());
      if (dest.isEmpty()) continue;
      // A named destination stands alone: what was read before is dropped.
      ZelValue result = ownCopy(base);
      result.setNamedItem(ZelName(NAME_NAMEDDEST), ZelValue(dest));
      return result;
    } else if (key == u"view") {
      std::vector<UnicodeString> args = listItems(valueText, 2);
      if (args.empty()) continue;
      ZelNameEnum view = ZelNameTable::getBuiltinNameEnum(lower(args[0]));
      bool known = false;
      for (ZelNameEnum fit : FIT_VIEWS) known = known || (view == fit && view != ZEL_NAME_EMPTY);
      if (!known) continue;
      work.setNamedItem(ZelName(NAME_VIEW), ZelValue(ZelName(view)));
      float place = orZero(coordinate(args, 1));
      if (view == NAME_FITH || view == NAME_FITBH) setLength(work, NAME_TOP, place);
      if (view == NAME_FITV || view == NAME_FITBV) setLength(work, NAME_LEFT, place);
    } else if (key == u"viewrect") {
      std::vector<UnicodeString> args = listItems(valueText, 4);
      float left = orZero(coordinate(args, 0));
      float top = orZero(coordinate(args, 1));
      float width = orZero(coordinate(args, 2));
      float height = orZero(coordinate(args, 3));
      if (!(width > 0 && height > 0)) continue;
      work.setNamedItem(ZelName(NAME_VIEW), ZelValue(ZelName(NAME_VIEWRECT)));
      setLength(work, NAME_LEFT, left);
      setLength(work, NAME_TOP, top);
      setLength(work, NAME_WIDTH, width);
      setLength(work, NAME_HEIGHT, height);
    } else if (key == u"zoom") {
      std::vector<UnicodeString> args = listItems(valueText, 3);
      float zoom = args.empty() ? std::nanf("") : parse(args[0]).getRealValue(UNIT_NUMBER);
      if (zoom > 0) work.setNamedItem(ZelName(NAME_ZOOM), ZelValue(zoom, UNIT_NUMBER));
      float left = coordinate(args, 1);
      if (!std::isnan(left)) setLength(work, NAME_LEFT, left);
      float top = coordinate(args, 2);
      if (!std::isnan(top)) setLength(work, NAME_TOP, top);
      if (work.getNamedItem(ZelName(NAME_ZOOM)).isNull()) work.setNamedItem(ZelName(NAME_ZOOM), ZelValue(0));
      work.setNamedItem(ZelName(NAME_VIEW), ZelValue(ZelName(NAME_XYZ)));
    } else {
      std::vector<UnicodeString> args = listItems(valueText, 1);
      if (args.empty() || args[0].isEmpty()) continue;
      // An unknown parameter stands alone, as a named destination does.
      ZelValue result = ownCopy(base);
      result.setNamedItem(ZelName(key), ZelValue(args[0], UNIT_NONE));
      return result;
    }
  }
  if (work.getNamedItem(ZelName(NAME_PAGE)).isNull()) work.setNamedItem(ZelName(NAME_PAGE), ZelValue(defaultPage));
  return work;
}

ZelValue ZelValue::parsePDFOpenParameters(const UnicodeString& text) {
  if (text.isBogus()) return NULL_VALUE;
  int32_t hash = text.indexOf(u'#');
  if (hash == 0) return NULL_VALUE;
  ZelValue result;
  if (hash < 0) {
    result.setNamedItem(ZelName(NAME_URI), ZelValue(text));
  } else {
    result.setNamedItem(ZelName(NAME_URI), ZelValue(text.tempSubString(0, hash)));
    result = parseOpenParameterList(after(text, hash), result, 1);
  }
  addDefaultView(result);
  return result;
}

ZelValue ZelValue::parseXlinkHref(const UnicodeString& text) {
  if (text.isBogus() || text.isEmpty()) return NULL_VALUE;
  int32_t hash = text.indexOf(u'#');
  ZelValue result;
  if (hash != 0) result.setNamedItem(ZelName(NAME_URI), ZelValue(hash < 0 ? text : text.tempSubString(0, hash)));
  if (hash >= 0) {
    UnicodeString fragment = after(text, hash);
    ZelTokenizer tokens(fragment);
    ZelValue first = tokens.nextTokenValue();
    const char16_t* rest = tokens.getPtr();
    while (isBlank(*rest)) ++rest;
    if (tokens.getTokenType() == ZelTokenizer::TOKEN_NAME) {
      if (*rest == u'=')
        result = parseOpenParameterList(fragment, result, 1);
      else
        result.setNamedItem(ZelName(NAME_NAMEDDEST), first);
    }
  }
  addDefaultView(result);
  return result;
}

ZelValue ZelValue::parseInternalDestination(const UnicodeString& text, int defaultPage) {
  ZelTokenizer tokens(text);
  ZelValue first = tokens.nextTokenValue();
  int kind = tokens.getTokenType();
  if (kind == ZelTokenizer::TOKEN_END) return NULL_VALUE;
  const char16_t* rest = tokens.getPtr();
  while (isBlank(*rest)) ++rest;
  ZelValue result;
  if (kind == ZelTokenizer::TOKEN_NAME || kind == ZelTokenizer::TOKEN_NUMBER) {
    if (kind == ZelTokenizer::TOKEN_NAME)
      result.setNamedItem(ZelName(NAME_NAMEDDEST), first);
    else
      result.setNamedItem(ZelName(NAME_PAGE), ZelValue(first.getIntegerValue()));
    if (*rest == u'#') result = parseOpenParameterList(UnicodeString(rest + 1), result, 1);
    return result;
  }
  UnicodeString trimmed(text);
  trimmed.trim();
  if (trimmed.startsWith(u"#")) return parseOpenParameterList(after(trimmed, 0), result, defaultPage);
  if (!trimmed.isEmpty()) result.setNamedItem(ZelName(NAME_NAMEDDEST), ZelValue(ZelName(trimmed)));
  return result;
}

ZelValue ZelValue::parseDestinationType(const UnicodeString& text) {
  if (text.isBogus()) return NULL_VALUE;
  int32_t space = text.indexOf(u' ');
  ZelValue head = parse(lower(space < 0 ? text : text.tempSubString(0, space)));
  if (head.isNumber() || head.isPercentage()) {
    float zoom = head.getRealValue(head.getUnitType());
    if (!(zoom > 0)) return NULL_VALUE;
    ZelValue result{ZelName(NAME_XYZ_TOP)};
    result.setNamedItem(ZelName(NAME_ZOOM), ZelValue(zoom, UNIT_NUMBER));
    return result;
  }
  if (!head.isName()) return NULL_VALUE;
  ZelNameEnum type = head.getNameValue();
  // Each coordinate takes the next token, whether it is a length or not.
  ZelTokenizer tokens(space < 0 ? UnicodeString() : after(text, space));
  ZelValue result{ZelName(type)};
  auto coordinate = [&tokens, &result](ZelNameEnum name) {
    ZelValue value = tokens.nextTokenValueSigned();
    if (value.isAbsoluteLength()) result.setNamedItem(ZelName(name), value);
  };
  switch (type) {
    case NAME_XYZ:
    case NAME_XYZ_LEFT:
    case NAME_XYZ_LEFT_TOP:
    case NAME_XYZ_TOP: {
      ZelValue zoom = tokens.nextTokenValueSigned();
      if (zoom.isNumber() || zoom.isPercentage()) {
        float number = zoom.getRealValue(zoom.getUnitType());
        if (number > 0) result.setNamedItem(ZelName(NAME_ZOOM), ZelValue(number, UNIT_NUMBER));
      }
      if (type == NAME_XYZ_LEFT || type == NAME_XYZ_LEFT_TOP) coordinate(NAME_LEFT);
      if (type == NAME_XYZ_TOP || type == NAME_XYZ_LEFT_TOP) coordinate(NAME_TOP);
      break;
    }
    case NAME_FIT:
    case NAME_FITB:
      break;
    case NAME_FITH:
    case NAME_FITBH:
      coordinate(NAME_TOP);
      break;
    case NAME_FITV:
    case NAME_FITBV:
      coordinate(NAME_LEFT);
      break;
    case NAME_FITR:
      coordinate(NAME_LEFT);
      coordinate(NAME_BOTTOM);
      coordinate(NAME_RIGHT);
      coordinate(NAME_TOP);
      break;
    default:
      return NULL_VALUE;
  }
  return result;
}

ZelValue ZelValue::parseUriFragmentParameters(const UnicodeString& text, bool lowerCaseKeys) {
  if (text.isBogus()) return NULL_VALUE;
  int32_t hash = text.indexOf(u'#');
  if (hash < 0) return ZelValue(text);
  ZelValue result = hash == 0 ? ZelValue() : ZelValue(text.tempSubString(0, hash));
  readParameters(after(text, hash), [&result, lowerCaseKeys](UnicodeString key, const UnicodeString& valueText) {
    key = ZelUri::unescape(key);
    key.trim();
    if (lowerCaseKeys) key = lower(key);
    // The empty name is the record's unnamed entry, the text before "#".
    if (key.isEmpty()) return;
    UnicodeString value = ZelUri::unescape(valueText);
    value.trim();
    result.setNamedItem(ZelName(key), ZelValue(value));
  });
  return result;
}

ZelValue ZelValue::parseExcelOpenParameters(const UnicodeString& text) {
  if (text.isBogus()) return NULL_VALUE;
  int32_t hash = text.indexOf(u'#');
  if (hash < 0) return NULL_VALUE;
  ZelValue result;
  readParameters(after(text, hash), [&result](const UnicodeString& key, const UnicodeString& valueText) {
    UnicodeString lowered = lower(key);
    ZelNameEnum name = lowered == u"sheet" ? NAME_SHEET : lowered == u"chart" ? NAME_CHART : ZEL_NAME_EMPTY;
    if (name == ZEL_NAME_EMPTY) return;
    int number = parse(valueText).getIntegerValue();
    if (number >= 0) result.setNamedItem(ZelName(name), ZelValue(number));
  });
  return result;
}

}  // namespace ObraCommon
