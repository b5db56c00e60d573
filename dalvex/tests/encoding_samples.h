// Sample texts for the encoding-detection tests: sentences held as UTF-8 and
// turned into each encoding with iconv(3), so every fixture is made in the
// test from text a reader can check.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace encoding_samples {

inline constexpr std::string_view kJapanese =
    "日本語のテキストです。文字コードを判定します。\nカタカナとひらがな、漢字を含みます。東京都の天気は晴れ。\n";
inline constexpr std::string_view kSimplifiedChinese =
    "这是一个简体中文的句子，用来测试字符编码的检测。\n我们今天学习汉语，明天去北京。\n";
inline constexpr std::string_view kTraditionalChinese =
    "這是一個繁體中文的句子，用來測試字元編碼的偵測。\n我們今天學習漢語，明天去臺北。\n";
inline constexpr std::string_view kKorean =
    "이것은 한국어 문장입니다. 문자 인코딩 감지를 시험합니다.\n서울의 날씨는 맑습니다.\n";
inline constexpr std::string_view kWestern =
    "Größere Übungen für Äpfel; café crème à la française, señor.\nDas Wetter ist schön.\n";
inline constexpr std::string_view kAscii = "The quick brown fox jumps over the lazy dog.\nPack my box with five dozen jugs.\n";

// `utf8` in `charset` (an iconv name); empty when iconv cannot convert it.
inline std::string Encode(std::string_view utf8, const char* charset) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string out(utf8.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* to = out.data();
  size_t out_left = out.size();
  size_t done = iconv(cd, &in, &in_left, &to, &out_left);
  if (done != static_cast<size_t>(-1)) done = iconv(cd, nullptr, nullptr, &to, &out_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - out_left);
  return out;
}

// EUC-JP-FIX: EUC-JP widened to two bytes per character (ASCII and kana
// behind a 00 byte; the three-byte codes are not used by the samples).
inline std::string WidenEucJp(std::string_view euc) {
  std::string out;
  for (size_t i = 0; i < euc.size(); ++i) {
    auto b = static_cast<unsigned char>(euc[i]);
    if (b < 0x80) {
      out += '\0';
      out += static_cast<char>(b);
    } else if (b == 0x8E && i + 1 < euc.size()) {
      out += '\0';
      out += euc[++i];
    } else if (i + 1 < euc.size()) {
      out += euc[i];
      out += euc[++i];
    }
  }
  return out;
}

inline std::string Repeat(std::string_view text, size_t at_least) {
  std::string out;
  while (out.size() < at_least) out += text;
  return out;
}

}  // namespace encoding_samples
