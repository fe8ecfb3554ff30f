// qel cfb: compound files by hand: create, list, read, write and remove elements.
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli.h"
#include "qelshare/storage.h"
#include "storage_errors.h"

namespace qel::cli::cfb_command {
namespace {

constexpr DWORD kRead = STGM_READ | STGM_SHARE_DENY_WRITE;
constexpr DWORD kChildRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

// Opens the compound file (the library path) and names the user's path on failure.
void OpenFile(std::string const& path, std::string const& file, DWORD mode, Held<IStorage>& root) {
  HRESULT hr = StgOpenStorage(path.c_str(), mode, &root.p);
  if (FAILED(hr)) throw Failure{FileExit(hr), file + " " + Describe(hr)};
}

// Opens the storages along names[0..count) below root; the last one is returned in
// *out (root itself for count 0). create makes missing storages.
void Descend(Context const& ctx, IStorage* root, std::vector<std::string> const& names,
             std::size_t count, DWORD mode, bool create,
             std::vector<std::unique_ptr<Held<IStorage>>>& chain, IStorage** out) {
  IStorage* at = root;
  for (std::size_t i = 0; i < count; ++i) {
    auto next = std::make_unique<Held<IStorage>>();
    HRESULT hr = at->OpenStorage(names[i].c_str(), mode, &next->p);
    if (hr == STG_E_FILENOTFOUND && create)
      hr = at->CreateStorage(names[i].c_str(), mode, &next->p);
    if (FAILED(hr)) {
      throw Failure{hr == STG_E_FILENOTFOUND ? kFailed : kIo,
                    "storage '" + ToUser(ctx, names[i]) + "' " + Describe(hr)};
    }
    at = next->p;
    chain.push_back(std::move(next));
  }
  *out = at;
}

void List(Context const& ctx, IStorage* storage, std::string const& prefix, int depth,
          nlohmann::json& out) {
  std::vector<tagSTATSTG> items;
  if (FAILED(storage->EnumElements(&items))) return;
  for (auto const& st : items) {
    std::string path = prefix.empty() ? st.name : prefix + "/" + st.name;
    bool is_storage = st.type == STGTY_STORAGE;
    if (ctx.json) {
      out.push_back({{"path", JsonText(ctx, path)},
                     {"type", is_storage ? "storage" : "stream"},
                     {"size", st.cbSize}});
    } else if (is_storage) {
      std::cout << std::string(2 * depth, ' ') << ToUser(ctx, st.name) << "/\n";
    } else {
      std::cout << std::string(2 * depth, ' ') << ToUser(ctx, st.name) << "  " << st.cbSize << "\n";
    }
    // The codec refuses directories that are not trees; the depth bound is a backstop.
    if (is_storage && depth < 64) {
      Held<IStorage> child;
      if (SUCCEEDED(storage->OpenStorage(st.name.c_str(), kChildRead, &child.p))) {
        List(ctx, child.p, path, depth + 1, out);
      }
    }
  }
}

Run SetupCfb(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "cfb",
      "Work with compound files (the structured-storage format other programs read as\n"
      "OLE / MS-CFB files): create one, list its tree, read, write or remove elements.\n"
      "Example: qel cfb new k.cfb && echo hi | qel cfb put k.cfb Setup/User - && qel cfb ls k.cfb");
  cmd->require_subcommand(1, 1);
  cmd->footer(
      "PATH names an element from the root: storages separated by '/', e.g. Setup/User.\n"
      "Names are 1 to 31 characters without / \\ : ! and compare without case.");
  struct Args {
    std::string file, path, src = "-";
  };
  auto args = std::make_shared<Args>();
  auto* make = cmd->add_subcommand("new", "Create an empty compound file (replaces FILE)");
  make->add_option("FILE", args->file, "Compound file to create")->required();
  auto* ls = cmd->add_subcommand("ls", "List the tree of storages and streams, with sizes");
  ls->add_option("FILE", args->file, "Compound file")->required();
  auto* cat = cmd->add_subcommand("cat", "Write a stream's bytes to standard output");
  cat->add_option("FILE", args->file, "Compound file")->required();
  cat->add_option("PATH", args->path, "Stream path, e.g. Setup/User")->required();
  auto* put = cmd->add_subcommand(
      "put",
      "Store the bytes of SRC as stream PATH (replacing it; missing storages and a\n"
      "missing FILE are created)");
  put->add_option("FILE", args->file, "Compound file")->required();
  put->add_option("PATH", args->path, "Stream path, e.g. Setup/User")->required();
  put->add_option("SRC", args->src, "File to store, or - for standard input")
      ->capture_default_str();
  auto* rm = cmd->add_subcommand("rm", "Remove a stream or a storage with all inside it");
  rm->add_option("FILE", args->file, "Compound file")->required();
  rm->add_option("PATH", args->path, "Element path")->required();

  return [args, cmd, make, ls, cat, put, rm, &ctx] {
    std::string const& file = args->file;
    std::string path = ToLibrary(ctx, file, "FILE");
    if (make->parsed()) {
      Held<IStorage> root;
      HRESULT hr = StgCreateDocfile(path.c_str(), kWrite | STGM_CREATE, &root.p);
      if (FAILED(hr)) throw Failure{FileExit(hr), file + " " + Describe(hr)};
      if (ctx.json) PrintJson(ctx, {{"file", file}, {"created", true}});
      return;
    }
    if (ls->parsed()) {
      Held<IStorage> root;
      OpenFile(path, file, kRead, root);
      nlohmann::json out = nlohmann::json::array();
      List(ctx, root.p, "", 0, out);
      if (ctx.json) PrintJson(ctx, out);
      return;
    }
    std::vector<std::string> names = SplitPath(ctx, args->path);
    if (names.empty()) throw Failure{kUsage, "PATH '" + args->path + "' names no element"};
    std::vector<std::unique_ptr<Held<IStorage>>> chain;
    IStorage* parent = nullptr;
    std::string const& leaf = names.back();
    std::string shown = "'" + args->path + "'";
    if (cat->parsed()) {
      Held<IStorage> root;
      OpenFile(path, file, kRead, root);
      Descend(ctx, root.p, names, names.size() - 1, kChildRead, false, chain, &parent);
      Held<IStream> stream;
      HRESULT hr = parent->OpenStream(leaf.c_str(), kChildRead, &stream.p);
      if (FAILED(hr)) {
        throw Failure{hr == STG_E_FILENOTFOUND ? kFailed : kIo,
                      "stream " + shown + " " + Describe(hr)};
      }
      std::vector<char> buf(1 << 16);
      for (;;) {
        ULONG got = 0;
        hr = stream->Read(buf.data(), static_cast<ULONG>(buf.size()), &got);
        if (FAILED(hr)) throw Failure{kIo, "stream " + shown + " " + Describe(hr)};
        if (got == 0) break;
        std::cout.write(buf.data(), got);
      }
      return;
    }
    if (put->parsed()) {
      std::string data = ReadInput(args->src);
      Held<IStorage> root;
      HRESULT hr = StgOpenStorage(path.c_str(), kWrite, &root.p);
      if (hr == STG_E_FILENOTFOUND) hr = StgCreateDocfile(path.c_str(), kWrite, &root.p);
      if (FAILED(hr)) throw Failure{FileExit(hr), file + " " + Describe(hr)};
      Descend(ctx, root.p, names, names.size() - 1, kWrite, true, chain, &parent);
      Held<IStream> stream;
      hr = parent->CreateStream(leaf.c_str(), kWrite | STGM_CREATE, &stream.p);
      if (FAILED(hr)) throw Failure{kIo, "stream " + shown + " " + Describe(hr)};
      ULONG put_bytes = 0;
      hr = stream->Write(data.data(), static_cast<ULONG>(data.size()), &put_bytes);
      if (FAILED(hr)) throw Failure{kIo, "stream " + shown + " " + Describe(hr)};
      stream.p->Release();
      stream.p = nullptr;
      chain.clear();
      hr = root->Commit(0);
      if (FAILED(hr)) throw Failure{kIo, file + " " + Describe(hr)};
      if (ctx.json)
        PrintJson(ctx, {{"path", JsonText(ctx, ToLibrary(ctx, args->path, "PATH"))},
                        {"size", data.size()}});
      return;
    }
    if (rm->parsed()) {
      Held<IStorage> root;
      OpenFile(path, file, kWrite, root);
      Descend(ctx, root.p, names, names.size() - 1, kWrite, false, chain, &parent);
      HRESULT hr = parent->DestroyElement(leaf.c_str());
      if (FAILED(hr)) {
        throw Failure{hr == STG_E_FILENOTFOUND ? kFailed : kIo, shown + " " + Describe(hr)};
      }
      chain.clear();
      hr = root->Commit(0);
      if (FAILED(hr)) throw Failure{kIo, file + " " + Describe(hr)};
      if (ctx.json)
        PrintJson(ctx, {{"removed", JsonText(ctx, ToLibrary(ctx, args->path, "PATH"))}});
      return;
    }
    (void)cmd;
  };
}

RegisterCommand reg("cfb", SetupCfb);

}  // namespace
}  // namespace qel::cli::cfb_command
