// qel file commands: listings, tree walks, copies and tests of the file members of
// CPublicFun (ls, scan, rmtree, mkdir, cptree, cpacc, cp, mv, readonly, exists, shotname).
//
// Long walks (scan, ls -r, rmtree) go folder by folder under the top folder, calling the
// library once per subfolder, so that a progress bar can follow them; the results are
// those of one call on the whole tree, in the same order.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/fs/find.h"
#include "platform/fs/ops.h"
#include "platform/fs/path.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::files_command {
namespace {

// The folders directly under dir (full paths), in the order the library's walks meet them.
std::vector<std::string> SubFolders(std::string const& dir) {
  std::vector<std::string> folders;
  fs::FileFind walk;
  for (bool more = walk.Find(dir + "/*.*"); more; more = walk.Next()) {
    if (walk.IsDirectory() && !walk.IsDots()) folders.push_back(walk.path());
  }
  return folders;
}

void PrintList(Context const& ctx, CStringArr& list, bool with_files) {
  int n = list.GetSize();
  if (ctx.json) {
    nlohmann::json out = {{"count", n}};
    if (with_files) {
      out["files"] = nlohmann::json::array();
      for (int i = 0; i < n; ++i) out["files"].push_back(JsonText(ctx, list.Get(i)));
    }
    PrintJson(ctx, out);
    return;
  }
  if (!with_files) {
    std::cout << n << '\n';
    return;
  }
  for (int i = 0; i < n; ++i) std::cout << ToUser(ctx, list.Get(i)) << '\n';
}

// Prints a member's 1/0 result for people or scripts and sets the exit status.
void Result(Context& ctx, int result, std::string const& what_failed) {
  if (ctx.json) {
    PrintJson(ctx, {{"result", result}});
  } else if (result == 0) {
    std::cerr << what_failed << '\n';
  }
  ctx.exit_code = result != 0 ? kOk : kFailed;
}

Run SetupLs(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "ls",
      "List the files a path or wildcard pattern names (GetFileName): * and ? as on the\n"
      "desktop (*.* matches every name, letters match in any case); folders are not listed.\n"
      "With -r the folders under the pattern's folder are searched too, files of a folder\n"
      "before its subfolders. A pattern that starts with a double quote is a list of quoted\n"
      "names, returned as they are without looking at the disk.\n"
      "Example: qel ls 'docs/*.txt' -r");
  struct Args {
    std::string file_spec;
    bool recurse = false;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("PATTERN", args->file_spec, "Path or wildcard pattern, or \"a\" \"b\" list")
      ->required();
  cmd->add_flag("-r,--recursive", args->recurse, "Search the subfolders too");
  cmd->footer(
      "Exit status 1 when nothing is found. A recursive search needs a folder part\n"
      "(docs/*.txt, not *.txt).");
  return [args, &ctx] {
    std::string file_spec = ToLibrary(ctx, args->file_spec, "PATTERN");
    CStringArr list;
    std::size_t slash = fs::LastSeparator(file_spec);
    if (!args->recurse || file_spec.empty() || file_spec[0] == '"' || slash == std::string::npos) {
      CPublicFun::GetFileName(file_spec.c_str(), args->recurse ? 1 : 0, &list);
    } else {
      CPublicFun::GetFileName(file_spec.c_str(), 0, &list);
      std::string pattern = file_spec.substr(slash + 1);
      std::vector<std::string> folders = SubFolders(file_spec.substr(0, slash));
      Progress progress("listing " + ToUser(ctx, file_spec), folders.size());
      for (std::size_t i = 0; i < folders.size(); ++i) {
        CPublicFun::ScanDir(folders[i].c_str(), pattern.c_str(), &list);
        progress.Update(i + 1);
      }
    }
    PrintList(ctx, list, true);
    ctx.exit_code = list.GetSize() > 0 ? kOk : kFailed;
  };
}

Run SetupScan(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "scan",
      "List (or with --count only count) every file under DIR, at any depth, whose name\n"
      "matches PATTERN (ScanDir). Files of a folder come before those of its subfolders.\n"
      "Example: qel scan corpus '*.txt' --count");
  struct Args {
    std::string dir;
    std::string pattern;
    bool count = false;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("DIR", args->dir, "Top folder")->required();
  cmd->add_option("PATTERN", args->pattern, "Name pattern such as *.txt")->required();
  cmd->add_flag("--count", args->count, "Print only the number of files");
  cmd->footer("Exit status 1 when no file matches.");
  return [args, &ctx] {
    std::string dir = ToLibrary(ctx, args->dir, "DIR");
    std::string pattern = ToLibrary(ctx, args->pattern, "PATTERN");
    CStringArr list;
    CStringArr* out = args->count ? nullptr : &list;
    int count = 0;
    if (dir.empty() || dir[0] == '"') {
      count = CPublicFun::ScanDir(dir.c_str(), pattern.c_str(), out);
    } else {
      // The top folder's own files, then each subfolder's tree.
      CStringArr top;
      CPublicFun::GetFileName((dir + "/" + pattern).c_str(), 0, &top);
      count = top.GetSize();
      if (out != nullptr) out->Append(top);
      std::vector<std::string> folders = SubFolders(dir);
      Progress progress("scanning " + ToUser(ctx, dir), folders.size());
      for (std::size_t i = 0; i < folders.size(); ++i) {
        count += CPublicFun::ScanDir(folders[i].c_str(), pattern.c_str(), out);
        progress.Update(i + 1);
      }
    }
    if (args->count) {
      if (ctx.json) {
        PrintJson(ctx, {{"count", count}});
      } else {
        std::cout << count << '\n';
      }
    } else {
      PrintList(ctx, list, true);
    }
    ctx.exit_code = count > 0 ? kOk : kFailed;
  };
}

Run SetupRmtree(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "rmtree",
      "Delete everything inside DIR, read-only files included, and DIR itself unless\n"
      "--keep is given (DeleteDir).\n"
      "Example: qel rmtree build/tmp --keep");
  struct Args {
    std::string dir;
    bool keep = false;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("DIR", args->dir, "Folder to delete")->required();
  cmd->add_flag("--keep", args->keep, "Empty DIR but keep it");
  cmd->footer(
      "Exit status 1 when something could not be deleted (with --keep), or DIR itself\n"
      "could not be removed; a missing DIR counts as empty with --keep.");
  return [args, &ctx] {
    std::string dir = ToLibrary(ctx, args->dir, "DIR");
    std::vector<std::string> folders = dir.empty() ? std::vector<std::string>() : SubFolders(dir);
    {
      Progress progress("deleting " + ToUser(ctx, dir), folders.size());
      for (std::size_t i = 0; i < folders.size(); ++i) {
        CPublicFun::DeleteDir(folders[i].c_str(), 1);
        progress.Update(i + 1);
      }
    }
    // The last call deletes the top folder's files (and retries any folder that failed),
    // so its result is that of one call on the whole tree.
    int result = CPublicFun::DeleteDir(dir.c_str(), args->keep ? 0 : 1);
    Result(ctx, result, "could not delete everything in " + args->dir);
  };
}

Run SetupMkdir(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "mkdir",
      "Create PATH and every missing folder on the way (CreateDir). A one-level path that\n"
      "exists already is checked for writing with a probe file \"~test.tmp\" (a file of that\n"
      "name that you keep is left alone). //server/share/... paths skip the share level.\n"
      "Example: qel mkdir out/2024/logs");
  auto path = std::make_shared<std::string>();
  cmd->add_option("PATH", *path, "Folder path")->required();
  cmd->footer(
      "In a path of several levels the first one (a drive, a server, or the first\n"
      "folder of a relative path) is taken as existing.");
  return [path, &ctx] {
    int result = CPublicFun::CreateDir(ToLibrary(ctx, *path, "PATH").c_str());
    Result(ctx, result, "could not create " + *path);
  };
}

Run SetupCptree(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "cptree",
      "Copy the whole tree under SRC into the existing folder DST (CopyDir), overwriting\n"
      "files; copies of read-only files are made writable.\n"
      "Example: qel cptree site backup/site");
  struct Args {
    std::string src, dst;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SRC", args->src, "Folder to copy from")->required();
  cmd->add_option("DST", args->dst, "Existing folder to copy into")->required();
  cmd->footer("DST is not created; failures of single files are not reported.");
  return [args, &ctx] {
    std::string src = ToLibrary(ctx, args->src, "SRC");
    std::string dst = ToLibrary(ctx, args->dst, "DST");
    if (CPublicFun::IsExistDir(src.c_str()) == 0) {
      throw Failure{kFailed, "SRC " + args->src + " is not a folder"};
    }
    if (CPublicFun::IsExistDir(dst.c_str()) == 0) {
      throw Failure{kFailed, "DST " + args->dst + " is not an existing folder"};
    }
    Result(ctx, CPublicFun::CopyDir(src.c_str(), dst.c_str()), "");
  };
}

Run SetupCpacc(CLI::App& app, Context& ctx) {
  auto* cmd =
      app.add_subcommand("cpacc",
                         "Copy the files (not the subfolders) of SRC into DST, creating DST first\n"
                         "(CopyAccFile).\n"
                         "Example: qel cpacc data/accessories /tmp/acc");
  struct Args {
    std::string src, dst;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SRC", args->src, "Folder to copy from")->required();
  cmd->add_option("DST", args->dst, "Folder to copy into (created)")->required();
  return [args, &ctx] {
    int result = CPublicFun::CopyAccFile(ToLibrary(ctx, args->src, "SRC").c_str(),
                                         ToLibrary(ctx, args->dst, "DST").c_str(), 0);
    Result(ctx, result, "could not create " + args->dst);
  };
}

Run SetupTransfer(CLI::App& app, Context& ctx, bool move) {
  auto* cmd = app.add_subcommand(
      move ? "mv" : "cp",
      move ? "Move a file (MoveFileA). SRC may also be a wildcard pattern (files only) or a\n"
             "folder, and DST an existing folder to move into; an existing file is replaced\n"
             "unless it is read-only.\n"
             "Example: qel mv 'inbox/*.txt' archive"
           : "Copy a file, overwriting (CopyFileA). SRC may also be a wildcard pattern (files\n"
             "only) or a folder, and DST an existing folder to copy into.\n"
             "Example: qel cp 'inbox/*.txt' archive");
  struct Args {
    std::string src, dst;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("SRC", args->src, "File, folder or wildcard pattern")->required();
  cmd->add_option("DST", args->dst, "New name or existing folder")->required();
  return [args, &ctx, move] {
    std::string src = ToLibrary(ctx, args->src, "SRC");
    std::string dst = ToLibrary(ctx, args->dst, "DST");
    int result = move ? CPublicFun::MoveFileA(src.c_str(), dst.c_str())
                      : CPublicFun::CopyFileA(src.c_str(), dst.c_str());
    Result(ctx, result,
           std::string("could not ") + (move ? "move " : "copy ") + args->src + " to " + args->dst);
  };
}

Run SetupCp(CLI::App& app, Context& ctx) {
  return SetupTransfer(app, ctx, false);
}
Run SetupMv(CLI::App& app, Context& ctx) {
  return SetupTransfer(app, ctx, true);
}

Run SetupReadonly(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "readonly",
      "Tell whether PATH cannot be written (IsReadOnly): it is missing, read-only, or a\n"
      "folder holding something read-only at any depth. Exit status 0 when read-only.\n"
      "Example: qel readonly site && echo 'cannot update site'");
  auto path = std::make_shared<std::string>();
  cmd->add_option("PATH", *path, "File or folder")->required();
  return [path, &ctx] {
    int result = CPublicFun::IsReadOnly(ToLibrary(ctx, *path, "PATH").c_str());
    if (ctx.json) {
      PrintJson(ctx, {{"path", *path}, {"readonly", result}});
    } else {
      std::cout << (result != 0 ? "read-only" : "writable") << '\n';
    }
    ctx.exit_code = result != 0 ? kOk : kFailed;
  };
}

Run SetupExists(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "exists",
      "Tell what PATH (or the first entry a wildcard pattern finds) is: file, folder or\n"
      "nothing (IsExistFile, IsExistDir). Exit status 0 when something exists.\n"
      "Example: qel exists 'logs/*.log'");
  auto path = std::make_shared<std::string>();
  cmd->add_option("PATH", *path, "Path or wildcard pattern")->required();
  return [path, &ctx] {
    std::string file_spec = ToLibrary(ctx, *path, "PATH");
    int file = CPublicFun::IsExistFile(file_spec.c_str());
    int folder = CPublicFun::IsExistDir(file_spec.c_str());
    if (ctx.json) {
      PrintJson(ctx, {{"path", *path}, {"file", file}, {"folder", folder}});
    } else {
      std::cout << (file != 0 ? "file" : folder != 0 ? "folder" : "nothing") << '\n';
    }
    ctx.exit_code = file != 0 || folder != 0 ? kOk : kFailed;
  };
}

Run SetupShotname(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "shotname",
      "Make a file name safe to save under from the last part of a path or address\n"
      "(CreateShotName): unsafe characters cut the name, a missing extension becomes xxx,\n"
      "and a non-zero N replaces the name with N in eight digits.\n"
      "Example: qel shotname 'http://host/a/b.gif?x=1'   prints b.xxx");
  struct Args {
    std::string path;
    int number = 0;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("PATH", args->path, "Path or address")->required();
  cmd->add_option("N", args->number, "Number to name the file by")->capture_default_str();
  return [args, &ctx] {
    CString name =
        CPublicFun::CreateShotName(ToLibrary(ctx, args->path, "PATH").c_str(), args->number);
    if (ctx.json) {
      PrintJson(ctx, {{"name", JsonText(ctx, name)}});
    } else {
      std::cout << ToUser(ctx, name) << '\n';
    }
  };
}

RegisterCommand reg_ls("ls", SetupLs);
RegisterCommand reg_scan("scan", SetupScan);
RegisterCommand reg_rmtree("rmtree", SetupRmtree);
RegisterCommand reg_mkdir("mkdir", SetupMkdir);
RegisterCommand reg_cptree("cptree", SetupCptree);
RegisterCommand reg_cpacc("cpacc", SetupCpacc);
RegisterCommand reg_cp("cp", SetupCp);
RegisterCommand reg_mv("mv", SetupMv);
RegisterCommand reg_readonly("readonly", SetupReadonly);
RegisterCommand reg_exists("exists", SetupExists);
RegisterCommand reg_shotname("shotname", SetupShotname);

}  // namespace
}  // namespace qel::cli::files_command
