// Registry look-up and HTTP probes of CPublicFun.
#include <cstring>
#include <string>

#include "platform/fs/find.h"
#include "platform/registry/registry.h"
#include "platform/text/mbcs.h"
#include "publicfun/http_probe.h"
#include "qelshare/CPublicFun.h"

namespace {

constexpr char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr std::size_t kNameBuffer = 100;
constexpr std::size_t kDataBuffer = 512;
constexpr std::uint32_t kValuesExamined = 12;

}  // namespace

CString CPublicFun::GetExecFilePath(char const* exeName) {
  if (exeName == nullptr) return "";
  qel::registry::KeyReader key;
  if (key.Open(qel::registry::kLocalMachine, std::string(kAppPaths) + exeName) !=
      qel::registry::Status::kOk) {
    return "";
  }
  for (std::uint32_t index = 0; index < kValuesExamined; ++index) {
    qel::registry::Value value;
    if (key.EnumValue(index, kNameBuffer, kDataBuffer, &value) != qel::registry::Status::kOk) {
      return "";
    }
    if (qel::text::MbsICmp(value.name.c_str(), "Path") != 0) continue;
    key.Close();
    // The stored folder ends with its separator; the name follows it directly, and the
    // whole path must fit the data buffer with its closing NUL.
    std::string path(value.data.c_str());
    if (path.size() + std::strlen(exeName) + 1 > kDataBuffer) return "";
    path += exeName;
    qel::fs::FileFind find;
    if (!find.Find(path)) return "";
    return path;
  }
  return "";
}

int CPublicFun::URLCommand(char const* url) {
  try {
    return qel::probe::UrlCommand(url).result;
  } catch (...) {
    return 0;
  }
}

int CPublicFun::CheckHttpFile(char const* url) {
  try {
    return qel::probe::CheckHttpFile(url).result;
  } catch (...) {
    return 0;
  }
}
