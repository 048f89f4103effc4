// vorn-share: the headless front end. Parses the command line and calls the commands.

#include "CategoriesCommand.h"
#include "Commands.h"
#include "ConfigCommand.h"
#include "Serve.h"
#include "SnapshotCommand.h"
#include "VersionsCommand.h"
#include "VornVersion.h"
#include "library/ShareSettings.h"
#include "platform/Numbers.h"
#include "platform/Preferences.h"
#include "versions/VersionSettings.h"

#include <CLI/CLI.hpp>
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
            const std::optional<std::int64_t> n = parseSigned(value);
            if (!n || *n < 1) {
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

// What the commands share: the exit status, the process's one preference store, read
// only by the commands that need it (reading moves an unreadable file aside; `scan` reads
// it for the pictures' knobs, which name their conversions), and the values the command
// line fills in.
struct Run {
    int status = 0;
    std::optional<Preferences> store;
    Preferences& preferences() {
        if (!store) {
            // Said once, on the first use: every command goes on with what it could read.
            if (const auto problem = store.emplace().problem()) {
                std::cerr << "vorn-share: " << *problem << "\n";
            }
        }
        return *store;
    }

    std::string folder;
    Commands::CatalogOptions catalog;
    Commands::Kind hubKind = Commands::Kind::disks;
    ServeOptions serve;
    std::string key;
    std::string value;
    std::optional<std::string> library;
    CategoriesCommand::Edit edit;
    std::string image;
    std::string versionId;
    std::string destination;
};

void addLibraryCommands(CLI::App& app, Run& run) {
    std::string& folder = run.folder;
    auto* scan = app.add_subcommand("scan", "List the shareable disk images of a folder");
    scan->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    scan->callback([&run] { run.status = Commands::scan(run.folder, run.preferences()); });

    Commands::CatalogOptions& options = run.catalog;
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
    catalog->callback([&run] { run.status = Commands::catalog(run.catalog, run.preferences()); });

    Commands::Kind& hubKind = run.hubKind;
    auto* hub = app.add_subcommand("hub", "Print the categories JSON of one kind of item");
    hub->add_option("FOLDER", folder, "Library folder")->required()->check(libraryFolder());
    addKind(hub, hubKind);
    hub->callback(
        [&run] { run.status = Commands::hub(run.folder, run.hubKind, run.preferences()); });

    auto* demo = app.add_subcommand("demo", "Write a small demo library into a new folder");
    demo->add_option("DIR", folder, "Folder to create")->required();
    demo->callback([&run] { run.status = Commands::demo(run.folder); });

    auto* tools = app.add_subcommand("tools", "Say which conversion tools were found");
    tools->callback([&run] { run.status = Commands::tools(); });
}

void addServe(CLI::App& app, Run& run) {
    ServeOptions& options = run.serve;
    auto* serve =
        app.add_subcommand("serve", "Share a library with the card until stopped (Ctrl-C)");
    serve->add_option("FOLDER", options.folder, "Library folder (default: the stored one)")
        ->check(libraryFolder());
    serve
        ->add_option("--port", options.port,
                     "TCP port from 1024 to 65535 (default: the stored one, else 8271; 0: any)")
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                const std::optional<std::int64_t> port = parseSigned(value);
                return port && (*port == 0 || ShareSettings::portRange.contains(*port))
                           ? std::string()
                           : "the port must be 0 or a whole number from 1024 to 65535, not " +
                                 value;
            },
            "PORT"));
    serve->add_flag("--read-only", options.readOnly, "Refuse block writes");
    serve->add_flag("--no-advertise", options.noAdvertise, "Do not announce the share over mDNS");
    serve->add_option("--name", options.name, "Share name (default: Vorn Images on <computer>)");
    serve
        ->add_option("--version-gap", options.versionGap,
                     "Seconds of quiet that end an image's write session (default: the stored "
                     "one, else 600)")
        ->check(CLI::Range(std::int64_t(1), VersionSettings::maxGapSeconds));
    serve->callback([&run] { run.status = vorn::serve(run.serve, run.preferences()); });
}

void addVersions(CLI::App& app, Run& run) {
    std::string& image = run.image;
    auto* versions =
        app.add_subcommand("versions", "List the versions kept of a disk image, newest first");
    versions->add_option("IMAGE", image, "Disk image file")->required();
    versions->callback([&run] { run.status = VersionsCommand::list(run.image); });
    auto* restore = app.add_subcommand(
        "restore", "Write a disk image as it was at one of its versions into a new file");
    restore->add_option("IMAGE", image, "Disk image file")->required();
    restore->add_option("ID", run.versionId, "The version, as `versions` lists it")->required();
    restore->add_option("--as", run.destination, "The new file (never replaced)")->required();
    restore->callback([&run] {
        run.status = VersionsCommand::restore(run.image, run.versionId, run.destination);
    });
    auto* snapshot = app.add_subcommand(
        "snapshot", "Copy a disk image beside itself, with the date and time in the copy's name");
    snapshot->add_option("IMAGE", image, "Disk image file")->required();
    snapshot->callback([&run] { run.status = SnapshotCommand::run(run.image); });
}

void addConfig(CLI::App& app, Run& run) {
    auto* config =
        app.add_subcommand("config", "Show the stored settings, or change one with set/unset");
    config->require_subcommand(0, 1);
    config->callback([&run, config] {
        if (config->get_subcommands().empty()) {
            run.status = ConfigCommand::show(run.preferences());
        }
    });
    std::string& key = run.key;
    std::string& value = run.value;
    auto* set =
        config->add_subcommand("set", "Store one setting: folder, port, writable, advertise, "
                                      "conversionJobs, versionGap, versionsKept, "
                                      "versionsMaxBytes");
    set->add_option("KEY", key, "One of the settings `config` shows")->required();
    set->add_option("VALUE", value, "The new value")->required();
    set->callback(
        [&run] { run.status = ConfigCommand::set(run.preferences(), run.key, run.value); });
    auto* unset = config->add_subcommand("unset", "Forget one setting, so its default applies");
    unset->add_option("KEY", key, "One of the settings `config` shows")->required();
    unset->callback([&run] { run.status = ConfigCommand::unset(run.preferences(), run.key); });
}

void addCategories(CLI::App& app, Run& run) {
    using Kind = CategoriesCommand::Edit::Kind;
    std::optional<std::string>& folder = run.library;
    CategoriesCommand::Edit& edit = run.edit;
    auto* categories = app.add_subcommand(
        "categories", "List the Apple II categories of a library, or change them");
    categories->add_option("--library,FOLDER", folder, "Library folder (default: the stored one)")
        ->check(libraryFolder());
    categories->require_subcommand(0, 1);
    categories->final_callback(
        [&run] { run.status = CategoriesCommand::run(run.preferences(), run.library, run.edit); });
    const auto edits = [&](const char* name, const char* help, Kind kind) {
        auto* sub = categories->add_subcommand(name, help);
        sub->callback([&run, kind] { run.edit.kind = kind; });
        return sub;
    };
    edits("add", "Put a folder on the Apple II as a category", Kind::add)
        ->add_option("PATH", edit.path, "Library folder, as Games/Arcade")
        ->required();
    edits("remove", "Take a category off", Kind::remove)
        ->add_option("PATH", edit.path, "The category's folder")
        ->required();
    auto* move = edits("move", "Move a category to a position, from 1", Kind::move);
    move->add_option("PATH", edit.path, "The category's folder")->required();
    move->add_option("POSITION", edit.position, "Its new place, from 1")->required();
    auto* label =
        edits("label", "Name a category on the card (empty: its folder's name)", Kind::label);
    label->add_option("PATH", edit.path, "The category's folder")->required();
    label->add_option("TEXT", edit.text, "The label, at most 30 characters on the card")
        ->required();
    edits("prefix", "Name items below a category \"Subfolder: name\" (on) or not (off)",
          Kind::prefix)
        ->add_option_function<std::string>(
            "ON|OFF", [&run](const std::string& text) { run.edit.on = text == "on"; }, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    edits("reset", "Back to the defaults: every top-level folder, A to Z", Kind::reset);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"vorn-share: shares a folder of Apple II disk images, audio and pictures with a "
                 "Vorn network card"};
    app.set_version_flag("--version", version::line("vorn-share"), "Print the version and exit");
    app.require_subcommand(1);
    Run run;
    addLibraryCommands(app, run);
    addServe(app, run);
    addVersions(app, run);
    addConfig(app, run);
    addCategories(app, run);
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
    } catch (const std::exception& e) {
        // The commands run inside parse(): whatever escapes one ends here as one line.
        std::cerr << "vorn-share: " << e.what() << "\n";
        return 1;
    }
    return run.status;
}
