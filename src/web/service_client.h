#pragma once

#include "base/bytes.h"
#include "model/organisation_table.h"
#include "model/registration_record.h"
#include "web/http_client.h"
#include "web/service_replies.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tallybird {

// The outcome of one request to the service. `value` is what the reply
// reads as; when the request failed at the transport level it is what an
// empty reply reads as, and `error` says why. A session takes a failed
// request to its software-error path; elsewhere the empty reading stands.
template <typename T> struct ServiceResult {
    T value{};
    std::string error;

    bool Failed() const { return !error.empty(); }
};

// Requests whose reply is not read: only whether they got through counts.
struct ServiceStatus {
    std::string error;
    // The service answered, but not with a 2xx status.
    bool refused = false;

    bool Failed() const { return !error.empty(); }
};

// The decimal text of a number in a request: an optional minus sign and
// digits, no leading zeros, no separators; a whole number has no point.
std::string DecimalText(double value);

// The name the installer of `version` is saved under: setup<version>.run.
std::string InstallerFileName(std::string_view version);

// The Tallybird service under its base address (ending in "alpha/"). Every
// endpoint's address is the base address followed directly by the endpoint
// name and its query. Holds no state of its own besides the address.
class ServiceClient {
public:
    ServiceClient(std::string baseUrl, HttpClient& http);

    const std::string& BaseUrl() const { return baseUrl_; }

    // The addresses, exactly as they are requested.
    std::string RegistrationAddress(const RegistrationRecord& record, double scannerSerial) const;
    std::string UploadAddress() const;
    std::string LostListAddress(double lastUpdate, int country,
                                std::string_view scannerVersion) const;
    std::string ServiceTimeAddress() const;
    std::string OrganisationsAddress(int country) const;
    std::string SoftwareVersionAddress() const;
    // download/setup<version>.run on the service host (outside "alpha/");
    // nothing unless `version` is a plain version (white space around it is
    // dropped, see PlainVersion).
    std::optional<std::string> InstallerAddress(std::string_view version) const;

    // "scanreg.php": owner and scanner. The reply's body is never examined;
    // a status other than 2xx reads as refused, so the registration can be
    // sent again.
    ServiceStatus Register(const RegistrationRecord& record, double scannerSerial);

    // "upscan.php": the scan log text, sent as it is in Windows-1252 with the
    // form content type. Fails on a transport error and on any reply that is
    // not 2xx, so the scan log is kept for the next session.
    ServiceStatus Upload(std::string_view scanList);

    // "getlost.php": the changes after `lastUpdate` for the country.
    ServiceResult<LostListReply> FetchLostList(double lastUpdate, int country,
                                               std::string_view scannerVersion);

    // "getscannertime.php": the service clock in seconds since 1970; 0 when
    // the service does not answer with a number.
    ServiceResult<double> FetchServiceTime();

    // "getorganisations.php": the table built from the country's list.
    ServiceResult<OrganisationTable> FetchOrganisations(int country);

    // "softwareversion.php": the reply as it came (Windows-1252 bytes); read
    // it with ReplyNumber and PlainVersion.
    ServiceResult<Bytes> FetchSoftwareVersion();

    // The installer of a plain `version` into `file`; nothing is left behind
    // when it fails.
    ServiceStatus DownloadInstaller(std::string_view version, const std::filesystem::path& file,
                                    const DownloadProgress& progress = {});

private:
    std::string baseUrl_;
    HttpClient& http_;
};

} // namespace tallybird
