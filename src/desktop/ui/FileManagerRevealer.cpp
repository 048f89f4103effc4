#include "FileManagerRevealer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>

namespace vorn {
namespace {
constexpr int kAnswerMs = 3000;
} // namespace

void FileManagerRevealer::openFolderOf(const std::filesystem::path& file) {
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
}

void FileManagerRevealer::reveal(const std::filesystem::path& file) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolderOf(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                       "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(QString::fromStdString(file.string())).toString()}
         << QString();
    // Asked without waiting: a file manager that starts on demand may take a moment.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [file](QDBusPendingCallWatcher* w) {
        if (QDBusPendingReply<> reply = *w; reply.isError()) {
            openFolderOf(file);
        }
        w->deleteLater();
    });
}

} // namespace vorn
