#pragma once

#include "catalog/cp932codec.h"
#include "catalog/datafile.h"
#include "catalog/xmldocument.h"
#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <gtest/gtest.h>

namespace vadok::test {

// A temporary program folder with a scripted prompter; data files are written from UTF-8
// text as the CP932 bytes the program keeps them in.
class CatalogTest : public ::testing::Test {
protected:
    void writeDataFile(const QString& xml) const {
        folder.writeFile(QStringLiteral("vadok.xml"), Cp932Codec::instance().fromUnicode(xml));
    }
    QByteArray dataFileBytes() const { return folder.readFile(QStringLiteral("vadok.xml")); }

    // A fresh document over the data file as it is on disk now.
    std::unique_ptr<XmlDocument> reload() const {
        auto doc = std::make_unique<XmlDocument>();
        EXPECT_TRUE(doc->load(dataFilePath())) << doc->errorString().toStdString();
        return doc;
    }

    TempProgramFolder folder;
    ScriptedPrompter prompter;
};

inline QString appsFile(const QString& apps, const QString& folders = QString()) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>\r\n"
                          "<Vadok dataversion=\"4\"><Folders>") +
           folders + QStringLiteral("</Folders><Apps>") + apps +
           QStringLiteral("</Apps></Vadok>\r\n");
}

} // namespace vadok::test
