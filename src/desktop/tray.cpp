#include "desktop/tray.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

namespace tallybird {
namespace {

// Drawn on a 64 x 64 grid and scaled to each size the desktop asks for.
QPixmap PaintScanner(int size, bool connected) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    const QColor body = connected ? QColor(0x1b, 0x7f, 0x3a) : QColor(0x6b, 0x6b, 0x6b);
    const QColor screen = connected ? QColor(0xd9, 0xf7, 0xe1) : QColor(0xe4, 0xe4, 0xe4);

    // The reader's head (a ring) on top of its handle.
    p.setPen(QPen(body, 6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(14, 4, 28, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(20, 28, 16, 32), 5, 5);
    p.setBrush(screen);
    p.drawRoundedRect(QRectF(23, 34, 10, 8), 2, 2);

    // The badge: a tick on green, or a cross on red.
    const QColor badge = connected ? QColor(0x2e, 0xb8, 0x52) : QColor(0xc6, 0x28, 0x28);
    p.setBrush(badge);
    p.setPen(QPen(Qt::white, 3));
    p.drawEllipse(QRectF(38, 38, 24, 24));
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath mark;
    if (connected) {
        mark.moveTo(43, 50);
        mark.lineTo(48, 55);
        mark.lineTo(57, 44);
    } else {
        mark.moveTo(44, 44);
        mark.lineTo(56, 56);
        mark.moveTo(56, 44);
        mark.lineTo(44, 56);
    }
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
    return pixmap;
}

} // namespace

QIcon ScannerIcon(bool connected) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128}) {
        icon.addPixmap(PaintScanner(size, connected));
    }
    return icon;
}

Tray::Tray(QWidget& window, Availability available)
    : window_(window), available_(std::move(available)), menu_(QStringLiteral("&SysTray")),
      picture_(ScannerIcon(false)), tip_(QStringLiteral("Kivo Scanner offline")) {
    menu_.setObjectName(QStringLiteral("mPopupSys"));
    restore_ = menu_.addAction(QStringLiteral("&Restore"));
    restore_->setObjectName(QStringLiteral("mPopRestore"));
    exit_ = menu_.addAction(QStringLiteral("&Exit"));
    exit_->setObjectName(QStringLiteral("mPopExit"));
    connect(restore_, &QAction::triggered, this, &Tray::RestoreRequested);
    connect(exit_, &QAction::triggered, this, &Tray::ExitRequested);
    window_.setWindowIcon(picture_);
}

Tray::~Tray() = default;

bool Tray::EnsureIcon() {
    if (icon_ || removed_) {
        return icon_ != nullptr;
    }
    if (!available_()) {
        return false;
    }
    icon_ = std::make_unique<QSystemTrayIcon>(picture_);
    icon_->setToolTip(tip_);
    icon_->setContextMenu(&menu_);
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &Tray::OnActivated);
    icon_->show();
    return true;
}

void Tray::SetConnected(bool connected) {
    picture_ = ScannerIcon(connected);
    tip_ = connected ? QStringLiteral("Kivo Scanner connected") : QStringLiteral("Kivo Scanner");
    window_.setWindowIcon(picture_);
    if (icon_) {
        icon_->setIcon(picture_);
        icon_->setToolTip(tip_);
    }
}

void Tray::Remove() {
    removed_ = true;
    if (icon_) {
        icon_->hide();
        icon_.reset();
    }
}

void Tray::Notify(const QString& title, const QString& text, NoticeLevel level) {
    if (icon_ && QSystemTrayIcon::supportsMessages()) {
        icon_->showMessage(title, text,
                           level == NoticeLevel::Warning ? QSystemTrayIcon::Warning
                                                         : QSystemTrayIcon::Information);
    }
}

void Tray::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        Q_EMIT RestoreRequested();
        break;
    case QSystemTrayIcon::Context: // the context menu opens by itself
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

} // namespace tallybird
