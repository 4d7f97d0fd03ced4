#pragma once

#include <QMap>
#include <QString>

namespace vadok {

class XmlDocument;

// Every attribute below the data file's Config element, keyed by the path of element names
// and the attribute's name ("Config/Color/infoFont@Size"). Only the first element of a name
// counts, as only it is read.
QMap<QString, QString> configAttributes(const XmlDocument& doc);

} // namespace vadok
