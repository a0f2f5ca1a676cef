#include "platform/portal_key_sender.h"

#include "platform/atomic_file.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>

#include <optional>
#include <system_error>

namespace tallybird {
namespace {

Q_LOGGING_CATEGORY(lcWedge, "tallybird.wedge")

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

constexpr unsigned kKeyboardDevice = 1;
constexpr unsigned kPersistUntilRevoked = 2;
constexpr unsigned kPressed = 1;
constexpr unsigned kReleased = 0;

// Waits for the Response signal of one portal request.
class RequestWait : public QObject {
    Q_OBJECT
public:
    RequestWait(QDBusConnection bus, QString path) : bus_(std::move(bus)), path_(std::move(path)) {
        bus_.connect(kService, path_, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(OnResponse(uint, QVariantMap)));
    }
    ~RequestWait() override {
        bus_.disconnect(kService, path_, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(OnResponse(uint, QVariantMap)));
    }

    // The results, or nothing when the request was refused or timed out.
    std::optional<QVariantMap> Wait(std::chrono::milliseconds limit, std::string& why) {
        if (!answered_) {
            QTimer timer;
            timer.setSingleShot(true);
            QObject::connect(&timer, &QTimer::timeout, &loop_, &QEventLoop::quit);
            timer.start(static_cast<int>(limit.count()));
            loop_.exec();
        }
        if (!answered_) {
            why = "the portal did not answer";
            return std::nullopt;
        }
        if (response_ != 0) {
            why = response_ == 1 ? "the user declined" : "the portal refused";
            return std::nullopt;
        }
        return results_;
    }

public Q_SLOTS:
    void OnResponse(uint response, const QVariantMap& results) {
        answered_ = true;
        response_ = response;
        results_ = results;
        loop_.quit();
    }

private:
    QDBusConnection bus_;
    QString path_;
    QEventLoop loop_;
    bool answered_ = false;
    uint response_ = 2;
    QVariantMap results_;
};

QString NewToken() {
    return QStringLiteral("tallybird%1").arg(QRandomGenerator::global()->generate());
}

// The path the portal gives a request made with `token`: the caller's unique
// name without its colon, dots as underscores.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    return kPath + QStringLiteral("/request/") + sender + '/' + token;
}

// Calls a portal method whose answer comes as a Response signal.
std::optional<QVariantMap> Request(QDBusConnection& bus, const QString& method,
                                   QVariantList arguments, QVariantMap options,
                                   std::chrono::milliseconds limit, std::string& why) {
    const QString token = NewToken();
    options.insert(QStringLiteral("handle_token"), token);
    // Listen before asking, so that a quick answer is not missed.
    auto wait = std::make_unique<RequestWait>(bus, RequestPath(bus, token));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    arguments.append(options);
    call.setArguments(arguments);
    const QDBusReply<QDBusObjectPath> reply = bus.call(call, QDBus::Block, 10'000);
    if (!reply.isValid()) {
        why = method.toStdString() + ": " + reply.error().message().toStdString();
        return std::nullopt;
    }
    if (reply.value().path() != RequestPath(bus, token)) {
        wait = std::make_unique<RequestWait>(bus, reply.value().path()); // an older portal
    }
    std::string waitWhy;
    auto results = wait->Wait(limit, waitWhy);
    if (!results) {
        why = method.toStdString() + ": " + waitWhy;
    }
    return results;
}

// The kept token: the file's first line (empty when there is none).
std::string ReadToken(const std::filesystem::path& file) {
    const auto bytes = ReadWholeFile(file);
    if (!bytes) {
        return {};
    }
    std::string token(bytes->begin(), bytes->end());
    return token.substr(0, token.find('\n'));
}

void KeepToken(const std::filesystem::path& file, const std::string& token) {
    std::error_code ec;
    if (std::filesystem::create_directories(file.parent_path(), ec)) {
        std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_all, ec);
    }
    const std::string text = token + "\n";
    if (!WriteFileAtomically(file, Bytes(text.begin(), text.end()))) {
        qCWarning(lcWedge) << "the portal's restore token could not be kept in" << file.c_str();
    }
}

} // namespace

std::unique_ptr<PortalKeySender> PortalKeySender::Open(const QDBusConnection& busIn,
                                                       const std::filesystem::path& tokenFile,
                                                       std::string& why, Limits limits) {
    QDBusConnection bus = busIn;
    if (!bus.isConnected()) {
        why = "no D-Bus session bus";
        return nullptr;
    }
    const auto session =
        Request(bus, QStringLiteral("CreateSession"), {},
                {{QStringLiteral("session_handle_token"), NewToken()}}, limits.call, why);
    if (!session) {
        return nullptr;
    }
    const QString handle = session->value(QStringLiteral("session_handle")).toString();
    if (handle.isEmpty()) {
        why = "CreateSession: the portal named no session";
        return nullptr;
    }
    // From here on the session is closed again whenever this ends early.
    std::unique_ptr<PortalKeySender> sender(new PortalKeySender(bus, handle));

    QVariantMap select{{QStringLiteral("types"), QVariant::fromValue(kKeyboardDevice)},
                       {QStringLiteral("persist_mode"), QVariant::fromValue(kPersistUntilRevoked)}};
    const std::string kept = ReadToken(tokenFile);
    if (!kept.empty()) {
        select.insert(QStringLiteral("restore_token"), QString::fromStdString(kept));
    }
    if (!Request(bus, QStringLiteral("SelectDevices"),
                 {QVariant::fromValue(QDBusObjectPath(handle))}, select, limits.call, why)) {
        return nullptr;
    }
    const auto started =
        Request(bus, QStringLiteral("Start"),
                {QVariant::fromValue(QDBusObjectPath(handle)), QString()}, {}, limits.start, why);
    if (!started) {
        return nullptr;
    }
    if ((started->value(QStringLiteral("devices")).toUInt() & kKeyboardDevice) == 0) {
        why = "Start: no keyboard was granted";
        return nullptr;
    }
    // A token is good for one restore: keep the new one for the next start.
    const QString token = started->value(QStringLiteral("restore_token")).toString();
    if (!token.isEmpty()) {
        KeepToken(tokenFile, token.toStdString());
    }
    qCInfo(lcWedge) << "remote-desktop portal session" << handle
                    << (kept.empty() ? "(asked the user)" : "(restored)");
    return sender;
}

PortalKeySender::PortalKeySender(const QDBusConnection& bus, QString session)
    : bus_(bus), session_(std::move(session)) {}

PortalKeySender::~PortalKeySender() {
    QDBusMessage close = QDBusMessage::createMethodCall(
        kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close"));
    bus_.call(close, QDBus::Block, 2'000);
}

bool PortalKeySender::Type(Keysym keysym) {
    for (const unsigned state : {kPressed, kReleased}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                           QStringLiteral("NotifyKeyboardKeysym"));
        call.setArguments({QVariant::fromValue(QDBusObjectPath(session_)), QVariantMap(),
                           static_cast<int>(keysym), state});
        // A blocking call keeps the presses and releases of a chip in order.
        const QDBusMessage reply = bus_.call(call, QDBus::Block, 5'000);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            qCWarning(lcWedge) << "NotifyKeyboardKeysym:" << reply.errorMessage();
            return false;
        }
    }
    return true;
}

} // namespace tallybird

#include "portal_key_sender.moc"
