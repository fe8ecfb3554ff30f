// qel pack, unpack, cmbcopy: packages of files in compound files (CPublicFun::ZipFile,
// UnzipFile) and copying one stream out (CopyCmbFile).
#include <atomic>
#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <thread>

#include "cli.h"
#include "platform/coding/coding.h"
#include "qelshare/CPublicFun.h"
#include "qelshare/storage.h"
#include "storage_errors.h"

namespace qel::cli::pack_command {
namespace {

constexpr DWORD kWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

struct Entry {
  std::string name;
  std::uint32_t size = 0;
  std::uint32_t stored = 0;
};

// The heads of a package stream, as far as they are sound.
std::vector<Entry> ReadHeads(IStorage* root, std::string const& stream_name) {
  std::vector<Entry> entries;
  Held<IStream> stream;
  if (FAILED(root->OpenStream(stream_name.c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE, &stream.p))) {
    return entries;
  }
  for (;;) {
    unsigned char head[16];
    ULONG got = 0;
    if (FAILED(stream->Read(head, 16, &got)) || got != 16) break;
    Entry e;
    std::uint32_t name_size = qel::coding::Get16(head);
    e.size = qel::coding::Get32(head + 2);
    e.stored = qel::coding::Get32(head + 6);
    if (name_size == 0) break;
    e.name.resize(name_size);
    if (FAILED(stream->Read(e.name.data(), name_size, &got)) || got != name_size) break;
    std::uint64_t pos = 0;
    if (FAILED(stream->Seek(e.stored != 0 ? e.stored : e.size, STREAM_SEEK_CUR, &pos))) break;
    entries.push_back(std::move(e));
  }
  return entries;
}

// Runs work on a worker thread and draws progress from poll() until it ends.
template <typename Work, typename Poll>
int WithProgress(std::string const& label, std::uint64_t total, Work work, Poll poll) {
  Progress progress(label, total);
  std::atomic<bool> done{false};
  int result = 0;
  std::thread worker([&] {
    result = work();
    done = true;
  });
  while (!done) {
    progress.Update(std::min(poll(), total));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  worker.join();
  return result;
}

std::string Ratio(Entry const& e) {
  if (e.stored == 0 || e.size == 0) return "raw";
  std::ostringstream s;
  s << "compressed " << std::fixed << std::setprecision(1) << 100.0 * e.stored / e.size << "%";
  return s.str();
}

Run SetupPack(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "pack",
      "Pack FILES into the package stream STREAM of the compound file FILE (created when\n"
      "missing; a stream of that name is replaced) and report how each was stored.\n"
      "Example: qel pack poems.cfb poems *.txt");
  cmd->footer(
      "Each file is stored under its bare name, compressed with the library's block\n"
      "compressor, or raw for .jpg .gif .pdf .png .avi .mpg .mid .wav files and for files\n"
      "that do not shrink (or are under 30 bytes). Any unreadable file fails the whole\n"
      "package and leaves no stream behind.");
  struct Args {
    std::string file, stream;
    std::vector<std::string> files;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE", args->file, "Compound file")->required();
  cmd->add_option("STREAM", args->stream, "Package stream name")->required();
  cmd->add_option("FILES", args->files, "Files to pack")->required();
  return [args, &ctx] {
    std::string stream = ToLibrary(ctx, args->stream, "STREAM");
    std::uint64_t total = 0;
    CStringArr list;
    for (std::string const& f : args->files) {
      std::error_code ec;
      if (!std::filesystem::is_regular_file(f, ec)) throw Failure{kIo, "cannot read " + f};
      total += std::filesystem::file_size(f, ec);
      list.Add(ToLibrary(ctx, f, "FILES").c_str(), -1);
    }
    std::string path = ToLibrary(ctx, args->file, "FILE");
    Held<IStorage> root;
    HRESULT hr = StgOpenStorage(path.c_str(), kWrite, &root.p);
    if (hr == STG_E_FILENOTFOUND) hr = StgCreateDocfile(path.c_str(), kWrite, &root.p);
    if (FAILED(hr)) throw Failure{FileExit(hr), args->file + " " + Describe(hr)};
    std::uint64_t start = std::filesystem::file_size(args->file);
    // The package grows the file as it is written; compressed text takes about half.
    int ok = WithProgress(
        "packing " + std::to_string(list.GetSize()) + " files", total / 2 + 1,
        [&] { return CPublicFun::ZipFile(&list, root.p, stream.c_str()); },
        [&] {
          std::error_code ec;
          std::uint64_t now = std::filesystem::file_size(args->file, ec);
          return now > start ? now - start : 0;
        });
    if (ok != 1) throw Failure{kIo, "cannot pack the files into " + args->file};
    hr = root->Commit(0);
    if (FAILED(hr)) throw Failure{kIo, args->file + " " + Describe(hr)};
    std::vector<Entry> entries = ReadHeads(root.p, stream);
    nlohmann::json out = nlohmann::json::array();
    std::uint64_t in = 0, stored = 0;
    for (Entry const& e : entries) {
      in += e.size;
      stored += e.stored != 0 ? e.stored : e.size;
      if (ctx.json) {
        out.push_back({{"name", JsonText(ctx, e.name)},
                       {"size", e.size},
                       {"stored", e.stored != 0 ? e.stored : e.size},
                       {"compressed", e.stored != 0}});
      } else {
        std::cout << ToUser(ctx, e.name) << "  " << e.size << " bytes, " << Ratio(e) << '\n';
      }
    }
    if (ctx.json) {
      PrintJson(ctx, out);
    } else {
      std::cout << entries.size() << " files, " << in << " bytes stored in " << stored
                << " bytes\n";
    }
  };
}

Run SetupUnpack(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "unpack",
      "Write every file of the package stream STREAM of the compound file FILE into\n"
      "FOLDER under its stored name.\n"
      "Example: mkdir out && qel unpack poems.cfb poems out");
  cmd->footer(
      "Names that would leave FOLDER (empty, '.', '..', or holding / or \\) and files that\n"
      "cannot be written are skipped. A damaged package stops at the damage (exit 1);\n"
      "the files before it stay written.");
  struct Args {
    std::string file, stream, folder;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE", args->file, "Compound file")->required();
  cmd->add_option("STREAM", args->stream, "Package stream name")->required();
  cmd->add_option("FOLDER", args->folder, "Existing folder to write into")->required();
  return [args, &ctx] {
    std::string stream = ToLibrary(ctx, args->stream, "STREAM");
    std::error_code ec;
    if (!std::filesystem::is_directory(args->folder, ec)) {
      throw Failure{kIo, "folder " + args->folder + " does not exist"};
    }
    Held<IStorage> root;
    std::string path = ToLibrary(ctx, args->file, "FILE");
    std::string folder = ToLibrary(ctx, args->folder, "FOLDER");
    HRESULT hr = StgOpenStorage(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, &root.p);
    if (FAILED(hr)) throw Failure{FileExit(hr), args->file + " " + Describe(hr)};
    std::vector<Entry> entries = ReadHeads(root.p, stream);
    std::size_t seen = 0;
    int ok = WithProgress(
        "unpacking " + std::to_string(entries.size()) + " files", entries.size(),
        [&] { return CPublicFun::UnzipFile(folder.c_str(), root.p, stream.c_str()); },
        [&] {
          std::error_code e;
          while (seen < entries.size() &&
                 std::filesystem::exists(args->folder + "/" + entries[seen].name, e)) {
            ++seen;
          }
          return seen;
        });
    if (ok != 1) {
      throw Failure{kFailed,
                    "package '" + args->stream + "' in " + args->file + " is missing or damaged"};
    }
    nlohmann::json out = nlohmann::json::array();
    for (Entry const& e : entries) {
      if (ctx.json) {
        out.push_back({{"name", JsonText(ctx, e.name)}, {"size", e.size}});
      } else {
        std::cout << ToUser(ctx, e.name) << "  " << e.size << " bytes\n";
      }
    }
    if (ctx.json) PrintJson(ctx, out);
  };
}

Run SetupCmbCopy(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "cmbcopy",
      "Copy the top-level stream STREAM of the compound file FILE to the plain file OUT\n"
      "(created or replaced).\n"
      "Example: qel cmbcopy poems.cfb readme readme.txt");
  struct Args {
    std::string file, stream, out;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("FILE", args->file, "Compound file")->required();
  cmd->add_option("STREAM", args->stream, "Top-level stream name")->required();
  cmd->add_option("OUT", args->out, "File to write")->required();
  return [args, &ctx] {
    std::string stream = ToLibrary(ctx, args->stream, "STREAM");
    std::string out = ToLibrary(ctx, args->out, "OUT");
    std::string path = ToLibrary(ctx, args->file, "FILE");
    if (CPublicFun::CopyCmbFile(out.c_str(), path.c_str(), stream.c_str()) != 1) {
      throw Failure{
          kIo, "cannot copy stream '" + args->stream + "' of " + args->file + " to " + args->out};
    }
    if (ctx.json) PrintJson(ctx, {{"written", args->out}});
  };
}

RegisterCommand reg_pack("pack", SetupPack);
RegisterCommand reg_unpack("unpack", SetupUnpack);
RegisterCommand reg_cmbcopy("cmbcopy", SetupCmbCopy);

}  // namespace
}  // namespace qel::cli::pack_command
