#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qelshare/CPublicFun.h"

namespace text_test {

using Strings = std::vector<std::string>;

// Entries of a list, absent ones as "(absent)".
Strings Entries(CStringArr& list) {
  Strings out;
  for (int i = 0; i < list.GetSize(); ++i) out.push_back(list.Get(i) ? list.Get(i) : "(absent)");
  return out;
}

constexpr char kNian[] = "\xC4\xEA";  // 年

TEST(CharClassTest, ValueCharsAsciiAndWords) {
  EXPECT_EQ(CPublicFun::IsValueChar(""), 1);
  EXPECT_EQ(CPublicFun::IsValueChar(nullptr), 0);
  EXPECT_EQ(CPublicFun::IsValueChar("ab c"), 0);
  EXPECT_EQ(CPublicFun::IsValueChar("a-b"), 0);
  EXPECT_EQ(CPublicFun::IsValueChar("\xBC\xC6\xCB\xE3\xBB\xFA"), 1);  // 计算机
  for (char c : std::string("-=+,?/.\":;\\()*\t")) {
    EXPECT_EQ(CPublicFun::IsValueChar(std::string(1, c).c_str()), 0) << c;
  }
  EXPECT_EQ(CPublicFun::IsValueChar("a_b!'&"), 1);

  EXPECT_EQ(CPublicFun::IsNumberAscii('7'), 1);
  EXPECT_EQ(CPublicFun::IsNumberAscii('a'), 0);
  EXPECT_EQ(CPublicFun::IsAscii(32), 0);
  EXPECT_EQ(CPublicFun::IsAscii(33), 1);
  EXPECT_EQ(CPublicFun::IsAscii(128), 1);
  EXPECT_EQ(CPublicFun::IsAscii(129), 0);

  EXPECT_EQ(CPublicFun::IsCharAscii('q', nullptr), 1);
  EXPECT_EQ(CPublicFun::IsCharAscii('5', ""), 0);
  EXPECT_EQ(CPublicFun::IsCharAscii('5', "#"), 1);
  EXPECT_EQ(CPublicFun::IsCharAscii('#', "#"), 0);
  EXPECT_EQ(CPublicFun::IsCharAscii(' ', "#"), 0);
  EXPECT_EQ(CPublicFun::IsCharAscii('\x7F', "#"), 0);

  EXPECT_EQ(CPublicFun::IsEnglishWord("Word", nullptr), 1);
  EXPECT_EQ(CPublicFun::IsEnglishWord("", nullptr), 1);
  EXPECT_EQ(CPublicFun::IsEnglishWord("two words", nullptr), 0);
  EXPECT_EQ(CPublicFun::IsEnglishWord(kNian, nullptr), 0);
  EXPECT_EQ(CPublicFun::IsEnglishWord(kNian, "#"), 1);
  EXPECT_EQ(CPublicFun::IsCharAscii(kNian[0], "#"), 0);
  EXPECT_EQ(CPublicFun::IsEnglishWord("a b", "#"), 1);
  EXPECT_EQ(CPublicFun::IsEnglishWord("a#b", "#"), 0);
  EXPECT_EQ(CPublicFun::IsEnglishWord(nullptr, "#"), 0);
}

TEST(FilterStringTest, SwitchesInTheirFixedOrder) {
  struct Case {
    char const* text;
    char const* switches;
    char const* expected;
  } const cases[] = {
      {"  a b\r\n ", "/T", "ab"},
      {"  a b\r\n ", "/S", "a b"},
      {"  a b\r\n ", "/m", "  ab"},  // leading blanks stay without the trim
      {"  a b\r\n ", "/s/M", "ab"},
      {"x<b>y", "/H", "xy"},
      {"x<b>y<i", "/h", "xy<i"},  // an unclosed tag stops the deletion
      {"a<1>b<2", "/H", "ab<2"},
      {"MiXed", "/U/L", "mixed"},
      {"MiXed", "/L/U", "mixed"},
      {"MiXed", "/u", "MIXED"},
      {"a\r\r\n\nb", "/R", "a\r\nb"},  // one forward pass
      {"a\rb\nc", "/r", "a\rb\nc"},    // lone CR and LF stay
      {"text", "", "text"},
      {"text", "/x", "text"},
      {"", "/T", ""},
      {" <p> A  b </p> ", "/t/h/u", "AB"},
      {"\xA3\xC1 \xA3\xE1", "/L", "\xA3\xE1 \xA3\xE1"},  // Ａ ａ: full-width letters too
      {"\x81 b", "/M", "\x81 b"},         // a two-byte character is stepped over whole
      {"\x81<b>c<d>", "/H", "\x81<b>c"},  // ...also by the tag deletion
  };
  for (auto const& c : cases) {
    EXPECT_EQ(CPublicFun::FilterString(c.text, c.switches), c.expected)
        << "text \"" << c.text << "\" switches " << c.switches;
  }
  EXPECT_EQ(CPublicFun::FilterString(nullptr, "/T"), "");
  EXPECT_EQ(CPublicFun::FilterString(" a ", nullptr), " a ");
}

TEST(Text2HtmlTest, LinesSpacesAndTags) {
  struct Case {
    char const* text;
    char const* expected;
  } const cases[] = {
      {"line\r\n word", "line<br> word"},
      {"one\r\n\r\ntwo", "one<p>two"},
      {"one\r\ntwo", "onetwo"},
      {"a 1", "a&nbsp1"},
      {"a  b", "a  b"},
      {"a  1", "a&nbsp&nbsp1"},
      {"end\r\n", "end"},
      {"end\r\n\x1A", "end"},
      {"end\r\n\r", "end<p>"},
      {"a\rbc", "a\rbc"},
      {"a\rb", "a"},  // a CR two bytes before the end stops
      {"\r\n\t lead", " lead"},
      {"<a href=x y>\r\n 1</a>", "<a href=x y><br>&nbsp1</a>"},
      {"open <tag 1 2", "open&nbsp<tag 1 2"},
      {"\xC4\xEA \xD4\xC2", "\xC4\xEA&nbsp\xD4\xC2"},
      {"x\x81", "x\x81"},
      {"", ""},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(CPublicFun::Text2Html(c.text), c.expected) << "text \"" << c.text << "\"";
  }
  EXPECT_EQ(CPublicFun::Text2Html(nullptr), "");
  std::string big(200000, 'a');
  big += "\r\n\r\nb";
  EXPECT_EQ(CPublicFun::Text2Html(big.c_str()), std::string(200000, 'a') + "<p>b");
}

TEST(WebStr2StrTest, PercentAndPlus) {
  EXPECT_EQ(CPublicFun::WebStr2Str("a%20b+c", -1), "a b c");
  EXPECT_EQ(CPublicFun::WebStr2Str("%C4%EA", -1), kNian);
  EXPECT_EQ(CPublicFun::WebStr2Str("%c4%eA", -1), kNian);
  EXPECT_EQ(CPublicFun::WebStr2Str("a%00b", -1), "ab");
  EXPECT_EQ(CPublicFun::WebStr2Str("100%", -1), "100%");
  EXPECT_EQ(CPublicFun::WebStr2Str("%4", -1), "%4");
  EXPECT_EQ(CPublicFun::WebStr2Str("%zz", -1), "%zz");
  EXPECT_EQ(CPublicFun::WebStr2Str("%41%42", 4), "A%");  // the length cuts the escape
  EXPECT_EQ(CPublicFun::WebStr2Str("ab", 100), "ab");    // and the text's end does too
  EXPECT_EQ(CPublicFun::WebStr2Str("ab", 0), "");
  EXPECT_EQ(CPublicFun::WebStr2Str("ab", -2), "");
  EXPECT_EQ(CPublicFun::WebStr2Str(nullptr, -1), "");
}

TEST(HtmlFormTest, ByteArrayFormAppends) {
  CStringArr names, values;
  CByteArray body = {'a', '=', '1', '&', 'b', '=', '2'};
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&body, &names, &values), 2);
  EXPECT_EQ(Entries(names), (Strings{"a", "b"}));
  EXPECT_EQ(Entries(values), (Strings{"1", "2"}));
  CByteArray more = {'x', 0, '&', 'y'};  // the body ends at the NUL
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&more, &names, &values), 3);
  EXPECT_EQ(Entries(names), (Strings{"a", "b", "(absent)"}));
  EXPECT_EQ(Entries(values), (Strings{"1", "2", "x"}));
  CByteArray empty;
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&empty, &names, &values), 4);
  EXPECT_EQ(Entries(values).back(), "(absent)");

  CStringArr n2, v2;
  std::string text = "q=%C4%EA+1&&k==v&=z";
  CByteArray coded(text.begin(), text.end());
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&coded, &n2, &v2), 4);
  EXPECT_EQ(Entries(n2), (Strings{"q", "(absent)", "k", "(absent)"}));
  EXPECT_EQ(Entries(v2), (Strings{std::string(kNian) + " 1", "(absent)", "=v", "z"}));
}

TEST(HtmlFormTest, VariantFormTakesOnlyAReferenceToAByteArray) {
  std::string text = "a=1&b=2";
  tagSAFEARRAY array{};
  array.cDims = 1;
  array.cbElements = 1;
  array.pvData = text.data();
  array.rgsabound[0].cElements = static_cast<std::uint32_t>(text.size());
  tagVARIANT inner{};
  inner.vt = VT_ARRAY | VT_UI1;
  inner.parray = &array;
  tagVARIANT outer{};
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &inner;

  CStringArr names, values;
  names.Add("stale", -1);
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&outer, &names, &values), 2);
  EXPECT_EQ(Entries(names), (Strings{"a", "b"}));
  EXPECT_EQ(Entries(values), (Strings{"1", "2"}));

  // Shapes that pass the bit tests but are not a reference to an array of bytes, and
  // shapes that fail them: all refused, lists cleared, nothing read.
  auto refused = [&](tagVARIANT* v) {
    CStringArr n, vals;
    n.Add("stale", -1);
    int count = CPublicFun::GetHtmlFormVal(v, &n, &vals);
    return count == 0 && n.GetSize() == 0 && vals.GetSize() == 0;
  };
  EXPECT_TRUE(refused(nullptr));
  tagVARIANT bad = outer;
  bad.vt = VT_VARIANT;  // shares a bit, but not by reference
  EXPECT_TRUE(refused(&bad));
  bad.vt = VT_EMPTY;
  EXPECT_TRUE(refused(&bad));
  bad = outer;
  bad.pvarVal = nullptr;
  EXPECT_TRUE(refused(&bad));
  tagVARIANT badInner = inner;
  badInner.vt = VT_UI1;  // a single byte, not an array
  bad.pvarVal = &badInner;
  EXPECT_TRUE(refused(&bad));
  badInner.vt = VT_ARRAY | VT_VARIANT;
  EXPECT_TRUE(refused(&bad));
  badInner = inner;
  tagSAFEARRAY wide = array;
  wide.cbElements = 2;
  badInner.parray = &wide;
  EXPECT_TRUE(refused(&bad));
  wide = array;
  wide.pvData = nullptr;
  EXPECT_TRUE(refused(&bad));
  EXPECT_EQ(CPublicFun::GetHtmlFormVal(&outer, nullptr, &values), 0);
}

TEST(GuidTest, TextFormRoundTrips) {
  _GUID g{0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  CString text = CPublicFun::GUID2STR(g);
  EXPECT_EQ(text, "0123ABCD-4567-89EF-0123-456789ABCDEF");
  _GUID back = CPublicFun::STR2GUID("0123abcd-4567-89ef-0123-456789abcdef");
  EXPECT_EQ(CPublicFun::GUID2STR(back), text);
  auto isZero = [](_GUID x) {
    return CPublicFun::GUID2STR(x) == "00000000-0000-0000-0000-000000000000";
  };
  EXPECT_TRUE(isZero(CPublicFun::STR2GUID("{0123ABCD-4567-89EF-0123-456789ABCDEF}")));
  EXPECT_TRUE(isZero(CPublicFun::STR2GUID(nullptr)));
  EXPECT_TRUE(isZero(CPublicFun::STR2GUID("")));
  // Hyphen positions are not examined; other non-hex characters read as 0.
  EXPECT_EQ(CPublicFun::GUID2STR(CPublicFun::STR2GUID("0123ABCDx4567y89EFz0123w4567G9ABCDEF")),
            "0123ABCD-4567-89EF-0123-456709ABCDEF");
}

}  // namespace text_test
