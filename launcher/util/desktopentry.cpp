#include "util/desktopentry.h"

namespace vadok {

namespace {

const QString kMainGroup = QStringLiteral("[Desktop Entry]");

// Characters that force an Exec argument into double quotes.
bool needsQuotes(QChar c) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// Values escape \s \n \t \r \\ (desktop-entry value syntax).
QString unescapeValue(const QString& raw) {
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c != u'\\' || i + 1 == raw.size()) {
            out += c;
            continue;
        }
        const QChar n = raw.at(++i);
        switch (n.unicode()) {
        case 's': out += u' '; break;
        case 'n': out += u'\n'; break;
        case 't': out += u'\t'; break;
        case 'r': out += u'\r'; break;
        default: out += n; break; // "\\" and unknown escapes keep the character
        }
    }
    return out;
}

QString escapeValue(const QString& value) {
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        default: out += c; break;
        }
    }
    if (out.startsWith(u' '))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

} // namespace

DesktopEntry DesktopEntry::parse(const QByteArray& bytes) {
    DesktopEntry entry;
    entry.m_lines = QString::fromUtf8(bytes).split(u'\n');
    if (!entry.m_lines.isEmpty() && entry.m_lines.last().isEmpty())
        entry.m_lines.removeLast();
    for (int i = 0; i < entry.m_lines.size(); ++i) {
        if (entry.m_lines[i].endsWith(u'\r'))
            entry.m_lines[i].chop(1);
        if (entry.m_mainGroup < 0 && entry.m_lines[i].trimmed() == kMainGroup)
            entry.m_mainGroup = i;
    }
    return entry;
}

QByteArray DesktopEntry::serialize() const {
    QByteArray out;
    for (const QString& line : m_lines) {
        out += line.toUtf8();
        out += '\n';
    }
    return out;
}

QString DesktopEntry::value(const QString& key) const {
    if (m_mainGroup < 0)
        return QString();
    for (int i = m_mainGroup + 1; i < m_lines.size(); ++i) {
        const QString& line = m_lines[i];
        if (line.startsWith(u'['))
            break;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return unescapeValue(line.mid(eq + 1).trimmed());
    }
    return QString();
}

void DesktopEntry::setValue(const QString& key, const QString& value) {
    const QString line = key + u'=' + escapeValue(value);
    if (m_mainGroup < 0) {
        m_lines.prepend(kMainGroup);
        m_mainGroup = 0;
        // Any groups already present shift down by one; the new group is first.
    }
    int insertAt = m_mainGroup + 1;
    for (int i = m_mainGroup + 1; i < m_lines.size(); ++i) {
        const QString& existing = m_lines[i];
        if (existing.startsWith(u'['))
            break;
        const qsizetype eq = existing.indexOf(u'=');
        if (eq > 0 && existing.left(eq).trimmed() == key) {
            m_lines[i] = line;
            return;
        }
        if (!existing.trimmed().isEmpty())
            insertAt = i + 1;
    }
    m_lines.insert(insertAt, line);
}

QString DesktopEntry::quoteExecArgument(const QString& argument) {
    QString escapedPercent = argument;
    escapedPercent.replace(u'%', QStringLiteral("%%"));
    bool quote = argument.isEmpty();
    for (QChar c : argument)
        quote = quote || needsQuotes(c);
    if (!quote)
        return escapedPercent;
    QString out = QStringLiteral("\"");
    for (QChar c : escapedPercent) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

QStringList DesktopEntry::splitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool haveArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == u'%' && i + 1 < exec.size() && exec.at(i + 1) == u'%') {
                current += u'%';
                ++i;
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = true;
            haveArg = true;
        } else if (c == u' ' || c == u'\t') {
            if (haveArg)
                args.append(current);
            current.clear();
            haveArg = false;
        } else if (c == u'%' && i + 1 < exec.size()) {
            // "%%" is a literal percent; other field codes (%f, %U, ...) are dropped.
            if (exec.at(++i) == u'%') {
                current += u'%';
                haveArg = true;
            }
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        args.append(current);
    return args;
}

} // namespace vadok
