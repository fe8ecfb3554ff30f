// A retrieval library kept in PostgreSQL: the tables `qel pg load` writes and a collection
// opened on a postgresql:// address reads.
//
// In the database of the address (the coordinator), a library named T is:
//
//   T          the records, one row each:
//                n    int4, the record number from 0, in the order of the record file
//                f1.. text, the value of each field code of the field table (groups left
//                     out, each code once, in the order of the first record's fields, then
//                     the table's), UTF-8; NULL when the record has no such field; under a
//                     hash index when the field has no codes
//                c1.. int4[], for each field of type S or F (text searched by words), the
//                     sorted distinct codes of the value's characters and of each pair of
//                     adjacent characters, under a GIN index: a character's code is its
//                     GBK number (one byte b as b, two as lead * 256 + trail), a pair's
//                     first * 65536 + second, as a signed 32-bit number; the same keys as
//                     the library's own index
//                r    text, the record's lines (CODE=value, LF-separated) when its fields
//                     are not exactly some of f1.. in the table's order (a code the field
//                     table lacks, or another order): reading such a record uses them
//   T_meta     one row: version int4 (kSchemaVersion), title text, records int8,
//              shards int4 (0 for a plain table), generation text
//   T_fields   the field table, one row per field in order: i int4, name text, code text,
//              type text (one letter), description text; and per code its column: col
//              int4 (k of fk, 0 for a group)
//
// Sharded, T is partitioned by hash of n over foreign tables (postgres_fdw) named
// T_g<generation>_p<i>, one per shard server, each holding table T_g<generation> on its
// shard with the same columns and indexes. A load writes every shard's table in one
// transaction per shard, then replaces T, T_meta and T_fields in one transaction on the
// coordinator: searches see the old library or the new one, never a mixture.
#ifndef QELSHARE_SEARCH_PG_SCHEMA_H_
#define QELSHARE_SEARCH_PG_SCHEMA_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qel::search::pg_schema {

inline constexpr int kSchemaVersion = 1;
// Longest table name: the generation and part suffixes must fit PostgreSQL's 63 bytes.
inline constexpr std::size_t kMaxTableName = 32;

// True for a table name a library may have: a lower-case letter or "_", then lower-case
// letters, digits or "_" (so that it is never quoted nor folded).
bool ValidTableName(std::string_view name);

// Column names of field column k (0-based) and of its codes.
inline std::string ValueColumn(std::size_t k) {
  return std::string(1, 'f') += std::to_string(k + 1);
}
inline std::string CodesColumn(std::size_t k) {
  return std::string(1, 'c') += std::to_string(k + 1);
}

// Whether fields of a type letter get a codes column.
inline bool Coded(unsigned char type) {
  return type == 'S' || type == 'F';
}

// The codes of a GBK value: every character and every adjacent pair, sorted, each once.
void ValueCodes(std::string_view gbk, std::vector<std::int32_t>& codes);
// The codes that every value holding word holds: a word of one character its code, a
// longer one its pairs. False when the word ends in a lone lead byte (it gives no codes).
bool WordCodes(std::string_view gbk, std::vector<std::int32_t>& codes);
// An int4[] literal of codes: "{1,2,3}".
std::string ArrayText(std::vector<std::int32_t> const& codes);

}  // namespace qel::search::pg_schema

#endif  // QELSHARE_SEARCH_PG_SCHEMA_H_
