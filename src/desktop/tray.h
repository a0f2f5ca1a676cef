#pragma once

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QWidget;

namespace tallybird {

// The scanner pictures of window and tray: a hand-held reader, green with a
// tick when a scanner is connected, grey with a cross when none is.
QIcon ScannerIcon(bool connected);

// How a desktop notification presents itself.
enum class NoticeLevel { Information, Warning };

// The tray icon and its pop-up menu ("&Restore", "&Exit"). Where
// the desktop has no tray the icon is not created; EnsureIcon() creates it
// once a tray appears.
class Tray : public QObject {
    Q_OBJECT

public:
    using Availability = std::function<bool()>;

    explicit Tray(QWidget& window,
                  Availability available = &QSystemTrayIcon::isSystemTrayAvailable);
    ~Tray() override;

    // Adds the icon when a tray is there and the icon is not; true when the
    // icon exists afterwards.
    bool EnsureIcon();
    bool HasIcon() const { return icon_ != nullptr; }

    // Connected: ScannerOnIcon's picture and "Kivo Scanner connected";
    // offline: ScannerOffIcon's picture and "Kivo Scanner". The window's icon
    // follows.
    void SetConnected(bool connected);

    // The icon goes for good (final unload).
    void Remove();

    // A desktop notification beside the icon; nothing without one.
    void Notify(const QString& title, const QString& text, NoticeLevel level);

    const QString& ToolTip() const { return tip_; }
    QMenu& PopupMenu() { return menu_; }
    QSystemTrayIcon* Icon() { return icon_.get(); }

Q_SIGNALS:
    void RestoreRequested();
    void ExitRequested();

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QWidget& window_;
    Availability available_;
    QMenu menu_;
    QAction* restore_;
    QAction* exit_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QIcon picture_;
    QString tip_;
    bool removed_ = false;
};

} // namespace tallybird
