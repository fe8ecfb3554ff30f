#include "qelshare/CQel2000.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fs/file.h"
#include "support/temp_tree.h"

namespace cqel2000_test {

using qel::testing::TempTree;

struct Field {
  std::string code, name, description;
  unsigned char type;
};

void Put32(std::string& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

std::string Block(std::string const& data, std::uint32_t length) {
  std::string head(16, '\0');
  Put32(head, 0, length);
  return head + data;
}

// A field table: header, field block, and (when strings is not null) a string block.
std::string Table(std::vector<Field> const& fields, std::vector<std::string> const* strings,
                  std::size_t extra = 0) {
  std::string records;
  for (auto const& f : fields) {
    std::string r(112, '\0');
    std::memcpy(&r[0], f.code.data(), f.code.size());
    std::memcpy(&r[16], f.name.data(), f.name.size());
    std::memcpy(&r[32], f.description.data(), f.description.size());
    r[96] = static_cast<char>(f.type);
    records += r;
  }
  records += std::string(extra, '\0');
  std::string file(512, '\0');
  Put32(file, 52, 512);
  file += Block(records, static_cast<std::uint32_t>(records.size()));
  if (strings != nullptr) {
    std::string data;
    for (auto const& s : *strings) data += s + '\0';
    Put32(file, 116, static_cast<std::uint32_t>(file.size()));
    file += Block(data, static_cast<std::uint32_t>(data.size()));
  }
  return file;
}

struct Lists {
  CStringArr l1, l2, l4, l5;
  CByteArray types;
  int Get(CQel2000& q) { return q.GetField(&l1, &l2, &types, &l4, &l5); }
};

std::string Entry(CStringArr& list, int i) {
  char const* s = list.Get(i);
  return s == nullptr ? "<absent>" : s;
}

std::string Descriptor(std::size_t size) {
  std::string d = std::string("QEL LIB MARKER") + '\0' + '\0' + "builder data";
  d.resize(size, '\0');
  return d;
}

TEST(CQel2000Test, OpenChecksTheDescriptorAndSetsTheBasePath) {
  TempTree dir;
  dir.File("lib.qel", Descriptor(328));
  CQel2000 q;
  EXPECT_EQ(q.Open(dir.Path("lib.QEL").c_str()), 1);
  EXPECT_EQ(q.m_strPath, dir.Path("lib"));
  ASSERT_NE(q.m_pDesc, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(q.m_pDesc) + 16, 12), "builder data");
  EXPECT_EQ(q.Open(dir.Path("lib").c_str()), 1);
  EXPECT_EQ(q.m_strPath, dir.Path("lib"));

  struct Case {
    std::string bytes;
    int result;
  } const cases[] = {
      {Descriptor(15), 1},     // short files read as zero-padded
      {"QEL LIB MARKER", 1},   // the NUL comes from the padding
      {Descriptor(329), 0},    // longer than a descriptor
      {"QEL LIB MARKERX", 0},  // byte 15 forced to NUL, 14 is not
      {"qel lib marker", 0},   // the marker keeps its case
      {"QEL LIB MARKE", 0},   {"", 0},
  };
  for (auto const& c : cases) {
    dir.File("d.qel", c.bytes);
    CQel2000 d;
    EXPECT_EQ(d.Open(dir.Path("d").c_str()), c.result) << c.bytes.size();
    EXPECT_EQ(d.m_pDesc != nullptr, c.result == 1);
  }
  CQel2000 missing;
  EXPECT_EQ(missing.Open(dir.Path("none.qel").c_str()), 0);
  EXPECT_EQ(missing.m_strPath, dir.Path("none"));  // set even when the check fails
}

TEST(CQel2000Test, GetFieldFillsFiveParallelLists) {
  TempTree dir;
  std::vector<Field> fields = {
      {"TI", "title", "Title of the poem", 'S'},
      {"", "", "", 0},  // empty slots become absent entries
      {"TI\nTX", "\xC8\xAB\xB2\xBF", "", 's'},
  };
  std::vector<std::string> strings = {"", "x", "TI\nTX"};
  dir.File("lib.sor", Table(fields, &strings));
  CQel2000 q;
  q.Open(dir.Path("lib").c_str());  // no descriptor: GetField still reads the table
  Lists lists;
  lists.l5.Add("old", -1);
  ASSERT_EQ(lists.Get(q), 1);
  ASSERT_EQ(lists.l1.GetSize(), 3);
  EXPECT_EQ(Entry(lists.l1, 0), "title");
  EXPECT_EQ(Entry(lists.l2, 0), "TI");
  EXPECT_EQ(Entry(lists.l4, 0), "Title of the poem");
  EXPECT_EQ(lists.types, (CByteArray{'S', 0, 's'}));
  EXPECT_EQ(Entry(lists.l1, 1), "<absent>");
  EXPECT_EQ(Entry(lists.l2, 1), "<absent>");
  EXPECT_EQ(Entry(lists.l1, 2), "\xC8\xAB\xB2\xBF");
  EXPECT_EQ(Entry(lists.l2, 2), "TI\nTX");
  ASSERT_EQ(lists.l5.GetSize(), 3);  // cleared, then exactly the N strings
  EXPECT_EQ(Entry(lists.l5, 0), "<absent>");
  EXPECT_EQ(Entry(lists.l5, 1), "x");
  EXPECT_EQ(Entry(lists.l5, 2), "TI\nTX");

  dir.File("lib.sor", Table(fields, nullptr));
  Lists plain;
  ASSERT_EQ(plain.Get(q), 1);
  ASSERT_EQ(plain.l5.GetSize(), 3);
  EXPECT_EQ(plain.l5.Get(0), nullptr);
}

TEST(CQel2000Test, FieldCountIsTheDataLengthOver112) {
  TempTree dir;
  CQel2000 q;
  q.Open(dir.Path("lib").c_str());
  std::vector<Field> two = {{"A", "a", "", 'S'}, {"B", "b", "", 'F'}};
  dir.File("lib.sor", Table(two, nullptr, 26));  // 250 bytes of data
  Lists lists;
  EXPECT_EQ(lists.Get(q), 1);
  EXPECT_EQ(lists.l1.GetSize(), 2);

  dir.File("lib.sor", Table({}, nullptr, 111));
  Lists none;
  EXPECT_EQ(none.Get(q), 1);
  EXPECT_EQ(none.l1.GetSize(), 0);
}

TEST(CQel2000Test, DamagedTablesNeverReadPastABlock) {
  TempTree dir;
  CQel2000 q;
  q.Open(dir.Path("lib").c_str());
  std::vector<Field> fields = {{"A", "a", "", 'S'}, {"B", "b", "", 'S'}, {"C", "c", "", 'S'}};
  std::vector<std::string> one = {"only"};
  std::string good = Table(fields, &one);

  Lists short_strings;
  dir.File("lib.sor", good);
  ASSERT_EQ(short_strings.Get(q), 1);
  ASSERT_EQ(short_strings.l5.GetSize(), 3);  // missing strings are absent entries
  EXPECT_EQ(Entry(short_strings.l5, 0), "only");
  EXPECT_EQ(short_strings.l5.Get(2), nullptr);

  std::string unterminated = good;
  unterminated.pop_back();  // the last string loses its NUL: the block is now too short
  Put32(unterminated, unterminated.size() - 4 - 16, 4);
  dir.File("lib.sor", unterminated);
  Lists cut;
  EXPECT_EQ(cut.Get(q), 1);
  EXPECT_EQ(Entry(cut.l5, 0), "only");

  struct Case {
    char const* what;
    std::size_t at;
    std::uint32_t value;
    int result;
    int appended;
  } const cases[] = {
      {"field block offset 0", 52, 0, 0, 0},
      {"field block past the end", 52, 0xFFFFFFF0u, 0, 0},
      {"field length past the end", 512, 0xFFFFFFFFu, 0, 3},
      {"string block past the end", 116, 0x7FFFFFFFu, 1, 3},
      {"string length past the end", 512 + 16 + 3 * 112, 0xFFFFFFFFu, 1, 3},
  };
  for (auto const& c : cases) {
    std::string damaged = good;
    Put32(damaged, c.at, c.value);
    dir.File("lib.sor", damaged);
    Lists lists;
    EXPECT_EQ(lists.Get(q), c.result) << c.what;
    EXPECT_EQ(lists.l1.GetSize(), c.appended) << c.what;
    EXPECT_EQ(lists.types.size(), static_cast<std::size_t>(c.appended)) << c.what;
  }

  dir.File("lib.sor", std::string(511, '\0'));
  Lists tiny;
  EXPECT_EQ(tiny.Get(q), 0);
  EXPECT_EQ(tiny.l1.GetSize(), 0);
  CQel2000 nowhere;
  nowhere.Open(dir.Path("missing").c_str());
  EXPECT_EQ(tiny.Get(nowhere), 0);
}

TEST(CQel2000Test, ReadErrorsAreRetriedThreeTimes) {
  TempTree dir;
  std::vector<Field> fields = {{"A", "a", "", 'S'}};
  dir.File("lib.sor", Table(fields, nullptr));
  CQel2000 q;
  q.Open(dir.Path("lib").c_str());

  qel::fs::SetReadFaults(2);  // the third attempt at the header succeeds
  Lists retried;
  EXPECT_EQ(retried.Get(q), 1);
  EXPECT_EQ(retried.l1.GetSize(), 1);

  qel::fs::SetReadFaults(3);  // every attempt at the header fails
  Lists failed;
  EXPECT_EQ(failed.Get(q), 0);
  EXPECT_EQ(failed.l1.GetSize(), 0);
  qel::fs::SetReadFaults(0);
}

TEST(CQel2000Test, CopiesOwnTheirDescriptor) {
  TempTree dir;
  dir.File("lib.qel", Descriptor(100));
  CQel2000 q;
  ASSERT_EQ(q.Open(dir.Path("lib").c_str()), 1);
  CQel2000 copy(q);
  ASSERT_NE(copy.m_pDesc, q.m_pDesc);
  EXPECT_EQ(std::memcmp(copy.m_pDesc, q.m_pDesc, CQel2000::kDescSize), 0);
  CQel2000 assigned;
  assigned = copy;
  EXPECT_EQ(assigned.m_strPath, q.m_strPath);
}

}  // namespace cqel2000_test
