#include "web/service_client.h"

#include "base/single_byte_text.h"
#include "web/url_codec.h"

#include <QUrl>

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tallybird {
namespace {

constexpr std::string_view kFormHeader = "Content-Type: application/x-www-form-urlencoded";

// The scanner's version text goes into the "getlost.php" query as it is.
// It is made of a letter and digits ("H1"); a byte that cannot stand in a
// query as it is ('&', '#', a space, a control or non-ASCII byte) would
// break the address or add a parameter, so that byte alone is escaped.
std::string QueryText(std::string_view text) {
    std::string out;
    for (const std::uint8_t byte : ToSingleByte(text)) {
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= 'a' && byte <= 'z') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~';
        if (plain) {
            out.push_back(static_cast<char>(byte));
        } else {
            AppendPercentEscape(out, byte);
        }
    }
    return out;
}

ServiceStatus StatusOf(const HttpReply& reply) {
    return {reply.transportError};
}

// A transport error, or the service's refusal of `what` when it answered
// with a status other than 2xx.
ServiceStatus AcceptedOrRefused(const HttpReply& reply, const std::string& what) {
    if (reply.TransportFailed()) {
        return StatusOf(reply);
    }
    if (!reply.Succeeded()) {
        return {"the service did not accept the " + what + " (HTTP status " +
                    std::to_string(reply.status) + ")",
                true};
    }
    return {};
}

} // namespace

std::string DecimalText(double value) {
    char text[64];
    std::to_chars_result result{};
    if (value == std::trunc(value) && std::fabs(value) < 9.2e18) {
        const auto whole = static_cast<std::int64_t>(value);
        result = std::to_chars(text, text + sizeof text, whole);
    } else {
        result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    }
    return std::string(text, result.ptr);
}

std::string InstallerFileName(std::string_view version) {
    return "setup" + std::string(version) + ".run";
}

ServiceClient::ServiceClient(std::string baseUrl, HttpClient& http)
    : baseUrl_(std::move(baseUrl)), http_(http) {}

std::string ServiceClient::RegistrationAddress(const RegistrationRecord& record,
                                               double scannerSerial) const {
    return baseUrl_ + "scanreg.php?d=" + UrlEncode(record.ownerName) +
           "&a=" + UrlEncode(record.addressLine1) + "&b=" + UrlEncode(record.emailAddress) +
           "&y=" + UrlEncode(record.city) + "&w=" + UrlEncode(record.county) +
           "&c=" + DecimalText(record.countryNumber) + "&p=" + UrlEncode(record.postCode) +
           "&n=" + UrlEncode(record.phoneNumber) + "&s=" + DecimalText(scannerSerial);
}

std::string ServiceClient::UploadAddress() const {
    return baseUrl_ + "upscan.php";
}

std::string ServiceClient::LostListAddress(double lastUpdate, int country,
                                           std::string_view scannerVersion) const {
    return baseUrl_ + "getlost.php?d=" + DecimalText(lastUpdate) + "&c=" + DecimalText(country) +
           "&v=" + QueryText(scannerVersion);
}

std::string ServiceClient::ServiceTimeAddress() const {
    return baseUrl_ + "getscannertime.php";
}

std::string ServiceClient::OrganisationsAddress(int country) const {
    return baseUrl_ + "getorganisations.php?c=" + DecimalText(country);
}

std::string ServiceClient::SoftwareVersionAddress() const {
    return baseUrl_ + "softwareversion.php";
}

std::optional<std::string> ServiceClient::InstallerAddress(std::string_view version) const {
    const Bytes versionBytes(version.begin(), version.end());
    const std::optional<std::string> plain = PlainVersion(versionBytes);
    if (!plain) {
        return std::nullopt;
    }
    const QUrl base(QString::fromStdString(baseUrl_), QUrl::StrictMode);
    if (!base.isValid() || base.scheme().isEmpty() || base.host().isEmpty()) {
        return std::nullopt;
    }
    const QUrl host = base.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                                    QUrl::RemoveFragment);
    return host.toString(QUrl::FullyEncoded).toStdString() + "/download/" +
           InstallerFileName(*plain);
}

ServiceStatus ServiceClient::Register(const RegistrationRecord& record, double scannerSerial) {
    return AcceptedOrRefused(http_.Fetch(RegistrationAddress(record, scannerSerial)),
                             "registration");
}

ServiceStatus ServiceClient::Upload(std::string_view scanList) {
    const Bytes body = ToSingleByte(scanList);
    return AcceptedOrRefused(http_.Post(UploadAddress(), body, kFormHeader), "upload");
}

ServiceResult<LostListReply> ServiceClient::FetchLostList(double lastUpdate, int country,
                                                          std::string_view scannerVersion) {
    const HttpReply reply = http_.Fetch(LostListAddress(lastUpdate, country, scannerVersion));
    return {ReadLostList(reply.body), reply.transportError};
}

ServiceResult<double> ServiceClient::FetchServiceTime() {
    const HttpReply reply = http_.Fetch(ServiceTimeAddress());
    return {ReplyNumber(reply.body), reply.transportError};
}

ServiceResult<OrganisationTable> ServiceClient::FetchOrganisations(int country) {
    const HttpReply reply = http_.Fetch(OrganisationsAddress(country));
    return {BuildOrganisationTable(reply.body), reply.transportError};
}

ServiceResult<Bytes> ServiceClient::FetchSoftwareVersion() {
    HttpReply reply = http_.Fetch(SoftwareVersionAddress());
    return {std::move(reply.body), reply.transportError};
}

ServiceStatus ServiceClient::DownloadInstaller(std::string_view version,
                                               const std::filesystem::path& file,
                                               const DownloadProgress& progress) {
    const std::optional<std::string> address = InstallerAddress(version);
    if (!address) {
        return {"no installer for version \"" + std::string(version) + "\""};
    }
    const HttpReply reply = http_.DownloadToFile(*address, file, progress);
    if (reply.TransportFailed()) {
        return StatusOf(reply);
    }
    if (!reply.Succeeded()) {
        return {"the installer could not be downloaded (HTTP status " +
                std::to_string(reply.status) + ")"};
    }
    return {};
}

} // namespace tallybird
