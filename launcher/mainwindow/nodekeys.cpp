#include "mainwindow/nodekeys.h"

namespace vadok {

bool isNumericName(const QString& name) {
    const QString text = name.trimmed();
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    int digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        int exponentDigits = 0;
        for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i)
            ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    return i == n;
}

QString folderKey(const QString& name) {
    return isNumericName(name) ? name + kNumericKeySuffix : name;
}

} // namespace vadok
