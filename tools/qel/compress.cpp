// qel compress, qel expand, qel code: the library's block format and its simple coding,
// on whole files.
#include <algorithm>
#include <iostream>

#include "cli.h"
#include "platform/fs/durable.h"
#include "publicfun/block_codec.h"
#include "qelshare/CPublicFun.h"

namespace qel::cli::compress_command {
namespace {

// The output replaces its file only once whole and synced: a failure leaves the old file.
void WriteOutput(std::string const& path, unsigned char const* data, std::size_t size) {
  std::string error;
  if (!fs::WriteFileDurably(path, {reinterpret_cast<char const*>(data), size}, error,
                            fs::PathKind::kSystem)) {
    throw Failure{kIo, error};
  }
}

void Report(Context const& ctx, std::string const& in, std::string const& out, std::size_t from,
            std::size_t to) {
  if (ctx.json) {
    PrintJson(ctx, {{"input", in}, {"output", out}, {"input_bytes", from}, {"output_bytes", to}});
  } else {
    std::cout << in << " (" << from << " bytes) -> " << out << " (" << to << " bytes)\n";
  }
}

Run SetupCompress(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "compress",
      "Compress the file IN into OUT in the library's block format (the blocks that\n"
      "packages store). The block holds no length: keep the size of IN to expand it.\n"
      "Example: qel compress poems.txt poems.blk");
  cmd->footer(
      "Inputs under 30 bytes and inputs that would not come out shorter are refused\n"
      "(exit 1): store those as they are.");
  struct Args {
    std::string in, out;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("IN", args->in, "File to compress")->required();
  cmd->add_option("OUT", args->out, "Block file to write")->required();
  return [args, &ctx] {
    std::string data = ReadInput(args->in);
    CByteArray block(data.size());
    unsigned long size = 0;
    if (!CPublicFun::Compress(reinterpret_cast<unsigned char*>(data.data()), data.size(),
                              block.data(), &size)) {
      throw Failure{kFailed, args->in + " does not compress (" + std::to_string(data.size()) +
                                 " bytes; under 30 bytes or no shorter as a block)"};
    }
    WriteOutput(args->out, block.data(), size);
    Report(ctx, args->in, args->out, data.size(), size);
  };
}

Run SetupExpand(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "expand",
      "Expand the block file IN (made by qel compress or stored in a package) into OUT;\n"
      "--size is the length of the original data.\n"
      "Example: qel expand poems.blk poems.txt --size 41234");
  struct Args {
    std::string in, out;
    std::size_t size = 0;
  };
  auto args = std::make_shared<Args>();
  cmd->add_option("IN", args->in, "Block file")->required();
  cmd->add_option("OUT", args->out, "File to write")->required();
  cmd->add_option("--size", args->size, "Length of the original data in bytes")->required();
  return [args, &ctx] {
    std::string block = ReadInput(args->in);
    if (block.size() < 3 || args->size < 3) {
      throw Failure{kFailed, args->in + " is not a block of " + std::to_string(args->size) +
                                 " bytes (a block and its data have at least 3 bytes)"};
    }
    // The block comes from a file: decode it with the bounded decoder, which checks it
    // produces exactly --size bytes and never strays outside either buffer.
    CByteArray out(args->size);
    auto const* src = reinterpret_cast<unsigned char const*>(block.data());
    if (!block::ExpandChecked({src, block.size()}, out)) {
      throw Failure{kFailed, args->in + " is damaged or not a block of " +
                                 std::to_string(args->size) + " bytes"};
    }
    WriteOutput(args->out, out.data(), out.size());
    Report(ctx, args->in, args->out, block.size(), out.size());
  };
}

Run SetupCode(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand(
      "code",
      "Code FILE in place with the library's simple coding (each pair of neighbouring\n"
      "bits swapped). Coding twice restores the file.\n"
      "Example: qel code settings.dat");
  auto file = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "File to code in place")->required();
  return [file, &ctx] {
    std::string data = ReadInput(*file);
    auto* bytes = reinterpret_cast<unsigned char*>(data.data());
    CPublicFun::SimpleCode(bytes, data.size());
    WriteOutput(*file, bytes, data.size());
    if (ctx.json) {
      PrintJson(ctx, {{"file", *file}, {"bytes", data.size()}});
    } else {
      std::cout << *file << ": " << data.size() << " bytes coded\n";
    }
  };
}

RegisterCommand compress("compress", SetupCompress);
RegisterCommand expand("expand", SetupExpand);
RegisterCommand code("code", SetupCode);

}  // namespace
}  // namespace qel::cli::compress_command
