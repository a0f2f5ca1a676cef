#include "platform/program_log.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QString>

#include <atomic>
#include <cstdio>
#include <string>

namespace tallybird {
namespace {

std::atomic<LogFile*> programLog{nullptr};
std::atomic<bool> mirror{false};

const char* LevelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        break;
    }
    return "fatal";
}

void HandleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string category = context.category != nullptr ? context.category : "default";
    const std::string line =
        QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toStdString() + ' ' +
        LevelName(type) + ' ' + category + ": " + text.toStdString();
    if (LogFile* log = programLog.load(); log != nullptr) {
        log->Write(line);
    }
    if (mirror.load()) {
        std::fprintf(stderr, "%s: %s\n", category.c_str(), text.toLocal8Bit().constData());
    }
}

} // namespace

void InstallProgramLog(LogFile& log, bool mirrorToStderr) {
    programLog = &log;
    mirror = mirrorToStderr;
    QLoggingCategory::setFilterRules(mirrorToStderr ? QStringLiteral("tallybird.*=true")
                                                    : QStringLiteral("tallybird.*.debug=false"));
    qInstallMessageHandler(&HandleMessage);
}

void RemoveProgramLog() {
    qInstallMessageHandler(nullptr);
    programLog = nullptr;
}

} // namespace tallybird
