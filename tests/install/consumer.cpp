// A program outside the project that links the installed library: a class of the original
// interface, and the search API over a library it writes and indexes itself.
#include <qelshare/qelshare.h>
#include <qelshare/search.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  CStringArr parts;
  int n = CPublicFun::SplitString(",a,,b,", parts, ',');
  std::printf("consumer: %d pieces, library %s\n", n, QelShareVersion());
  if (n != 2) return 1;
  if (argc < 2) return 0;

  // A library of two records in a folder given by the caller, its index, one search.
  std::string base = std::string(argv[1]) + "/notes";
  qel::LibraryWriter writer(base);
  writer.Add({{"TI", "moon"}, {"TX", "the bright moon over the hills"}});
  writer.Add({{"TI", "spring"}, {"TX", "rain at night"}});
  std::vector<qel::Field> fields = {{"title", "TI", 'S', ""}, {"text", "TX", 'S', ""}};
  qel::Status s = writer.Finish("notes", fields);
  if (s.ok()) s = qel::BuildIndex(base);
  if (s.ok()) s = qel::CheckIndex(base);
  // Loading into PostgreSQL links too: an address given for a base is refused before any
  // connection.
  qel::PgShownAddress shown;
  if (!qel::IsPgAddress("postgresql://localhost/none?table=t") ||
      !qel::ShowPgAddress("postgresql://u:pw@localhost/none?table=t", shown) ||
      shown.address != "postgresql://u@localhost/none?table=t" ||
      qel::LoadPostgres("postgresql://localhost/none?table=t", {}).code() != qel::Status::kInvalid)
    return 1;
  qel::Collection notes;
  if (s.ok()) s = notes.Open(base);
  if (!s.ok()) {
    std::printf("consumer: %s\n", s.Utf8Message().c_str());
    return 1;
  }
  qel::Session session(notes);
  qel::Result result = session.SearchUtf8("moon/text");
  qel::Record record;
  if (!result.ok() || result.count() != 1 || !result.Read(result.Hits()[0], record).ok()) return 1;
  qel::FieldValue const* text = record.Find("text");
  if (text == nullptr || text->hits.size() != 1) return 1;
  std::printf(
      "consumer: %s record %u, '%s' at %zu, indexed %d\n", result.ok() ? "found" : "missed",
      record.number + 1,
      text->value.substr(text->hits[0].begin, text->hits[0].end - text->hits[0].begin).c_str(),
      text->hits[0].begin, notes.library(0).indexed ? 1 : 0);
  return 0;
}
