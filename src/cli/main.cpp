// vorn-share: the headless front end. Parses the command line and calls the commands.

#include "Commands.h"
#include "ConfigCommand.h"
#include "Serve.h"
#include "VornVersion.h"
#include "platform/Preferences.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>

namespace {

using namespace vorn;

constexpr int kBadInput = 2;

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

const std::map<std::string, Commands::Kind> kKinds = {{"disks", Commands::Kind::disks},
                                                      {"audio", Commands::Kind::audio},
                                                      {"pictures", Commands::Kind::pictures}};

void addKind(CLI::App* command, Commands::Kind& kind) {
    command
        ->add_option_function<std::string>(
            "--kind", [&kind](const std::string& text) { kind = kKinds.at(text); },
            "disks (default), audio or pictures")
        ->check(CLI::IsMember({"disks", "audio", "pictures"}));
}

// "vorn-share 0.1.0 (build 42)"; without a build number just "vorn-share 0.1.0".
std::string versionText() {
    std::string text = std::string("vorn-share ") + version::number;
    if (*version::build != '\0') {
        text += std::string(" (build ") + version::build + ")";
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    // The one preference store of the process, read only by the commands that need it:
    // reading moves an unreadable file aside, which `scan` has no business doing.
    std::optional<Preferences> store;
    const auto preferences = [&store]() -> Preferences& {
        return store ? *store : store.emplace();
    };
    CLI::App app{"vorn-share: shares a folder of Apple II disk images, audio and pictures with a "
                 "Vorn network card"};
    app.set_version_flag("--version", versionText(), "Print the version and exit");
    app.require_subcommand(1);
    std::string folder;
    int status = 0;

    auto* scan = app.add_subcommand("scan", "List the shareable disk images of a folder");
    scan->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    scan->callback([&] { status = Commands::scan(folder); });

    Commands::CatalogOptions options;
    auto* catalog = app.add_subcommand("catalog", "Print a catalog page as the card receives it");
    catalog->add_option("FOLDER", options.folder, "Library folder")
        ->required()
        ->check(libraryFolder());
    addKind(catalog, options.kind);
    catalog->add_option("--page", options.page, "Page number, from 1")->check(pageNumber());
    catalog->add_option("--base", options.base, "Base URL of the share, ending in /");
    catalog->add_flag("--read-only", options.readOnly, "Report every volume as read-only");
    catalog->add_option("--search", options.search,
                        "Search the names (and for disks file names and folders)");
    catalog->add_option("--cat", options.cat, "Limit to one category folder");
    catalog->add_flag("--prefix-subfolder", options.prefixSubfolder,
                      "Name items below the category by their subfolder");
    catalog->callback([&] { status = Commands::catalog(options, preferences()); });

    Commands::Kind hubKind = Commands::Kind::disks;
    auto* hub = app.add_subcommand("hub", "Print the categories JSON of one kind of item");
    hub->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    addKind(hub, hubKind);
    hub->callback([&] { status = Commands::hub(folder, hubKind, preferences()); });

    auto* demo = app.add_subcommand("demo", "Write a small demo library into a new folder");
    demo->add_option("DIR", folder, "Folder to create")->required();
    demo->callback([&] { status = Commands::demo(folder); });

    auto* tools = app.add_subcommand("tools", "Say which conversion tools were found");
    tools->callback([&] { status = Commands::tools(); });

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
    serve->callback([&] { status = vorn::serve(serveOptions, preferences()); });

    auto* config =
        app.add_subcommand("config", "Show the stored settings, or change one with set/unset");
    config->require_subcommand(0, 1);
    config->callback([&] {
        if (config->get_subcommands().empty()) {
            status = ConfigCommand::show(preferences());
        }
    });
    std::string key;
    std::string value;
    auto* set =
        config->add_subcommand("set", "Store one setting: folder, port, writable, advertise");
    set->add_option("KEY", key, "folder, port, writable or advertise")->required();
    set->add_option("VALUE", value, "The new value")->required();
    set->callback([&] { status = ConfigCommand::set(preferences(), key, value); });
    auto* unset = config->add_subcommand("unset", "Forget one setting, so its default applies");
    unset->add_option("KEY", key, "folder, port, writable or advertise")->required();
    unset->callback([&] { status = ConfigCommand::unset(preferences(), key); });

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "vorn-share: " << e.what() << "\n";
        return kBadInput;
    }
    return status;
}
