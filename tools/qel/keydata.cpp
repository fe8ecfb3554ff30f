// qel keydata: small named texts in compound files (CPublicFun::GetKeyData/WriteKeyData).
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::keydata_command {
namespace {

Run SetupKeyData(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "keydata",
      "Read, store or remove a key data text: the value kept in stream STREAM of storage\n"
      "STORAGE of a compound file (bytes plus one NUL).\n"
      "Example: qel cfb new k.cfb && qel keydata set k.cfb Setup User 张三 && qel keydata get "
      "k.cfb Setup User");
  cmd->require_subcommand(1, 1);
  cmd->footer(
      "FILE must exist (qel cfb new FILE makes one); a missing STORAGE is created by set.\n"
      "get exits with 1 when there is no value; every access holds the file exclusively.");
  struct Args {
    std::string file, storage, stream, value;
  };
  auto args = std::make_shared<Args>();
  auto names = [&](CLI::App* sub) {
    sub->add_option("FILE", args->file, "Compound file")->required();
    sub->add_option("STORAGE", args->storage, "Storage name under the root")->required();
    sub->add_option("STREAM", args->stream, "Stream name inside the storage")->required();
  };
  auto* get = cmd->add_subcommand("get", "Print the stored text");
  names(get);
  auto* set = cmd->add_subcommand("set", "Store VALUE, replacing what was there");
  names(set);
  set->add_option("VALUE", args->value, "The text to store (not empty)")->required();
  auto* rm = cmd->add_subcommand("rm", "Remove the stream");
  names(rm);
  return [args, get, set, &ctx] {
    std::string storage = ToLibrary(ctx, args->storage, "STORAGE");
    std::string stream = ToLibrary(ctx, args->stream, "STREAM");
    std::string path = ToLibrary(ctx, args->file, "FILE");
    std::error_code ec;
    if (!std::filesystem::exists(args->file, ec)) {
      throw Failure{kIo, args->file + " does not exist (create it with qel cfb new)"};
    }
    if (get->parsed()) {
      CString value = CPublicFun::GetKeyData(path.c_str(), storage.c_str(), stream.c_str());
      if (value.empty()) {
        throw Failure{kFailed, "no value " + args->storage + "/" + args->stream + " in " +
                                   args->file + " (missing, empty, or the file is in use)"};
      }
      if (ctx.json) {
        PrintJson(ctx, {{"value", JsonText(ctx, value)}});
      } else {
        std::cout << ToUser(ctx, value) << '\n';
      }
      return;
    }
    std::string value;
    if (set->parsed()) {
      value = ToLibrary(ctx, args->value, "VALUE");
      if (value.empty()) throw Failure{kUsage, "VALUE is empty (use qel keydata rm to remove)"};
    }
    if (CPublicFun::WriteKeyData(path.c_str(), storage.c_str(), stream.c_str(), value.c_str()) !=
        1) {
      throw Failure{kIo, "cannot write " + args->storage + "/" + args->stream + " in " +
                             args->file + " (not a compound file, in use, or a bad name)"};
    }
    if (ctx.json) PrintJson(ctx, {{"written", !value.empty()}, {"removed", value.empty()}});
  };
}

RegisterCommand reg("keydata", SetupKeyData);

}  // namespace
}  // namespace qel::cli::keydata_command
