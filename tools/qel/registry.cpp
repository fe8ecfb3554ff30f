// qel apppath and qel registry: the registry of installed programs that GetExecFilePath
// reads, and the commands to fill and inspect it.
#include <iostream>
#include <memory>
#include <string>

#include "cli.h"
#include "platform/registry/registry.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::registry_command {
namespace {

Run SetupApppath(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "apppath",
      "Print the full path of an installed program (GetExecFilePath): the \"Path\" value of\n"
      "its key under HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App\n"
      "Paths, followed by EXE; the file must exist.\n"
      "Example: qel apppath qelsearch.exe");
  auto exe = std::make_shared<std::string>();
  cmd->add_option("EXE", *exe, "Program file name, as its key is named")->required();
  cmd->footer(
      "The registry is the file $QEL_REGISTRY, else ~/.config/qelshare/registry.reg\n"
      "(see 'qel registry'). The stored folder must end with its separator.");
  return [exe, &ctx] {
    CString path = CPublicFun::GetExecFilePath(ToLibrary(ctx, *exe, "EXE").c_str());
    if (ctx.json) {
      PrintJson(ctx, {{"exe", *exe}, {"path", JsonText(ctx, path)}});
    } else if (!path.empty()) {
      std::cout << ToUser(ctx, path) << '\n';
    } else {
      std::cerr << "no registered path of " << *exe << " leads to an existing file\n";
    }
    ctx.exit_code = path.empty() ? kFailed : kOk;
  };
}

Run SetupRegistry(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "registry",
      "Fill and show the registry that the library reads (REGEDIT4 text).\n"
      "Examples: qel registry import programs.reg\n"
      "          qel registry set 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
      "Paths\\tool.exe' Path /opt/tool/\n"
      "          qel registry export > backup.reg");
  cmd->require_subcommand(1, 1);
  cmd->footer(
      "The registry is the file $QEL_REGISTRY, else\n"
      "$XDG_CONFIG_HOME/qelshare/registry.reg (~/.config/qelshare/registry.reg).\n"
      "Import reads REGEDIT4 files and the version 5 (UTF-16) exports of the desktop\n"
      "registry editor; [-KEY] lines delete keys and \"name\"=- lines values.");
  struct Args {
    std::string file;
    std::string key, name, value;
  };
  auto args = std::make_shared<Args>();
  auto* import = cmd->add_subcommand("import", "Apply a .reg file to the registry");
  import->add_option("FILE", args->file, "REGEDIT4 file, or - for standard input")->required();
  auto* exported = cmd->add_subcommand("export", "Print the whole registry as REGEDIT4 text");
  auto* set = cmd->add_subcommand("set", "Set a string value (the key is created)");
  set->add_option("KEY", args->key, "Key path starting with a root key (HKLM\\...)")->required();
  set->add_option("NAME", args->name, "Value name (\"\" for the default value)")->required();
  set->add_option("VALUE", args->value, "String data")->required();

  return [args, &ctx, import, exported, set] {
    std::string path = registry::DefaultPath();
    registry::Store store;
    std::string error;
    if (!registry::Load(path, store, error)) throw Failure{kIo, error};
    if (*exported) {
      std::string text = store.Export();
      if (ctx.json) {
        PrintJson(ctx, {{"file", path}, {"text", JsonText(ctx, text)}});
      } else {
        std::cout << (ctx.gbk ? text : ToUser(ctx, text));
      }
      return;
    }
    if (*import) {
      std::string text = ReadInput(args->file);
      if (!store.Import(text, error)) throw Failure{kIo, args->file + " " + error};
    } else if (*set) {
      std::string key = ToLibrary(ctx, args->key, "KEY");
      if (!store.SetValue(key, ToLibrary(ctx, args->name, "NAME"), registry::kTypeString,
                          registry::StringData(ToLibrary(ctx, args->value, "VALUE")))) {
        throw Failure{kUsage, "KEY " + args->key +
                                  " does not start with a root key such as HKEY_LOCAL_MACHINE"};
      }
    }
    if (!registry::Save(path, store, error)) throw Failure{kIo, error};
    if (ctx.json) PrintJson(ctx, {{"file", path}, {"keys", store.size()}});
  };
}

RegisterCommand reg_apppath("apppath", SetupApppath);
RegisterCommand reg_registry("registry", SetupRegistry);

}  // namespace
}  // namespace qel::cli::registry_command
