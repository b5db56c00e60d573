// Test support for the codecs: a fixture that starts the engine on a
// private copy of the generated configuration folder, and conversions of
// whole texts or of texts fed in chunks, as a caller of cconvConvert does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cconv_internal.h"
#include "dalvex/cconv.h"
#include "testsupport/testdata.h"

namespace codectest {

struct Result {
  int status = -1;
  std::string out;
  int position = 0;
};

struct Options {
  CconvOptions target{};
  CconvCharsetOptions source{};
};

inline std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

// One session over the whole input with room for all output, then the
// flush.
inline Result Convert(const std::string& from, const std::string& to, const std::string& input,
                      Options opts = {}, int capacity = -1) {
  Result r;
  CconvSession s{};
  std::string out(capacity < 0 ? input.size() * 16 + 64 : static_cast<size_t>(capacity), '\0');
  if (cconvInitConvert(&s, &opts.target, to.c_str()) != 0) return r;
  if (cconvChgCharset(&s, &opts.source, from.c_str()) != 0) return r;
  s.input = reinterpret_cast<const uint8_t*>(input.data());
  s.input_length = static_cast<int32_t>(input.size());
  s.output = reinterpret_cast<uint8_t*>(out.data());
  s.output_capacity = static_cast<int32_t>(out.size());
  r.status = cconvConvert(&s);
  r.position = s.input_position;
  if (r.status == 0) cconvTermConvert(&s);
  r.out.assign(out.data(), static_cast<size_t>(s.output_length));
  return r;
}

// Feeds the input `chunk` bytes at a time into a buffer the way a
// streaming caller does (unconsumed bytes moved to the front, output taken
// after every call), with an output buffer of `capacity` bytes. Stops at
// a status other than 0, 12 and 22.
inline Result ConvertInPieces(const std::string& from, const std::string& to, const std::string& input, size_t chunk,
                              int capacity, Options opts = {}) {
  Result r;
  CconvSession s{};
  if (cconvInitConvert(&s, &opts.target, to.c_str()) != 0) return r;
  if (cconvChgCharset(&s, &opts.source, from.c_str()) != 0) return r;
  std::string pending;
  std::string out(static_cast<size_t>(capacity), '\0');
  size_t fed = 0;
  bool more = true;
  for (int guard = 0;; ++guard) {
    if (guard > 1000000) return r;
    if (more) {
      size_t take = std::min(chunk, input.size() - fed);
      pending += input.substr(fed, take);
      fed += take;
    }
    s.input = reinterpret_cast<const uint8_t*>(pending.data());
    s.input_length = static_cast<int32_t>(pending.size());
    s.input_position = 0;
    s.output = reinterpret_cast<uint8_t*>(out.data());
    s.output_capacity = capacity;
    s.output_length = 0;
    int st = cconvConvert(&s);
    r.out.append(out.data(), static_cast<size_t>(s.output_length));
    pending.erase(0, static_cast<size_t>(s.input_position));
    more = st != 22;
    if (st == 22) {
      if (s.output_length == 0) return r;  // a character wider than the buffer
      continue;
    }
    if (st != 0 && st != 12) {
      r.status = st;
      return r;
    }
    if (fed >= input.size()) {
      r.status = st;
      break;
    }
  }
  for (int i = 0; i < 64; ++i) {
    s.output_length = 0;
    int st = cconvTermConvert(&s);
    r.out.append(out.data(), static_cast<size_t>(s.output_length));
    if (st != 22) break;
  }
  return r;
}

// The engine started on a private copy of the generated configuration.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::path etc = testsupport::TempDir() / "etc";
    fs::copy(fs::path(std::getenv("PROJECT_BUILD_DIR")) / "etc", etc, fs::copy_options::recursive);
    ASSERT_EQ(startProcess(), 1);
    cconv::TheEngine().folder = etc.string() + "/";
    ASSERT_EQ(cconvLoadRule(), 1);
  }
  void TearDown() override { endProcess(); }
};

}  // namespace codectest
