#include "library/YourHub.h"

#include "library/JsonString.h"

namespace vorn::YourHub {

std::string_view rawValue(Kind kind) {
    switch (kind) {
    case Kind::audio:
        return "audio";
    case Kind::pictures:
        return "pictures";
    case Kind::disks:
        break;
    }
    return "disks";
}

std::optional<Kind> kindNamed(std::string_view raw) {
    for (Kind kind : {Kind::disks, Kind::audio, Kind::pictures}) {
        if (rawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> query(Kind kind) {
    switch (kind) {
    case Kind::audio:
        return "a";
    case Kind::pictures:
        return "p";
    case Kind::disks:
        break;
    }
    return std::nullopt;
}

std::string json(const HubConfig& config, Kind kind, std::int64_t total, const CountFn& count) {
    std::string rows;
    std::size_t collected = 0;
    for (const HubCategory& cat : config.cats) {
        if (collected == HubConfig::maxCategories) {
            break;
        }
        const std::int64_t n = count(cat.path);
        if (n < 1) {
            continue;
        }
        rows += collected == 0 ? "" : ",\n";
        rows += "  { \"name\": " + jsonString(cat.displayLabel()) +
                ", \"cat\": " + jsonString(cat.path) + ", \"n\": " + std::to_string(n) + " }";
        ++collected;
    }
    std::string out = "{ \"hub\": \"your\", \"kind\": \"";
    out.append(rawValue(kind)).append("\", \"total\": ").append(std::to_string(total));
    out += ", \"cats\": [\n";
    out += rows;
    out += collected == 0 ? "" : "\n";
    out += "] }\n";
    return out;
}

} // namespace vorn::YourHub
