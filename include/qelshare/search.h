// The search API of libqelshare, in one include: open retrieval libraries as a Collection,
// search them through a Session, read the hits' records with their hit words, and write
// libraries and their indexes, and load libraries into PostgreSQL.
//
//   qel::Collection books;
//   qel::Status s = books.Open({"lib/books", "lib/notes"});
//   qel::Session session(books);
//   qel::Result result = session.SearchUtf8("明月 NEAR 故乡");
//   for (qel::Hit const& hit : result.Hits(0, 10)) {
//     qel::Record record;
//     if (result.Read(hit, record).ok()) Show(record.ToUtf8().Kwic("TX"));
//   }
#ifndef QELSHARE_SEARCH_H_
#define QELSHARE_SEARCH_H_

#include "qelshare/collection.h"
#include "qelshare/library_writer.h"
#include "qelshare/pg_load.h"
#include "qelshare/record.h"
#include "qelshare/session.h"
#include "qelshare/status.h"

#endif  // QELSHARE_SEARCH_H_
