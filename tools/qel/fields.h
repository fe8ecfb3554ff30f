// Field registries for CAnalyseExpression, read from JSON.
//
// A registry is a JSON list of {"name": ..., "code": ..., "type": "S"} objects, UTF-8 in
// the file; names and codes are converted to GBK when read. A group field's code lists
// its member codes separated by "\n". sample/fields.json is the registry of the demo
// data; qel carries a copy of it (DemoFieldsJson), so it works anywhere.
#ifndef QEL_TOOLS_FIELDS_H_
#define QEL_TOOLS_FIELDS_H_

#include <string>
#include <string_view>
#include <vector>

#include "qelshare/CAnalyseExpression.h"
#include "qelshare/collection.h"

namespace qel::cli {

// One registered field, in GBK.
using FieldDef = qel::Field;

// The bytes of sample/fields.json as built into qel.
std::string_view DemoFieldsJson();

// The fields of a registry text, in order. Throws Failure(kIo) naming `source` when the
// text is not such a list or a string does not convert to GBK.
std::vector<FieldDef> ParseFields(std::string_view json, std::string const& source);

// The fields of a registry file, or of the demo registry when path is empty.
std::vector<FieldDef> LoadFields(std::string const& path);

// Registers each field with AddField, in order.
void RegisterFields(CAnalyseExpression& analyser, std::vector<FieldDef> const& fields);

}  // namespace qel::cli

#endif  // QEL_TOOLS_FIELDS_H_
