// A model of the memory stream over std::string, and a runner that drives
// a ZelMemStream and the model through the same operations, chosen by a
// byte source (random bytes in the tests, the fuzzer's input when
// fuzzing). Sources handed to the stream are counted, so that owned ones
// are seen deleted once and others never.
#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "quarnel/mem_stream.h"

namespace memmodel {

class CountedSource : public std::istringstream {
 public:
  CountedSource(const std::string& bytes, int* alive) : std::istringstream(bytes), m_alive(alive) { ++*m_alive; }
  ~CountedSource() override { --*m_alive; }

 private:
  int* m_alive;
};

// Decisions taken from bytes; 0 once they run out.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool more() const { return m_at < m_size; }
  unsigned next(unsigned bound) {
    if (bound == 0) return 0;
    unsigned v = 0;
    for (int i = 0; i < 2 && m_at < m_size; ++i) v = (v << 8) | m_data[m_at++];
    return v % bound;
  }
  std::string bytes(unsigned n) {
    static const char kAlphabet[] = "ab\r\nxyz\0";
    std::string s;
    for (unsigned i = 0; i < n; ++i) s.push_back(kAlphabet[next(sizeof kAlphabet - 1)]);
    return s;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

inline uint32_t Checksum(const std::string& data) {
  uint32_t sum = 0;
  for (size_t i = 0; i < data.size(); i += 4) {
    uint32_t word = 0;
    for (size_t j = 0; j < 4; ++j) {
      word <<= 8;
      if (i + j < data.size()) word |= static_cast<unsigned char>(data[i + j]);
    }
    sum += word;
  }
  return sum;
}

// Runs operations until the choices run out; the first disagreement, or
// "" when there was none.
inline std::string Run(Choices& in, unsigned grow) {
  int alive = 0;
  std::string why;
  {
    ObraCommon::ZelMemStream stream(nullptr, grow);
    std::string data;
    size_t r = 0, w = 0;
    auto fail = [&](const std::string& what) {
      if (why.empty()) why = what + " (length " + std::to_string(data.size()) + ", r " + std::to_string(r) + ", w " +
                             std::to_string(w) + ")";
    };
    int step = 0;
    while (in.more() && why.empty()) {
      ++step;
      const unsigned op = in.next(16);
      const std::string tag = "step " + std::to_string(step) + " op " + std::to_string(op);
      switch (op) {
        case 0: {  // write
          std::string bytes = in.bytes(in.next(3 * grow));
          stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
          for (char c : bytes) {
            if (w < data.size()) data[w] = c;
            else data.push_back(c);
            ++w;
          }
          break;
        }
        case 1: {  // read
          unsigned n = in.next(3 * grow);
          std::string got(n, '\0');
          stream.read(got.data(), n);
          size_t expect = std::min<size_t>(n, data.size() - r);
          if (static_cast<size_t>(stream.gcount()) != expect || got.compare(0, expect, data, r, expect) != 0)
            fail(tag + " read");
          r += expect;
          break;
        }
        case 2: {  // seekg
          size_t to = in.next(static_cast<unsigned>(data.size()) + 3);
          stream.seekg(static_cast<std::streamoff>(to));
          if (stream.fail() != (to > data.size())) fail(tag + " seekg " + std::to_string(to));
          if (to <= data.size()) r = to;
          break;
        }
        case 3: {  // seekp
          size_t to = in.next(static_cast<unsigned>(data.size()) + 3);
          stream.seekp(static_cast<std::streamoff>(to));
          if (stream.fail() != (to > data.size())) fail(tag + " seekp " + std::to_string(to));
          if (to <= data.size()) w = to;
          break;
        }
        case 4: {  // put back the byte before the read position
          char c = r > 0 ? data[r - 1] : 'q';
          stream.putback(c);
          if (stream.fail() != (r == 0)) fail(tag + " putback");
          if (r > 0) --r;
          break;
        }
        case 5:
        case 6: {  // searchSeek, skipSeek
          unsigned n = 1 + in.next(4);
          std::string pattern;
          if (!data.empty() && in.next(2) == 0) pattern = data.substr(in.next(static_cast<unsigned>(data.size())), n);
          else pattern = in.bytes(n);
          bool found;
          size_t to = r;
          if (op == 5) {
            size_t at = data.find(pattern, r);
            found = at != std::string::npos;
            if (found) to = at;
            if (stream.searchSeek(pattern.data(), static_cast<unsigned>(pattern.size())) != found)
              fail(tag + " searchSeek");
          } else {
            found = data.compare(r, pattern.size(), pattern) == 0 && r + pattern.size() <= data.size();
            if (found) to = r + pattern.size();
            if (stream.skipSeek(pattern.data(), static_cast<unsigned>(pattern.size())) != found)
              fail(tag + " skipSeek");
          }
          r = to;
          break;
        }
        case 7: {  // seekEOL
          stream.seekEOL();
          bool seen = false;
          for (; r < data.size(); ++r) {
            if (data[r] == '\r' || data[r] == '\n') seen = true;
            else if (seen) break;
          }
          break;
        }
        case 8: {  // trim
          unsigned n = in.next(static_cast<unsigned>(data.size()) + 3);
          stream.trim(n);
          if (n < data.size()) {
            data.resize(n);
            r = std::min<size_t>(r, n);
            w = std::min<size_t>(w, n);
          }
          break;
        }
        case 9: {  // getBuffer
          const char* block = nullptr;
          unsigned n = stream.getBuffer(block);
          size_t expect = r < data.size() ? std::min<size_t>(grow - r % grow, data.size() - r) : 0;
          if (n != expect || (n != 0 && data.compare(r, n, block, n) != 0)) fail(tag + " getBuffer");
          r += expect;
          break;
        }
        case 10: {  // copyStream
          std::istringstream from(in.bytes(in.next(3 * grow)));
          unsigned n = in.next(4 * grow);
          std::string bytes = from.str();
          unsigned count = stream.copyStream(from, n);
          size_t expect = std::min<size_t>(n, bytes.size());
          if (count != expect) fail(tag + " copyStream");
          for (size_t i = 0; i < expect; ++i, ++w) {
            if (w < data.size()) data[w] = bytes[i];
            else data.push_back(bytes[i]);
          }
          break;
        }
        case 11: {  // abandonBuffer
          stream.abandonBuffer();
          size_t removed = data.size() - stream.length();
          if (removed % grow != 0 || removed > r) {
            fail(tag + " abandonBuffer removed " + std::to_string(removed));
            break;
          }
          data.erase(0, removed);
          r -= removed;
          w = w < removed ? 0 : w - removed;
          break;
        }
        case 12: {  // setSource
          std::string bytes = in.bytes(in.next(3 * grow));
          const bool owns = in.next(2) == 0;
          if (owns) {
            stream.setSource(new CountedSource(bytes, &alive), true);
            data += bytes;
          } else {
            // A source the stream does not own is read at once here, so
            // that it can go before the stream does.
            CountedSource source(bytes, &alive);
            stream.setSource(&source, false);
            if (stream.length() != data.size() + bytes.size()) fail(tag + " setSource not owned");
            data += bytes;
          }
          break;
        }
        case 13: {  // whole data, length and checksum
          std::string all = "x";
          stream.appendToString(all);
          if (all != "x" + data) fail(tag + " appendToString");
          if (stream.length() != data.size()) fail(tag + " length");
          if (stream.calcOTFTableChecksum() != Checksum(data)) fail(tag + " checksum");
          break;
        }
        case 14: {  // positions
          if (static_cast<size_t>(std::streamoff(stream.tellg())) != r) fail(tag + " tellg");
          if (static_cast<size_t>(std::streamoff(stream.tellp())) != w) fail(tag + " tellp");
          break;
        }
        default: {  // read one byte
          int c = stream.get();
          int expect = r < data.size() ? static_cast<unsigned char>(data[r]) : EOF;
          if (c != expect) fail(tag + " get");
          if (r < data.size()) ++r;
          break;
        }
      }
      stream.clear();
    }
    if (why.empty()) {
      std::string all;
      stream.appendToString(all);
      if (all != data) fail("final data");
    }
  }
  if (alive != 0) why += " sources alive: " + std::to_string(alive);
  return why;
}

}  // namespace memmodel
