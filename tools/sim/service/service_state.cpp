#include "service/service_state.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <limits>

namespace tallybird::sim {
namespace {

constexpr unsigned kMaxEncodableCountry = 1019; // 254 * 4 + 3; 255 in byte 0 reads as 0
constexpr std::uint64_t kMaxNationalNumber = (std::uint64_t{1} << 38) - 1;

QString Q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string HexOf(const Bytes& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

std::optional<Bytes> BytesOfHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        for (std::size_t k = i; k < i + 2; ++k) {
            const char c = hex[k];
            value *= 16;
            if (c >= '0' && c <= '9') {
                value += static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value += static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value += static_cast<unsigned>(c - 'A' + 10);
            } else {
                return std::nullopt;
            }
        }
        out.push_back(static_cast<std::uint8_t>(value));
    }
    return out;
}

std::optional<LostChip> ChipOf(const QJsonObject& object, std::string& error) {
    const QJsonValue chip = object.value("chip");
    std::string text;
    if (chip.isString()) {
        text = chip.toString().toStdString();
    } else if (chip.isDouble()) {
        text = NumberText(chip.toDouble());
    }
    std::optional<LostChip> parsed = ParseChip(text);
    if (!parsed) {
        error = "bad chip \"" + text + "\" (15 digits: country code and 12-digit number)";
        return std::nullopt;
    }
    const int attribute = object.value("attribute").toInt(0);
    if (attribute < 0 || attribute > 255) {
        error = "attribute out of 0..255";
        return std::nullopt;
    }
    parsed->attribute = static_cast<std::uint8_t>(attribute);
    return parsed;
}

QJsonObject ChipToJson(const LostChip& chip) {
    return {{"chip", Q(ChipText(chip.country, chip.national))}, {"attribute", chip.attribute}};
}

void AppendRecord(Bytes& out, const LostChip& chip, std::uint8_t operation) {
    const unsigned high = chip.country / 4;
    out.push_back(static_cast<std::uint8_t>(high));
    out.push_back(static_cast<std::uint8_t>(((chip.country % 4) << 6) | (chip.national >> 32)));
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(chip.national >> shift));
    }
    out.push_back(operation);
    out.push_back(chip.attribute);
}

bool ParseCountry(const QJsonObject& object, CountryData& country, std::string& error) {
    for (const QJsonValue& value : object.value("lost").toArray()) {
        const std::optional<LostChip> chip = ChipOf(value.toObject(), error);
        if (!chip) {
            return false;
        }
        country.lost.push_back(*chip);
    }
    for (const QJsonValue& value : object.value("log").toArray()) {
        const QJsonObject entry = value.toObject();
        const std::optional<LostChip> chip = ChipOf(entry, error);
        if (!chip) {
            return false;
        }
        const int operation = entry.value("operation").toInt(-1);
        if (operation < 0 || operation > 255) {
            error = "log entry without an operation 0..255";
            return false;
        }
        country.log.push_back(
            {entry.value("time").toDouble(0), static_cast<std::uint8_t>(operation), *chip});
    }
    if (object.value("logStart").isDouble()) {
        country.logStart = object.value("logStart").toDouble();
    }
    for (const QJsonValue& value : object.value("organisations").toArray()) {
        country.organisations.push_back(value.toString().toStdString());
    }
    return true;
}

bool ParseFault(const QJsonObject& object, Fault& fault, std::string& error) {
    fault.mode = object.value("mode").toString("none").toStdString();
    if (!IsFaultMode(fault.mode)) {
        error = "unknown fault mode \"" + fault.mode + "\"";
        return false;
    }
    fault.delay = object.value("delay").toDouble(0);
    const std::optional<Bytes> raw = BytesOfHex(object.value("hex").toString().toStdString());
    if (!raw) {
        error = "fault \"hex\" is not hexadecimal";
        return false;
    }
    fault.raw = *raw;
    return true;
}

} // namespace

bool IsFaultMode(const std::string& mode) {
    return std::find(kFaultModes.begin(), kFaultModes.end(), mode) != kFaultModes.end();
}

std::optional<LostChip> ParseChip(const std::string& text) {
    if (text.size() < 15 || text.size() > 16 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    LostChip chip;
    chip.country = static_cast<unsigned>(std::stoul(text.substr(0, text.size() - 12)));
    chip.national = std::stoull(text.substr(text.size() - 12));
    if (chip.country > kMaxEncodableCountry || chip.national > kMaxNationalNumber) {
        return std::nullopt;
    }
    return chip;
}

bool ParseState(const QByteArray& json, ServiceState& state, std::string& error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull() || !document.isObject()) {
        error = "not a JSON object: " + parseError.errorString().toStdString();
        return false;
    }
    const QJsonObject root = document.object();
    ServiceState loaded;
    if (root.value("time").isDouble()) {
        loaded.time = root.value("time").toDouble();
    }
    if (root.contains("version")) {
        loaded.version = root.value("version").toString().toStdString();
    }
    if (root.contains("installer")) {
        loaded.installer = root.value("installer").toString().toStdString();
    }
    const QJsonObject countries = root.value("countries").toObject();
    for (auto it = countries.begin(); it != countries.end(); ++it) {
        bool isNumber = false;
        const int number = it.key().toInt(&isNumber);
        if (!isNumber) {
            error = "country key \"" + it.key().toStdString() + "\" is not a number";
            return false;
        }
        if (!ParseCountry(it.value().toObject(), loaded.countries[number], error)) {
            error = "country " + it.key().toStdString() + ": " + error;
            return false;
        }
    }
    const QJsonObject faults = root.value("faults").toObject();
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!ParseFault(it.value().toObject(), loaded.faults[it.key().toStdString()], error)) {
            error = "fault " + it.key().toStdString() + ": " + error;
            return false;
        }
    }
    loaded.requests = root.value("requests").toArray();
    loaded.registrations = root.value("registrations").toArray();
    loaded.uploads = root.value("uploads").toArray();
    state = std::move(loaded);
    return true;
}

QByteArray StateToJson(const ServiceState& state) {
    QJsonObject root;
    root["time"] = state.time ? QJsonValue(*state.time) : QJsonValue();
    root["version"] = Q(state.version);
    root["installer"] = Q(state.installer);
    QJsonObject countries;
    for (const auto& [number, data] : state.countries) {
        QJsonArray lost;
        for (const LostChip& chip : data.lost) {
            lost.append(ChipToJson(chip));
        }
        QJsonArray log;
        for (const ListChange& change : data.log) {
            QJsonObject entry = ChipToJson(change.chip);
            entry["time"] = change.time;
            entry["operation"] = change.operation;
            log.append(entry);
        }
        QJsonArray organisations;
        for (const std::string& field : data.organisations) {
            organisations.append(Q(field));
        }
        QJsonObject country{{"lost", lost}, {"log", log}, {"organisations", organisations}};
        if (data.logStart) {
            country["logStart"] = *data.logStart;
        }
        countries[QString::number(number)] = country;
    }
    root["countries"] = countries;
    QJsonObject faults;
    for (const auto& [endpoint, fault] : state.faults) {
        faults[Q(endpoint)] = QJsonObject{
            {"mode", Q(fault.mode)}, {"delay", fault.delay}, {"hex", Q(HexOf(fault.raw))}};
    }
    root["faults"] = faults;
    root["requests"] = state.requests;
    root["registrations"] = state.registrations;
    root["uploads"] = state.uploads;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray RecordsToJson(const ServiceState& state) {
    const QJsonObject root{{"requests", state.requests},
                           {"registrations", state.registrations},
                           {"uploads", state.uploads}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Bytes LostListBody(const CountryData& country, double since) {
    double logStart = country.logStart.value_or(0);
    if (!country.logStart && !country.log.empty()) {
        logStart = std::numeric_limits<double>::max();
        for (const ListChange& change : country.log) {
            logStart = std::min(logStart, change.time);
        }
    }
    Bytes body;
    if (since <= 0 || since < logStart) {
        for (const LostChip& chip : country.lost) {
            AppendRecord(body, chip, 1);
        }
        return body;
    }
    for (const ListChange& change : country.log) {
        if (change.time > since) {
            AppendRecord(body, change.chip, change.operation);
        }
    }
    return body;
}

std::string OrganisationsBody(const CountryData& country) {
    std::string body;
    for (std::size_t i = 0; i < country.organisations.size(); ++i) {
        if (i > 0) {
            body += '|';
        }
        body += QueryValueOf(country.organisations[i]);
    }
    return body;
}

} // namespace tallybird::sim
