#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "support/registry_file.h"
#include "support/temp_tree.h"
#include "support/write_faults.h"

namespace registry_test {

using namespace qel::registry;
using qel::testing::RegistryFile;
using qel::testing::TempTree;

TEST(RegistryStoreTest, ImportsRegedit4AndExportsItBack) {
  char const* text =
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel\\App]\r\n"
      "@=\"default\"\r\n"
      "\"Path\"=\"C:\\\\Program Files\\\\Qel\\\\\"\r\n"
      "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Blob\"=hex:01,02,ff,\\\r\n"
      "  10\r\n"
      "\"Exp\"=hex(2):25,41,25,00\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"gone\"=-\r\n"
      "\r\n"
      "[HKLM\\SOFTWARE\\Qel\\Other]\r\n"
      "[-HKEY_LOCAL_MACHINE\\software\\qel\\other]\r\n"
      "\"Ignored\"=\"in a deleted key\"\r\n";
  Store store;
  std::string error;
  ASSERT_TRUE(store.Import(text, error)) << error;
  Key const* key = store.Find("hklm\\software\\QEL\\app\\");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->path, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel\\App");
  ASSERT_EQ(key->values.size(), 6u);
  EXPECT_EQ(key->values[0].name, "");
  EXPECT_EQ(key->values[1].data, StringData("C:\\Program Files\\Qel\\"));
  EXPECT_EQ(key->values[2].data, StringData("say \"hi\""));
  EXPECT_EQ(key->values[3].type, kTypeDword);
  EXPECT_EQ(key->values[3].data, std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(key->values[4].data, "\x01\x02\xff\x10");
  EXPECT_EQ(key->values[5].type, kTypeExpandString);
  EXPECT_NE(store.Find("HKEY_LOCAL_MACHINE\\SOFTWARE"), nullptr);  // parents exist
  EXPECT_EQ(store.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Qel\\Other"), nullptr);

  Store again;
  ASSERT_TRUE(again.Import(store.Export(), error)) << error;
  EXPECT_EQ(again.Export(), store.Export());
  EXPECT_EQ(again.size(), store.size());

  // A string ending in a lone GBK lead byte could swallow its closing quote: it is
  // written as hex(1) instead, and no value name can end that way.
  ASSERT_TRUE(store.SetValue("HKCU\\Lead", "L", kTypeString, StringData("a\x82")));
  EXPECT_FALSE(store.SetValue("HKCU\\Lead", "\x82", kTypeString, StringData("a")));
  EXPECT_NE(store.Export().find("\"L\"=hex(1):61,82,00"), std::string::npos);

  // Long binary data wraps and reads back.
  ASSERT_TRUE(store.SetValue("HKCU\\Big", "B", kTypeBinary, std::string(300, '\x5a')));
  std::string exported = store.Export();
  EXPECT_NE(exported.find(",\\\r\n  5a"), std::string::npos);
  ASSERT_TRUE(again.Import(exported, error)) << error;
  EXPECT_EQ(again.Find("HKEY_CURRENT_USER\\Big")->values[0].data, std::string(300, '\x5a'));
}

TEST(RegistryStoreTest, RejectsMalformedLinesNamingThem) {
  struct Case {
    char const* text;
    char const* error;
  } cases[] = {
      {"[HKLM\\A]\n", "line 1: not a registry file"},
      {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value comes before any [key]"},
      {"REGEDIT4\n[NOROOT\\A]\n", "line 2: the key does not start with a root key"},
      {"REGEDIT4\n[HKLM\\A\n", "line 2: a key line must end with ]"},
      {"REGEDIT4\n[HKLM\\A]\n\"a\"=dword:123456789\n", "line 3: a dword needs"},
      {"REGEDIT4\n[HKLM\\A]\n\"a\"=hex:1,2\n", "line 3: hex bytes are pairs"},
      {"REGEDIT4\n[HKLM\\A]\n\"a=\"b\"\n", "line 3: = must follow"},
      {"REGEDIT4\n[HKLM\\A]\n\"a\"=\"b\n", "line 3: the string has no closing quote"},
      {"REGEDIT4\n[HKLM\\A]\nnonsense\n", "line 3: a line must be"},
      {"", "line 1: not a registry file"},
  };
  for (auto const& c : cases) {
    Store store;
    std::string error;
    EXPECT_FALSE(store.Import(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(RegistryStoreTest, ReadsVersion5Exports) {
  std::u16string text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\u4e2d]\r\n"
      u"\"Name\"=\"\u6587\"\r\n"
      u"\"Exp\"=hex(2):41,00,2d,4e,00,00\r\n";
  std::string bytes(reinterpret_cast<char const*>(text.data()), text.size() * 2);
  Store store;
  std::string error;
  ASSERT_TRUE(store.Import(bytes, error)) << error;
  Key const* key = store.Find("HKEY_LOCAL_MACHINE\\SOFTWARE\\\xd6\xd0");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->values[0].data, StringData("\xce\xc4"));
  EXPECT_EQ(key->values[1].data, std::string("A\xd6\xd0\0", 4));
}

TEST(RegistryStoreTest, SaveLeavesTheOldFileAfterAFailureAtAnyWrite) {
  TempTree t;
  std::string path = t.File("conf/reg.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Old]\r\n");
  std::string old = t.Read("conf/reg.reg");
  Store store;
  store.SetValue("HKLM\\New", "v", kTypeString, StringData("x"));
  std::string error;
  int failed = qel::testing::FailEveryCall(
      [&] { return Save(path, store, error); },
      [&](bool failed, std::string const& label) {
        std::string now = t.Read("conf/reg.reg");
        EXPECT_EQ(t.List(), (std::vector<std::string>{"conf/", "conf/reg.reg"})) << label;
        if (failed && !label.starts_with("sync")) {
          EXPECT_EQ(now, old) << label;
        }
        if (!failed) {
          EXPECT_EQ(now, store.Export()) << label;
        }
        t.File("conf/reg.reg", old);
      });
  EXPECT_GE(failed, 4);
}

TEST(RegistryKeyTest, EnumeratesWithBufferLimits) {
  TempTree t;
  RegistryFile file(t / "conf/reg.reg");
  Store store;
  store.SetValue("HKLM\\K", std::string(99, 'n'), kTypeString, StringData("x"));
  store.SetValue("HKLM\\K", std::string(98, 'n'), kTypeString, std::string(513, 'd'));
  store.SetValue("HKLM\\K", "ok", kTypeString, std::string(512, 'd'));
  std::string error;
  ASSERT_TRUE(Save(file.path(), store, error)) << error;

  KeyReader key;
  EXPECT_EQ(key.Open(kLocalMachine, "missing"), Status::kNotFound);
  ASSERT_EQ(key.Open(kLocalMachine, "k"), Status::kOk);
  Value v;
  EXPECT_EQ(key.EnumValue(0, 100, 512, &v), Status::kOk);  // 99 bytes and the NUL
  EXPECT_EQ(key.EnumValue(0, 99, 512, &v), Status::kMoreData);
  EXPECT_EQ(key.EnumValue(1, 100, 512, &v), Status::kMoreData);
  EXPECT_EQ(key.EnumValue(2, 100, 512, &v), Status::kOk);
  EXPECT_EQ(v.name, "ok");
  EXPECT_EQ(key.EnumValue(3, 100, 512, &v), Status::kNoMoreItems);
}

}  // namespace registry_test
