// A stand-in for the desktop portal's remote-desktop interface on a private
// session bus, for tests: it answers every request at once and writes down
// each call, one line each, in the file named by its first argument. With
// "--decline" as its second argument the user declines the session at Start.
// It prints "ready" once it owns its bus name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QTextStream>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

class FakeRemoteDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.RemoteDesktop")

public:
    FakeRemoteDesktop(const QString& recordFile, bool decline)
        : record_(recordFile), decline_(decline) {
        record_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& message) {
        const QString session = kPath + "/session/" + Sender(message) + '/' +
                                options.value(QStringLiteral("session_handle_token")).toString();
        Record(QStringLiteral("CreateSession"));
        return Answer(message, options, 0, {{QStringLiteral("session_handle"), session}});
    }
    QDBusObjectPath SelectDevices(const QDBusObjectPath& session, const QVariantMap& options,
                                  const QDBusMessage& message) {
        Record(QStringLiteral("SelectDevices %1 types=%2 persist_mode=%3 restore_token=%4")
                   .arg(Known(session))
                   .arg(options.value(QStringLiteral("types")).toUInt())
                   .arg(options.value(QStringLiteral("persist_mode")).toUInt())
                   .arg(options.value(QStringLiteral("restore_token")).toString()));
        return Answer(message, options, 0, {});
    }
    QDBusObjectPath Start(const QDBusObjectPath& session, const QString&,
                          const QVariantMap& options, const QDBusMessage& message) {
        Record(QStringLiteral("Start %1").arg(Known(session)));
        if (decline_) {
            return Answer(message, options, 1, {});
        }
        ++starts_;
        return Answer(message, options, 0,
                      {{QStringLiteral("devices"), QVariant::fromValue(1u)},
                       {QStringLiteral("restore_token"), QStringLiteral("token-%1").arg(starts_)}});
    }
    void NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap&, int keysym,
                              uint state) {
        Record(QStringLiteral("Keysym %1 %2 %3").arg(Known(session)).arg(keysym).arg(state));
    }

private:
    // The caller's unique name as request paths carry it.
    static QString Sender(const QDBusMessage& message) {
        QString sender = message.service().mid(1);
        sender.replace('.', '_');
        return sender;
    }
    QString Known(const QDBusObjectPath& session) const {
        return session.path().startsWith(kPath + "/session/") ? QStringLiteral("session")
                                                              : QStringLiteral("unknown-session");
    }
    QDBusObjectPath Answer(const QDBusMessage& message, const QVariantMap& options, uint response,
                           const QVariantMap& results) {
        const QString request = kPath + "/request/" + Sender(message) + '/' +
                                options.value(QStringLiteral("handle_token")).toString();
        // The answer comes as a signal after the call has returned.
        QTimer::singleShot(0, this, [request, response, results] {
            QDBusMessage signal = QDBusMessage::createSignal(
                request, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"));
            signal << response << results;
            QDBusConnection::sessionBus().send(signal);
        });
        return QDBusObjectPath(request);
    }
    void Record(const QString& line) {
        QTextStream(&record_) << line << '\n';
        record_.flush();
    }

    QFile record_;
    bool decline_;
    int starts_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: tallybird-fake-portal RECORD-FILE [--decline]\n", stderr);
        return 64;
    }
    FakeRemoteDesktop portal(QString::fromLocal8Bit(argv[1]),
                             argc > 2 && QByteArray(argv[2]) == "--decline");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(kPath, &portal, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
        std::fputs("tallybird-fake-portal: no session bus or the name is taken\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "fake_portal.moc"
