#include "soft_drive/soft_drive_manifest.h"

#include <cstdlib>
#include <map>
#include <sstream>

namespace softdrive {
namespace {

bool Number(const std::string& text, uint64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return end && *end == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

bool ParseManifest(std::string_view text, Manifest& manifest, std::string& error) {
    std::istringstream lines{std::string(text)};
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::istringstream words(line);
        std::string kind;
        if (!(words >> kind) || kind[0] == '#') continue;
        std::map<std::string, std::string> values;
        std::vector<std::string> bare;
        std::string word;
        while (words >> word) {
            auto eq = word.find('=');
            if (eq == std::string::npos) bare.push_back(word);
            else values[word.substr(0, eq)] = word.substr(eq + 1);
        }
        bool ok = true;
        auto num = [&](const char* key, uint64_t fallback) -> uint64_t {
            auto it = values.find(key);
            if (it == values.end()) return fallback;
            uint64_t v = 0;
            if (!Number(it->second, v)) ok = false;
            return v;
        };
        auto list = [&](const std::string& text16) {
            std::vector<uint16_t> out;
            for (const std::string& p : Split(text16, ',')) {
                uint64_t v = 0;
                if (!Number(p, v) || v > 0xFFFF) ok = false;
                out.push_back(static_cast<uint16_t>(v));
            }
            return out;
        };
        if (kind == "profile") {
            uint64_t v = 0;
            ok = bare.size() == 1 && Number(bare[0], v) && v <= 0xFFFF;
            manifest.profile = static_cast<uint16_t>(v);
        } else if (kind == "profiles") {
            ok = bare.size() == 1;
            if (ok) manifest.profiles = list(bare[0]);
        } else if (kind == "drive") {
            if (values.count("vendor")) manifest.vendor = values["vendor"];
            if (values.count("product")) manifest.product = values["product"];
            if (values.count("revision")) manifest.revision = values["revision"];
        } else if (kind == "disc") {
            manifest.discStatus = static_cast<uint8_t>(num("status", manifest.discStatus));
            manifest.lastSessionState = static_cast<uint8_t>(num("last", manifest.lastSessionState));
            manifest.erasable = num("erasable", manifest.erasable) != 0;
            manifest.discType = static_cast<uint8_t>(num("type", manifest.discType));
            manifest.nwa = static_cast<int64_t>(num("nwa", static_cast<uint64_t>(manifest.nwa)));
            manifest.freeBlocks = static_cast<uint32_t>(num("free", manifest.freeBlocks));
            manifest.bookType = static_cast<uint8_t>(num("book", manifest.bookType));
            manifest.layers = static_cast<uint8_t>(num("layers", manifest.layers));
            if (values.count("bd")) manifest.bdType = values["bd"];
        } else if (kind == "atip") {
            manifest.atip = true;
            manifest.atipRewritable = num("rewritable", 0) != 0;
        } else if (kind == "track") {
            TrackDescription t;
            t.session = static_cast<int>(num("session", 1));
            t.control = static_cast<uint8_t>(num("control", 4));
            t.dataMode = static_cast<uint8_t>(num("mode", 1));
            t.start = values.count("start") ? static_cast<int64_t>(num("start", 0)) : -1;
            t.length = static_cast<uint32_t>(num("length", 0));
            t.file = values.count("file") ? values["file"] : "";
            t.fileSectorSize = static_cast<uint32_t>(num("sector", t.dataMode == 0 ? 2352 : 2048));
            t.fileOffset = num("offset", 0);
            if (t.fileSectorSize != 2048 && t.fileSectorSize != 2352) ok = false;
            manifest.tracks.push_back(t);
        } else if (kind == "feature") {
            FeatureDescription f;
            f.code = static_cast<uint16_t>(num("code", 0));
            f.current = num("current", 1) != 0;
            f.version = static_cast<uint8_t>(num("version", 0));
            std::string hex = values.count("data") ? values["data"] : "";
            if (hex.size() % 2) ok = false;
            for (size_t i = 0; ok && i + 1 < hex.size(); i += 2) {
                uint64_t v = 0;
                if (!Number("0x" + hex.substr(i, 2), v)) ok = false;
                f.data.push_back(static_cast<uint8_t>(v));
            }
            manifest.features.push_back(f);
        } else if (kind == "speeds") {
            manifest.readSpeed = static_cast<uint16_t>(num("read", manifest.readSpeed));
            if (values.count("write")) manifest.writeSpeeds = list(values["write"]);
            manifest.currentWriteSpeed = static_cast<uint16_t>(
                num("current", manifest.writeSpeeds.empty() ? 0 : manifest.writeSpeeds.front()));
            manifest.readCaps = static_cast<uint8_t>(num("readcaps", manifest.readCaps));
            manifest.writeCaps = static_cast<uint8_t>(num("writecaps", manifest.writeCaps));
        } else if (kind == "format") {
            FormatDescription f;
            f.type = static_cast<uint8_t>(num("type", 0));
            f.blocks = static_cast<uint32_t>(num("blocks", 0));
            f.parameter = static_cast<uint32_t>(num("parameter", 0));
            manifest.formats.push_back(f);
        } else if (kind == "write") {
            WriteDescription& w = manifest.write;
            w.enabled = true;
            w.capacity = static_cast<uint32_t>(num("capacity", w.capacity));
            if (values.count("medium")) w.mediumFile = values["medium"];
            if (values.count("export")) w.exportDir = values["export"];
            w.bufferKb = static_cast<uint32_t>(num("buffer", w.bufferKb));
            w.rateKbps = static_cast<uint32_t>(num("rate", w.rateKbps));
            w.formatted = num("formatted", w.formatted) != 0;
            w.backgroundFormat = static_cast<uint8_t>(num("bg", w.backgroundFormat) & 3);
            w.page5Length = static_cast<uint8_t>(num("page5", w.page5Length));
            if (w.bufferKb == 0) ok = false;
        } else if (kind == "cdtext") {
            uint8_t track = static_cast<uint8_t>(num("track", 0));
            const std::pair<const char*, uint8_t> types[] = {{"title", 0x80},    {"performer", 0x81}, {"songwriter", 0x82},
                                                             {"composer", 0x83}, {"arranger", 0x84},  {"message", 0x85}};
            for (auto [name, type] : types) {
                auto it = values.find(name);
                if (it == values.end()) continue;
                std::string text = it->second;
                for (char& c : text)
                    if (c == '_') c = ' ';
                manifest.cdText.push_back(CdTextDescription{type, track, text});
            }
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(lineNumber) + ": " + line;
            return false;
        }
    }
    if (manifest.profiles.empty() && manifest.profile != 0) manifest.profiles.push_back(manifest.profile);
    return true;
}

}  // namespace softdrive
