#include "apps/archivercalls.h"

#include "apps/archivechecks.h"
#include "catalog/settings.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <utility>
#include <fcntl.h>
#include <unistd.h>

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/files/archivelock.h"
#include "archiver/archiver.h"
#endif

namespace vadok {

namespace {

const QString kQuote = QStringLiteral("\"");
const QString kFailedTitle = QStringLiteral("Failed");

QString quoted(const QString& path) { return kQuote + path + kQuote; }

// The archiver's code for a failed write (ArchiverWriteError), also when it is not linked in.
constexpr int kWriteFailedCode = 0x8006;

// Makes a rename in the folder of path durable.
void syncFolderOf(const QString& path) {
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool isQuiet(const QString& command) { return command.contains(QStringLiteral("-n ")); }

#ifdef VADOK_WITH_ARCHIVER
// Status-bar progress while the archiver works; the window repaints but takes no input.
class StatusProgress {
public:
    explicit StatusProgress(bool enabled) : m_enabled(enabled) {
        if (!m_enabled)
            return;
        m_timer.start();
        SetArchiverProgressCallback([this](const std::string& member, std::uint64_t done,
                                           std::uint64_t total) { report(member, done, total); });
    }
    ~StatusProgress() {
        if (m_enabled)
            SetArchiverProgressCallback({});
    }

private:
    void report(const std::string& member, std::uint64_t done, std::uint64_t total) {
        // Another store, expansion or check holds the archive: the call waits its turn.
        if (member.empty() && total == 0) {
            if (!m_waitingShown)
                SetStatusText(QStringLiteral("圧縮ファイルがほかの処理で使われています。終わるのを待っています..."));
            m_waitingShown = true;
            if (QCoreApplication::instance())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return;
        }
        if (m_timer.elapsed() < 100 && done < total)
            return;
        m_timer.restart();
        const int percent = total ? int(done * 100 / total) : 100;
        SetStatusText(QStringLiteral("%1 (%2%)").arg(QFile::decodeName(member.c_str())).arg(percent));
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    bool m_enabled;
    bool m_waitingShown = false;
    QElapsedTimer m_timer;
};
#endif

} // namespace

bool ArchiverLinkedIn() {
#ifdef VADOK_WITH_ARCHIVER
    return true;
#else
    return false;
#endif
}

QString StoreCommand(const QString& archive, const QString& folder, bool quiet) {
    return QStringLiteral("u -d1 -y1 -h2 -jm2 ") + (quiet ? QStringLiteral("-n ") : QString()) +
           quoted(archive) + u' ' + quoted(folder) + QStringLiteral(" *");
}

QString ExpandCommand(const QString& archive, const QString& destination, bool quiet) {
    return QStringLiteral("x -d1 -y1 ") + (quiet ? QStringLiteral("-n ") : QString()) +
           quoted(archive) + u' ' + quoted(destination) + QStringLiteral(" *");
}

QString UnzipCommand(const QString& archive, const QString& destination) {
    return QStringLiteral("-xs ") + quoted(archive) + u' ' + quoted(destination);
}

int RunUnlha(const QString& command, QStringList* warnings) {
#ifdef VADOK_WITH_ARCHIVER
    StatusProgress progress(!isQuiet(command));
    if (warnings)
        SetArchiverWarningCallback(
            [warnings](const std::string& warning) { warnings->append(QFile::decodeName(warning.c_str())); });
    const int code = Unlha(nullptr, QFile::encodeName(command).toStdString(), nullptr, 0);
    if (warnings)
        SetArchiverWarningCallback({});
    return code;
#else
    Q_UNUSED(command);
    Q_UNUSED(warnings);
    return ArchiverMissingCode;
#endif
}

int RunUnzip(const QString& command) {
#ifdef VADOK_WITH_ARCHIVER
    StatusProgress progress(!isQuiet(command));
    return UnZip(nullptr, QFile::encodeName(command).toStdString(), nullptr, 0);
#else
    Q_UNUSED(command);
    return ArchiverMissingCode;
#endif
}

int VerifyStoredFolder(const QString& archive, const QString& folder) {
#ifdef VADOK_WITH_ARCHIVER
    return VerifyArchive(QFile::encodeName(archive).toStdString(),
                         QFile::encodeName(folder).toStdString());
#else
    Q_UNUSED(archive);
    Q_UNUSED(folder);
    return ArchiverMissingCode;
#endif
}

int StoreVerified(const QString& target, const QString& archive, const QString& folder,
                  QStringList* leftOut) {
    const bool fresh = target != archive;
#ifdef VADOK_WITH_ARCHIVER
    // A store into the archive holds its lock from reading it to renaming over it; a fresh
    // archive renamed over it must hold it too, or a store by another process meanwhile
    // would be lost under the rename, or would lose this one.
    archiver::ArchiveLock lock;
    if (fresh) {
        archiver::ArchiveLock::Wait wait;
        bool told = false;
        wait.waiting = [&told] {
            if (!std::exchange(told, true))
                SetStatusText(QStringLiteral("圧縮ファイルがほかの処理で使われています。終わるのを待っています..."));
            if (QCoreApplication::instance())
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        };
        if (const int code = lock.take(QFile::encodeName(archive).toStdString(),
                                       archiver::ArchiveLock::Kind::Exclusive, wait))
            return code;
    }
#endif
    if (fresh)
        QFile::remove(target);
    QStringList warnings;
    int code = RunUnlha(StoreCommand(target, folder, settings().Config.LhaDialog == 1), &warnings);
    if (leftOut) {
        for (const QString& warning : warnings) {
            if (const QString line = LeftOutLine(warning); !line.isEmpty())
                leftOut->append(line);
        }
    }
    if (code == 0)
        code = VerifyStoredFolder(target, folder);
    if (code == 0 && fresh)
        code = ReplaceArchive(target, archive);
    if (code != 0 && fresh)
        QFile::remove(target);
    return code;
}

QString ArchiveLockFile(const QString& archive) {
#ifdef VADOK_WITH_ARCHIVER
    return QFile::decodeName(ArchiveLockPath(QFile::encodeName(archive).toStdString()).c_str());
#else
    Q_UNUSED(archive);
    return QString();
#endif
}

void RemoveArchiveLock(const QString& archive) {
#ifdef VADOK_WITH_ARCHIVER
    archiver::retireLockBeside(QFile::encodeName(archive).toStdString());
#else
    Q_UNUSED(archive);
#endif
}

int ReplaceArchive(const QString& newArchive, const QString& archive) {
    // rename(2) replaces the target atomically: at every moment one complete archive exists.
    if (::rename(QFile::encodeName(newArchive).constData(), QFile::encodeName(archive).constData()) != 0)
        return kWriteFailedCode;
    syncFolderOf(archive);
    return 0;
}

QString LeftOutLine(const QString& warning) {
    // The archiver's warnings (archiver.h) begin with what was left out and why.
    const auto after = [&warning](const QString& prefix) {
        return warning.startsWith(prefix) ? warning.mid(prefix.size()) : QString();
    };
    if (const QString link = after(QStringLiteral("skipped symbolic link pointing outside the folder: "));
        !link.isEmpty()) {
        const qsizetype arrow = link.indexOf(QStringLiteral(" -> "));
        return arrow < 0 ? link + QStringLiteral(" (フォルダの外を指すリンク)")
                         : link.left(arrow) + QStringLiteral(" (フォルダの外を指すリンク: ") +
                               link.mid(arrow + 4) + u')';
    }
    if (const QString file = after(QStringLiteral("skipped special file: ")); !file.isEmpty())
        return file + QStringLiteral(" (ソケットやデバイスなどの特殊なファイル)");
    if (const QString link = after(QStringLiteral("skipped symbolic link with \"|\" in its name: "));
        !link.isEmpty())
        return link + QStringLiteral(" (名前に | を含むリンク)");
    if (const QString old = after(QStringLiteral("left out the old member ")); !old.isEmpty()) {
        // "<member>: an expansion would refuse it", or "<member>: <folder of it> is no longer
        // a folder"; names may hold ": " themselves.
        const QString refused = QStringLiteral(": an expansion would refuse it");
        const QString noFolder = QStringLiteral(" is no longer a folder");
        QString member = old;
        if (old.endsWith(refused)) {
            member = old.chopped(refused.size());
        } else if (old.endsWith(noFolder)) {
            for (qsizetype colon = old.indexOf(QStringLiteral(": "));
                 colon > 0 && old.size() - colon - 2 >= noFolder.size();
                 colon = old.indexOf(QStringLiteral(": "), colon + 1)) {
                const QString folder = old.mid(colon + 2).chopped(noFolder.size());
                if (old.left(colon).startsWith(folder + u'/')) {
                    member = old.left(colon);
                    break;
                }
            }
        }
        return member + QStringLiteral(" (圧縮ファイルにあった古いもの。今のフォルダの形に合いません)");
    }
    return QString();
}

QString HexCode(int code) { return QString::number(quint32(code), 16).toUpper(); }

namespace {

const QString kArchiveInUse = QStringLiteral("圧縮ファイルがほかの処理で使われています。"
                                             "しばらくしてからやり直してください。");

} // namespace

QString StoreFailureText(int code) {
    switch (code) {
    case 0x8002: return QStringLiteral("展開フォルダまたは圧縮ファイルを開けません。");
    case 0x8003:
        return QStringLiteral("圧縮ファイルの一時ファイルを作成できません。圧縮ファイルは元のままです。");
    case 0x8004:
        return QStringLiteral("圧縮ファイルが壊れています。展開フォルダはそのまま残してあります。");
    case 0x8006:
        return QStringLiteral("圧縮ファイルを書き込めません。ディスクの空き容量が足りない可能性があります。"
                              "圧縮ファイルは元のままです。");
    case 0x8008:
        return QStringLiteral("書き込んだ圧縮ファイルを正しく読み戻せませんでした。圧縮ファイルは元のままです。");
    case 0x8009:
        return QStringLiteral("4GB以上のファイルか、圧縮ファイルに入れられない名前のファイルがあります。");
    case 0x8007:
        return QStringLiteral("読み込めないファイルがあるか、格納中にファイルが変更されました。"
                              "圧縮ファイルは元のままです。");
    case 0x800C: return kArchiveInUse;
    case 0x800D:
        return QStringLiteral("圧縮ファイルに対応していない圧縮方式のファイルがあり、展開フォルダに"
                              "そのファイルがないため格納できません。圧縮ファイルは元のままです。");
    default: return QString();
    }
}

QString ExpansionFailureText(int code) {
    switch (code) {
    case 0x8003: return QStringLiteral("展開先のフォルダを作成できません。");
    case 0x8005:
        return QStringLiteral("展開先のフォルダの外に書き込むファイルが含まれているため、展開しませんでした。");
    case 0x8006:
        return QStringLiteral("展開先に書き込めません。ディスクの空き容量が足りない可能性があります。");
    case 0x8009: return QStringLiteral("対応していない形式のファイルが含まれています。");
    case 0x800C: return kArchiveInUse;
    case 0x800D:
        return QStringLiteral("対応していない圧縮方式で圧縮されたファイルが含まれています。");
    case 0x800E:
        return QStringLiteral("暗号化されたファイルが含まれているため、展開できません。");
    default: return QString();
    }
}

QString StoreFailureMessage(int code, const QString& appName) {
    QString text = QStringLiteral("圧縮に失敗しました。Error Code:0x") + HexCode(code) +
                   QStringLiteral("\r\n\r\n[") + appName + u']';
    const QString reason = StoreFailureText(code);
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    return text;
}

void ShowStoreFailure(int code, const QString& appName) {
    const QString text = StoreFailureMessage(code, appName);
    showMessage(text, MsgIcon::Critical, MsgButtons::Ok, kFailedTitle);
}

void ShowExpandFailure(int code, const QString& archive) {
    QString text = QStringLiteral("解凍に失敗しました。Error Code:0x") + HexCode(code);
    const QString reason = ExpandFailureText(code, archive);
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n\r\n") + reason;
    showMessage(text, MsgIcon::Critical, MsgButtons::Ok, kFailedTitle);
}

void ShowUnzipFailure(int code, const QString& archive) {
    QString text = QStringLiteral("解凍に失敗しました。\r\n\r\n[") + QFileInfo(archive).fileName() + u']';
    const QString reason = ExpansionFailureText(code);
    if (!reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    showMessage(text, MsgIcon::Critical, MsgButtons::Ok, kFailedTitle);
}

} // namespace vadok
