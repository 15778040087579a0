#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace app::testing {

// A scratch folder tree with its own Wine prefix for each test; the
// process's current folder and $WINEPREFIX are put back afterwards.
class FolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_scratch.isValid());
        m_root = QFileInfo(m_scratch.path()).canonicalFilePath();
        m_savedPrefix = qgetenv("WINEPREFIX");
        qputenv("WINEPREFIX", (m_root + QStringLiteral("/prefix")).toUtf8());
        ASSERT_TRUE(QDir().mkpath(m_root + QStringLiteral("/prefix/dosdevices")));
    }

    void TearDown() override
    {
        EXPECT_TRUE(QDir::setCurrent(m_savedFolder));
        if (m_savedPrefix.isNull())
            qunsetenv("WINEPREFIX");
        else
            qputenv("WINEPREFIX", m_savedPrefix);
    }

    // Creates the folder under the scratch folder; returns its canonical path.
    QString makeFolder(const QString& relative)
    {
        EXPECT_TRUE(QDir().mkpath(m_root + u'/' + relative)) << relative.toStdString();
        return QFileInfo(m_root + u'/' + relative).canonicalFilePath();
    }

    void makeFile(const QString& relative)
    {
        QFile file(m_root + u'/' + relative);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << relative.toStdString();
    }

    // Points the prefix's drive `letter` at `target`, as Wine's symlinks do;
    // returns the drive's canonical top folder.
    QString makeWineDrive(char letter, const QString& target)
    {
        const QString link = m_root + QStringLiteral("/prefix/dosdevices/") + QChar(letter) + u':';
        EXPECT_TRUE(QFile::link(target, link));
        return QFileInfo(link).canonicalFilePath();
    }

    QString root() const { return m_root; }

private:
    QTemporaryDir m_scratch;
    QString m_root;
    QString m_savedFolder = QDir::currentPath();
    QByteArray m_savedPrefix;
};

} // namespace app::testing
