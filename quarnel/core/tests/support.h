// What Quarnel's tests share: a counted object that records its
// destructions, and texts read back as UTF-8.
#pragma once

#include <atomic>
#include <string>

#include "quarnel/object_base.h"

namespace quarnel_test {

inline std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  return text.toUTF8String(out);
}

class Counted : public ObraCommon::ZelRCObject {
 public:
  explicit Counted(std::atomic<int>* destroyed) : m_destroyed(destroyed) {}
  ~Counted() override { m_destroyed->fetch_add(1); }
  unsigned int getTypeID() const override { return 0x12345678u; }
  bool isA(unsigned int id) const override { return id == 0x12345678u || ZelRCObject::isA(id); }
  ObraCommon::UnicodeString getTypeName() const override { return u"Counted"; }
  using ZelRCObject::decrementRefCount;

 private:
  std::atomic<int>* m_destroyed;
};

}  // namespace quarnel_test
