// What the parsing tests share: a value written as kind/unit:text, so a
// table row can say exactly what a text must give, and the entries of a
// record as a map from entry name to that form.
#pragma once

#include <map>
#include <string>

#include "quarnel/value.h"
#include "support.h"

namespace quarnel_test {

inline std::string Show(const ObraCommon::ZelValue& value) {
  if (value.isNull()) return "null";
  return std::to_string(value.getValueType()) + "/" + std::to_string(value.getUnitType()) + ":" +
         Utf8(value.toString());
}

// Every named entry of a record, and "." for its unnamed one.
inline std::map<std::string, std::string> Entries(const ObraCommon::ZelValue& value) {
  std::map<std::string, std::string> entries;
  const ObraCommon::ZelNamedValueMap* map = value.getNamedValueMap();
  if (!value.isCompound()) {
    if (!value.isNull()) entries["."] = Show(value);
    return entries;
  }
  for (int i = 0; i < map->getCount(); ++i) {
    ObraCommon::ZelNamedValue entry = map->item(i);
    std::string name = entry.getName().isEmpty() ? "." : Utf8(entry.getName().toString());
    entries[name] = Show(entry.getValue());
  }
  return entries;
}

}  // namespace quarnel_test
