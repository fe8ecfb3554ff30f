// qel icons: the library's icon resources, listed and written out as PNG files.
#include <filesystem>
#include <iostream>

#include "cli.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/icon_file.h"
#include "platform/gdi/png.h"
#include "platform/resources/resources.h"

namespace qel::cli::icons_command {
namespace {

Run SetupIcons(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("icons", "List the library's icons and write them as PNG");
  cmd->footer(
      "Lists the 24 icon resources the buttons use (22000 to 22024 without 22004): the\n"
      "identifier, then each image's size and number of colours. With --out DIR each\n"
      "image is also written to DIR as a PNG named by identifier and size, such as\n"
      "22015-32.png, so that a person can look at them.\n\n"
      "Example:\n  qel icons --out /tmp/icons");
  auto out = std::make_shared<std::string>();
  cmd->add_option("--out", *out, "Folder to write the PNG files to (made when missing)");
  return [out, &ctx] {
    if (!out->empty()) {
      std::error_code ec;
      std::filesystem::create_directories(*out, ec);
      if (!std::filesystem::is_directory(*out)) {
        throw Failure{kIo, "cannot make the folder '" + *out + "'"};
      }
    }
    for (res::Embedded const& e : res::EmbeddedResources()) {
      if (e.type != "ICON") continue;
      std::vector<gdi::IconImageInfo> images;
      if (!gdi::ReadIconDirectory(e.bytes, images)) {
        throw Failure{kFailed, "icon " + std::to_string(e.id) + " is damaged"};
      }
      nlohmann::json list = nlohmann::json::array();
      std::string line = std::to_string(e.id);
      for (std::size_t i = 0; i < images.size(); ++i) {
        gdi::IconImageInfo const& im = images[i];
        list.push_back({{"width", im.width}, {"height", im.height}, {"colors", im.colors}});
        line += "  " + std::to_string(im.width) + "x" + std::to_string(im.height) + " " +
                (im.colors ? std::to_string(im.colors) + " colours" : "true colour");
        if (out->empty()) continue;
        std::string name = std::to_string(e.id) + "-" + std::to_string(im.width) + ".png";
        std::string path = (std::filesystem::path(*out) / name).string();
        HICON icon = gdi::DecodeIconImage(e.bytes, static_cast<int>(i));
        bool written = gdi::WriteIconPng(icon, path);
        DestroyIcon(icon);
        if (!written) throw Failure{kIo, "cannot write '" + path + "'"};
      }
      if (ctx.json) {
        PrintJson(ctx, {{"id", e.id}, {"images", list}});
      } else {
        std::cout << line << '\n';
      }
    }
  };
}

RegisterCommand reg("icons", SetupIcons);

}  // namespace
}  // namespace qel::cli::icons_command
