#include "apps/archivechecks.h"
#include "apps/archivercalls.h"

#include <QFile>
#include <QFileInfo>

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/archiver.h"
#endif

namespace vadok {

#ifdef VADOK_WITH_ARCHIVER
namespace {

ArchiveFault faultOf(ArchiveDamage damage) {
    switch (damage) {
    case ArchiveDamage::None: return ArchiveFault::None;
    case ArchiveDamage::Unreadable: return ArchiveFault::Unreadable;
    case ArchiveDamage::NotAnArchive: return ArchiveFault::NotAnArchive;
    case ArchiveDamage::HeaderDamaged: return ArchiveFault::HeaderDamaged;
    case ArchiveDamage::DataDamaged: return ArchiveFault::DataDamaged;
    case ArchiveDamage::CutShort: return ArchiveFault::CutShort;
    case ArchiveDamage::UnsupportedMethod: return ArchiveFault::UnsupportedMethod;
    }
    return ArchiveFault::HeaderDamaged;
}

} // namespace
#endif

ArchiveCheckResult CheckArchiveFile(const QString& archive,
                                    const std::function<bool(quint64, quint64)>& progress) {
    ArchiveCheckResult result;
#ifdef VADOK_WITH_ARCHIVER
    ArchiveCheckProgress report;
    if (progress)
        report = [&progress](std::uint64_t done, std::uint64_t total) { return progress(done, total); };
    const ArchiveCheck check = CheckArchive(QFile::encodeName(archive).toStdString(), report);
    result.sound = check.code == ArchiverOk;
    result.cancelled = check.code == ArchiverCancelled;
    result.fault = faultOf(check.damage);
    if (!result.sound && !result.cancelled && result.fault == ArchiveFault::None)
        result.fault = ArchiveFault::Unreadable;
    result.member = QFile::decodeName(check.member.c_str());
#else
    Q_UNUSED(archive);
    Q_UNUSED(progress);
    result.fault = ArchiveFault::Unreadable;
#endif
    return result;
}

std::optional<ArchiveContent> ReadArchiveContent(const QString& archive) {
#ifdef VADOK_WITH_ARCHIVER
    const ArchiveSizes sizes = ReadArchiveSizes(QFile::encodeName(archive).toStdString());
    if (sizes.code != ArchiverOk)
        return std::nullopt;
    return ArchiveContent{sizes.members, sizes.originalBytes};
#else
    Q_UNUSED(archive);
    return std::nullopt;
#endif
}

QString ExpandFailureText(int code, const QString& archive) {
    const QString name = QFileInfo(archive).fileName();
    switch (code) {
    case 0x8002: return QStringLiteral("圧縮ファイル %1 を開けません。").arg(name);
    case 0x8004: {
        QString text = QStringLiteral("圧縮ファイル %1 が壊れています。").arg(name);
        // The expansion stops at the first damage it meets; the check says which it is.
        const ArchiveCheckResult check = CheckArchiveFile(archive);
        if (!check.sound && !check.cancelled && check.fault != ArchiveFault::None) {
            const QString reason = faultText(check.fault);
            text += QStringLiteral("\r\n") +
                    (check.member.isEmpty() ? reason : check.member + QStringLiteral(": ") + reason);
        }
        return text;
    }
    default: {
        const QString reason = ExpansionFailureText(code);
        return u'[' + name + u']' + (reason.isEmpty() ? QString() : QStringLiteral("\r\n") + reason);
    }
    }
}

QString faultText(ArchiveFault fault) {
    switch (fault) {
    case ArchiveFault::None: return QString();
    case ArchiveFault::Unreadable: return QStringLiteral("ファイルを読み込めません");
    case ArchiveFault::NotAnArchive: return QStringLiteral("LZH形式の圧縮ファイルではありません");
    case ArchiveFault::HeaderDamaged: return QStringLiteral("ヘッダが壊れています");
    case ArchiveFault::DataDamaged: return QStringLiteral("データが壊れています(CRCが一致しません)");
    case ArchiveFault::CutShort: return QStringLiteral("ファイルが途中で切れています");
    case ArchiveFault::UnsupportedMethod: return QStringLiteral("対応していない圧縮方式です");
    }
    return QString();
}

} // namespace vadok
