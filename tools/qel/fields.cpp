#include "fields.h"

#include <nlohmann/json.hpp>

#include "host.h"
#include "platform/text/codepage.h"

namespace qel::cli {

std::vector<FieldDef> ParseFields(std::string_view json, std::string const& source) {
  nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
  if (list.is_discarded() || !list.is_array()) {
    throw Failure{kIo, source + " is not a JSON list of fields"};
  }
  std::vector<FieldDef> fields;
  for (std::size_t i = 0; i < list.size(); ++i) {
    nlohmann::json const& entry = list[i];
    std::string where = source + " entry " + std::to_string(i + 1);
    auto text = [&](char const* key) {
      if (!entry.is_object() || !entry.contains(key) || !entry[key].is_string()) {
        throw Failure{kIo, where + " has no \"" + key + "\" string"};
      }
      std::string gbk, error;
      if (!text::Utf8ToGbk(entry[key].get<std::string>(), gbk, error)) {
        throw Failure{kIo, where + ": \"" + key + "\" does not convert to GBK (" + error + ")"};
      }
      return gbk;
    };
    FieldDef field;
    field.name = text("name");
    field.code = text("code");
    std::string type = text("type");
    if (type.size() != 1) throw Failure{kIo, where + ": \"type\" must be one letter"};
    field.type = static_cast<unsigned char>(type[0]);
    fields.push_back(std::move(field));
  }
  return fields;
}

std::vector<FieldDef> LoadFields(std::string const& path) {
  if (path.empty()) return ParseFields(DemoFieldsJson(), "the demo registry");
  return ParseFields(ReadInput(path), path);
}

void RegisterFields(CAnalyseExpression& analyser, std::vector<FieldDef> const& fields) {
  for (FieldDef const& field : fields) {
    analyser.AddField(field.name.c_str(), field.code.c_str(), field.type);
  }
}

}  // namespace qel::cli
