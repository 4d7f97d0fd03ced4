#include "instances/commandline.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace vadok {

namespace {

QString trimSpaces(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QStringList splitQuoted(const QString& line) {
    QStringList result{QString()};
    bool first = true;
    bool inQuotes = false;
    QString current;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c != u'"') {
            current += c;
        } else if (!inQuotes) {
            inQuotes = true;
        } else if (i + 1 < line.size() && line[i + 1] == u'"') {
            current += u'"';
            ++i;
        } else {
            if (first) {
                result[0] = current;
                first = false;
            } else {
                result.append(current);
            }
            current.clear();
            inQuotes = false;
            ++i; // the separator after the closing quote
        }
    }
    return result;
}

} // namespace

QString JoinCommandLine(const QStringList& arguments) {
    const auto needsQuotes = [](const QString& argument) {
        return argument.isEmpty() || argument.contains(u' ') || argument.contains(u'"');
    };
    // The parser reads quotes only in a line that starts with one, and drops bare text after
    // the last closing quote: once any argument needs quotes, every one gets them. The delay
    // switch stays bare, as it is found and taken out as written.
    const bool quoteAll = std::any_of(arguments.begin(), arguments.end(), needsQuotes);
    QStringList parts;
    for (const QString& argument : arguments) {
        const bool delaySwitch = argument.startsWith(QStringLiteral("/DELAY="), Qt::CaseInsensitive);
        if (needsQuotes(argument) || (quoteAll && !delaySwitch)) {
            QString quoted = argument;
            quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
            parts.append(u'"' + quoted + u'"');
        } else {
            parts.append(argument);
        }
    }
    return parts.join(u' ');
}

QStringList AnchorRelativePaths(const QStringList& arguments, const QString& workingFolder) {
    QStringList anchored;
    const QDir base(workingFolder);
    for (const QString& argument : arguments) {
        const QString absolute = QDir::cleanPath(base.absoluteFilePath(argument));
        const bool named = !argument.isEmpty() && QDir::isRelativePath(argument) &&
                           QFileInfo::exists(absolute);
        anchored.append(named ? absolute : argument);
    }
    return anchored;
}

DelaySwitch TakeDelaySwitch(const QString& commandLine) {
    static const QString kSwitch = QStringLiteral("/DELAY=");
    DelaySwitch result;
    result.remaining = commandLine;
    const qsizetype at = commandLine.toUpper().indexOf(kSwitch);
    if (at < 0)
        return result;
    result.found = true;
    const qsizetype digitsAt = at + kSwitch.size();
    int digits = 0;
    while (digits < 6 && digitsAt + digits < commandLine.size() &&
           commandLine[digitsAt + digits] >= u'0' && commandLine[digitsAt + digits] <= u'9')
        ++digits;
    result.seconds = digits == 0 ? 0 : qMin(commandLine.mid(digitsAt, digits).toInt(), 100);
    const QString switchText = commandLine.mid(at, digits + kSwitch.size());
    result.remaining = trimSpaces(QString(commandLine).remove(switchText, Qt::CaseSensitive));
    return result;
}

QStringList SplitCommandLine(const QString& commandLine) {
    if (commandLine.startsWith(u'"'))
        return splitQuoted(commandLine);
    return commandLine.split(u' ');
}

} // namespace vadok
