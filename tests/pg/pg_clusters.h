// The PostgreSQL servers of the PostgreSQL tests: a coordinator and three shards started by
// scripts/pg-clusters.sh for the whole test program (or those of $QEL_PG_DIR when it names
// a folder of running ones), on loopback ports, stopped when the program ends.
#ifndef QEL_TESTS_PG_PG_CLUSTERS_H_
#define QEL_TESTS_PG_PG_CLUSTERS_H_

#include <string>
#include <string_view>
#include <vector>

namespace qel::testing {

// The connection string of a server: "coord", "s1", "s2" or "s3".
std::string Dsn(std::string_view name);
// The three shards' connection strings.
std::vector<std::string> ShardDsns();
// Stops one server (fast shutdown), or starts it again on its port.
void Halt(std::string_view name);
void Resume(std::string_view name);

}  // namespace qel::testing

#endif  // QEL_TESTS_PG_PG_CLUSTERS_H_
