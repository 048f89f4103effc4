// vorn-share: the headless front end. Parses the command line and calls the core.

#include "ScanReport.h"
#include "Serve.h"
#include "demo/DemoLibrary.h"
#include "library/Catalog.h"
#include "library/FolderWalk.h"
#include "library/YourHub.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>

namespace {

using namespace vorn;

constexpr int kBadInput = 2;

struct CatalogOptions {
    std::string folder;
    std::int64_t page = 1;
    std::string base = "http://127.0.0.1:8271/";
    bool readOnly = false;
    std::optional<std::string> search;
    std::optional<std::string> cat;
    bool prefixSubfolder = false;
};

// A folder argument must name an existing folder; the message is the one line users see.
CLI::Validator libraryFolder() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            std::error_code ec;
            if (!std::filesystem::exists(value, ec)) {
                return "no such folder: " + value;
            }
            if (!std::filesystem::is_directory(value, ec)) {
                return "not a folder: " + value;
            }
            return {};
        },
        "FOLDER");
}

CLI::Validator pageNumber() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            std::int64_t n = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (ec != std::errc() || end != value.data() + value.size() || n < 1) {
                return "the page must be a whole number from 1 on, not " + value;
            }
            return {};
        },
        "N");
}

int runScan(const std::string& folder) {
    const std::vector<WalkedFile> files = FolderWalk::files(folder);
    std::size_t skipped = 0;
    for (const WalkedFile& file : files) {
        skipped += DiskImage::needsDiskII(file.fileName()) ? 1 : 0;
    }
    std::cout << scanReport(Catalog::scan(files, true), skipped);
    return 0;
}

int runCatalog(const CatalogOptions& o) {
    const Catalog catalog = Catalog::scan(o.folder, !o.readOnly);
    if (o.search || o.cat) {
        std::cout << catalog.searchJSON(o.search.value_or(""), o.page, o.base, {}, o.cat,
                                        o.prefixSubfolder);
    } else {
        std::cout << catalog.pageJSON(o.page, o.base, {});
    }
    return 0;
}

int runHub(const std::string& folder) {
    const Catalog catalog = Catalog::scan(folder, true);
    std::vector<std::string> dirs;
    for (const DiskImage& image : catalog.images()) {
        dirs.push_back(image.folder);
    }
    const HubConfig config = HubConfig::defaults(FolderWalk::foldersFromDirs(dirs));
    std::cout << YourHub::json(
        config, YourHub::Kind::disks, std::int64_t(catalog.images().size()),
        [&](const std::string& path) {
            return std::int64_t(std::count_if(
                catalog.images().begin(), catalog.images().end(),
                [&](const DiskImage& image) { return HubConfig::under(image.folder, path); }));
        });
    return 0;
}

int runDemo(const std::string& dir) {
    try {
        for (const auto& path : DemoLibrary::write(dir)) {
            std::cout << "wrote " << path.string() << "\n";
        }
    } catch (const DemoLibrary::Error& e) {
        std::cerr << "vorn-share: " << e.what() << "\n";
        return kBadInput;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"vorn-share: shares a folder of Apple II disk images with a Vorn network card"};
    app.require_subcommand(1);
    std::string folder;
    int status = 0;

    auto* scan = app.add_subcommand("scan", "List the shareable disk images of a folder");
    scan->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    scan->callback([&] { status = runScan(folder); });

    CatalogOptions options;
    auto* catalog = app.add_subcommand("catalog", "Print a catalog page as the card receives it");
    catalog->add_option("FOLDER", options.folder, "Library folder")
        ->required()
        ->check(libraryFolder());
    catalog->add_option("--page", options.page, "Page number, from 1")->check(pageNumber());
    catalog->add_option("--base", options.base, "Base URL of the share, ending in /");
    catalog->add_flag("--read-only", options.readOnly, "Report every volume as read-only");
    catalog->add_option("--search", options.search, "Search the names, file names and folders");
    catalog->add_option("--cat", options.cat, "Limit to one category folder");
    catalog->add_flag("--prefix-subfolder", options.prefixSubfolder,
                      "Name items below the category by their subfolder");
    catalog->callback([&] { status = runCatalog(options); });

    auto* hub = app.add_subcommand("hub", "Print the categories JSON for disks");
    hub->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    hub->callback([&] { status = runHub(folder); });

    auto* demo = app.add_subcommand("demo", "Write a small demo library into a new folder");
    demo->add_option("DIR", folder, "Folder to create")->required();
    demo->callback([&] { status = runDemo(folder); });

    ServeOptions serveOptions;
    auto* serve =
        app.add_subcommand("serve", "Share a library with the card until stopped (Ctrl-C)");
    serve->add_option("FOLDER", serveOptions.folder, "Library folder (default: the stored one)")
        ->check(libraryFolder());
    serve
        ->add_option("--port", serveOptions.port,
                     "TCP port (default: the stored one, else 8271; 0: any)")
        ->check(CLI::Range(0, 65535));
    serve->add_flag("--read-only", serveOptions.readOnly, "Refuse block writes");
    serve->add_flag("--no-advertise", serveOptions.noAdvertise,
                    "Do not announce the share over mDNS");
    serve->add_option("--name", serveOptions.name,
                      "Share name (default: Vorn Images on <computer>)");
    serve->callback([&] { status = vorn::serve(serveOptions); });

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vorn-share: " << e.what() << "\n";
        return kBadInput;
    }
    return status;
}
